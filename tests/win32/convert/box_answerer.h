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
    std::string caption, text;
};

inline std::string windowText(HWND window) {
    char buffer[4096];
    return std::string(buffer, static_cast<std::size_t>(std::max(0, GetWindowTextA(window, buffer, sizeof buffer))));
}

// While alive, every message box (every dialog but the one with the progress bar; its text is
// control 0xFFFF) gets the next answer (IDOK once none are left), after onShown has seen it.
struct BoxAnswerer {
    explicit BoxAnswerer(std::deque<int> answers = {}) : answers(std::move(answers)) { current = this; }
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;
    ~BoxAnswerer() { UnhookWindowsHookEx(hook), current = nullptr; }

    static LRESULT CALLBACK answer(int code, WPARAM wParam, LPARAM lParam) {
        const HWND box = reinterpret_cast<const CWPRETSTRUCT*>(lParam)->hwnd;
        if (current && reinterpret_cast<const CWPRETSTRUCT*>(lParam)->message == WM_INITDIALOG && !GetDlgItem(box, IDC_PROGRESS)) {
            current->boxes.push_back({windowText(box), windowText(GetDlgItem(box, 0xFFFF))});
            if (current->onShown) current->onShown(box);
            std::deque<int>& answers = current->answers;
            PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(answers.empty() ? IDOK : answers.front()), 0);
            if (!answers.empty()) answers.pop_front();
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    inline static BoxAnswerer* current = nullptr;
    std::deque<int> answers;
    std::vector<ShownBox> boxes;
    std::function<void(HWND box)> onShown;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, answer, nullptr, GetCurrentThreadId());
};

}  // namespace convert::testing
