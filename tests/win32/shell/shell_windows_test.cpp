// The shell's windows under Wine, through what they show and write: the settings file, the
// main window's commands, Open dialogs and drops, and the About box.
#include <windows.h>
#include <dlgs.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "convert/app_state.h"
#include "convert/messages.h"
#include "res/resource.h"
#include "shell/about_box.h"
#include "shell/main_window.h"
#include "shell/startup.h"

namespace {

std::vector<FileList> runs;
std::function<void(HWND)> onDialog;  // sees every dialog of this thread as it opens

LRESULT CALLBACK dialogOpened(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code >= 0 && call->message == WM_INITDIALOG && onDialog) onDialog(call->hwnd);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::string textOf(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string iniValue(const std::string& path, const char* section, const char* key) {
    char value[512] = {};
    GetPrivateProfileStringA(section, key, "-", value, sizeof value, path.c_str());
    return value;
}

class Shell : public ::testing::Test {
protected:
    void SetUp() override {
        InstanceHandle = GetModuleHandleA(nullptr);
        static const bool registered = (RegisterMainWindowClass(), true);
        ASSERT_TRUE(registered);
        std::filesystem::remove_all(scratch_);
        std::filesystem::create_directories(scratch_ + "\\sub");
        ASSERT_TRUE(SetCurrentDirectoryA(scratch_.c_str()));
        GetCurrentDirectoryA(MAX_PATH, current_);
        DeleteFileA(ini_.c_str());
        runs.clear();
        SetConversionRunner([](const FileList& files) { runs.push_back(files); });
        hook_ = SetWindowsHookExA(WH_CALLWNDPROCRET, dialogOpened, nullptr, GetCurrentThreadId());
    }
    void TearDown() override {
        UnhookWindowsHookEx(hook_);
        onDialog = nullptr;
        SetCurrentDirectoryA(exe_.parent_path().string().c_str());
        std::filesystem::remove_all(scratch_);
        DeleteFileA(ini_.c_str());
    }
    static HWND openMain() { return CreateDialogParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainWindowProc, 0); }
    static void closeMain(HWND window) {  // saves the settings; drops the quit message
        DestroyWindow(window);
        for (MSG message; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);) {
        }
    }

    const std::filesystem::path exe_ = [] { char p[MAX_PATH] = {}; GetModuleFileNameA(nullptr, p, MAX_PATH); return std::filesystem::path(p); }();
    const std::string ini_ = (exe_.parent_path() / "quorin.ini").string();
    const std::string scratch_ = (std::filesystem::temp_directory_path() / "quorin-shell-test").string();
    char current_[MAX_PATH] = {};
    HHOOK hook_ = nullptr;
};

TEST_F(Shell, WithoutSettingsTheBoxIsSetTheFolderIsCurrentAndAllFourKeysAreWrittenInOrder) {
    HWND window = openMain();
    EXPECT_EQ(IsDlgButtonChecked(window, IDC_RUNNING_STATUS), BST_CHECKED);
    EXPECT_STREQ(RememberedFolder, current_);
    closeMain(window);
    EXPECT_EQ(fileText(ini_), "[OPTION]\r\nOpenFileNameDir=" + std::string(current_) + "\r\nUseRunningStatus=1\r\nXPos=0\r\nYPos=0\r\n");
}

// Read from beside the executable only (the decoy in the current folder says otherwise): 7
// sets the box and is written back as 1, a position off the screen is applied as stored, a
// folder of more than 259 bytes is cut, and what the program does not know survives.
TEST_F(Shell, StoredSettingsAreAppliedAndWrittenBackWithOtherContentKept) {
    const std::string decoy = "[OPTION]\r\nUseRunningStatus=0\r\nXPos=12\r\n", folder = "C:\\" + std::string(297, 'd');
    std::ofstream("quorin.ini", std::ios::binary) << decoy;
    std::ofstream(ini_, std::ios::binary) << "; mine\r\n[USER]\r\nColour=blue\r\n[OPTION]\r\nNote=kept\r\nUseRunningStatus=7\r\n"
                                             "XPos=-8\r\nYPos=-9\r\nOpenFileNameDir=" << folder << "\r\n";
    HWND window = openMain();
    RECT rect = {};
    GetWindowRect(window, &rect);
    EXPECT_EQ(IsDlgButtonChecked(window, IDC_RUNNING_STATUS), BST_CHECKED);
    EXPECT_EQ(std::pair(rect.left, rect.top), std::pair(-8L, -9L));
    EXPECT_EQ(std::string(RememberedFolder), folder.substr(0, 259));
    closeMain(window);
    for (const auto& [key, value] : {std::pair{"UseRunningStatus", std::string("1")}, {"XPos", "-8"}, {"YPos", "-9"},
                                     {"OpenFileNameDir", folder.substr(0, 259)}, {"Note", "kept"}}) {
        EXPECT_EQ(iniValue(ini_, "OPTION", key), value) << key;
    }
    EXPECT_EQ(iniValue(ini_, "USER", "Colour"), "blue");
    EXPECT_EQ(fileText(ini_).rfind("; mine\r\n", 0), 0u);
    EXPECT_EQ(fileText("quorin.ini"), decoy);
}

// Every dropped item goes to the run whole (one longer than MAX_PATH too), in drop order,
// folders included; the Open dialog's folder and filter stay.
TEST_F(Shell, DropHandsEveryItemToTheRunInDropOrder) {
    HWND window = openMain();
    const FileList dropped = {scratch_ + "\\b.mid", scratch_ + "\\sub", scratch_ + "\\" + std::string(280, 'm') + ".mid"};
    std::string paths;
    for (const std::string& path : dropped) paths += path + '\0';
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + paths.size() + 1);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    std::memcpy(drop + 1, paths.data(), paths.size());
    GlobalUnlock(memory);
    lstrcpyA(RememberedFolder, "C:\\before");
    FilterIndex = 2;
    SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    EXPECT_EQ(runs, std::vector<FileList>{dropped});
    EXPECT_STREQ(RememberedFolder, "C:\\before");
    EXPECT_EQ(FilterIndex, 2u);
    FilterIndex = 1;
    closeMain(window);
}

// Check box 1000 is the option: the menu command toggles it, its own click toggles it once
// (the command it sends does nothing more), and the menu mark follows it on opening.
TEST_F(Shell, MenuCommandAndCheckBoxShareOneStateThatTheMarkFollows) {
    HWND window = openMain();
    HMENU options = GetSubMenu(GetMenu(window), 1);
    const auto state = [&] {
        SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(options), MAKELPARAM(1, 0));
        return std::to_string(IsDlgButtonChecked(window, IDC_RUNNING_STATUS)) +
               std::to_string((GetMenuState(options, IDM_RUNNING_STATUS, MF_BYCOMMAND) & MF_CHECKED) != 0);
    };
    EXPECT_EQ(state(), "11");
    SendMessageA(window, WM_COMMAND, IDM_RUNNING_STATUS, 0);
    EXPECT_EQ(state(), "00");
    SendDlgItemMessageA(window, IDC_RUNNING_STATUS, BM_CLICK, 0, 0);
    EXPECT_EQ(state(), "11");
    closeMain(window);
}

TEST_F(Shell, MoveEndRemembersThePositionUnlessMinimized) {
    HWND window = openMain();
    SetWindowPos(window, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(window, WM_EXITSIZEMOVE, 0, 0);
    ShowWindow(window, SW_MINIMIZE);
    SendMessageA(window, WM_EXITSIZEMOVE, 0, 0);
    EXPECT_EQ(std::pair(RememberedPosition.x, RememberedPosition.y), std::pair(40L, 30L));
    closeMain(window);
}

// Each Open dialog gets the next choice: a filter (1-based), then a file to open or "" to
// cancel. Cancelled or run, the command leaves the current folder, which the dialog may have
// moved, as the next start; only a confirmed dialog's filter is kept, for this session.
TEST_F(Shell, OpenCommandRemembersTheFolderAfterACancelAndARunAndKeepsTheFilter) {
    const std::string song = scratch_ + "\\sub\\a.mid";
    std::ofstream(song) << "x";
    const std::pair<int, std::string> choices[] = {{2, ""}, {2, song}, {1, ""}};
    std::vector<int> openedWith;
    std::size_t next = 0;
    HWND window = openMain();
    onDialog = [&](HWND dialog) {
        HWND filter = GetDlgItem(dialog, cmb1);
        openedWith.push_back(static_cast<int>(SendMessageA(filter, CB_GETCURSEL, 0, 0)) + 1);
        const auto& [index, path] = choices[next++];
        SendMessageA(filter, CB_SETCURSEL, index - 1, 0);
        for (WORD code : {CBN_SELCHANGE, CBN_SELENDOK}) SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(cmb1, code), reinterpret_cast<LPARAM>(filter));
        SetDlgItemTextA(dialog, cmb13, path.c_str());
        PostMessageA(dialog, WM_COMMAND, path.empty() ? IDCANCEL : IDOK, 0);
    };
    for (int i = 0; i < 3; ++i) {
        lstrcpyA(RememberedFolder, "C:\\before");
        SendMessageA(window, WM_COMMAND, IDM_OPEN, 0);
        GetCurrentDirectoryA(MAX_PATH, current_);
        EXPECT_STREQ(RememberedFolder, current_) << i;
        EXPECT_FALSE(CentringHookInstalled()) << i;
    }
    EXPECT_EQ(runs, std::vector<FileList>{{song}});
    EXPECT_EQ(openedWith, (std::vector<int>{1, 1, 2}));
    FilterIndex = 1;
    closeMain(window);
}

// F1 opens the help page (missing here: an error box) only while the window is enabled.
TEST_F(Shell, HelpRequestWhileDisabledDoesNothing) {
    int boxes = 0;
    HWND window = openMain();
    onDialog = [&](HWND box) { ++boxes, PostMessageA(box, WM_COMMAND, IDOK, 0); };
    for (const BOOL enabled : {FALSE, TRUE}) {
        EnableWindow(window, enabled);
        SendMessageA(window, WM_HELP, 0, 0);
    }
    EXPECT_EQ(boxes, 1);
    closeMain(window);
}

TEST_F(Shell, AboutBoxShowsVersionTextsPathAndAddressesUnderABoldTitle) {
    HWND box = CreateDialogParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_ABOUT), nullptr, AboutBoxProc, 0);
    // "Quorinは、標準 MIDI ファイル (SMF) のランニング ステータスを、有効化・無効化します。" in code page 932.
    const std::string comments = "Quorin\x82\xcd\x81" "A\x95W\x8f\x80 MIDI \x83t\x83@\x83" "C\x83\x8b (SMF) \x82\xcc\x83\x89\x83\x93"
        "\x83j\x83\x93\x83O \x83X\x83" "e\x81[\x83^\x83X\x82\xf0\x81" "A\x97L\x8c\xf8\x89\xbb\x81" "E\x96\xb3\x8c\xf8\x89\xbb\x82\xb5\x82\xdc\x82\xb7\x81" "B";
    for (const auto& [id, text] : {std::pair{IDC_DESCRIPTION, std::string("Quorin 1.00")}, {IDC_COPYRIGHT, "(C) 2002 Quorin Project"},
                                   {IDC_COMMENTS, comments}, {IDC_EXE_PATH, exe_.string()}, {IDC_MAIL, "quorin@example.org"},
                                   {IDC_WEB, "http://quorin.example.org/"}}) {
        EXPECT_EQ(textOf(GetDlgItem(box, id)), text) << id;
    }
    LOGFONTA title = {};
    GetObjectA(reinterpret_cast<HFONT>(SendDlgItemMessageA(box, IDC_DESCRIPTION, WM_GETFONT, 0, 0)), sizeof title, &title);
    EXPECT_EQ(std::pair(title.lfHeight, title.lfWeight), std::pair(16L, LONG{FW_BOLD}));
    DestroyWindow(box);
    EXPECT_EQ(BoldTitleFont, nullptr);
}

}  // namespace
