// Process-wide handles shared by the program's windows (one thread; no locking).
#pragma once

#include <windows.h>

// Set by start-up before any window exists; used to load resources and run dialogs.
extern HINSTANCE InstanceHandle;
// Set by the main window when it opens; owner of the run's dialog and holder of the
// running-status check box.
extern HWND MainWindowHandle;
