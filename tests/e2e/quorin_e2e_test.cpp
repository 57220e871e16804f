// quorin.exe as a user meets it: a copy started in a fresh folder, driven by real keystrokes
// and through its windows from this program in the same Wine server; files checked byte for
// byte.
#include <windows.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <functional>

#include "res/resource.h"
#include "tests/support/files.h"

namespace {

using namespace quorin_test;
namespace fs = std::filesystem;

// Polls every 50 ms; gives up after a minute, a guard against a hang rather than a time limit.
bool waitUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 1200 && !condition(); ++i) Sleep(50);
    return condition();
}

std::wstring textOf(HWND window) {
    wchar_t text[1024] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 9000, nullptr);
    return text;
}

// A shown window of a class with a control of an id (0: any), or null. Any program's: the
// display is this test's alone while it runs.
HWND shown(const char* cls, int item = 0) {
    for (HWND w = FindWindowExA(nullptr, nullptr, cls, nullptr); w; w = FindWindowExA(nullptr, w, cls, nullptr))
        if (IsWindowVisible(w) && (item == 0 || GetDlgItem(w, item))) return w;
    return nullptr;
}

HWND waitFor(const char* cls, int item = 0) {
    waitUntil([&] { return shown(cls, item) != nullptr; });
    return shown(cls, item);
}

// A real key press, with modifier held, to target made the foreground window (null: to
// whatever has the keyboard now, such as an open menu).
void press(HWND target, BYTE key, BYTE modifier = 0) {
    if (target != nullptr) SetForegroundWindow(target);
    waitUntil([target] { return target == nullptr || GetForegroundWindow() == target; });
    for (const auto& [vk, flags] :
         {std::pair{modifier, 0}, {key, 0}, {key, KEYEVENTF_KEYUP}, {modifier, KEYEVENTF_KEYUP}})
        if (vk != 0) keybd_event(vk, static_cast<BYTE>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)), flags, 0);
}

// Types names (or a folder to go to) into the Open dialog's file-name field and confirms;
// returns once the dialog has taken the click (gone to the folder, or closed).
void choose(const std::wstring& names) {
    const HWND dialog = waitFor("#32770", cmb13);
    ASSERT_NE(dialog, nullptr) << "no Open dialog";
    SetWindowTextW(GetDlgItem(dialog, cmb13), names.c_str());
    SendMessageTimeoutW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 9000, nullptr);
}

void expectFile(const fs::path& path, const Bytes& bytes) {
    waitUntil([&] { return readFile(path) == bytes; });
    EXPECT_EQ(readFile(path), bytes);
}

class QuorinE2E : public ::testing::Test {
protected:
    void TearDown() override {
        TerminateProcess(process_.hProcess, 1);  // fails harmlessly once the program has ended
        WaitForSingleObject(process_.hProcess, 60000);
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }

    fs::path in(const wchar_t* name) const { return fs::path(folder_.path()) / name; }

    // A copy of quorin.exe alone (no settings, no help page) in the test's folder, started
    // there; waits for its main window.
    void start() {
        ASSERT_TRUE(CopyFileW(fs::path("Z:" QUORIN_EXE).c_str(), in(L"quorin.exe").c_str(), FALSE));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        const std::wstring folder = in(L"").wstring();
        ASSERT_TRUE(CreateProcessW(in(L"quorin.exe").c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                                   folder.c_str(), &startup, &process_));
        main_ = waitFor("QuorinWnd");
        ASSERT_NE(main_, nullptr) << "no main window";
    }

    // What the last step opened is closed again.
    bool idle() const {
        return waitUntil([this] { return IsWindowEnabled(main_) && !shown("#32770"); });
    }

    TempFolder folder_;
    PROCESS_INFORMATION process_ = {};
    HWND main_ = nullptr;
};

// First start, by keyboard alone: Escape leaves the window alone, Enter is the Open button,
// Ctrl+R the option (set at first), Ctrl+O the Open command, and File > Exit ends the program.
// The second Open dialog starts in the folder that the first one went to: the names typed
// there are bare. 表 and ソ end in 0x5C, a backslash's byte in code page 932.
TEST_F(QuorinE2E, FirstStartByKeyboard) {
    const fs::path midi = in(L"ソ表");
    fs::create_directory(midi);
    writeFile(midi / L"表.mid", plainSmf());
    writeFile(midi / L"ソ.mid", runningStatusSmf());
    start();
    press(main_, VK_ESCAPE);
    press(main_, VK_RETURN);
    choose(midi.wstring());
    choose(L"表.mid");
    expectFile(midi / L"表.mid", runningStatusSmf());
    ASSERT_TRUE(idle());

    press(main_, 'R', VK_CONTROL);
    press(main_, 'O', VK_CONTROL);
    choose(L"\"ソ.mid\" \"表.mid\"");
    expectFile(midi / L"表.mid", plainSmf());
    expectFile(midi / L"ソ.mid", plainSmf());
    ASSERT_TRUE(idle());

    press(main_, 'F', VK_MENU);
    ASSERT_NE(waitFor("#32768"), nullptr) << "no menu";
    press(nullptr, 'X');
    ASSERT_EQ(WaitForSingleObject(process_.hProcess, 60000), WAIT_OBJECT_0) << "File > Exit did not end it";
}

// A name that code page 932 cannot spell ("ü"), chosen in the Open dialog, is converted: the
// program is given it whole and reaches the file through the wide calls.
TEST_F(QuorinE2E, NameOutsideTheAnsiCodePageIsConverted) {
    writeFile(in(L"Für Elise.mid"), plainSmf());
    start();
    PostMessageA(main_, WM_COMMAND, IDM_OPEN, 0);
    choose(L"Für Elise.mid");
    expectFile(in(L"Für Elise.mid"), runningStatusSmf());
    EXPECT_TRUE(idle());
}

// The run's report stands over its progress dialog and names the file; the file keeps its
// bytes.
TEST_F(QuorinE2E, FileThatIsNotMidiIsReported) {
    writeFile(in(L"bad.mid"), {'R', 'I', 'F', 'F'});
    start();
    PostMessageA(main_, WM_COMMAND, IDM_OPEN, 0);
    choose(L"bad.mid");
    const HWND box = waitFor("#32770", 0xFFFF);
    ASSERT_NE(box, nullptr) << "no report";
    EXPECT_EQ(textOf(GetDlgItem(box, 0xFFFF)).find(L"'" + in(L"bad.mid").wstring() + L"'\n\n"), 0u);
    EXPECT_NE(GetDlgItem(GetWindow(box, GW_OWNER), IDC_PROGRESS), nullptr);
    press(box, VK_RETURN);
    ASSERT_TRUE(idle());
    EXPECT_EQ(readFile(in(L"bad.mid")), Bytes({'R', 'I', 'F', 'F'}));
}

// F1 without quorin.html: the system's text for a missing file, over the main window. Then
// Help > Version information by keys: the About box names the running copy; Escape closes it.
TEST_F(QuorinE2E, HelpWithoutItsPageAndAbout) {
    start();
    press(main_, VK_F1);
    const HWND box = waitFor("#32770", 0xFFFF);
    ASSERT_NE(box, nullptr) << "no box";
    EXPECT_EQ(GetWindow(box, GW_OWNER), main_);
    wchar_t missing[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_FILE_NOT_FOUND, 0, missing, 512, nullptr);
    EXPECT_EQ(textOf(GetDlgItem(box, 0xFFFF)), missing);
    press(box, VK_RETURN);
    ASSERT_TRUE(idle());

    press(main_, 'H', VK_MENU);
    ASSERT_NE(waitFor("#32768"), nullptr) << "no menu";
    press(nullptr, 'V');
    const HWND about = waitFor("#32770", IDC_EXE_PATH);
    ASSERT_NE(about, nullptr) << "no About box";
    EXPECT_EQ(textOf(GetDlgItem(about, IDC_EXE_PATH)), in(L"quorin.exe").wstring());
    press(about, VK_ESCAPE);
    EXPECT_TRUE(idle());
}

}  // namespace
