// Start-up: the process-wide values, the common controls, the main window's class and the
// main window itself.
#pragma once

#include <windows.h>

// Registers "QuorinWnd": a copy of the system's dialog class with the program's icon and
// its own class procedure, read from dialog 108 while that dialog initialises (it is never
// shown). Needs InstanceHandle.
void RegisterMainWindowClass();

// The whole program: stores instance, looks up GetDiskFreeSpaceExA, initialises COM for
// the shell (single-threaded apartment) and the common controls, registers the class and
// runs the main window until it is closed. Returns 0.
int RunQuorin(HINSTANCE instance);
