// The About box (dialog 100) and the one way the program hands things to the shell.
#pragma once

#include <windows.h>

#include <string>

// Dialog procedure of the About box; run it modally with DialogBoxParamA.
INT_PTR CALLBACK AboutBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam);

// Opens target (a document, an address, "mailto:...") with its default verb. On failure
// shows the system's text for the error in an error box owned by owner.
void OpenWithShell(HWND owner, const std::string& target);
