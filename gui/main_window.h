// The main window (dialog 101): the running-status option, the Open command, drops onto the
// window, the Help menu and the remembered position.
#pragma once

#include <windows.h>

#include "gui/app_state.h"

// Dialog procedure of the main window. Run it with DialogBoxParamA (start-up) or
// CreateDialogParamA (tests); its class is "QuorinWnd", which must be registered first.
INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Test seam: what the Open command and a drop hand their list to (ConversionRunner, in
// app_state.h); nullptr restores RunConversion.
void SetConversionRunner(ConversionRunner runner);
