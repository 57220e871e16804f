// String-table texts, system error texts, message boxes and the centring hook (Win32).
#include "gui/messages.h"

#include "engine/scope_exit.h"
#include "engine/wide_text_win.h"
#include "gui/app_state.h"
#include "gui/centring.h"
#include "gui/message_text.h"
#include "res/resource.h"

namespace {

gui::Rectangle toRectangle(const RECT& r) {
    return gui::Rectangle{r.left, r.top, r.right, r.bottom};
}

// A dialog window that is being shown by ShowWindow (not a child, not a parent's opening).
bool isDialogFirstShown(const CWPSTRUCT& call) {
    if (call.message != WM_SHOWWINDOW || call.wParam == FALSE || call.lParam != 0) return false;
    if (GetWindowLongA(call.hwnd, GWL_STYLE) & WS_CHILD) return false;
    char className[8];
    return GetClassNameA(call.hwnd, className, sizeof className) > 0 && lstrcmpA(className, "#32770") == 0;
}

// WH_CALLWNDPROC: places each dialog and message box before its own WM_INITDIALOG runs, and
// again as it is shown, for message boxes that size and place themselves while they
// initialise (Wine's do) and would otherwise end up away from their owner.
LRESULT CALLBACK CentringHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0) {
        const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (call->message == WM_INITDIALOG || isDialogFirstShown(*call)) CentreWindow(call->hwnd);
    }
    return CallNextHookEx(CentringHookHandle, code, wParam, lParam);
}

}  // namespace

bool LoadMessageText(std::string& text, UINT id) {
    return gui::loadTextGrowing(
        text, [id](char* buffer, int capacity) { return LoadStringA(InstanceHandle, id, buffer, capacity); });
}

bool SystemErrorText(std::string& text, DWORD code) {
    if (code == 0) return false;
    // Inserts are ignored: some system texts have %1-style inserts, and there are no
    // arguments to fill them with.
    char* message = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT), reinterpret_cast<LPSTR>(&message), 0, nullptr);
    const engine::ScopeExit release([message] {
        if (message != nullptr) LocalFree(message);
    });
    if (length != 0 && message != nullptr) {
        text.assign(message, length);
        return true;
    }
    char fallback[MAX_PATH];
    const int copied = LoadStringA(InstanceHandle, IDS_UNEXPECTED_ERROR, fallback, MAX_PATH);
    text.assign(fallback, copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return true;
}

int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT style) {
    // The hook goes on every way out, also when the caption cannot be had for want of memory.
    InstallCentringHook();
    const engine::ScopeExit hookGoes([] { RemoveCentringHook(); });
    // A caption of the caller's own is used as it is, without a copy: a report shown when
    // memory has run out passes one, so that nothing here allocates.
    std::string loadedCaption;
    if (caption.empty()) {
        const std::uint32_t id = gui::captionIdForStyle(style);
        if (id != 0) LoadMessageText(loadedCaption, id);
    }
    return MessageBoxA(owner, text.c_str(), caption.empty() ? loadedCaption.c_str() : caption.c_str(), style);
}

int ShowWideMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style) {
    InstallCentringHook();
    const engine::ScopeExit hookGoes([] { RemoveCentringHook(); });
    std::wstring loadedCaption;
    if (caption == nullptr || *caption == L'\0') {
        const std::uint32_t id = gui::captionIdForStyle(style);
        std::string ansi;
        if (id != 0 && LoadMessageText(ansi, id)) loadedCaption = engine::wideFromAnsi(ansi);
        caption = loadedCaption.c_str();
    }
    return MessageBoxW(owner, text, caption, style);
}

void ShowSystemError(HWND owner, DWORD code) {
    std::string text;
    if (!SystemErrorText(text, code)) return;
    ShowMessageBox(owner, text, std::string(), MB_OK | MB_ICONERROR);
}

void InstallCentringHook() {
    if (CentringHookHandle != nullptr) return;
    CentringHookHandle = SetWindowsHookExA(WH_CALLWNDPROC, CentringHook, nullptr, GetCurrentThreadId());
}

void RemoveCentringHook() {
    if (CentringHookHandle == nullptr) return;
    UnhookWindowsHookEx(CentringHookHandle);
    CentringHookHandle = nullptr;
}

bool CentringHookInstalled() {
    return CentringHookHandle != nullptr;
}

void CentreWindow(HWND window) {
    gui::CentringScene scene;
    RECT r;
    GetWindowRect(window, &r);
    scene.window = toRectangle(r);
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    if (style & WS_CHILD) {
        scene.child = true;
        RECT client{};
        GetClientRect(GetParent(window), &client);
        scene.parentClient = toRectangle(client);
    } else {
        const HWND owner = GetWindow(window, GW_OWNER);
        if (owner != nullptr) {
            const LONG ownerStyle = GetWindowLongA(owner, GWL_STYLE);
            scene.hasOwner = true;
            scene.ownerVisible = (ownerStyle & WS_VISIBLE) != 0;
            scene.ownerMinimised = (ownerStyle & WS_MINIMIZE) != 0;
            RECT ownerRect{};
            GetWindowRect(owner, &ownerRect);
            scene.owner = toRectangle(ownerRect);
        }
        RECT work{};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        scene.workArea = toRectangle(work);
    }
    const gui::Position p = gui::placeWindow(scene);
    SetWindowPos(window, nullptr, p.x, p.y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
