// Conversion runs over real temporary files under the progress dialog, with every message
// box answered by the test.
#include "convert/conversion_run.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
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
    available->QuadPart = total->QuadPart = injectedFreeBytes;
    return TRUE;
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
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
        folder_ = (std::filesystem::temp_directory_path() / ("quorin-run-" + std::to_string(GetCurrentProcessId())))
                      .string();
        std::filesystem::remove_all(folder_);
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
        drive_ = folder_.substr(0, 2);
        setRunningStatus(true);
    }

    void TearDown() override {
        DestroyWindow(MainWindowHandle);
        MainWindowHandle = nullptr;
        std::filesystem::remove_all(folder_);
    }

    void setRunningStatus(bool on) { SendMessageA(checkBox_, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0); }

    std::string file(const std::string& name, const Bytes& bytes) {
        const std::string path = folder_ + "\\" + name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    static std::string fileReport(const std::string& path, unsigned id) {
        return "'" + path + "'\n\n" + expectedText(id);
    }

    std::string folder_;
    std::string drive_;
    HWND checkBox_ = nullptr;
};

TEST_F(ConversionRun, ConvertsBothWaysAndSkipsFoldersAndMissingPathsSilently) {
    const std::string plain = file("plain.mid", plainSmf());
    const Bytes smf = plainSmf();
    Bytes macBinary(128, 0);  // a MacBinary header before the file
    macBinary.insert(macBinary.end(), smf.begin(), smf.end());
    const std::string mac = file("mac.mid", macBinary);
    const std::string sub = folder_ + "\\sub.mid";
    CreateDirectoryA(sub.c_str(), nullptr);
    BoxAnswerer answerer;
    RunConversion({sub, plain, folder_ + "\\gone.mid", mac});
    EXPECT_EQ(readFile(plain), runningStatusSmf());
    EXPECT_EQ(readFile(mac), runningStatusSmf());
    EXPECT_EQ(probedLocation, drive_);

    setRunningStatus(false);
    RunConversion({plain});
    EXPECT_EQ(readFile(plain), plainSmf());
    EXPECT_TRUE(answerer.boxes.empty());
}

// The invalid file's name ends in 0x5C ("ソ"): the dialog's name field shows it whole, and
// the dialog stands centred over the main window while it owns the report.
TEST_F(ConversionRun, ReportsInvalidAndLockedFilesAndGoesOn) {
    const Bytes junk{'h', 'e', 'l', 'l', 'o'};
    const std::string so = "\x83\x5C.mid";
    const std::string invalid = file(so, junk);
    const std::string locked = file("locked.mid", plainSmf());
    const std::string good = file("good.mid", plainSmf());
    const HANDLE holder = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    RECT dialog{};
    std::string title;
    char name[64] = {};
    LONG nameStyle = 0;
    BoxAnswerer answerer;
    answerer.onShown = [&](HWND box) {
        const HWND owner = GetWindow(box, GW_OWNER);
        if (!title.empty()) return;
        GetWindowRect(owner, &dialog);
        title = windowText(owner);
        GetDlgItemTextA(owner, IDC_FILE_NAME, name, sizeof name);
        nameStyle = GetWindowLongA(GetDlgItem(owner, IDC_FILE_NAME), GWL_STYLE);
    };
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

    EXPECT_EQ(title, "\x8F\x88\x97\x9D\x92\x86...");  // "処理中..."
    EXPECT_EQ(std::string(name), so);
    EXPECT_EQ(nameStyle & (WS_GROUP | SS_TYPEMASK | SS_NOPREFIX), WS_GROUP | SS_LEFT | SS_NOPREFIX);
    RECT main{};
    GetWindowRect(MainWindowHandle, &main);
    EXPECT_NEAR((dialog.left + dialog.right) / 2, (main.left + main.right) / 2, 1);
    EXPECT_NEAR((dialog.top + dialog.bottom) / 2, (main.top + main.bottom) / 2, 1);
}

// The first file's report is answered while Cancel is pressed on the progress dialog; the
// confirmation comes before the next entry, and Yes leaves the rest untouched.
TEST_F(ConversionRun, CancelAnsweredNoContinuesYesStops) {
    const std::string invalid = file("invalid.mid", Bytes{'x'});
    for (const int answer : {IDNO, IDYES}) {
        const std::string first = file("first.mid", plainSmf());
        const std::string second = file("second.mid", plainSmf());
        BoxAnswerer answerer({IDOK, answer});
        answerer.onShown = [&](HWND box) {
            if (answerer.boxes.size() == 1) PostMessageA(GetWindow(box, GW_OWNER), WM_COMMAND, IDCANCEL, 0);
        };
        RunConversion({invalid, first, second});
        ASSERT_EQ(answerer.boxes.size(), 2u) << answer;
        EXPECT_EQ(answerer.boxes[1].caption, expectedText(165));
        EXPECT_EQ(answerer.boxes[1].text, expectedText(155));
        const Bytes expected = answer == IDNO ? runningStatusSmf() : plainSmf();
        EXPECT_EQ(readFile(first), expected) << answer;
        EXPECT_EQ(readFile(second), expected) << answer;
    }
}

// Free space of exactly twice the new size, or none known, stops the run before any file
// changes; one byte more converts them all.
TEST_F(ConversionRun, FreeSpaceRuleAndProbeFailureEndTheRun) {
    const std::uint64_t newSize = runningStatusSmf().size();
    struct Case {
        std::uint64_t freeBytes;
        DWORD error;
        std::string report;
    };
    for (const Case& c : {Case{2 * newSize, 0, "'" + drive_ + "'\n\n" + expectedText(156) + expectedText(158)},
                          Case{2 * newSize, ERROR_NOT_READY,
                               "'" + drive_ + "'\n\n" + expectedText(157) + "\n" + systemText(ERROR_NOT_READY) +
                                   expectedText(158)},
                          Case{2 * newSize + 1, 0, ""}}) {
        const std::string a = file("a.mid", plainSmf());
        const std::string b = file("b.mid", plainSmf());
        injectedFreeBytes = c.freeBytes;
        injectedProbeError = c.error;
        BoxAnswerer answerer;
        RunConversion({a, b});
        const Bytes expected = c.report.empty() ? runningStatusSmf() : plainSmf();
        EXPECT_EQ(readFile(a), expected) << c.freeBytes << " " << c.error;
        EXPECT_EQ(readFile(b), expected) << c.freeBytes << " " << c.error;
        if (c.report.empty()) {
            EXPECT_TRUE(answerer.boxes.empty());
            continue;
        }
        ASSERT_EQ(answerer.boxes.size(), 1u);
        EXPECT_EQ(answerer.boxes[0].caption, expectedText(164));
        EXPECT_EQ(answerer.boxes[0].text, c.report);
    }
}

}  // namespace
}  // namespace convert::testing
