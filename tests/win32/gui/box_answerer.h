// Answers the message boxes that the code under test shows on this thread, and records them
// as the user sees them: with the string table's texts and the system's.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/wide_text_win.h"
#include "res/resource.h"

namespace gui::testing {

// A window's text as it is (wide), in UTF-8.
inline std::string windowText(HWND window) {
    std::wstring text(4096, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, &text[0], 4096)));
    return engine::utf8FromWide(text.data(), text.size());
}

// A string-table text, in UTF-8 as the boxes are read.
inline std::string text(UINT id) {
    char ansi[512];
    return engine::utf8FromAnsi({ansi, static_cast<std::size_t>(LoadStringA(nullptr, id, ansi, sizeof ansi))});
}

// The system's text for a code, whole.
inline std::string systemText(DWORD code) {
    wchar_t wide[512];
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    return engine::utf8FromWide(wide, FormatMessageW(flags, nullptr, code, 0, wide, 512, nullptr));
}

// A message box as the user sees it, in UTF-8.
struct Box {
    std::string caption;
    std::string text;
    bool operator==(const Box& other) const { return caption == other.caption && text == other.text; }
};

inline std::ostream& operator<<(std::ostream& out, const Box& box) {
    return out << "[" << box.caption << "] " << box.text;
}

inline Box errorBox(const std::string& text) {
    return {testing::text(IDS_CAPTION_ERROR), text};
}

// While alive, sees every top-level window of this thread as it is shown, after the
// centring hook placed it (the progress dialog aside). A message box (its text is control
// 0xFFFF) is recorded, shown to `shown`, and answered with the next answer (IDOK once none
// are left); any other window goes to `other`.
struct BoxAnswerer {
    explicit BoxAnswerer(std::deque<int> answers = {}) : answers(std::move(answers)) {
        current = this;
        this->answers.push_back(IDOK);
    }
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;
    ~BoxAnswerer() {
        UnhookWindowsHookEx(hook);
        current = nullptr;
    }

    static LRESULT CALLBACK seen(int code, WPARAM wParam, LPARAM lParam) {
        const auto& call = *reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        const bool shownNow = call.message == WM_SHOWWINDOW && call.wParam != FALSE;
        if (current != nullptr && shownNow && !(GetWindowLongA(call.hwnd, GWL_STYLE) & WS_CHILD) &&
            !GetDlgItem(call.hwnd, IDC_PROGRESS))
            current->opened(call.hwnd);
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    void opened(HWND dialog) {
        const HWND text = GetDlgItem(dialog, 0xFFFF);
        if (text == nullptr) {
            if (other) other(dialog);
            return;
        }
        boxes.push_back({windowText(dialog), windowText(text)});
        if (shown) shown(dialog);
        PostMessageA(dialog, WM_COMMAND, static_cast<WPARAM>(answers.front()), 0);
        if (answers.size() > 1) answers.pop_front();
    }

    inline static BoxAnswerer* current = nullptr;
    std::deque<int> answers;
    std::vector<Box> boxes;
    std::function<void(HWND box)> shown;
    std::function<void(HWND dialog)> other;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, seen, nullptr, GetCurrentThreadId());
};

}  // namespace gui::testing
