// The running module's path and the system's double-byte rule (Win32).
#pragma once

#include <windows.h>

#include <string>

// IsDBCSLeadByte for the system's ANSI code page.
bool isAnsiLeadByte(unsigned char byte);

// The full path of module (null: the executable), whole however long; "" on failure.
std::string moduleFileName(HMODULE module);
