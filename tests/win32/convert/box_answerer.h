// Answers the message boxes that the code under test shows on this thread, recording each
// box's caption and text (a WH_CALLWNDPROCRET hook on WM_INITDIALOG).
#pragma once

#include <windows.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "res/resource.h"

namespace convert::testing {

struct ShownBox {
    std::string caption;
    std::string text;
};

inline std::string windowText(HWND window) {
    char buffer[4096];
    return std::string(buffer, static_cast<std::size_t>(std::max(0, GetWindowTextA(window, buffer, sizeof buffer))));
}

// While alive, every message box gets the next answer (IDOK once none are left), after
// onShown has seen it. One at a time.
class BoxAnswerer {
public:
    explicit BoxAnswerer(std::deque<int> answers = {}) : answers_(std::move(answers)) {
        current_ = this;
        hook_ = SetWindowsHookExA(WH_CALLWNDPROCRET, hookProc, nullptr, GetCurrentThreadId());
    }
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;
    ~BoxAnswerer() {
        UnhookWindowsHookEx(hook_);
        current_ = nullptr;
    }

    std::vector<ShownBox> boxes;
    std::function<void(HWND box)> onShown;

private:
    inline static BoxAnswerer* current_ = nullptr;

    // Dialog boxes of class #32770, but not the progress dialog (it has the progress bar).
    static LRESULT CALLBACK hookProc(int code, WPARAM wParam, LPARAM lParam) {
        const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        char className[32];
        if (code >= 0 && current_ != nullptr && call->message == WM_INITDIALOG &&
            GetClassNameA(call->hwnd, className, sizeof className) && lstrcmpA(className, "#32770") == 0 &&
            GetDlgItem(call->hwnd, IDC_PROGRESS) == nullptr) {
            current_->answer(call->hwnd);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    // The box's text is its first non-empty Static control.
    void answer(HWND box) {
        ShownBox shown{windowText(box), ""};
        for (HWND child = GetWindow(box, GW_CHILD); child != nullptr && shown.text.empty();
             child = GetWindow(child, GW_HWNDNEXT)) {
            char className[32];
            if (GetClassNameA(child, className, sizeof className) && lstrcmpiA(className, "Static") == 0) {
                shown.text = windowText(child);
            }
        }
        boxes.push_back(shown);
        if (onShown) onShown(box);
        int button = IDOK;
        if (!answers_.empty()) {
            button = answers_.front();
            answers_.pop_front();
        }
        PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
    }

    std::deque<int> answers_;
    HHOOK hook_ = nullptr;
};

}  // namespace convert::testing
