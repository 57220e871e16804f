// What the main window remembers while the program runs (one thread; no locking).
#pragma once

#include <windows.h>

// Initial folder of the Open dialog; loaded from the settings file, replaced by the
// current directory after every Open command, saved on exit. ANSI, NUL-terminated.
extern char RememberedFolder[MAX_PATH];

// Screen position of the main window's top-left corner; loaded and applied when the
// window opens, updated when a move ends, saved on exit.
extern POINT RememberedPosition;

// 1-based filter of the Open dialog; starts at 1, kept after a confirmed Open dialog,
// never saved.
extern UINT FilterIndex;
