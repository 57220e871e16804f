// The About box (dialog 100): version texts, the executable's path, mail and web buttons.
#include "gui/about_box.h"

#include <shellapi.h>

#include <vector>

#include "engine/scope_exit.h"
#include "gui/app_state.h"
#include "gui/messages.h"
#include "gui/module_path.h"
#include "gui/shell_failure.h"
#include "res/resource.h"

namespace {

constexpr int kMailBufferSize = 24;
constexpr int kWebBufferSize = 33;
constexpr int kTitleHeight = 16;  // pixels at kBaseDpi
constexpr int kBaseDpi = 96;

// String-table text id, cut to capacity - 1 bytes as LoadStringA cuts it.
std::string loadText(UINT id, int capacity) {
    std::vector<char> text(capacity, '\0');
    LoadStringA(InstanceHandle, id, text.data(), capacity);
    return std::string(text.data());
}

// The three version texts, each shown in the control whose id also names its key.
void fillVersionTexts(HWND box, const std::string& exePath) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(exePath.c_str(), &ignored);
    if (size == 0) return;
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, size);
    if (block == nullptr) return;
    // Also when a query path cannot be had for want of memory.
    const engine::ScopeExit release([block] { GlobalFree(block); });
    if (!GetFileVersionInfoA(exePath.c_str(), 0, size, block)) return;
    for (UINT id : {IDC_DESCRIPTION, IDC_COPYRIGHT, IDC_COMMENTS}) {
        const std::string query = "\\StringFileInfo\\041104b0\\" + loadText(id, MAX_PATH);
        LPVOID value = nullptr;
        UINT length = 0;
        if (VerQueryValueA(block, query.c_str(), &value, &length) && value != nullptr) {
            SetDlgItemTextA(box, id, static_cast<const char*>(value));
        }
    }
}

// Control 134 gets the dialog's typeface, bold, with a cell 16 pixels high at 96 DPI. The
// program is DPI aware, so the height grows with the system's DPI as the dialog's own font
// does, and the title stays larger than the text below it.
void setBoldTitle(HWND box) {
    LOGFONTA description = {};
    const auto font = reinterpret_cast<HFONT>(SendDlgItemMessageA(box, IDC_DESCRIPTION, WM_GETFONT, 0, 0));
    if (font == nullptr || GetObjectA(font, sizeof description, &description) == 0) {
        GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof description, &description);
    }
    int dpi = kBaseDpi;
    if (const HDC dc = GetDC(box)) {
        dpi = GetDeviceCaps(dc, LOGPIXELSY);
        ReleaseDC(box, dc);
    }
    description.lfHeight = MulDiv(kTitleHeight, dpi, kBaseDpi);
    description.lfWeight = FW_BOLD;
    BoldTitleFont = CreateFontIndirectA(&description);
    SendDlgItemMessageA(box, IDC_DESCRIPTION, WM_SETFONT, reinterpret_cast<WPARAM>(BoldTitleFont), FALSE);
}

void initAboutBox(HWND box) {
    const std::string exePath = moduleFileName(InstanceHandle);
    SetDlgItemTextA(box, IDC_EXE_PATH, exePath.c_str());
    SetDlgItemTextA(box, IDC_MAIL, loadText(IDS_AUTHOR_MAIL, kMailBufferSize).c_str());
    SetDlgItemTextA(box, IDC_WEB, loadText(IDS_AUTHOR_WEB, kWebBufferSize).c_str());
    fillVersionTexts(box, exePath);
    setBoldTitle(box);
}

void visitWebSite(HWND box) {
    std::string question;
    LoadMessageText(question, IDS_ASK_BROWSER);
    if (ShowMessageBox(box, question, std::string(), MB_YESNO | MB_ICONQUESTION) == IDYES) {
        OpenWithShell(box, loadText(IDS_AUTHOR_WEB, kWebBufferSize));
    }
}

// The file manager with the executable selected; a failure to start it shows nothing.
void showInFolder(HWND box) {
    const std::string parameters = "/e, /select, " + moduleFileName(InstanceHandle);
    ShellExecuteA(box, nullptr, "Explorer", parameters.c_str(), nullptr, SW_SHOWNORMAL);
}

void onCommand(HWND box, WORD id) {
    switch (id) {
    case IDOK:
    case IDCANCEL: EndDialog(box, 0); break;
    case IDC_MAIL: OpenWithShell(box, "mailto:" + loadText(IDS_AUTHOR_MAIL, kMailBufferSize)); break;
    case IDC_WEB: visitWebSite(box); break;
    case IDC_SHOW_IN_FOLDER: showInFolder(box); break;
    default: break;
    }
}

}  // namespace

void OpenWithShell(HWND owner, const std::string& target) {
    SetLastError(0);
    const auto result =
        reinterpret_cast<INT_PTR>(ShellExecuteA(owner, nullptr, target.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result > 32) return;
    ShowSystemError(owner, shellFailureCode(GetLastError(), result));
}

INT_PTR CALLBACK AboutBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM) {
    try {
        switch (message) {
        case WM_INITDIALOG: initAboutBox(box); return TRUE;
        case WM_COMMAND: onCommand(box, LOWORD(wParam)); return FALSE;
        case WM_DESTROY:
            if (BoldTitleFont != nullptr) DeleteObject(BoldTitleFont);
            BoldTitleFont = nullptr;
            return FALSE;
        default: return FALSE;
        }
    } catch (...) {
        // Out of memory while composing a text: the box stays as it is.
        return FALSE;
    }
}
