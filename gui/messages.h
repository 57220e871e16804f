// The string table, system error texts, the one message-box wrapper, and the centring hook
// that places every dialog and box over its owner.
#pragma once

#include <windows.h>

#include <string>

// Replaces text with string-table entry id (ANSI, code page of the system). True when the
// text is at least one byte long; a missing entry gives "" and false.
bool LoadMessageText(std::string& text, UINT id);

// Code 0: false, text untouched. Otherwise text becomes the system's text for the code,
// whole (with its trailing CR LF), or text 154 when the system has none; true.
bool SystemErrorText(std::string& text, DWORD code);

// Modal box; an empty caption is replaced by the caption for style's icon bits (164-167,
// or "" for none). Returns the button's id. Installs the centring hook around the box and
// always removes it afterwards. With a non-empty caption it allocates no memory of ours.
int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT style);

// ShowMessageBox for a text that may hold names the ANSI code page cannot spell: the same
// box through MessageBoxW. A null or empty caption is replaced as above (the loaded text
// converted); with a caption given it allocates no memory of ours.
int ShowWideMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style);

// For a non-zero code: the system's text for it in an error box (style 0x10). Code 0: nothing.
void ShowSystemError(HWND owner, DWORD code);

// Idempotent; one process-wide hook handle, no nesting.
void InstallCentringHook();
void RemoveCentringHook();

// Moves window over its reference: a child into its parent's client area, a top-level
// window over its visible, non-minimised owner or else the work area, kept inside the work
// area. Called by the centring hook on WM_INITDIALOG.
void CentreWindow(HWND window);

// Whether the centring hook is in place (the process-wide handle is set).
bool CentringHookInstalled();
