// The program's windows under Wine (code page 932), through what they show and write: the
// main window (its settings file, drops, the option, the position, Help), the About box, and
// the conversion run under its progress dialog over temporary files, every box answered by
// the test. The Open command is the end-to-end tests' (tests/e2e), which drive the real
// program.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

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

Box errorBox(const std::string& text) {
    return {testing::text(IDS_CAPTION_ERROR), text};
}

// While alive (one at a time), records each message box of this thread as it is shown and
// answers it with the next answer (IDOK once none are left). A message box is a window with
// control 0xFFFF, its text.
struct BoxAnswerer {
    explicit BoxAnswerer(std::deque<int> answers = {IDOK}) : answers(std::move(answers)) { current = this; }
    ~BoxAnswerer() { UnhookWindowsHookEx(hook); }

    static LRESULT CALLBACK seen(int code, WPARAM wParam, LPARAM lParam) {
        const auto& call = *reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        const HWND text = GetDlgItem(call.hwnd, 0xFFFF);
        if (call.message == WM_SHOWWINDOW && call.wParam && text) current->answer(call.hwnd, text);
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    void answer(HWND box, HWND text) {
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
        std::filesystem::current_path(std::filesystem::temp_directory_path());  // lets the folder go
    }
    void open() { main_ = CreateDialogParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainWindowProc, 0); }
    // Saves the settings; drops the quit message that would end the next modal loop.
    void close() {
        DestroyWindow(main_);
        for (MSG m; PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);) continue;
    }

    inline static std::vector<FileList> runs;
    const std::string ini_ = std::string(_pgmptr).substr(0, std::string(_pgmptr).rfind('\\')) + "\\quorin.ini";
    TempFolder folder_;
    HWND main_ = nullptr;
};

// Without a file: the option set, the current folder, (0, 0), written as four keys in this
// order. A file beside this program (never the decoy in the current folder): its option and
// its folder (cut to 259 bytes); a position off every monitor gives way to (0, 0); what the
// program does not know is kept.
TEST_F(MainWindow, SettingsLiveBesideTheProgram) {
    EXPECT_EQ(IsDlgButtonChecked(main_, IDC_RUNNING_STATUS), BST_CHECKED);
    close();
    const std::string first = "[OPTION]\r\nOpenFileNameDir=" + folder_.path() + "\r\nUseRunningStatus=1\r\n";
    EXPECT_EQ(readFile(ini_), bytes(first + "XPos=0\r\nYPos=0\r\n"));
    writeFile("quorin.ini", bytes(first));
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
    EXPECT_EQ(readFile("quorin.ini"), bytes(first));
}

// Every dropped item goes to the run whole, as the system spells it ("ü" has no form in code
// page 932; one is longer than MAX_PATH), in drop order, folders included.
TEST_F(MainWindow, DropsGoToTheRunWhole) {
    const FileList dropped = {"C:\\Für Elise.mid", "C:\\windows", "C:\\" + std::string(MAX_PATH, 'm') + ".mid"};
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
TEST_F(MainWindow, MenuAndBoxToggleTheOption) {
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
TEST_F(MainWindow, MoveIsRemembered) {
    SetWindowPos(main_, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SendMessageA(main_, WM_EXITSIZEMOVE, 0, 0);
    ShowWindow(main_, SW_MINIMIZE);
    SendMessageA(main_, WM_EXITSIZEMOVE, 0, 0);
    close();
    open();
    EXPECT_EQ(topLeft(main_), std::pair(40L, 30L));
}

// F1 opens the help page (missing here: the system's text in an error box) only while the
// window is enabled.
TEST_F(MainWindow, HelpWithoutItsPageShowsTheSystemsText) {
    BoxAnswerer answerer;
    EnableWindow(main_, FALSE);
    SendMessageA(main_, WM_HELP, 0, 0);
    EnableWindow(main_, TRUE);
    SendMessageA(main_, WM_HELP, 0, 0);
    EXPECT_EQ(answerer.boxes, std::vector<Box>{errorBox(systemText(ERROR_FILE_NOT_FOUND))});
}

// The About box fills what its template leaves empty: the version texts, the mail and web
// buttons. The web button asks first; No opens nothing.
TEST_F(MainWindow, AboutBoxFillsItsTextsAndAsksBeforeTheWeb) {
    const HWND box = CreateDialogParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_ABOUT), main_, AboutBoxProc, 0);
    for (const int id : {IDC_DESCRIPTION, IDC_COPYRIGHT, IDC_COMMENTS, IDC_MAIL, IDC_WEB})
        EXPECT_NE(windowText(GetDlgItem(box, id)), "") << id;
    BoxAnswerer answerer({IDNO});
    SendMessageA(box, WM_COMMAND, IDC_WEB, 0);
    EXPECT_EQ(answerer.boxes, std::vector<Box>(1, {text(IDS_CAPTION_CONFIRM), text(IDS_ASK_BROWSER)}));
    DestroyWindow(box);
}

// The system's free-space function as the run finds it: the bytes available to the user (the
// volume's total is always more); it throws std::bad_alloc at the first file if asked to,
// and presses Escape in the progress dialog at the files listed (those that change, counted
// from 1).
struct Fake {
    std::uint64_t available = 1u << 30;
    bool throwsFirst = false;
    int escapeAt = 0;
    int escapeAgainAt = 0;
    int probes = 0;
};

// The main window with its option set, the fake free space, and files in the fresh folder,
// named and read in UTF-8 as the run takes them.
class ConversionRun : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        InitCommonControls();
        FreeSpaceExFunction = freeSpace;
        fake = Fake{};
    }
    std::string put(const std::string& name, const Bytes& bytes) const {
        const std::string path = folder_.path() + "\\" + name;
        writeFile(std::filesystem::u8path(path), bytes);
        return path;
    }
    static Bytes read(const std::string& path) { return readFile(std::filesystem::u8path(path)); }

    static BOOL WINAPI freeSpace(LPCSTR, PULARGE_INTEGER user, PULARGE_INTEGER total, PULARGE_INTEGER) {
        ++fake.probes;
        if (fake.probes == fake.escapeAt || fake.probes == fake.escapeAgainAt)
            PostMessageA(GetActiveWindow(), WM_KEYDOWN, VK_ESCAPE, 0);
        if (fake.probes == 1 && fake.throwsFirst) throw std::bad_alloc();
        user->QuadPart = fake.available;
        total->QuadPart = fake.available + (1ull << 40);
        return TRUE;
    }

    inline static Fake fake;
};

// One run over a folder, a file that is no Standard MIDI File (its name ends in 0x5C: ソ), a
// file that another program holds open (sharing everything: the run wants it alone), a name
// that code page 932 cannot spell, and a missing file: each failure is reported, and the
// rest is converted.
TEST_F(ConversionRun, ReportsFailuresAndConvertsTheRest) {
    const std::string notSmf = put("ソ.mid", {'h', 'i'});
    const std::string held = put("Gymnopédie.mid", plainSmf());
    const std::string fur = put("Für Elise.mid", plainSmf());
    const DWORD everything = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const std::wstring heldPath = engine::wideFromUtf8(held);
    const HANDLE holder = CreateFileW(heldPath.c_str(), GENERIC_READ, everything, nullptr, OPEN_EXISTING, 0, nullptr);
    const FileList files = {folder_.path(), notSmf, held, fur, folder_.path() + "\\gone.mid"};
    BoxAnswerer answerer;
    RunConversion(files);
    CloseHandle(holder);
    const std::vector<Box> reports = {
        errorBox("'" + notSmf + "'\n\n" + text(IDS_NOT_SMF)),
        errorBox("'" + held + "'\n\n" + text(IDS_OPEN_FAILED) + "\n" + systemText(ERROR_SHARING_VIOLATION)),
    };
    EXPECT_EQ(answerer.boxes, reports);
    EXPECT_EQ(read(notSmf), Bytes({'h', 'i'}));
    EXPECT_EQ(read(held), plainSmf());
    EXPECT_EQ(read(fur), runningStatusSmf());
}

// Escape, pressed while a file is worked on, is seen before the next file: No goes on (and
// is not asked again), Yes leaves that file and the rest untouched. With the option cleared,
// the files are written without running status.
TEST_F(ConversionRun, CancelAsksFirst) {
    const FileList files = {put("a", runningStatusSmf()), put("b", runningStatusSmf()), put("c", runningStatusSmf())};
    CheckDlgButton(main_, IDC_RUNNING_STATUS, BST_UNCHECKED);
    fake.escapeAt = 1;
    fake.escapeAgainAt = 2;
    BoxAnswerer answerer({IDNO, IDYES});
    RunConversion(files);
    EXPECT_EQ(answerer.boxes, std::vector<Box>(2, {text(IDS_CAPTION_CONFIRM), text(IDS_CONFIRM_CANCEL)}));
    EXPECT_EQ(read(files[0]), plainSmf());
    EXPECT_EQ(read(files[1]), plainSmf());
    EXPECT_EQ(read(files[2]), runningStatusSmf());
}

// No room for the user on the volume (whatever its total) stops the run before any file
// changes, naming the drive. Memory running out is reported, and the run goes on.
TEST_F(ConversionRun, NoRoomStopsAndNoMemoryIsReported) {
    const FileList files = {put("a", plainSmf()), put("b", plainSmf())};
    BoxAnswerer answerer;
    fake.available = 0;
    RunConversion(files);
    EXPECT_EQ(read(files[1]), plainSmf());
    fake = Fake{};
    fake.throwsFirst = true;
    RunConversion(files);
    EXPECT_EQ(read(files[1]), runningStatusSmf());
    const std::vector<Box> reports = {
        errorBox("'" + folder_.path().substr(0, 2) + "'\n\n" + text(IDS_DISK_TOO_SMALL) + text(IDS_RUN_STOPPED)),
        errorBox("'" + files[0] + "'\n\n" + text(IDS_OUT_OF_MEMORY)),
    };
    EXPECT_EQ(answerer.boxes, reports);
}

}  // namespace
}  // namespace gui::testing
