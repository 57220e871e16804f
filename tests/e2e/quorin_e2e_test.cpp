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

// First start, by keyboard alone: Enter is the Open button, Ctrl+R the option (set at
// first), Ctrl+O the Open command, Help > Version information names the running copy (Escape
// closes it), and File > Exit ends the program. The second Open dialog starts in the folder
// that the first one went to: the names typed there are bare. 表 and ソ end in 0x5C, a
// backslash's byte in code page 932; "ü" has no form there at all: the program is given the
// name whole and reaches the file through the wide calls. A file that is no MIDI file is
// reported, naming the file, and keeps its bytes.
TEST_F(QuorinE2E, FirstStartByKeyboard) {
    const fs::path midi = in(L"ソ表");
    fs::create_directory(midi);
    writeFile(midi / L"表.mid", plainSmf());
    writeFile(midi / L"ソ.mid", runningStatusSmf());
    writeFile(midi / L"Für Elise.mid", runningStatusSmf());
    writeFile(midi / L"bad.mid", {'R', 'I', 'F', 'F'});
    start();
    press(main_, VK_RETURN);
    choose(midi.wstring());
    choose(L"表.mid");
    EXPECT_TRUE(waitUntil([&] { return readFile(midi / L"表.mid") == runningStatusSmf(); }));
    ASSERT_TRUE(idle());

    press(main_, 'R', VK_CONTROL);
    press(main_, 'O', VK_CONTROL);
    choose(L"\"ソ.mid\" \"表.mid\" \"Für Elise.mid\" \"bad.mid\"");
    const HWND box = waitFor("#32770", 0xFFFF);
    ASSERT_NE(box, nullptr) << "no report";
    EXPECT_EQ(textOf(GetDlgItem(box, 0xFFFF)).find(L"'" + (midi / L"bad.mid").wstring() + L"'\n\n"), 0u);
    press(box, VK_RETURN);
    ASSERT_TRUE(idle());
    EXPECT_EQ(readFile(midi / L"表.mid"), plainSmf());
    EXPECT_EQ(readFile(midi / L"ソ.mid"), plainSmf());
    EXPECT_EQ(readFile(midi / L"Für Elise.mid"), plainSmf());
    EXPECT_EQ(readFile(midi / L"bad.mid"), Bytes({'R', 'I', 'F', 'F'}));

    press(main_, 'H', VK_MENU);
    ASSERT_NE(waitFor("#32768"), nullptr) << "no menu";
    press(nullptr, 'V');
    const HWND about = waitFor("#32770", IDC_EXE_PATH);
    ASSERT_NE(about, nullptr) << "no About box";
    EXPECT_EQ(textOf(GetDlgItem(about, IDC_EXE_PATH)), in(L"quorin.exe").wstring());
    press(about, VK_ESCAPE);
    ASSERT_TRUE(idle());

    press(main_, 'F', VK_MENU);
    ASSERT_NE(waitFor("#32768"), nullptr) << "no menu";
    press(nullptr, 'X');
    ASSERT_EQ(WaitForSingleObject(process_.hProcess, 60000), WAIT_OBJECT_0) << "File > Exit did not end it";
}

}  // namespace
