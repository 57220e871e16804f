// The program's windows under Wine (code page 932), through what they show and write: the
// main window (its settings file, drops, the option, the position, Help), the About box, and
// the conversion run under its progress dialog over temporary files, every box answered by
// the test. The Open command is the end-to-end tests' (tests/e2e), which drive the real
// program.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>

#include "engine/free_space.h"
#include "engine/wide_text_win.h"
#include "gui/about_box.h"
#include "gui/app_state.h"
#include "gui/conversion_run.h"
#include "gui/main_window.h"
#include "gui/startup.h"
#include "res/resource.h"
#include "tests/support/files.h"
#include "tests/support/no_short_names.h"

namespace gui::testing {
namespace {

using namespace quorin_test;

std::string windowText(HWND window) {
    wchar_t text[4096];
    return engine::utf8FromWide(text, static_cast<std::size_t>(GetWindowTextW(window, text, 4096)));
}

// A string-table text, in UTF-8 as the boxes are read.
std::string text(UINT id) {
    char ansi[512];
    return engine::utf8FromAnsi({ansi, static_cast<std::size_t>(LoadStringA(nullptr, id, ansi, sizeof ansi))});
}

// The system's text for a code, whole.
std::string systemText(DWORD code) {
    wchar_t text[512];
    return engine::utf8FromWide(text, FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, text, 512, nullptr));
}

using Box = std::pair<std::string, std::string>;  // caption, text

// While alive (one at a time), records each message box of this thread as it is shown and
// answers it with the next answer (IDOK once none are left). A message box is a window with
// control 0xFFFF, its text.
struct BoxAnswerer {
    explicit BoxAnswerer(std::deque<int> answers = {IDOK}) : answers(std::move(answers)) { current = this; }
    ~BoxAnswerer() { UnhookWindowsHookEx(hook); }

    static LRESULT CALLBACK seen(int code, WPARAM wParam, LPARAM lParam) {
        const auto& call = *reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (call.message == WM_SHOWWINDOW && call.wParam) current->answer(call.hwnd);
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    void answer(HWND box) {
        const HWND text = GetDlgItem(box, 0xFFFF);
        if (text == nullptr) return;
        boxes.emplace_back(windowText(box), windowText(text));
        PostMessageA(box, WM_COMMAND, answers.front(), 0);
        if (answers.size() > 1) answers.pop_front();
    }

    inline static BoxAnswerer* current = nullptr;
    std::deque<int> answers;
    std::vector<Box> boxes;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, seen, nullptr, GetCurrentThreadId());
};

std::pair<LONG, LONG> topLeft(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return {r.left, r.top};
}

// The system's free-space function as the run finds it: plenty of room; it throws std::bad_alloc at the first file if
// asked to, and presses Escape in the progress dialog at the files listed (those that change, counted from 1).
struct Fake {
    bool throwsFirst = false;
    std::vector<int> escapes;
    std::vector<LRESULT> bar;  // the progress bar's position at each probe
};

// The main window, opened with a fresh current folder and no settings file beside this
// program, with the fake free space and files in the fresh folder, named and read in UTF-8
// as the run takes them.
class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        InstanceHandle = GetModuleHandleA(nullptr);
        InitCommonControls();
        RegisterMainWindowClass();
        SetCurrentDirectoryA(folder_.path().c_str());
        FreeSpaceExFunction = freeSpace;
        fake = Fake{};
        open();
    }
    void TearDown() override {
        close();
        DeleteFileA(ini_.c_str());
        std::filesystem::current_path(std::filesystem::temp_directory_path());  // lets the folder go
    }
    void open() { main_ = CreateDialogParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainWindowProc, 0); }
    // Saves the settings; drops the quit message that would end the next modal loop.
    void close() {
        DestroyWindow(main_);
        for (MSG m; PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);) continue;
    }

    std::string put(const std::string& name, const Bytes& bytes) const {
        const std::string path = folder_.path() + "\\" + name;
        writeFile(std::filesystem::u8path(path), bytes);
        return path;
    }
    static Bytes read(const std::string& path) { return readFile(std::filesystem::u8path(path)); }
    // Drops paths (UTF-8) on the main window as the shell does: a DROPFILES with wide names.
    void drop(const FileList& paths) const {
        const DROPFILES header = {sizeof(DROPFILES), {}, FALSE, TRUE};  // a whole number of wide characters
        std::wstring block(reinterpret_cast<const wchar_t*>(&header), sizeof header / sizeof(wchar_t));
        for (const std::string& path : paths) block += engine::wideFromUtf8(path) + L'\0';
        const std::size_t size = (block.size() + 1) * sizeof(wchar_t);
        void* const memory = std::memcpy(GlobalAlloc(GPTR, size), block.c_str(), size);
        SendMessageA(main_, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    }

    static BOOL WINAPI freeSpace(LPCSTR, PULARGE_INTEGER user, PULARGE_INTEGER total, PULARGE_INTEGER) {
        fake.bar.push_back(SendDlgItemMessageA(GetActiveWindow(), IDC_PROGRESS, PBM_GETPOS, 0, 0));
        const int probe = static_cast<int>(fake.bar.size());
        if (std::count(fake.escapes.begin(), fake.escapes.end(), probe) != 0)
            PostMessageA(GetActiveWindow(), WM_KEYDOWN, VK_ESCAPE, 0);
        if (probe == 1 && fake.throwsFirst) throw std::bad_alloc();
        user->QuadPart = 1ull << 40;
        total->QuadPart = 1ull << 40;
        return TRUE;
    }

    inline static Fake fake;
    const std::string ini_ = std::string(_pgmptr).substr(0, std::string(_pgmptr).rfind('\\')) + "\\quorin.ini";
    TempFolder folder_;
    HWND main_ = nullptr;
};

// Without a file: the option set, the current folder, (0, 0), written as four keys in this
// order. A file beside this program (never one in the current folder): its option and
// its folder (cut to 259 bytes); a position off every monitor gives way to (0, 0); what the
// program does not know is kept. A move that ends is remembered, unless the window is
// minimized, and the next start opens where it was left.
TEST_F(MainWindow, SettingsLiveBesideTheProgram) {
    close();
    const std::string first = "[OPTION]\r\nOpenFileNameDir=" + folder_.path() + "\r\nUseRunningStatus=1\r\n";
    EXPECT_EQ(readFile(ini_), bytes(first + "XPos=0\r\nYPos=0\r\n"));
    const std::string folder = "C:\\" + std::string(MAX_PATH, 'd');
    const auto stored = [](const std::string& position, const std::string& folder) {
        return bytes("; mine\r\n[USER]\r\nA=b\r\n[OPTION]\r\nNote=kept\r\nUseRunningStatus=0\r\n" + position +
                     "OpenFileNameDir=" + folder + "\r\n");
    };
    writeFile(ini_, stored("XPos=5000\r\nYPos=-3000\r\n", folder));
    open();
    EXPECT_EQ(IsDlgButtonChecked(main_, IDC_RUNNING_STATUS), BST_UNCHECKED);
    EXPECT_EQ(topLeft(main_), std::pair(0L, 0L));
    close();
    EXPECT_EQ(readFile(ini_), stored("XPos=0\r\nYPos=0\r\n", folder.substr(0, MAX_PATH - 1)));
    open();
    SetWindowPos(main_, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SendMessageA(main_, WM_EXITSIZEMOVE, 0, 0);
    ShowWindow(main_, SW_MINIMIZE);
    SendMessageA(main_, WM_EXITSIZEMOVE, 0, 0);
    close();
    open();
    EXPECT_EQ(topLeft(main_), std::pair(40L, 30L));
}

// The option is check box 1000, set at first: the menu command toggles it, and the mark in
// the Options menu follows it when the menu opens.
TEST_F(MainWindow, MenuTogglesTheOption) {
    const int optionsMenu = 1;
    const HMENU options = GetSubMenu(GetMenu(main_), optionsMenu);
    const auto marked = [&] {
        SendMessageA(main_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(options), optionsMenu);
        return (GetMenuState(options, IDM_RUNNING_STATUS, MF_BYCOMMAND) & MF_CHECKED) != 0;
    };
    EXPECT_TRUE(marked());
    SendMessageA(main_, WM_COMMAND, IDM_RUNNING_STATUS, 0);
    EXPECT_EQ(IsDlgButtonChecked(main_, IDC_RUNNING_STATUS), BST_UNCHECKED);
    EXPECT_FALSE(marked());
}

// F1 opens the help page (missing here: the system's text in an error box) only while the
// window is enabled.
TEST_F(MainWindow, HelpWithoutItsPageShowsTheSystemsText) {
    BoxAnswerer answerer;
    SendMessageA(main_, WM_HELP, 0, 0);
    EnableWindow(main_, FALSE);
    SendMessageA(main_, WM_HELP, 0, 0);
    EXPECT_EQ(answerer.boxes, std::vector<Box>{Box(text(IDS_CAPTION_ERROR), systemText(ERROR_FILE_NOT_FOUND))});
    EXPECT_EQ(topLeft(main_), std::pair(0L, 0L));  // a box moves only itself
}

// The About box fills what its template leaves empty: the version texts, the mail and web
// buttons. The web button asks first; No opens nothing. The box goes with its owner.
TEST_F(MainWindow, AboutBoxFillsItsTextsAndAsksBeforeTheWeb) {
    const HWND box = CreateDialogParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_ABOUT), main_, AboutBoxProc, 0);
    for (const int id : {IDC_DESCRIPTION, IDC_COPYRIGHT, IDC_COMMENTS, IDC_MAIL, IDC_WEB})
        EXPECT_NE(windowText(GetDlgItem(box, id)), "") << id;
    BoxAnswerer answerer({IDNO});
    SendMessageA(box, WM_COMMAND, IDC_WEB, 0);
    EXPECT_EQ(answerer.boxes, std::vector<Box>(1, {text(IDS_CAPTION_CONFIRM), text(IDS_ASK_BROWSER)}));
}

// One run over what is dropped on the window: a folder, a file that another program holds
// open (sharing everything: the run wants it alone; "é" has no form in code page 932), a
// missing file, and a file whose name has no form in code page 932 on a volume without 8.3
// names (as most of current Windows' are): only the held file is reported, with the system's
// reason, and it keeps its bytes; the other is converted, and no short name was asked for.
TEST_F(MainWindow, RunReportsFailures) {
    const std::string fur = put("Für Elise.mid", plainSmf());
    const std::string held = put("Gymnopédie.mid", plainSmf());
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const std::wstring path = engine::wideFromUtf8(held);
    const HANDLE holder = CreateFileW(path.c_str(), GENERIC_READ, all, nullptr, OPEN_EXISTING, 0, nullptr);
    const FileList files = {folder_.path(), held, folder_.path() + "\\gone.mid", fur};
    BoxAnswerer answerer;
    {
        const testing_win32::NoShortNames noShortNames;
        ASSERT_TRUE(noShortNames.active());
        drop(files);
        EXPECT_EQ(testing_win32::NoShortNames::calls(), 0);
    }
    CloseHandle(holder);
    EXPECT_EQ(read(fur), runningStatusSmf());
    const std::string reason = systemText(ERROR_SHARING_VIOLATION);
    EXPECT_EQ(answerer.boxes, std::vector<Box>{Box(text(IDS_CAPTION_ERROR),
                                                   "'" + held + "'\n\n" + text(IDS_OPEN_FAILED) + "\n" + reason)});
    EXPECT_EQ(read(held), plainSmf());
}

// Escape, pressed while a file is worked on, is seen before the next file: No goes on (and
// is not asked again), Yes leaves that file and the rest untouched. With the option cleared,
// the files are written without running status.
TEST_F(MainWindow, RunCancelAsksFirst) {
    const FileList files = {put("a", runningStatusSmf()), put("b", runningStatusSmf()), put("c", runningStatusSmf())};
    CheckDlgButton(main_, IDC_RUNNING_STATUS, BST_UNCHECKED);
    fake.escapes = {1, 2};
    BoxAnswerer answerer({IDNO, IDYES});
    RunConversion(files);
    EXPECT_EQ(answerer.boxes, std::vector<Box>(2, {text(IDS_CAPTION_CONFIRM), text(IDS_CONFIRM_CANCEL)}));
    EXPECT_EQ(read(files[0]), plainSmf());
    EXPECT_EQ(read(files[1]), plainSmf());
    EXPECT_EQ(read(files[2]), runningStatusSmf());
}

// Memory running out at a file is reported, and the run goes on. The bar moves one step a
// file (two files: a step of any other size would not land on 1 and 2).
TEST_F(MainWindow, RunReportsWantOfMemoryAndGoesOn) {
    const FileList files = {put("a", plainSmf()), put("b", plainSmf())};
    BoxAnswerer answerer;
    fake.throwsFirst = true;
    RunConversion(files);
    EXPECT_EQ(answerer.boxes,
              std::vector<Box>{Box(text(IDS_CAPTION_ERROR), "'" + files[0] + "'\n\n" + text(IDS_OUT_OF_MEMORY))});
    EXPECT_EQ(read(files[1]), runningStatusSmf());
    EXPECT_EQ(fake.bar, std::vector<LRESULT>({1, 2}));
}

}  // namespace
}  // namespace gui::testing
