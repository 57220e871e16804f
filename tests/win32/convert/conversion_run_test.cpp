// Conversion runs over real temporary files under the progress dialog, with every message
// box answered by the test; what the dialog shows is read while a box stands over it.
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

// The volume's total is always more than what is available to the user.
BOOL WINAPI fakeFreeSpace(LPCSTR location, PULARGE_INTEGER available, PULARGE_INTEGER total, PULARGE_INTEGER) {
    probedLocation = location;
    if (injectedProbeError != 0) SetLastError(injectedProbeError);
    available->QuadPart = injectedFreeBytes;
    total->QuadPart = injectedFreeBytes + 1000;
    return injectedProbeError == 0;
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
        SendMessageA(checkBox_, BM_SETCHECK, BST_CHECKED, 0);
    }
    void TearDown() override {
        DestroyWindow(MainWindowHandle);
        MainWindowHandle = nullptr;
        std::filesystem::remove_all(folder_);
    }
    std::string file(const std::string& name, const Bytes& bytes) {
        const std::string path = folder_ + "\\" + name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    static std::string fileReport(const std::string& path, unsigned id) { return "'" + path + "'\n\n" + expectedText(id); }

    std::string folder_;
    HWND checkBox_ = nullptr;
};

TEST_F(ConversionRun, ConvertsBothWaysAndSkipsFoldersAndMissingPathsSilently) {
    const std::string plain = file("plain.mid", plainSmf());
    const std::string sub = folder_ + "\\sub.mid";
    CreateDirectoryA(sub.c_str(), nullptr);
    BoxAnswerer answerer;
    RunConversion({sub, plain, folder_ + "\\gone.mid"});
    EXPECT_EQ(readFile(plain), runningStatusSmf());
    EXPECT_EQ(probedLocation, folder_.substr(0, 2));
    SendMessageA(checkBox_, BM_SETCHECK, BST_UNCHECKED, 0);
    RunConversion({plain});
    EXPECT_EQ(readFile(plain), plainSmf());
    EXPECT_TRUE(answerer.boxes.empty());
}

struct DialogView {
    std::string title, name, misplaced;  // misplaced: ids of controls away from their template place
    LONG nameStyle = 0, cancelStyle = 0, style = 0;
    RECT dialog{}, client{}, size{0, 0, 139, 61};
    LOGFONTA font{};
    int position = 0, rangeHigh = 0;
};

// What the progress dialog shows, read while a box stands over it.
DialogView look(HWND dialog) {
    DialogView v;
    v.title = windowText(dialog);
    v.name = windowText(GetDlgItem(dialog, IDC_FILE_NAME));
    v.style = GetWindowLongA(dialog, GWL_STYLE);
    v.nameStyle = GetWindowLongA(GetDlgItem(dialog, IDC_FILE_NAME), GWL_STYLE);
    v.cancelStyle = GetWindowLongA(GetDlgItem(dialog, IDCANCEL), GWL_STYLE);
    GetWindowRect(dialog, &v.dialog);
    GetClientRect(dialog, &v.client);
    MapDialogRect(dialog, &v.size);
    // Each control's x, y, width and height in dialog units.
    const std::pair<int, RECT> controls[] = {{IDC_FILE_NAME, {7, 7, 125, 8}}, {IDC_PROGRESS, {7, 19, 125, 10}}, {IDCANCEL, {44, 39, 50, 15}}};
    for (auto [id, place] : controls) {
        RECT actual{};
        GetWindowRect(GetDlgItem(dialog, id), &actual);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
        MapDialogRect(dialog, &place);
        if (actual.left != place.left || actual.top != place.top || actual.right - actual.left != place.right ||
            actual.bottom - actual.top != place.bottom)
            v.misplaced += std::to_string(id) + " ";
    }
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof v.font, &v.font);
    v.position = static_cast<int>(SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_GETPOS, 0, 0));
    v.rangeHigh = static_cast<int>(SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_GETRANGE, FALSE, 0));
    return v;
}

// Reports over the dialog, which stands centred over the main window and shows dialog 104
// with the current file's name (ending in 0x5C, "ソ") and one step per file, folders not
// counted. A file in use elsewhere, even by a reader that shares everything, cannot be
// opened; a file the run works on cannot be opened by anyone else, sharing or not.
TEST_F(ConversionRun, ReportsInvalidAndLockedFilesOverTheDialogAndGoesOn) {
    const Bytes junk{'h', 'e', 'l', 'l', 'o'};
    const std::string so = "\x83\x5C.mid";
    const std::string invalid = file(so, junk), locked = file("locked.mid", plainSmf()), good = file("good.mid", plainSmf());
    const DWORD everything = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const HANDLE holder = CreateFileA(locked.c_str(), GENERIC_READ, everything, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    std::vector<DialogView> views;
    DWORD secondOpen = 0;
    BoxAnswerer answerer;
    answerer.onShown = [&](HWND box) {
        views.push_back(look(GetWindow(box, GW_OWNER)));
        if (views.size() > 1) return;
        const HANDLE other = CreateFileA(invalid.c_str(), GENERIC_READ, everything, nullptr, OPEN_EXISTING, 0, nullptr);
        secondOpen = other == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
    };
    RunConversion({folder_, invalid, locked, good});
    CloseHandle(holder);

    ASSERT_EQ(answerer.boxes.size(), 2u);
    EXPECT_EQ(answerer.boxes[0].caption, expectedText(164));
    EXPECT_EQ(answerer.boxes[0].text, fileReport(invalid, 159));
    EXPECT_EQ(answerer.boxes[1].text, fileReport(locked, 160) + "\n" + systemText(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(secondOpen, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(readFile(invalid), junk);
    EXPECT_EQ(readFile(locked), plainSmf());
    EXPECT_EQ(readFile(good), runningStatusSmf());

    const DialogView& v = views.at(0);
    EXPECT_EQ(v.name, so);
    EXPECT_EQ(std::make_pair(v.position, views.at(1).position), std::make_pair(1, 2));
    EXPECT_EQ(v.title, "\x8F\x88\x97\x9D\x92\x86...");  // "処理中..."
    EXPECT_EQ(v.style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE),
              WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE);
    EXPECT_STREQ(v.font.lfFaceName, "\x82\x6c\x82\x72 \x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e");  // "ＭＳ Ｐゴシック"
    EXPECT_EQ(std::make_pair(v.client.right, v.client.bottom), std::make_pair(v.size.right, v.size.bottom));
    EXPECT_EQ(v.nameStyle & (WS_GROUP | SS_TYPEMASK | SS_NOPREFIX), WS_GROUP | SS_LEFT | SS_NOPREFIX);
    EXPECT_EQ(v.cancelStyle & (BS_TYPEMASK | WS_TABSTOP), BS_PUSHBUTTON | WS_TABSTOP);
    EXPECT_EQ(v.misplaced, "");
    RECT main{};
    GetWindowRect(MainWindowHandle, &main);
    EXPECT_NEAR((v.dialog.left + v.dialog.right) / 2, (main.left + main.right) / 2, 1);
    EXPECT_NEAR((v.dialog.top + v.dialog.bottom) / 2, (main.top + main.bottom) / 2, 1);
}

int positionAtEnd = -1;
LONG barStyle = 0, barExStyle = 0;

// Records the bar's position as the dialog goes, and the style the template gives it.
LRESULT CALLBACK recordEnd(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code >= 0 && call->message == WM_DESTROY && GetDlgCtrlID(call->hwnd) == IDC_PROGRESS)
        positionAtEnd = static_cast<int>(SendMessageA(call->hwnd, PBM_GETPOS, 0, 0));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
LRESULT CALLBACK recordBarStyle(int code, WPARAM wParam, LPARAM lParam) {
    const CREATESTRUCTA* created = reinterpret_cast<const CBT_CREATEWNDA*>(lParam)->lpcs;
    if (code == HCBT_CREATEWND && reinterpret_cast<INT_PTR>(created->hMenu) == IDC_PROGRESS) {
        barStyle = created->style;
        barExStyle = created->dwExStyle;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The bar, bordered, has the whole list as its range, beyond 16 bits; it is back at 0 when
// the dialog goes.
TEST_F(ConversionRun, ProgressRangeIsTheEntryCountAndEndsAtZero) {
    std::vector<std::string> files(65537);  // empty paths: missing, skipped silently
    files[0] = file("bad.mid", Bytes{'x'});
    DialogView view;
    BoxAnswerer answerer;
    answerer.onShown = [&](HWND box) { view = look(GetWindow(box, GW_OWNER)); };
    const HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, recordEnd, nullptr, GetCurrentThreadId());
    const HHOOK created = SetWindowsHookExA(WH_CBT, recordBarStyle, nullptr, GetCurrentThreadId());
    RunConversion(files);
    UnhookWindowsHookEx(hook);
    UnhookWindowsHookEx(created);
    EXPECT_TRUE(barStyle & WS_VISIBLE);
    EXPECT_TRUE((barStyle & WS_BORDER) || (barExStyle & WS_EX_CLIENTEDGE)) << barStyle << " " << barExStyle;
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(std::make_pair(view.rangeHigh, view.position), std::make_pair(65537, 1));
    EXPECT_EQ(positionAtEnd, 0);
}

// Escape pressed while the first file is worked on is seen by the run's own pump before the
// next file: the question comes; No goes on with it, Yes leaves it and the rest untouched.
bool escapePressed = false;

// A hook procedure (CALLBACK: a lambda has the wrong calling convention on 32-bit Windows).
LRESULT CALLBACK pressEscapeAtFirstName(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code >= 0 && call->message == WM_SETTEXT && !escapePressed && GetDlgCtrlID(call->hwnd) == IDC_FILE_NAME) {
        escapePressed = true;
        PostMessageA(GetParent(call->hwnd), WM_KEYDOWN, VK_ESCAPE, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(ConversionRun, EscapeBetweenFilesAsksNoContinuesYesStops) {
    for (const int answer : {IDNO, IDYES}) {
        const std::string first = file("first.mid", plainSmf()), second = file("second.mid", plainSmf());
        escapePressed = false;
        BoxAnswerer answerer({answer});
        const HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, pressEscapeAtFirstName, nullptr, GetCurrentThreadId());
        RunConversion({first, second});
        UnhookWindowsHookEx(hook);
        ASSERT_EQ(answerer.boxes.size(), 1u) << answer;
        EXPECT_EQ(answerer.boxes[0].caption, expectedText(165));
        EXPECT_EQ(answerer.boxes[0].text, expectedText(155));
        EXPECT_EQ(readFile(first), runningStatusSmf()) << answer;
        EXPECT_EQ(readFile(second), answer == IDNO ? runningStatusSmf() : plainSmf()) << answer;
    }
}

// Free space available to the user of exactly twice the new size, or none known, stops the
// run before any file changes; one byte more converts them all.
TEST_F(ConversionRun, FreeSpaceRuleAndProbeFailureEndTheRun) {
    const std::uint64_t newSize = runningStatusSmf().size();
    const std::string drive = "'" + folder_.substr(0, 2) + "'\n\n";
    struct Case {
        std::uint64_t freeBytes;
        DWORD error;
        std::string report;
    };
    for (const Case& c : {Case{2 * newSize, 0, drive + expectedText(156) + expectedText(158)},
                          Case{2 * newSize, ERROR_NOT_READY,
                               drive + expectedText(157) + "\n" + systemText(ERROR_NOT_READY) + expectedText(158)},
                          Case{2 * newSize + 1, 0, ""}}) {
        const std::string a = file("a.mid", plainSmf()), b = file("b.mid", plainSmf());
        injectedFreeBytes = c.freeBytes;
        injectedProbeError = c.error;
        BoxAnswerer answerer;
        RunConversion({a, b});
        const Bytes expected = c.report.empty() ? runningStatusSmf() : plainSmf();
        EXPECT_EQ(readFile(a), expected) << c.freeBytes << " " << c.error;
        EXPECT_EQ(readFile(b), expected) << c.freeBytes << " " << c.error;
        ASSERT_EQ(answerer.boxes.size(), c.report.empty() ? 0u : 1u);
        if (!c.report.empty()) {
            EXPECT_EQ(answerer.boxes[0].caption + answerer.boxes[0].text, expectedText(164) + c.report);
        }
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
