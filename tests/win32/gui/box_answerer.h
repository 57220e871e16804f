// Answers the message boxes that the code under test shows on this thread, recording each
// box as its caption, "|" and its text, in UTF-8 (a WH_CALLWNDPROCRET hook on WM_INITDIALOG).
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "res/resource.h"

namespace gui::testing {

// A window's text as it is (wide), in UTF-8.
inline std::string windowText(HWND window) {
    wchar_t wide[4096];
    const int length = GetWindowTextW(window, wide, 4096);
    char utf8[3 * 4096];
    return std::string(utf8, static_cast<std::size_t>(
                                 WideCharToMultiByte(CP_UTF8, 0, wide, length, utf8, sizeof utf8, nullptr, nullptr)));
}

// While alive, every message box (every dialog but the one with the progress bar; its text is
// control 0xFFFF) gets the next answer (IDOK once none are left), after onShown has seen it.
struct BoxAnswerer {
    explicit BoxAnswerer(std::deque<int> answers = {}) : answers(std::move(answers)) {
        current = this, this->answers.push_back(IDOK);
    }
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;
    ~BoxAnswerer() { UnhookWindowsHookEx(hook), current = nullptr; }

    static LRESULT CALLBACK answer(int code, WPARAM wParam, LPARAM lParam) {
        const HWND box = reinterpret_cast<const CWPRETSTRUCT*>(lParam)->hwnd;
        if (current && reinterpret_cast<const CWPRETSTRUCT*>(lParam)->message == WM_INITDIALOG &&
            !GetDlgItem(box, IDC_PROGRESS)) {
            current->boxes.push_back(windowText(box) + "|" + windowText(GetDlgItem(box, 0xFFFF)));
            if (current->onShown) current->onShown(box);
            PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(current->answers.front()), 0);
            if (current->answers.size() > 1) current->answers.pop_front();
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    inline static BoxAnswerer* current = nullptr;
    std::deque<int> answers;
    std::vector<std::string> boxes;
    std::function<void(HWND box)> onShown;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, answer, nullptr, GetCurrentThreadId());
};

}  // namespace gui::testing
