// Message-box answering for the Win32 tests (a WH_CALLWNDPROCRET hook on WM_INITDIALOG).
#include "box_answerer.h"

#include "res/resource.h"

namespace convert::testing {

namespace {

BoxAnswerer* current = nullptr;

std::string windowText(HWND window) {
    char buffer[4096];
    const int n = GetWindowTextA(window, buffer, sizeof buffer);
    return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

BOOL CALLBACK findText(HWND child, LPARAM found) {
    char className[32];
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") != 0) return TRUE;
    std::string text = windowText(child);
    if (text.empty()) return TRUE;
    *reinterpret_cast<std::string*>(found) = std::move(text);
    return FALSE;
}

}  // namespace

BoxAnswerer::BoxAnswerer(std::deque<int> answers) : answers_(std::move(answers)) {
    current = this;
    hook_ = SetWindowsHookExA(WH_CALLWNDPROCRET, hookProc, nullptr, GetCurrentThreadId());
}

BoxAnswerer::~BoxAnswerer() {
    UnhookWindowsHookEx(hook_);
    current = nullptr;
}

LRESULT CALLBACK BoxAnswerer::hookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0 && current != nullptr) {
        const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        char className[32];
        // Dialog 104 also initialises as a dialog; it has the progress bar.
        if (call->message == WM_INITDIALOG && GetClassNameA(call->hwnd, className, sizeof className) &&
            lstrcmpA(className, "#32770") == 0 && GetDlgItem(call->hwnd, IDC_PROGRESS) == nullptr) {
            current->answer(call->hwnd);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void BoxAnswerer::answer(HWND box) {
    ShownBox shown;
    shown.caption = windowText(box);
    EnumChildWindows(box, findText, reinterpret_cast<LPARAM>(&shown.text));
    boxes.push_back(shown);
    if (onShown) onShown(box);
    int button = IDOK;
    if (!answers_.empty()) {
        button = answers_.front();
        answers_.pop_front();
    }
    PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
}

}  // namespace convert::testing
