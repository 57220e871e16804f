// The main window (dialog 101): the running-status option, the Open command, drops onto the
// window, the Help menu and the remembered position.
#pragma once

#include <windows.h>

#include "convert/file_list.h"

// Dialog procedure of the main window. Run it with DialogBoxParamA (start-up) or
// CreateDialogParamA (tests); its class is "QuorinWnd", which must be registered first.
INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// What the Open command and a drop hand their list to. RunConversion unless a test put
// its own runner here; nullptr restores RunConversion.
using ConversionRunner = void (*)(const FileList& files);
void SetConversionRunner(ConversionRunner runner);
