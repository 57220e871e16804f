// What the window tests share: the program's main window in a fresh current folder, and the
// message boxes, answered and recorded as the user sees them (in UTF-8).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include "engine/wide_text_win.h"
#include "gui/app_state.h"
#include "gui/main_window.h"
#include "gui/startup.h"
#include "res/resource.h"
#include "tests/support/files.h"

namespace gui::testing {

using namespace quorin_test;

inline std::string windowText(HWND window) {
    wchar_t text[4096];
    return engine::utf8FromWide(text, static_cast<std::size_t>(GetWindowTextW(window, text, 4096)));
}

// A string-table text.
inline std::string text(UINT id) {
    char ansi[512];
    return engine::utf8FromAnsi({ansi, static_cast<std::size_t>(LoadStringA(nullptr, id, ansi, sizeof ansi))});
}

// The system's text for a code, whole.
inline std::string systemText(DWORD code) {
    wchar_t text[512];
    return engine::utf8FromWide(text, FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, text, 512, nullptr));
}

using Box = std::pair<std::string, std::string>;  // caption, text

inline Box errorBox(const std::string& text) {
    return {testing::text(IDS_CAPTION_ERROR), text};
}

// While alive, gives `shown` each top-level window of this thread as it is shown, placed by
// the centring hook (the progress dialog aside). A message box (its text is control 0xFFFF)
// is also recorded and answered with the next answer (IDOK once none are left).
struct BoxAnswerer {
    explicit BoxAnswerer(std::deque<int> answers = {IDOK}) : answers(std::move(answers)) { current = this; }
    ~BoxAnswerer() { UnhookWindowsHookEx(hook); }

    static LRESULT CALLBACK seen(int code, WPARAM wParam, LPARAM lParam) {
        const auto& call = *reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        const bool popup = !(GetWindowLongA(call.hwnd, GWL_STYLE) & WS_CHILD);
        if (call.message == WM_SHOWWINDOW && call.wParam && popup && !GetDlgItem(call.hwnd, IDC_PROGRESS))
            current->opened(call.hwnd);
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    void opened(HWND window) {
        if (shown) shown(window);
        if (!GetDlgItem(window, 0xFFFF)) return;
        boxes.emplace_back(windowText(window), windowText(GetDlgItem(window, 0xFFFF)));
        PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(answers.front()), 0);
        if (answers.size() > 1) answers.pop_front();
    }

    inline static BoxAnswerer* current = nullptr;
    std::deque<int> answers;
    std::vector<Box> boxes;
    std::function<void(HWND window)> shown;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, seen, nullptr, GetCurrentThreadId());
};

// The main window, opened with a fresh current folder and no settings file beside this
// program; the runs it starts are kept.
class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        InstanceHandle = GetModuleHandleA(nullptr);
        RegisterMainWindowClass();
        SetCurrentDirectoryA(folder_.path().c_str());
        runs.clear();
        SetConversionRunner([](const FileList& files) { runs.push_back(files); });
        open();
    }
    void TearDown() override {
        close();
        DeleteFileA(ini_.c_str());
    }
    void open() { main_ = CreateDialogParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainWindowProc, 0); }
    // Saves the settings; drops the quit message that would end the next modal loop.
    void close() {
        DestroyWindow(main_);
        for (MSG m; PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);) continue;
    }

    static inline std::vector<FileList> runs;
    const std::string ini_ = std::string(_pgmptr).substr(0, std::string(_pgmptr).rfind('\\')) + "\\quorin.ini";
    TempFolder folder_;
    HWND main_ = nullptr;
};

}  // namespace gui::testing
