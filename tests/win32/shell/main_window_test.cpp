// The main window: drops handed to the run, the menu's check mark, accelerators, and
// position tracking.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "convert/app_state.h"
#include "res/resource.h"
#include "shell/main_window.h"
#include "shell/shell_state.h"
#include "shell_fixture.h"

namespace {

std::vector<FileList> runs;

void recordRun(const FileList& files) {
    runs.push_back(files);
}

// A drop as the shell hands it over: DROPFILES followed by NUL-terminated ANSI paths and
// one more NUL.
HDROP makeDrop(const std::vector<std::string>& paths) {
    std::size_t size = sizeof(DROPFILES) + 1;
    for (const std::string& path : paths) size += path.size() + 1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = FALSE;
    char* out = reinterpret_cast<char*>(drop) + sizeof(DROPFILES);
    for (const std::string& path : paths) {
        std::memcpy(out, path.c_str(), path.size() + 1);
        out += path.size() + 1;
    }
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

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

    bool optionChecked() const { return IsDlgButtonChecked(window_, IDC_RUNNING_STATUS) == BST_CHECKED; }

    bool menuMarkShown() {
        HMENU options = GetSubMenu(GetMenu(window_), 1);
        SendMessageA(window_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(options), MAKELPARAM(1, 0));
        return (GetMenuState(options, IDM_RUNNING_STATUS, MF_BYCOMMAND) & MF_CHECKED) != 0;
    }

    HWND window_ = nullptr;
};

TEST_F(MainWindow, DropHandsEveryItemToTheRunInDropOrder) {
    const std::string folder = scratch_ + "\\sub";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    writeWholeFile(scratch_ + "\\b.mid", "x");
    const std::vector<std::string> dropped = {scratch_ + "\\b.mid", folder, scratch_ + "\\missing.txt"};
    const std::string folderBefore = RememberedFolder;
    const UINT filterBefore = FilterIndex;

    SendMessageA(window_, WM_DROPFILES, reinterpret_cast<WPARAM>(makeDrop(dropped)), 0);

    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0], dropped);
    EXPECT_EQ(RememberedFolder, folderBefore);
    EXPECT_EQ(FilterIndex, filterBefore);
}

TEST_F(MainWindow, DroppedPathLongerThanMaxPathIsKeptWhole) {
    const std::string longPath = "C:\\" + std::string(280, 'p') + ".mid";
    SendMessageA(window_, WM_DROPFILES, reinterpret_cast<WPARAM>(makeDrop({"C:\\a.mid", longPath})), 0);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0], (FileList{"C:\\a.mid", longPath}));
}

TEST_F(MainWindow, MenuCommandAndCheckBoxShareOneStateThatTheMarkFollows) {
    ASSERT_TRUE(optionChecked());
    EXPECT_TRUE(menuMarkShown());

    SendMessageA(window_, WM_COMMAND, IDM_RUNNING_STATUS, 0);
    EXPECT_FALSE(optionChecked());
    EXPECT_FALSE(menuMarkShown());

    SendDlgItemMessageA(window_, IDC_RUNNING_STATUS, BM_CLICK, 0, 0);
    EXPECT_TRUE(optionChecked());
    EXPECT_TRUE(menuMarkShown());

    // The check box's own notification and Escape change nothing more.
    SendMessageA(window_, WM_COMMAND, MAKEWPARAM(IDC_RUNNING_STATUS, BN_CLICKED), 0);
    SendMessageA(window_, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(optionChecked());
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_TRUE(runs.empty());

    // Other popups, or this one reported at another position or as a window menu, keep
    // whatever mark they have.
    HMENU options = GetSubMenu(GetMenu(window_), 1);
    CheckMenuItem(options, IDM_RUNNING_STATUS, MF_BYCOMMAND | MF_UNCHECKED);
    SendMessageA(window_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(options), MAKELPARAM(0, 0));
    SendMessageA(window_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(options), MAKELPARAM(1, 1));
    EXPECT_EQ(GetMenuState(options, IDM_RUNNING_STATUS, MF_BYCOMMAND) & MF_CHECKED, 0u);
}

TEST_F(MainWindow, CtrlRTogglesTheOptionThroughTheDialogLoop) {
    BYTE saved[256];
    GetKeyboardState(saved);
    BYTE keys[256];
    std::memcpy(keys, saved, sizeof keys);
    keys[VK_CONTROL] = keys[VK_LCONTROL] = 0x80;
    SetKeyboardState(keys);

    MSG key = {};
    key.hwnd = GetDlgItem(window_, IDC_RUNNING_STATUS);
    key.message = WM_KEYDOWN;
    key.wParam = 'R';
    key.lParam = 1 | (0x13 << 16);
    const BOOL handled = IsDialogMessageA(window_, &key);
    SetKeyboardState(saved);

    EXPECT_TRUE(handled);
    EXPECT_FALSE(optionChecked());
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

TEST_F(MainWindow, ClassIsTheDialogClassWithTheProgramIcon) {
    WNDCLASSA windowClass = {};
    ASSERT_TRUE(GetClassInfoA(InstanceHandle, "QuorinWnd", &windowClass));
    EXPECT_NE(windowClass.hIcon, nullptr);
    EXPECT_EQ(windowClass.cbWndExtra, DLGWINDOWEXTRA);
    char name[64] = {};
    GetClassNameA(window_, name, sizeof name);
    EXPECT_STREQ(name, "QuorinWnd");
    EXPECT_EQ(MainWindowHandle, window_);
}

}  // namespace
