// Conversion runs over real temporary files under the progress dialog, with every message
// box answered by the test.
#include "convert/conversion_run.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "../../unit/convert/smf_samples.h"
#include "box_answerer.h"
#include "convert/app_state.h"
#include "convert/free_space.h"
#include "expected_texts.h"

namespace convert::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint64_t injectedFreeBytes = 0;
DWORD injectedProbeError = 0;
std::string probedLocation;

BOOL WINAPI fakeFreeSpace(LPCSTR location, PULARGE_INTEGER available, PULARGE_INTEGER total, PULARGE_INTEGER) {
    probedLocation = location;
    if (injectedProbeError != 0) {
        SetLastError(injectedProbeError);
        return FALSE;
    }
    available->QuadPart = injectedFreeBytes;
    total->QuadPart = injectedFreeBytes;
    return TRUE;
}

void writeFile(const std::string& path, const Bytes& bytes) {
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

Bytes readFile(const std::string& path) {
    Bytes bytes;
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    bytes.resize(GetFileSize(h, nullptr));
    DWORD got = 0;
    ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(h);
    return bytes;
}

std::string systemText(DWORD code) {
    char* message = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT),
                                   reinterpret_cast<LPSTR>(&message), 0, nullptr);
    std::string text(message, n);
    LocalFree(message);
    return text;
}

void removeTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeTree(path);
            } else {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

Bytes macBinarySmf() {
    Bytes bytes(128, 0);
    const Bytes smf = plainSmf();
    bytes.insert(bytes.end(), smf.begin(), smf.end());
    return bytes;
}

// A visible main window with check box 1000, and a fresh folder of files.
class ConversionRun : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        InstanceHandle = GetModuleHandleA(nullptr);
        FreeSpaceExFunction = fakeFreeSpace;
        injectedFreeBytes = 1u << 30;
        injectedProbeError = 0;
        MainWindowHandle = CreateWindowExA(0, "STATIC", "main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400,
                                           300, nullptr, nullptr, InstanceHandle, nullptr);
        ASSERT_NE(MainWindowHandle, nullptr);
        checkBox_ = CreateWindowExA(0, "BUTTON", "rs", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, 10, 10, 100, 20,
                                    MainWindowHandle, reinterpret_cast<HMENU>(1000), InstanceHandle, nullptr);
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "quorin-run-" + std::to_string(GetCurrentProcessId()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA(folder_.c_str(), nullptr);
    }

    void TearDown() override {
        DestroyWindow(MainWindowHandle);
        MainWindowHandle = nullptr;
        removeTree(folder_);
    }

    void setRunningStatus(bool on) {
        SendMessageA(checkBox_, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    }

    std::string file(const std::string& name, const Bytes& bytes) {
        const std::string path = folder_ + "\\" + name;
        writeFile(path, bytes);
        return path;
    }

    static std::string fileReport(const std::string& path, unsigned id) {
        return "'" + path + "'\n\n" + expectedText(id);
    }

    std::string folder_;
    HWND checkBox_ = nullptr;
};

TEST_F(ConversionRun, ConvertsValidFilesAndSkipsFoldersAndMissingPathsSilently) {
    const std::string plain = file("plain.mid", plainSmf());
    const std::string mac = file("mac.mid", macBinarySmf());
    const std::string sub = folder_ + "\\sub.mid";
    CreateDirectoryA(sub.c_str(), nullptr);
    BoxAnswerer answerer;
    setRunningStatus(true);
    RunConversion({sub, plain, folder_ + "\\gone.mid", mac});
    EXPECT_TRUE(answerer.boxes.empty());
    EXPECT_EQ(readFile(plain), runningStatusSmf());
    EXPECT_EQ(readFile(mac), runningStatusSmf());
    EXPECT_EQ(probedLocation, folder_.substr(0, 2));

    setRunningStatus(false);
    RunConversion({plain});
    EXPECT_EQ(readFile(plain), plainSmf());
    EXPECT_TRUE(answerer.boxes.empty());
}

TEST_F(ConversionRun, ReportsInvalidAndLockedFilesAndGoesOn) {
    const Bytes junk{'h', 'e', 'l', 'l', 'o'};
    const std::string invalid = file("invalid.mid", junk);
    const std::string locked = file("locked.mid", plainSmf());
    const std::string good = file("good.mid", plainSmf());
    const HANDLE holder =
        CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    BoxAnswerer answerer;
    setRunningStatus(true);
    RunConversion({invalid, locked, good});
    CloseHandle(holder);

    ASSERT_EQ(answerer.boxes.size(), 2u);
    EXPECT_EQ(answerer.boxes[0].caption, expectedText(164));
    EXPECT_EQ(answerer.boxes[0].text, fileReport(invalid, 159));
    EXPECT_EQ(answerer.boxes[1].caption, expectedText(164));
    EXPECT_EQ(answerer.boxes[1].text, fileReport(locked, 160) + "\n" + systemText(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(readFile(invalid), junk);
    EXPECT_EQ(readFile(locked), plainSmf());
    EXPECT_EQ(readFile(good), runningStatusSmf());
}

// The first file's report is answered while Cancel is pressed on the progress dialog; the
// confirmation comes before the second entry.
TEST_F(ConversionRun, CancelAnsweredNoContinuesYesStops) {
    const std::string invalid = file("invalid.mid", Bytes{'x'});
    const std::string first = file("first.mid", plainSmf());
    const std::string second = file("second.mid", plainSmf());
    setRunningStatus(true);
    for (const int answer : {IDNO, IDYES}) {
        writeFile(first, plainSmf());
        BoxAnswerer answerer({IDOK, answer});
        bool pressed = false;
        answerer.onShown = [&](HWND box) {
            if (pressed) return;
            pressed = true;
            PostMessageA(GetWindow(box, GW_OWNER), WM_COMMAND, IDCANCEL, 0);
        };
        RunConversion({invalid, first});
        ASSERT_EQ(answerer.boxes.size(), 2u) << answer;
        EXPECT_EQ(answerer.boxes[1].caption, expectedText(165));
        EXPECT_EQ(answerer.boxes[1].text, expectedText(155));
        EXPECT_EQ(readFile(first), answer == IDNO ? runningStatusSmf() : plainSmf()) << answer;
    }
    EXPECT_EQ(readFile(second), plainSmf());
}

TEST_F(ConversionRun, FreeSpaceOfTwiceTheNewSizeEndsTheRun) {
    const std::string a = file("a.mid", plainSmf());
    const std::string b = file("b.mid", plainSmf());
    setRunningStatus(true);
    const std::uint64_t newSize = runningStatusSmf().size();
    const std::string drive = folder_.substr(0, 2);
    {
        injectedFreeBytes = 2 * newSize;
        BoxAnswerer answerer;
        RunConversion({a, b});
        ASSERT_EQ(answerer.boxes.size(), 1u);
        EXPECT_EQ(answerer.boxes[0].caption, expectedText(164));
        EXPECT_EQ(answerer.boxes[0].text, "'" + drive + "'\n\n" + expectedText(156) + expectedText(158));
        EXPECT_EQ(readFile(a), plainSmf());
        EXPECT_EQ(readFile(b), plainSmf());
    }
    {
        injectedFreeBytes = 2 * newSize + 1;
        BoxAnswerer answerer;
        RunConversion({a, b});
        EXPECT_TRUE(answerer.boxes.empty());
        EXPECT_EQ(readFile(a), runningStatusSmf());
        EXPECT_EQ(readFile(b), runningStatusSmf());
    }
}

TEST_F(ConversionRun, ProbeFailureNamesDriveAndSystemTextThenStops) {
    const std::string a = file("a.mid", plainSmf());
    const std::string b = file("b.mid", plainSmf());
    injectedProbeError = ERROR_NOT_READY;
    BoxAnswerer answerer;
    RunConversion({a, b});
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].text, "'" + folder_.substr(0, 2) + "'\n\n" + expectedText(157) + "\n" +
                                          systemText(ERROR_NOT_READY) + expectedText(158));
    EXPECT_EQ(readFile(a), plainSmf());
    EXPECT_EQ(readFile(b), plainSmf());
}

// The name field shows the last component whole, even when a double-byte character ends in
// 0x5C ("ソ"); the dialog stands centred over the main window and owns the report.
TEST_F(ConversionRun, DialogShowsNameAndIsCentredOverMainWindow) {
    const std::string so = "\x83\x5C.mid";
    const std::string invalid = file(so, Bytes{'x'});
    RECT dialog{};
    char title[64] = {};
    char name[64] = {};
    BoxAnswerer answerer;
    answerer.onShown = [&](HWND box) {
        const HWND owner = GetWindow(box, GW_OWNER);
        GetWindowRect(owner, &dialog);
        GetWindowTextA(owner, title, sizeof title);
        GetDlgItemTextA(owner, 1003, name, sizeof name);
    };
    RunConversion({invalid});
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].text, fileReport(invalid, 159));
    EXPECT_STREQ(title, "\x8F\x88\x97\x9D\x92\x86...");  // "処理中..."
    EXPECT_EQ(std::string(name), so);
    RECT main{};
    GetWindowRect(MainWindowHandle, &main);
    EXPECT_NEAR((dialog.left + dialog.right) / 2, (main.left + main.right) / 2, 1);
    EXPECT_NEAR((dialog.top + dialog.bottom) / 2, (main.top + main.bottom) / 2, 1);
}

}  // namespace
}  // namespace convert::testing
