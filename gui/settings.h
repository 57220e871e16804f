// The settings file "quorin.ini" beside the executable, section "OPTION".
#pragma once

#include <windows.h>

#include <string>

// The current directory as the ANSI calls take it: its short form where its name has
// characters that the ANSI code page lacks (engine::ansiPath), and where it has none,
// GetCurrentDirectoryA's spelling.
std::string CurrentFolder();

// Folder of the executable, without a trailing backslash. Built afresh on every call.
std::string ProgramFolder();
// ProgramFolder() + "\quorin.ini".
std::string SettingsFilePath();
// ProgramFolder() + "\quorin.html", the help page.
std::string HelpFilePath();

// Writes value as "%d" text under key in section of the file at path. A failed write is
// ignored.
void WriteSettingInt(const char* section, const char* key, int value, const std::string& path);

// Reads the folder into RememberedFolder (default: the current directory), the option into
// check box 1000 of mainWindow (default: set) and the position into RememberedPosition
// (default 0, 0), then moves mainWindow there, kept on a screen: a position from which no
// part of the window would be seen on any monitor becomes (0, 0), and a window partly off
// its monitor's work area is moved into it. RememberedPosition becomes where it went.
void LoadSettings(HWND mainWindow);

// Writes "OpenFileNameDir", "UseRunningStatus" (1 or 0), "XPos" and "YPos", in this order.
// Other sections and keys of the file are left alone. Failures are ignored.
void SaveSettings(HWND mainWindow);
