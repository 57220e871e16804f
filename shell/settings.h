// The settings file "quorin.ini" beside the executable, section "OPTION".
#pragma once

#include <windows.h>

#include <string>

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
// (default 0, 0), then moves mainWindow there as stored, even off every screen.
void LoadSettings(HWND mainWindow);

// Writes "OpenFileNameDir", "UseRunningStatus" (1 or 0), "XPos" and "YPos", in this order.
// Other sections and keys of the file are left alone. Failures are ignored.
void SaveSettings(HWND mainWindow);
