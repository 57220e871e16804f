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

    // Every dialog but the progress dialog (the one with the progress bar) is a message box.
    static LRESULT CALLBACK hookProc(int code, WPARAM wParam, LPARAM lParam) {
        const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (code >= 0 && current_ != nullptr && call->message == WM_INITDIALOG &&
            GetDlgItem(call->hwnd, IDC_PROGRESS) == nullptr) {
            current_->answer(call->hwnd);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    // The box's text is its Static control 0xFFFF.
    void answer(HWND box) {
        ShownBox shown{windowText(box), windowText(GetDlgItem(box, 0xFFFF))};
        boxes.push_back(shown);
        if (onShown) onShown(box);
        const int button = answers_.empty() ? IDOK : answers_.front();
        if (!answers_.empty()) answers_.pop_front();
        PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
    }

    std::deque<int> answers_;
    HHOOK hook_ = nullptr;
};

}  // namespace convert::testing
