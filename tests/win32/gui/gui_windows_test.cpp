// The main window under Wine, through what it shows and writes: the settings file, drops,
// the option and the position. The Open command, Help and the About box are the end-to-end
// tests' (tests/e2e), which drive the real program.
#include "windows_test.h"

#include <dlgs.h>
#include <shlobj.h>

#include <cstring>

namespace gui::testing {
namespace {

std::pair<LONG, LONG> topLeft(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return {r.left, r.top};
}

// Without a file: the option set, the current folder, (0, 0), written as four keys in this
// order. A file beside this program (never the decoy in the current folder): its option and
// its folder (cut to 259 bytes); a position off every monitor gives way to (0, 0); what the
// program does not know is kept.
TEST_F(MainWindow, SettingsComeFromBesideTheProgramAndGoBackWithTheRestKept) {
    EXPECT_EQ(IsDlgButtonChecked(main_, IDC_RUNNING_STATUS), BST_CHECKED);
    close();
    const std::string first = "[OPTION]\r\nOpenFileNameDir=" + folder_.path() + "\r\nUseRunningStatus=1\r\n";
    EXPECT_EQ(quorin_test::text(readFile(ini_)), first + "XPos=0\r\nYPos=0\r\n");
    writeFile("quorin.ini", bytes(first));
    const std::string folder = "C:\\" + std::string(297, 'd');
    const auto stored = [](const std::string& position, const std::string& folder) {
        return "; mine\r\n[USER]\r\nA=b\r\n[OPTION]\r\nNote=kept\r\nUseRunningStatus=0\r\n" + position +
               "OpenFileNameDir=" + folder + "\r\n";
    };
    writeFile(ini_, bytes(stored("XPos=5000\r\nYPos=-3000\r\n", folder)));
    open();
    EXPECT_EQ(IsDlgButtonChecked(main_, IDC_RUNNING_STATUS), BST_UNCHECKED);
    EXPECT_EQ(topLeft(main_), std::pair(0L, 0L));
    close();
    EXPECT_EQ(quorin_test::text(readFile(ini_)), stored("XPos=0\r\nYPos=0\r\n", folder.substr(0, 259)));
    EXPECT_EQ(quorin_test::text(readFile("quorin.ini")), first);
}

// Every dropped item goes to the run whole, as the system spells it ("ü" has no form in code
// page 932; one is longer than MAX_PATH), in drop order, folders included.
TEST_F(MainWindow, DroppedItemsGoToTheRunWhole) {
    const FileList dropped = {"C:\\Für Elise.mid", "C:\\windows", "C:\\" + std::string(280, 'm') + ".mid"};
    std::wstring paths;
    for (const std::string& path : dropped) paths += engine::wideFromUtf8(path) + L'\0';
    const std::size_t size = sizeof(DROPFILES) + (paths.size() + 1) * sizeof(wchar_t);
    auto* const drop = static_cast<DROPFILES*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(drop + 1, paths.data(), paths.size() * sizeof(wchar_t));
    SendMessageA(main_, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    EXPECT_EQ(runs, std::vector<FileList>{dropped});
}

// The option is check box 1000: the menu command and the box's own click each toggle it once,
// and the mark in the Options menu follows it when the menu opens.
TEST_F(MainWindow, TheMenuCommandAndTheBoxToggleTheOption) {
    const int optionsMenu = 1;
    const HMENU options = GetSubMenu(GetMenu(main_), optionsMenu);
    const auto marked = [&] {
        SendMessageA(main_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(options), optionsMenu);
        return (GetMenuState(options, IDM_RUNNING_STATUS, MF_BYCOMMAND) & MF_CHECKED) != 0;
    };
    SendMessageA(main_, WM_COMMAND, IDM_RUNNING_STATUS, 0);
    EXPECT_EQ(IsDlgButtonChecked(main_, IDC_RUNNING_STATUS), BST_UNCHECKED);
    EXPECT_FALSE(marked());
    SendDlgItemMessageA(main_, IDC_RUNNING_STATUS, BM_CLICK, 0, 0);
    EXPECT_EQ(IsDlgButtonChecked(main_, IDC_RUNNING_STATUS), BST_CHECKED);
    EXPECT_TRUE(marked());
}

// A move that ends is remembered, unless the window is minimized, and the next start opens
// where it was left.
TEST_F(MainWindow, AMoveIsRememberedForTheNextStart) {
    SetWindowPos(main_, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SendMessageA(main_, WM_EXITSIZEMOVE, 0, 0);
    ShowWindow(main_, SW_MINIMIZE);
    SendMessageA(main_, WM_EXITSIZEMOVE, 0, 0);
    close();
    open();
    EXPECT_EQ(topLeft(main_), std::pair(40L, 30L));
}

}  // namespace
}  // namespace gui::testing
