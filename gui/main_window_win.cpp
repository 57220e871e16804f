// The main window (dialog 101): the running-status option, the Open command, drops onto the
// window, the Help menu and the remembered position.
#include "gui/main_window.h"

#include <cderr.h>
#include <commdlg.h>
#include <shellapi.h>

#include <new>
#include <string>
#include <vector>

#include "engine/path_split.h"
#include "engine/scope_exit.h"
#include "engine/wide_text_win.h"
#include "gui/about_box.h"
#include "gui/app_state.h"
#include "gui/conversion_run.h"
#include "gui/messages.h"
#include "gui/open_selection.h"
#include "gui/settings.h"
#include "res/resource.h"

namespace {

constexpr DWORD kOpenFlags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY;
constexpr std::size_t kOpenBufferSize = 8192;  // characters
constexpr int kOptionsMenuPosition = 1;
constexpr LONG kClientHeightUnits = 49;  // dialog units, as in the template

void runConversion(const FileList& files) {
    if (Process.conversionRunner != nullptr) {
        Process.conversionRunner(files);
    } else {
        RunConversion(files);
    }
}

LRESULT CALLBACK acceleratorFilter(int code, WPARAM wParam, LPARAM lParam) {
    auto* message = reinterpret_cast<MSG*>(lParam);
    HWND main = MainWindowHandle;
    if (code == MSGF_DIALOGBOX && Process.accelerators != nullptr && main != nullptr && IsWindowEnabled(main) &&
        (message->hwnd == main || IsChild(main, message->hwnd)) &&
        TranslateAcceleratorA(main, Process.accelerators, message)) {
        return TRUE;
    }
    return CallNextHookEx(Process.acceleratorHook, code, wParam, lParam);
}

// Accelerator table 107, translated for the main window by a message-filter hook: the
// modal dialog loop that runs the main window translates no accelerators itself. The
// table is a resource and is never destroyed.
void installAcceleratorHook() {
    if (Process.acceleratorHook != nullptr) return;
    Process.accelerators = LoadAcceleratorsA(InstanceHandle, MAKEINTRESOURCEA(IDR_ACCELERATORS));
    Process.acceleratorHook = SetWindowsHookExA(WH_MSGFILTER, acceleratorFilter, nullptr, GetCurrentThreadId());
}

void removeAcceleratorHook() {
    if (Process.acceleratorHook != nullptr) UnhookWindowsHookEx(Process.acceleratorHook);
    Process.acceleratorHook = nullptr;
}

// The wide form of the Open dialog's request (the names come back whole, whatever their
// characters); the filter and the initial folder are the ANSI texts, converted.
void fillOpenRequest(OPENFILENAMEW& request, HWND owner, const std::wstring& filter, const std::wstring& folder,
                     std::vector<wchar_t>& files) {
    files[0] = L'\0';
    request = OPENFILENAMEW{};
    request.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    request.hwndOwner = owner;
    request.lpstrFilter = filter.c_str();
    request.nFilterIndex = FilterIndex;
    request.lpstrFile = files.data();
    request.nMaxFile = static_cast<DWORD>(files.size());
    request.lpstrInitialDir = folder.c_str();
    request.Flags = kOpenFlags;
    request.lpstrDefExt = L"mid";
}

// Folder and names as UTF-8 paths; false when the buffer holds no whole result.
bool chosenFiles(const std::vector<wchar_t>& buffer, std::size_t fileOffset, FileList& list) {
    const std::string result = engine::utf8FromWide(buffer.data(), buffer.size());
    const std::size_t offset = engine::utf8FromWide(buffer.data(), fileOffset).size();
    if (!openResultComplete(result.data(), result.size(), offset)) return false;
    list = parseOpenResult(result.data(), result.size(), offset, engine::noLeadByte);
    return true;
}

// The Open command: the multi-select Open dialog, again after a warning as long as the
// selection does not fit the buffer, then a run over the chosen files.
void openFiles(HWND window) {
    std::string filterText;
    LoadMessageText(filterText, IDS_OPEN_FILTER);
    const std::vector<char> filterBytes = openFilterBuffer(filterText);
    const std::wstring filter = engine::wideFromAnsi(std::string(filterBytes.begin(), filterBytes.end()));
    const std::wstring folder = engine::wideFromAnsi(RememberedFolder);
    std::vector<wchar_t> files(kOpenBufferSize);
    OPENFILENAMEW request;
    // However the command ends (a cancel, an error, a run, or out of memory), the hook goes
    // and the folder is taken from the current directory, which the dialog may have moved to
    // the chosen files' folder.
    const engine::ScopeExit commandEnd([] {
        RemoveCentringHook();
        try {
            lstrcpynA(RememberedFolder, CurrentFolder().c_str(), MAX_PATH);
        } catch (...) {
            GetCurrentDirectoryA(MAX_PATH, RememberedFolder);
        }
    });
    for (;;) {
        fillOpenRequest(request, window, filter, folder, files);
        InstallCentringHook();
        if (GetOpenFileNameW(&request)) {
            FileList list;
            if (chosenFiles(files, request.nFileOffset, list)) {
                FilterIndex = request.nFilterIndex;
                runConversion(list);
                break;
            }
            // A cut selection reported as success did not fit either: warn and ask again.
        } else if (CommDlgExtendedError() != FNERR_BUFFERTOOSMALL) {
            break;  // cancelled, or failed
        }
        std::string warning;
        LoadMessageText(warning, IDS_TOO_MANY_FILES);
        ShowMessageBox(window, warning, std::string(), MB_OK | MB_ICONEXCLAMATION);
    }
}

// Every dropped item, whole and as the system spells it (UTF-8), in drop order; folders
// and missing paths are left to the run.
FileList droppedFiles(HDROP drop) {
    FileList list;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(DragQueryFileW(drop, i, &path[0], static_cast<UINT>(path.size())));
        list.push_back(engine::utf8FromWide(path));
    }
    return list;
}

void dropFiles(HWND window, HDROP drop) {
    SetForegroundWindow(window);
    FileList list;
    {
        const engine::ScopeExit release([drop] { DragFinish(drop); });
        list = droppedFiles(drop);
    }
    runConversion(list);
}

void showAboutBox(HWND window) {
    InstallCentringHook();
    const engine::ScopeExit hookGoes([] { RemoveCentringHook(); });
    DialogBoxParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_ABOUT), window, AboutBoxProc, 0);
}

void toggleRunningStatus(HWND window) {
    const bool set = IsDlgButtonChecked(window, IDC_RUNNING_STATUS) != 0;
    CheckDlgButton(window, IDC_RUNNING_STATUS, set ? BST_UNCHECKED : BST_CHECKED);
}

void onCommand(HWND window, WORD id) {
    switch (id) {
    case IDM_OPEN: openFiles(window); break;
    case IDM_EXIT: SendMessageA(window, WM_CLOSE, 0, 0); break;
    case IDM_ABOUT: showAboutBox(window); break;
    case IDM_HELP_CONTENTS: OpenWithShell(window, HelpFilePath()); break;
    case IDM_RUNNING_STATUS: toggleRunningStatus(window); break;
    default: break;  // the check box's own click and Escape (2) do nothing more
    }
}

// The check mark of Options > Enable running status follows check box 1000.
void onInitMenuPopup(HWND window, HMENU popup, LPARAM lParam) {
    if (HIWORD(lParam) != 0 || LOWORD(lParam) != kOptionsMenuPosition) return;
    if (popup != GetSubMenu(GetMenu(MainWindowHandle), kOptionsMenuPosition)) return;
    const bool set = IsDlgButtonChecked(window, IDC_RUNNING_STATUS) != 0;
    CheckMenuItem(popup, IDM_RUNNING_STATUS, MF_BYCOMMAND | (set ? MF_CHECKED : MF_UNCHECKED));
}

// A move that ends while the window is minimized does not count.
void onExitSizeMove(HWND window) {
    if (IsIconic(window)) return;
    RECT rect;
    if (GetWindowRect(window, &rect)) {
        RememberedPosition.x = rect.left;
        RememberedPosition.y = rect.top;
    }
}

// A menu bar that wraps onto a second line (a narrow window, a wide menu font) takes its
// height from the client area and would cut the Open button; give that height back.
void keepClientHeight(HWND window) {
    RECT wanted = {0, 0, 0, kClientHeightUnits};
    RECT client;
    RECT frame;
    if (!MapDialogRect(window, &wanted) || !GetClientRect(window, &client) || !GetWindowRect(window, &frame)) return;
    if (client.bottom >= wanted.bottom) return;
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left,
                 frame.bottom - frame.top + (wanted.bottom - client.bottom),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void reportOutOfMemory(HWND window) {
    std::string text;
    LoadMessageText(text, IDS_OUT_OF_MEMORY);
    ShowMessageBox(window, text, std::string(), MB_OK | MB_ICONERROR);
}

INT_PTR handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        MainWindowHandle = window;
        keepClientHeight(window);  // first, so that the window is placed at its final size
        LoadSettings(window);
        installAcceleratorHook();
        return TRUE;
    case WM_COMMAND: onCommand(window, LOWORD(wParam)); return FALSE;
    case WM_INITMENUPOPUP: onInitMenuPopup(window, reinterpret_cast<HMENU>(wParam), lParam); return FALSE;
    case WM_HELP:
        // Refused while a window that the main window owns is open.
        if (IsWindowEnabled(window)) SendMessageA(window, WM_COMMAND, IDM_HELP_CONTENTS, 0);
        return FALSE;
    case WM_EXITSIZEMOVE: onExitSizeMove(window); return FALSE;
    case WM_DROPFILES: dropFiles(window, reinterpret_cast<HDROP>(wParam)); return FALSE;
    case WM_CLOSE: EndDialog(window, LOWORD(wParam)); return FALSE;
    case WM_ENDSESSION:
        // Windows is logging off or shutting down: the process may end before WM_DESTROY.
        if (wParam) SaveSettings(window);
        return FALSE;
    case WM_DESTROY:
        removeAcceleratorHook();
        SaveSettings(window);
        PostQuitMessage(0);
        return FALSE;
    default: return FALSE;
    }
}

}  // namespace

void SetConversionRunner(ConversionRunner runner) {
    Process.conversionRunner = runner;
}

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return handleMessage(window, message, wParam, lParam);
    } catch (const std::bad_alloc&) {
        try {
            reportOutOfMemory(window);
        } catch (...) {
            // Not even the message fits: the window stays as it is.
        }
        return FALSE;
    } catch (...) {
        return FALSE;
    }
}
