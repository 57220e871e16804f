// quorin.exe as a user meets it: a copy started in a fresh folder, driven by real keystrokes
// and through its windows from this program in the same Wine server; files checked byte for
// byte.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int kRunningStatusBox = 1000;
constexpr int kFileNameCombo = 0x47C;  // cmb13 of the Explorer-style Open dialog
constexpr int kMessageText = 0xFFFF;   // the text of a message box

// Format 1, three declared chunks: a chunk of an unknown type that the rewrite drops, a track
// that uses running status once (the second note-on), a track whose first delta is not
// minimal (80 00). Then the file as written with running status and without.
const std::string kMixed(
    "MThd\0\0\0\6\0\1\0\3\0\x60XYZW\0\0\0\4\1\2\3\4MTrk\0\0\0\x10\0\x90\x3C\x64\0\x3E\x64\x83\0\x80\x3C\0\0\xFF\x2F\0"
    "MTrk\0\0\0\x08\x80\0\xC0\5\0\xFF\x2F\0",
    66);
const std::string kWith(
    "MThd\0\0\0\6\0\1\0\2\0\x60MTrk\0\0\0\x10\0\x90\x3C\x64\0\x3E\x64\x83\0\x80\x3C\0\0\xFF\x2F\0"
    "MTrk\0\0\0\x07\0\xC0\5\0\xFF\x2F\0",
    53);
const std::string kWithout(
    "MThd\0\0\0\6\0\1\0\2\0\x60MTrk\0\0\0\x11\0\x90\x3C\x64\0\x90\x3E\x64\x83\0\x80\x3C\0\0\xFF\x2F\0"
    "MTrk\0\0\0\x07\0\xC0\5\0\xFF\x2F\0",
    54);

// UTF-8 (our sources) to code page 932, in which quorin.exe's texts and our paths travel.
std::string ansi(const char* utf8) {
    wchar_t wide[512] = {};
    char out[1024] = {};
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 512);
    WideCharToMultiByte(932, 0, wide, -1, out, sizeof out, nullptr, nullptr);
    return out;
}

// Polls every 50 ms; gives up after a minute, a guard against a hang rather than a time limit.
bool waitUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 1200 && !condition(); ++i) Sleep(50);
    return condition();
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
std::string fileText(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string textOf(HWND window) {
    char text[1024] = {};
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 10000,
                        nullptr);
    return text;
}

// A real key press, with modifier held, to target made the foreground window (null: to
// whatever has the keyboard now, such as an open menu).
void press(HWND target, BYTE key, BYTE modifier = 0) {
    if (target != nullptr) SetForegroundWindow(target);
    waitUntil([target] { return target == nullptr || GetForegroundWindow() == target; });
    for (const auto& [vk, flags] :
         {std::pair{modifier, 0}, {key, 0}, {key, KEYEVENTF_KEYUP}, {modifier, KEYEVENTF_KEYUP}})
        if (vk != 0)
            keybd_event(vk, static_cast<BYTE>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)), static_cast<DWORD>(flags), 0);
}

class QuorinE2E : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string(QUORIN_EXE).empty()) GTEST_SKIP() << "quorin.exe is not part of this build yet";
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        folder_ = temp + std::string("quorin-e2e-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(folder_);
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
    }
    void TearDown() override {
        TerminateProcess(process_.hProcess, 1);  // fails harmlessly once the program has ended
        WaitForSingleObject(process_.hProcess, 60000);
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
        std::filesystem::remove_all(folder_);
    }

    // A copy of quorin.exe alone (no settings, no help page) in the test's folder, started
    // with workingDir current; waits for its main window.
    void start(const std::string& workingDir) {
        std::string exe = "Z:" + std::string(QUORIN_EXE), copy = folder_ + "\\quorin.exe";
        for (char& c : exe) c = c == '/' ? '\\' : c;
        ASSERT_TRUE(CopyFileA(exe.c_str(), copy.c_str(), FALSE)) << exe;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        ASSERT_TRUE(CreateProcessA(copy.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, workingDir.c_str(),
                                   &startup, &process_));
        main_ = waitFor("QuorinWnd");
        ASSERT_NE(main_, nullptr) << "no main window";
    }

    // The program's visible top-level windows, in Z order (it has one thread).
    std::vector<HWND> windows() const {
        std::vector<HWND> found;
        EnumThreadWindows(process_.dwThreadId, collect, reinterpret_cast<LPARAM>(&found));
        return found;
    }
    static BOOL CALLBACK collect(HWND window, LPARAM found) {
        if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
        return TRUE;
    }

    // Waits for a window of the program of this class, with this title (empty: any) and,
    // unless item is 0, a control of that id; null when none comes.
    HWND waitFor(const char* cls, const std::string& title = "", int item = 0) const {
        HWND found = nullptr;
        waitUntil([&] {
            for (HWND window : windows()) {
                char name[64] = {};
                if (GetClassNameA(window, name, sizeof name) && std::string(name) == cls &&
                    (title.empty() || textOf(window) == title) && (item == 0 || GetDlgItem(window, item)))
                    found = window;
            }
            return found != nullptr;
        });
        return found;
    }

    // The main window is enabled and alone on the screen.
    bool idle() const {
        return waitUntil([this] { return IsWindowEnabled(main_) && windows() == std::vector<HWND>{main_}; });
    }

    // Types names (or a folder to go to) into the Open dialog's file-name field and confirms,
    // as a user would: in code page 932, or wide for names that it cannot spell.
    void choose(const std::string& names) const {
        HWND dialog = waitFor("#32770", "", kFileNameCombo);
        ASSERT_NE(dialog, nullptr) << "no Open dialog";
        for (auto [item, message, text] :
             {std::tuple{kFileNameCombo, WM_SETTEXT, names.c_str()}, {IDOK, BM_CLICK, nullptr}})
            SendMessageTimeoutA(GetDlgItem(dialog, item), message, 0, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                                10000, nullptr);
    }
    void choose(const std::wstring& names) const {
        HWND dialog = waitFor("#32770", "", kFileNameCombo);
        ASSERT_NE(dialog, nullptr) << "no Open dialog";
        SendMessageTimeoutW(GetDlgItem(dialog, kFileNameCombo), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(names.c_str()),
                            SMTO_ABORTIFHUNG, 10000, nullptr);
        SendMessageTimeoutW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 10000, nullptr);
    }

    template <typename Path>
    static void expectFile(const Path& path, const std::string& bytes) {
        waitUntil([&] { return fileText(path) == bytes; });
        EXPECT_EQ(fileText(path), bytes);
    }

    std::string folder_;
    PROCESS_INFORMATION process_ = {};
    HWND main_ = nullptr;
};

// First start, by keyboard alone, from the program's own folder: Escape leaves the window
// alone, Enter is the Open button, Ctrl+R the option, Ctrl+O the Open command, and File > Exit
// ends the program and saves the settings. The second Open dialog starts in the folder that
// the first one went to: the names typed there are bare. 表 and ソ end in 0x5C, a backslash's byte.
TEST_F(QuorinE2E, FirstStartByKeyboardConvertsBothWaysAndRemembersTheFolder) {
    const std::string midi = folder_ + "\\" + ansi("ソ表"), a = ansi("表.mid"), b = ansi("ソ.mid");
    ASSERT_TRUE(CreateDirectoryA(midi.c_str(), nullptr));
    for (const std::string& name : {a, b}) std::ofstream(midi + "\\" + name, std::ios::binary) << kMixed;
    start(folder_);
    EXPECT_EQ(IsDlgButtonChecked(main_, kRunningStatusBox), BST_CHECKED);

    press(main_, VK_ESCAPE);
    press(main_, VK_RETURN);
    choose(midi);
    choose(a);
    expectFile(midi + "\\" + a, kWith);
    ASSERT_TRUE(idle());

    press(main_, 'R', VK_CONTROL);
    EXPECT_TRUE(waitUntil([&] { return IsDlgButtonChecked(main_, kRunningStatusBox) == BST_UNCHECKED; })) << "Ctrl+R";
    press(main_, 'O', VK_CONTROL);
    choose("\"" + b + "\" \"" + a + "\"");
    expectFile(midi + "\\" + a, kWithout);
    expectFile(midi + "\\" + b, kWithout);
    ASSERT_TRUE(idle());

    press(main_, 'F', VK_MENU);
    ASSERT_NE(waitFor("#32768"), nullptr) << "Alt+F opened no menu";
    press(nullptr, 'X');
    ASSERT_EQ(WaitForSingleObject(process_.hProcess, 60000), WAIT_OBJECT_0) << "File > Exit did not end the program";
    DWORD exitCode = 1;
    GetExitCodeProcess(process_.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(fileText(folder_ + "\\quorin.ini"),
              "[OPTION]\r\nOpenFileNameDir=" + midi + "\r\nUseRunningStatus=0\r\nXPos=0\r\nYPos=0\r\n");
}

// A name that code page 932 cannot spell ("ü"), chosen in the Open dialog, is converted: the
// program is given it whole and reaches the file through the wide calls.
TEST_F(QuorinE2E, ChosenNameOutsideTheAnsiCodePageIsConverted) {
    const std::wstring name = L"Für Elise.mid", path = std::filesystem::path(folder_).wstring() + L"\\" + name;
    std::ofstream(std::filesystem::path(path), std::ios::binary) << kMixed;
    start(folder_);
    PostMessageA(GetDlgItem(main_, IDOK), BM_CLICK, 0, 0);
    choose(name);
    expectFile(path, kWith);
    EXPECT_TRUE(idle());
}

// The run's error box stands over its progress dialog with the program's own texts; the file
// keeps its bytes.
TEST_F(QuorinE2E, FileThatIsNotMidiIsReportedOverTheProgressDialogAndLeftAlone) {
    const std::string bad = folder_ + "\\bad.mid", riff("RIFF\x10\0\0\0WAVEfmt ", 16);
    std::ofstream(bad, std::ios::binary) << riff;
    start(folder_);
    PostMessageA(GetDlgItem(main_, IDOK), BM_CLICK, 0, 0);
    choose("bad.mid");
    HWND box = waitFor("#32770", ansi("エラー"), kMessageText);
    ASSERT_NE(box, nullptr) << "no error box";
    EXPECT_EQ(textOf(GetDlgItem(box, kMessageText)),
              "'" + bad + "'\n\n" + ansi("このファイルは標準 MIDI ファイルではないか、データが破損しています。"));
    EXPECT_EQ(GetWindow(box, GW_OWNER), waitFor("#32770", ansi("処理中...")));
    press(box, VK_RETURN);
    ASSERT_TRUE(idle());
    EXPECT_EQ(fileText(bad), riff);
}

// F1 without quorin.html: the system's text for a missing file, over the main window. Then
// Help > Version information by keys: the About box names the running copy; Escape closes it.
TEST_F(QuorinE2E, F1WithoutTheHelpPageShowsTheSystemTextAndTheAboutBoxNamesTheRunningCopy) {
    start(folder_);
    press(main_, VK_F1);
    HWND box = waitFor("#32770", ansi("エラー"), kMessageText);
    ASSERT_NE(box, nullptr) << "F1 showed no error box";
    EXPECT_EQ(GetWindow(box, GW_OWNER), main_);
    char missing[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_FILE_NOT_FOUND, 0, missing, sizeof missing, nullptr);
    EXPECT_EQ(textOf(GetDlgItem(box, kMessageText)), missing);
    press(box, VK_RETURN);
    ASSERT_TRUE(idle());

    press(main_, 'H', VK_MENU);
    ASSERT_NE(waitFor("#32768"), nullptr) << "Alt+H opened no menu";
    press(nullptr, 'V');
    HWND about = waitFor("#32770", ansi("バージョン情報"));
    ASSERT_NE(about, nullptr) << "no About box";
    EXPECT_EQ(textOf(GetDlgItem(about, 1005)), folder_ + "\\quorin.exe");
    press(about, VK_ESCAPE);
    EXPECT_TRUE(idle()) << "Escape did not close the About box";
}

}  // namespace
