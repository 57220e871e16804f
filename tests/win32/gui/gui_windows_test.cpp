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

#include "engine/wide_text_win.h"
#include "gui/about_box.h"
#include "gui/app_state.h"
#include "gui/main_window.h"
#include "gui/messages.h"
#include "gui/startup.h"
#include "res/resource.h"

namespace {

std::vector<FileList> runs;
std::function<void(HWND)> onDialog;  // sees every dialog of this thread as it opens

LRESULT CALLBACK dialogOpened(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code >= 0 && call->message == WM_INITDIALOG && onDialog) onDialog(call->hwnd);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

INT_PTR CALLBACK plainDialog(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

std::string fileText(const std::string& path) {
    return std::string(std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {});
}

// In the temporary folder made current, the main window opened without a settings file beside
// this executable; it hands its runs to `runs`.
class Shell : public ::testing::Test {
protected:
    void SetUp() override {
        static const bool ready = (InstanceHandle = GetModuleHandleA(nullptr), RegisterMainWindowClass(),
                                   SetWindowsHookExA(WH_CALLWNDPROCRET, dialogOpened, nullptr, GetCurrentThreadId()));
        ASSERT_TRUE(ready && SetCurrentDirectoryA(std::filesystem::temp_directory_path().string().c_str()));
        GetCurrentDirectoryA(MAX_PATH, current_);
        runs.clear();
        SetConversionRunner([](const FileList& files) { runs.push_back(files); });
        main();
    }
    void TearDown() override {
        onDialog = nullptr;
        closeMain();
        for (const std::string& file : {ini_, std::string("quorin.ini"), song_}) DeleteFileA(file.c_str());
    }
    HWND main() {
        return main_ != nullptr ? main_
                                : (main_ = CreateDialogParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                                              MainWindowProc, 0));
    }
    // Saves the settings; drops the quit message that would end the next modal loop.
    void closeMain() {
        DestroyWindow(std::exchange(main_, nullptr));
        for (MSG m; PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);) continue;
    }

    const std::string ini_ = [] {
        char p[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, p, MAX_PATH);
        return std::string(p, std::strrchr(p, '\\')) + "\\quorin.ini";
    }();
    const std::string song_ = (std::filesystem::temp_directory_path() / "quorin-shell-test.mid").string();
    char current_[MAX_PATH] = {};
    HWND main_ = nullptr;
};

// No file: the box is set and the folder is the current one, written as all four keys in
// order. A file beside the executable (never the decoy in the current folder): 7 sets the box
// (written back as 1), a position off every screen (a removed monitor's) gives way to the
// first start's (0, 0), a folder of more than 259 bytes is cut, and what the program does not
// know survives.
TEST_F(Shell, SettingsAreReadFromBesideTheExecutableAndWrittenBackWithOtherContentKept) {
    RECT first = {}, rect = {};  // first: the template's own width
    const HWND plain = CreateDialogParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_MAIN), nullptr, plainDialog, 0);
    GetWindowRect(plain, &first);
    DestroyWindow(plain);
    WNDCLASSA dialog = {};  // the window's class has the style and cursor of the system's dialogs
    ASSERT_TRUE(GetClassInfoA(nullptr, MAKEINTRESOURCEA(0x8002), &dialog));
    EXPECT_EQ(std::pair(GetClassLongPtrA(main(), GCL_STYLE), GetClassLongPtrA(main(), GCLP_HCURSOR)),
              std::pair(ULONG_PTR(dialog.style), reinterpret_cast<ULONG_PTR>(dialog.hCursor)));
    closeMain();
    EXPECT_EQ(fileText(ini_), "[OPTION]\r\nOpenFileNameDir=" + std::string(current_) +
                                  "\r\nUseRunningStatus=1\r\nXPos=0\r\nYPos=0\r\n");

    const std::string decoy = "[OPTION]\r\nUseRunningStatus=0\r\nXPos=12\r\n", folder = "C:\\" + std::string(297, 'd');
    const auto stored = [&](const std::string& running, const std::string& x, const std::string& y,
                            const std::string& cut) {
        return "; mine\r\n[USER]\r\nA=b\r\n[OPTION]\r\nNote=kept\r\nUseRunningStatus=" + running + "\r\nXPos=" + x +
               "\r\nYPos=" + y + "\r\nOpenFileNameDir=" + cut + "\r\n";
    };
    std::ofstream("quorin.ini", std::ios::binary) << decoy;
    std::ofstream(ini_, std::ios::binary) << stored("7", "5000", "-3000", folder);
    GetWindowRect(main(), &rect);
    EXPECT_EQ(std::tuple(rect.left, rect.top, rect.right - rect.left), std::tuple(0L, 0L, first.right - first.left));
    EXPECT_EQ(std::string(RememberedFolder), folder.substr(0, 259));
    closeMain();
    EXPECT_EQ(fileText(ini_), stored("1", "0", "0", folder.substr(0, 259)));
    EXPECT_EQ(fileText("quorin.ini"), decoy);
}

// Every dropped item goes to the run whole and as the system spells it (UTF-8; "ü" has no
// form in code page 932), one longer than MAX_PATH too, in drop order, folders included,
// and the Open dialog's folder stays. Check box 1000 is the option: the menu
// command toggles it, its own click toggles it once (the command it sends does nothing more),
// and the menu mark follows it on opening. A move that ends is remembered, unless minimized.
TEST_F(Shell, DropOptionAndPosition) {
    const FileList dropped = {"C:\\Für Elise.mid", "C:\\windows", "C:\\" + std::string(280, 'm') + ".mid"};
    DROPFILES header = {};
    header.pFiles = sizeof header;
    header.fWide = TRUE;
    std::wstring drop(reinterpret_cast<const wchar_t*>(&header),
                      sizeof header / sizeof(wchar_t));  // the paths follow it
    for (const std::string& path : dropped) drop += engine::wideFromUtf8(path) + L'\0';
    const std::size_t bytes = (drop.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = std::memcpy(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes), drop.data(), bytes - sizeof(wchar_t));
    lstrcpyA(RememberedFolder, "C:\\before");
    SendMessageA(main_, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    EXPECT_EQ(std::pair(runs, std::string(RememberedFolder)),
              std::pair(std::vector<FileList>{dropped}, std::string("C:\\before")));

    HMENU options = GetSubMenu(GetMenu(main_), 1);
    std::string states;
    for (const auto& [message, window] :
         {std::pair{WM_NULL, main_}, {WM_COMMAND, main_}, {BM_CLICK, GetDlgItem(main_, IDC_RUNNING_STATUS)}}) {
        SendMessageA(window, message, IDM_RUNNING_STATUS, 0);
        SendMessageA(main_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(options), MAKELPARAM(1, 0));
        states += std::to_string(IsDlgButtonChecked(main_, IDC_RUNNING_STATUS)) +
                  std::to_string((GetMenuState(options, IDM_RUNNING_STATUS, MF_BYCOMMAND) & MF_CHECKED) != 0);
    }
    EXPECT_EQ(states, "110011");
    SetWindowPos(main_, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (const int show : {SW_SHOWNA, SW_MINIMIZE}) ShowWindow(main_, show), SendMessageA(main_, WM_EXITSIZEMOVE, 0, 0);
    EXPECT_EQ(std::pair(RememberedPosition.x, RememberedPosition.y), std::pair(40L, 30L));
}

// Each Open dialog gets the next choice: a filter (1-based), then a file to open or "" to
// cancel. Cancelled or run, the command leaves the current folder, which the dialog may have
// moved, as the next start; only a confirmed dialog's filter is kept, for this session. F1
// opens the help page (missing here: an error box) only while the window is enabled.
TEST_F(Shell, OpenCommandRemembersTheFolderAndTheFilterAndHelpWaitsForAnEnabledWindow) {
    std::ofstream(song_) << "x";
    const std::pair<int, std::string> choices[] = {{2, ""}, {2, song_}, {1, ""}};
    std::vector<int> openedWith;
    onDialog = [&](HWND dialog) {
        HWND filter = GetDlgItem(dialog, cmb1);
        const auto& [index, path] = choices[std::min<std::size_t>(openedWith.size(), 2)];
        openedWith.push_back(filter != nullptr ? static_cast<int>(SendMessageA(filter, CB_GETCURSEL, 0, 0)) + 1 : 0);
        SendMessageA(filter, CB_SETCURSEL, index - 1, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELENDOK), reinterpret_cast<LPARAM>(filter));
        SetDlgItemTextA(dialog, cmb13, path.c_str());
        PostMessageA(dialog, WM_COMMAND, path.empty() ? IDCANCEL : IDOK, 0);
    };
    for (int i = 0; i < 3; ++i) {
        lstrcpyA(RememberedFolder, "C:\\before");
        SendMessageA(main_, WM_COMMAND, IDM_OPEN, 0);
        GetCurrentDirectoryA(MAX_PATH, current_);
        EXPECT_EQ(std::pair(std::string(RememberedFolder), CentringHookInstalled()),
                  std::pair(std::string(current_), false))
            << i;
    }
    EXPECT_EQ(runs, std::vector<FileList>{{song_}});
    for (const BOOL enabled : {FALSE, TRUE}) EnableWindow(main_, enabled), SendMessageA(main_, WM_HELP, 0, 0);
    EXPECT_EQ(openedWith, (std::vector<int>{1, 1, 2, 0}));  // the last: the error box, no filter
}

// Windows ending the session (log-off, shut-down) may end the program without WM_DESTROY: the
// settings are saved when the end is real, and not when it was called off.
TEST_F(Shell, EndOfSessionSavesTheSettings) {
    CheckDlgButton(main_, IDC_RUNNING_STATUS, BST_UNCHECKED);
    SendMessageA(main_, WM_ENDSESSION, FALSE, 0);
    EXPECT_EQ(GetFileAttributesA(ini_.c_str()), INVALID_FILE_ATTRIBUTES);
    SendMessageA(main_, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_EQ(fileText(ini_), "[OPTION]\r\nOpenFileNameDir=" + std::string(current_) +
                                  "\r\nUseRunningStatus=0\r\nXPos=0\r\nYPos=0\r\n");
}

TEST_F(Shell, AboutBoxShowsVersionTextsPathAndAddressesUnderABoldTitle) {
    HWND box = CreateDialogParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_ABOUT), nullptr, AboutBoxProc, 0);
    char text[512] = {};
    // Each text as it begins (the comment with "Quorinは、標準 MIDI", in code page 932).
    for (const auto& [id, expected] : {std::pair{IDC_DESCRIPTION, std::string("Quorin 1.00")},
                                       {IDC_COPYRIGHT, "(C) 2002 Quorin Project"},
                                       {IDC_COMMENTS,
                                        "Quorin\x82\xcd\x81"
                                        "A\x95W\x8f\x80 MIDI"},
                                       {IDC_EXE_PATH, ini_.substr(0, ini_.rfind('\\')) + "\\gui_win_tests.exe"},
                                       {IDC_MAIL, "quorin@example.org"},
                                       {IDC_WEB, "http://quorin.example.org/"}}) {
        EXPECT_EQ((GetDlgItemTextA(box, id, text, sizeof text), std::string(text).substr(0, expected.size())), expected)
            << id;
    }
    LOGFONTA title = {};
    GetObjectA(reinterpret_cast<HFONT>(SendDlgItemMessageA(box, IDC_DESCRIPTION, WM_GETFONT, 0, 0)), sizeof title,
               &title);
    EXPECT_EQ(std::pair(title.lfHeight, title.lfWeight), std::pair(16L, LONG{FW_BOLD}));
    DestroyWindow(box);
    EXPECT_EQ(BoldTitleFont, nullptr);
}

}  // namespace
