// Everything that quorin.exe's windows keep for as long as the process runs, in one place.
// One thread; no locking. Defined in app_state_win.cpp, zero-initialised before WinMain runs
// and never released before the process ends (what a value holds is released by its owner,
// named below).
#pragma once

#include <windows.h>

#include "gui/file_list.h"

namespace engine {
class FileSystem;
}

// Set by start-up before any window exists; used to load resources and run dialogs.
extern HINSTANCE InstanceHandle;
// Set by the main window when it opens; owner of the run's dialog and holder of the
// running-status check box (1000).
extern HWND MainWindowHandle;
// Set by the progress dialog's Cancel command, cleared when a run begins and when the user
// declines to stop; read by the run between files.
extern bool CancelRequested;

// Initial folder of the Open dialog; loaded from the settings file, replaced by the
// current directory after every Open command, saved on exit. ANSI, NUL-terminated.
extern char RememberedFolder[MAX_PATH];
// Screen position of the main window's top-left corner; loaded and applied when the
// window opens, updated when a move ends, saved on exit.
extern POINT RememberedPosition;
// 1-based filter of the Open dialog; starts at 1, kept after a confirmed Open dialog,
// never saved.
extern UINT FilterIndex;

// The centring hook (WH_CALLWNDPROC) while it is installed, else null; owned by
// InstallCentringHook and RemoveCentringHook.
extern HHOOK CentringHookHandle;
// The About box's title font, from the box's WM_INITDIALOG to its WM_DESTROY (the box is
// modal: at most one exists).
extern HFONT BoldTitleFont;

// What the Open command and a drop hand their list to: RunConversion unless a test put its
// own runner here.
using ConversionRunner = void (*)(const FileList& files);

// State of the program's own that the description of the windows does not name.
struct ProcessState {
    // Accelerator table 107 and the message-filter hook (WH_MSGFILTER) that translates it
    // for the main window, whose modal dialog loop translates none; installed when the
    // main window opens, removed when it is destroyed.
    HACCEL accelerators = nullptr;
    HHOOK acceleratorHook = nullptr;
    // Test seams, null in the program: the main window's runner (null: RunConversion) and
    // the run's file system (null: the Win32 one).
    ConversionRunner conversionRunner = nullptr;
    engine::FileSystem* runFileSystem = nullptr;
};
extern ProcessState Process;
