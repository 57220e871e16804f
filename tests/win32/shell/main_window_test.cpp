// The main window: drops handed to the run, the option shared by the menu and the check
// box, and position tracking.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "../convert/box_answerer.h"
#include "convert/app_state.h"
#include "convert/messages.h"
#include "shell_fixture.h"

namespace {

std::vector<FileList> runs;

void recordRun(const FileList& files) { runs.push_back(files); }

class MainWindow : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        runs.clear();
        SetConversionRunner(recordRun);
        window_ = openMainWindow();
    }
    void TearDown() override {
        closeMainWindow(window_);
        ShellTest::TearDown();
    }
    HWND window_ = nullptr;
};

// A drop as the shell hands it over (DROPFILES, then NUL-terminated ANSI paths and one more
// NUL): every item goes to the run, in drop order, a path longer than MAX_PATH whole; the
// Open dialog's folder and filter stay.
TEST_F(MainWindow, DropHandsEveryItemToTheRunInDropOrder) {
    const std::string folder = scratch_ + "\\sub";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    writeWholeFile(scratch_ + "\\b.mid", "x");
    const FileList dropped = {scratch_ + "\\b.mid", folder, scratch_ + "\\" + std::string(280, 'm') + ".txt"};
    std::string paths;
    for (const std::string& path : dropped) paths += path + '\0';
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + paths.size() + 1);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    std::memcpy(drop + 1, paths.data(), paths.size());
    GlobalUnlock(memory);
    const std::string folderBefore = RememberedFolder;
    const UINT filterBefore = FilterIndex;

    SendMessageA(window_, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0], dropped);
    EXPECT_EQ(RememberedFolder, folderBefore);
    EXPECT_EQ(FilterIndex, filterBefore);
}

TEST_F(MainWindow, MenuCommandAndCheckBoxShareOneStateThatTheMarkFollows) {
    const auto state = [this] {
        HMENU options = GetSubMenu(GetMenu(window_), 1);
        SendMessageA(window_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(options), MAKELPARAM(1, 0));
        const bool marked = (GetMenuState(options, IDM_RUNNING_STATUS, MF_BYCOMMAND) & MF_CHECKED) != 0;
        const bool checked = IsDlgButtonChecked(window_, IDC_RUNNING_STATUS) == BST_CHECKED;
        return std::to_string(marked) + std::to_string(checked);
    };
    EXPECT_EQ(state(), "11");
    SendMessageA(window_, WM_COMMAND, IDM_RUNNING_STATUS, 0);
    EXPECT_EQ(state(), "00");
    SendDlgItemMessageA(window_, IDC_RUNNING_STATUS, BM_CLICK, 0, 0);
    EXPECT_EQ(state(), "11");
    SendMessageA(window_, WM_COMMAND, MAKEWPARAM(IDC_RUNNING_STATUS, BN_CLICKED), 0);  // changes nothing more
    EXPECT_EQ(state(), "11");
    EXPECT_TRUE(runs.empty());
}

TEST_F(MainWindow, MoveEndRemembersThePositionUnlessMinimized) {
    SetWindowPos(window_, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(window_, WM_EXITSIZEMOVE, 0, 0);
    EXPECT_EQ(RememberedPosition.x, 40);
    EXPECT_EQ(RememberedPosition.y, 30);

    ShowWindow(window_, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(window_));
    SendMessageA(window_, WM_EXITSIZEMOVE, 0, 0);
    EXPECT_EQ(RememberedPosition.x, 40);
    EXPECT_EQ(RememberedPosition.y, 30);
}

// Drives each Open dialog as it opens: chooses the next path with the next filter (1-based;
// an empty path cancels), and notes which filter the dialog opened with.
struct OpenDialogDriver {
    std::deque<std::pair<std::string, int>> choices;
    std::vector<int> openedWithFilter;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, act, nullptr, GetCurrentThreadId());
    inline static OpenDialogDriver* current = nullptr;
    OpenDialogDriver() { current = this; }
    ~OpenDialogDriver() { UnhookWindowsHookEx(hook); }

    static LRESULT CALLBACK act(int code, WPARAM wParam, LPARAM lParam) {
        const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        const HWND filter = GetDlgItem(call->hwnd, cmb1);
        if (code >= 0 && call->message == WM_INITDIALOG && filter != nullptr && GetDlgItem(call->hwnd, cmb13)) {
            current->openedWithFilter.push_back(static_cast<int>(SendMessageA(filter, CB_GETCURSEL, 0, 0)) + 1);
            const auto [path, index] = current->choices.front();
            current->choices.pop_front();
            if (!path.empty()) {
                SendMessageA(filter, CB_SETCURSEL, index - 1, 0);
                for (const WORD notification : {CBN_SELCHANGE, CBN_SELENDOK}) {
                    SendMessageA(call->hwnd, WM_COMMAND, MAKEWPARAM(cmb1, notification), reinterpret_cast<LPARAM>(filter));
                }
                SetDlgItemTextA(call->hwnd, cmb13, path.c_str());
            }
            PostMessageA(call->hwnd, WM_COMMAND, path.empty() ? IDCANCEL : IDOK, 0);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
};

// Cancelled or not, the Open command leaves the current folder as the next one's start;
// the filter chosen stays for the next Open dialog.
TEST_F(MainWindow, OpenCommandRemembersTheFolderAndKeepsTheFilter) {
    const std::string song = scratch_ + "\\a.mid";
    writeWholeFile(song, "x");
    ASSERT_TRUE(SetCurrentDirectoryA(scratch_.c_str()));
    char current[MAX_PATH] = {};
    OpenDialogDriver driver;
    driver.choices = {{"", 1}, {song, 2}, {"", 1}};
    for (int i = 0; i < 3; ++i) {
        lstrcpyA(RememberedFolder, "C:\\quorin-no-such-folder");
        SendMessageA(window_, WM_COMMAND, IDM_OPEN, 0);
        GetCurrentDirectoryA(MAX_PATH, current);
        EXPECT_STREQ(RememberedFolder, current) << i;
        EXPECT_FALSE(CentringHookInstalled()) << i;
    }
    EXPECT_EQ(runs, std::vector<FileList>{{song}});
    EXPECT_EQ(driver.openedWithFilter, (std::vector<int>{1, 1, 2}));
    EXPECT_EQ(FilterIndex, 2u);
}

// F1 opens the help page (here missing: an error box) only while no window of the
// program's own stands over the main window.
TEST_F(MainWindow, HelpRequestWhileDisabledDoesNothing) {
    convert::testing::BoxAnswerer answerer;
    EnableWindow(window_, FALSE);
    SendMessageA(window_, WM_HELP, 0, 0);
    EXPECT_TRUE(answerer.boxes.empty());
    EnableWindow(window_, TRUE);
    SendMessageA(window_, WM_HELP, 0, 0);
    EXPECT_EQ(answerer.boxes.size(), 1u);
}

}  // namespace
