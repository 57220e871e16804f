// Conversion runs over real temporary files under the progress dialog, with every message
// box answered by the test.
#include "convert/conversion_run.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "../../unit/convert/smf_samples.h"
#include "box_answerer.h"
#include "convert/app_state.h"
#include "convert/file_system_win.h"
#include "convert/free_space.h"
#include "expected_texts.h"

// Memory runs out while this is set (see TroubledFileSystem).
static bool failAllocations = false;

// GCC cannot see that these replacements pair malloc with free.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
    if (failAllocations) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

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

// The Win32 file system with failures of its own: the next flushes fail, a throw when one
// path is opened, or a rewrite that fails without putting the original back just as memory runs
// out (until the next box opens).
class TroubledFileSystem final : public FileSystem {
public:
    int flushFailures = 0;
    std::string throwingPath;
    bool throwsBadAlloc = true;
    bool rewriteFailsOutOfMemory = false;

    PathKind pathKind(const std::string& path, SystemError& error) override { return real_.pathKind(path, error); }
    std::unique_ptr<OpenFile> open(const std::string& path, SystemError& error) override {
        if (path == throwingPath) {
            if (throwsBadAlloc) throw std::bad_alloc();
            throw std::runtime_error("unexpected");
        }
        std::unique_ptr<OpenFile> file = real_.open(path, error);
        return file ? std::make_unique<FlushFailing>(std::move(file), flushFailures) : nullptr;
    }
    std::string freeSpaceLocation(const std::string& path) override { return real_.freeSpaceLocation(path); }
    bool freeSpace(const std::string& location, std::uint64_t& freeBytes, SystemError& error) override {
        return real_.freeSpace(location, freeBytes, error);
    }
    RewriteResult rewrite(const std::string& path, OpenFile& file, const std::uint8_t* newBytes, std::uint32_t newLength,
                          const std::uint8_t* original, std::uint32_t originalLength) override {
        if (!rewriteFailsOutOfMemory) {
            return FileSystem::rewrite(path, file, newBytes, newLength, original, originalLength);
        }
        rewriteFailsOutOfMemory = false;
        failAllocations = true;
        return RewriteResult{false, ERROR_WRITE_FAULT, false};
    }

private:
    // A real file whose flushes fail, as a deferred write failure would, while failures > 0.
    class FlushFailing final : public OpenFile {
    public:
        FlushFailing(std::unique_ptr<OpenFile> file, int& failures) : file_(std::move(file)), failures_(failures) {}
        bool size(std::uint64_t& bytes, SystemError& error) override { return file_->size(bytes, error); }
        bool read(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& got, SystemError& error) override {
            return file_->read(buffer, length, got, error);
        }
        bool truncate(SystemError& error) override { return file_->truncate(error); }
        bool write(const std::uint8_t* data, std::uint32_t length, std::uint32_t& written, SystemError& error) override {
            return file_->write(data, length, written, error);
        }
        bool flush(SystemError& error) override {
            if (failures_ == 0) return file_->flush(error);
            --failures_;
            error = ERROR_NETNAME_DELETED;
            return false;
        }

    private:
        std::unique_ptr<OpenFile> file_;
        int& failures_;
    };

    Win32FileSystem real_;
};

// Memory comes back as soon as a box opens (before its owner's hooks look at it).
LRESULT CALLBACK restoreMemory(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0 && reinterpret_cast<const CWPSTRUCT*>(lParam)->message == WM_INITDIALOG) failAllocations = false;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class TroubledRun : public ConversionRun {
protected:
    void SetUp() override {
        ConversionRun::SetUp();
        SetRunFileSystem(&fileSystem_);
    }
    void TearDown() override {
        SetRunFileSystem(nullptr);
        ConversionRun::TearDown();
    }

    // Runs over a and b (both plain) and returns the boxes; b must always be converted.
    std::vector<ShownBox> runTwo(std::string& a) {
        a = file("a.mid", plainSmf());
        const std::string b = file("b.mid", plainSmf());
        const HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, restoreMemory, nullptr, GetCurrentThreadId());
        BoxAnswerer answerer;
        RunConversion({a, b});
        UnhookWindowsHookEx(hook);
        EXPECT_FALSE(failAllocations);
        EXPECT_EQ(readFile(a), plainSmf());
        EXPECT_EQ(readFile(b), runningStatusSmf());
        return answerer.boxes;
    }

    TroubledFileSystem fileSystem_;
};

// The new bytes do not count until they are flushed: a failed flush is a failed write, and
// the original is put back (171 when even that cannot be flushed).
TEST_F(TroubledRun, FailedFlushIsReportedAsAWriteFailureAndTheOriginalStays) {
    const std::string sys = "\n" + systemText(ERROR_NETNAME_DELETED);
    for (const int failures : {1, 2}) {
        fileSystem_.flushFailures = failures;
        std::string a;
        const std::vector<ShownBox> boxes = runTwo(a);
        ASSERT_EQ(boxes.size(), 1u) << failures;
        EXPECT_EQ(boxes[0].caption, expectedText(164));
        EXPECT_EQ(boxes[0].text, fileReport(a, 168) + sys + (failures == 2 ? expectedText(171) : "")) << failures;
    }
}

// Whatever is thrown while a file is worked on, its report says so and the run goes on;
// when memory runs out as a failed rewrite is reported, the report still says that the
// original is lost.
TEST_F(TroubledRun, ThrowsAreReportedAndTheRunGoesOn) {
    struct Case {
        bool throwsOnOpen;
        bool badAlloc;
        std::string tail;
    };
    for (const Case& c : {Case{true, true, expectedText(170)}, Case{true, false, expectedText(154)},
                          Case{false, true, expectedText(168) + expectedText(171) + "\n" + expectedText(170)}}) {
        fileSystem_.throwingPath = c.throwsOnOpen ? folder_ + "\\a.mid" : "";
        fileSystem_.throwsBadAlloc = c.badAlloc;
        fileSystem_.rewriteFailsOutOfMemory = !c.throwsOnOpen;
        std::string a;
        const std::vector<ShownBox> boxes = runTwo(a);
        ASSERT_EQ(boxes.size(), 1u) << c.tail;
        EXPECT_EQ(boxes[0].caption, expectedText(164));
        EXPECT_EQ(boxes[0].text, "'" + a + "'\n\n" + c.tail);
    }
}

// The real handle's flush: one without write access is refused with the system's error.
TEST(Win32OpenFile, FlushReportsTheSystemsRefusal) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "quorin-flush-" + std::to_string(GetCurrentProcessId());
    std::ofstream(path, std::ios::binary) << "MThd";
    SystemError error = 0;
    std::unique_ptr<OpenFile> file = openWin32File(path, GENERIC_READ, 0, error);
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(file->flush(error));
    EXPECT_EQ(error, static_cast<SystemError>(ERROR_ACCESS_DENIED));
    file.reset();
    file = openWin32File(path, GENERIC_READ | GENERIC_WRITE, 0, error);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->flush(error));
    file.reset();
    DeleteFileA(path.c_str());
}

}  // namespace
}  // namespace convert::testing
