// The conversion's Win32 side under Wine (code page 932): whole runs over temporary files under
// the progress dialog, every box answered by the test; system texts, captions, the probe.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

#include "../../unit/convert/smf_samples.h"
#include "box_answerer.h"
#include "convert/app_state.h"
#include "convert/conversion_run.h"
#include "convert/file_system_win.h"
#include "convert/messages.h"
#include "convert/scope_exit.h"

// Memory runs out while this is set. GCC cannot see that these pair malloc with free.
static bool failAllocations = false;
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
    void* p = failAllocations ? nullptr : std::malloc(size ? size : 1);
    return p ? p : throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace convert::testing {

using Bytes = std::vector<std::uint8_t>;

std::string cp932(const char* utf8) {
    wchar_t wide[512] = {};
    char ansi[1024] = {};
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 512);
    WideCharToMultiByte(932, 0, wide, -1, ansi, sizeof ansi, nullptr, nullptr);
    return ansi;
}

// The string table's texts as the program must show them.
std::string text(unsigned id) {
    static const std::map<unsigned, const char*> texts = {{154, "予期せぬエラーが発生しました。"},
        {155, "処理を中止してもよろしいですか?"}, {156, "このドライブの空き容量は、少なすぎます。"},
        {157, "このドライブの空き容量を、取得することができませんでした。"}, {158, "\n処理を中止します。"},
        {159, "このファイルは標準 MIDI ファイルではないか、データが破損しています。"}, {160, "このファイルを開くことができませんでした。"},
        {164, "エラー"}, {165, "確認"}, {166, "警告"}, {167, "情報"}, {168, "このファイルに書き込むことができませんでした。"},
        {170, "メモリが不足しています。"}, {171, "\n元のデータを復元できませんでした。"}};
    return cp932(texts.at(id));
}

// The system's own text for a code, whole.
std::string systemText(DWORD code) {
    char* message = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT), reinterpret_cast<LPSTR>(&message), 0, nullptr);
    const std::string result(message, n);
    return LocalFree(message), result;
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// What the run's windows go through, seen by a hook on the messages they are sent (after the
// centring hook, which is installed later): the dialog where its initialisation begins, a box
// where it is shown, the bar's style from the template and its end; Escape is pressed as the
// names listed are shown.
struct {
    RECT dialog{}, box{};
    bool barBordered = false;  // the dialog manager makes a template's WS_BORDER a client edge
    int barAtEnd = -1;
    std::vector<std::string> escapeAt;
} seen;
LRESULT CALLBACK watch(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT& call = *reinterpret_cast<const CWPSTRUCT*>(lParam);
    const int id = GetDlgCtrlID(call.hwnd);
    if (call.message == WM_INITDIALOG) failAllocations = false;  // memory comes back as soon as a box opens
    if (call.message == WM_INITDIALOG && GetDlgItem(call.hwnd, IDC_PROGRESS)) GetWindowRect(call.hwnd, &seen.dialog);
    if (call.message == WM_SHOWWINDOW && call.wParam && GetDlgItem(call.hwnd, 0xFFFF)) GetWindowRect(call.hwnd, &seen.box);
    if (call.message == WM_DESTROY && id == IDC_PROGRESS) seen.barAtEnd = static_cast<int>(SendMessageA(call.hwnd, PBM_GETPOS, 0, 0));
    if (call.message == WM_SETTEXT && id == IDC_FILE_NAME &&
        std::count(seen.escapeAt.begin(), seen.escapeAt.end(), reinterpret_cast<const char*>(call.lParam)) != 0)
        PostMessageA(GetParent(call.hwnd), WM_KEYDOWN, VK_ESCAPE, 0);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
LRESULT CALLBACK watchCreation(int code, WPARAM wParam, LPARAM lParam) {
    const CREATESTRUCTA& created = *reinterpret_cast<const CBT_CREATEWNDA*>(lParam)->lpcs;
    if (code == HCBT_CREATEWND && created.hMenu == reinterpret_cast<HMENU>(IDC_PROGRESS)) seen.barBordered = (created.style & WS_BORDER) || (created.dwExStyle & WS_EX_CLIENTEDGE);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The system's free-space function as the probe finds it: the volume's total is always more than
// what is available to the user.
std::string probed;
std::uint64_t available = 1u << 30;
DWORD probeError = 0;
BOOL WINAPI fakeFreeSpace(LPCSTR location, PULARGE_INTEGER user, PULARGE_INTEGER total, PULARGE_INTEGER) {
    probed = location, user->QuadPart = available, total->QuadPart = available + (1ull << 40);
    return SetLastError(probeError), probeError == 0;
}

// A visible main window with check box 1000 (checked), off the screen's centre; a fresh folder.
class ConversionRun : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        InstanceHandle = GetModuleHandleA(nullptr), FreeSpaceExFunction = fakeFreeSpace;
        MainWindowHandle = CreateWindowExA(0, "STATIC", "main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 60, 500, 300, nullptr,
                                           nullptr, InstanceHandle, nullptr);
        CreateWindowExA(0, "BUTTON", "rs", WS_CHILD | BS_AUTOCHECKBOX, 0, 0, 9, 9, MainWindowHandle,
                        reinterpret_cast<HMENU>(IDC_RUNNING_STATUS), InstanceHandle, nullptr);
        CheckDlgButton(MainWindowHandle, IDC_RUNNING_STATUS, BST_CHECKED);
        folder_ = (std::filesystem::temp_directory_path() / ("quorin-run-" + std::to_string(GetCurrentProcessId()))).string();
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directory(folder_);
        hooks_[0] = SetWindowsHookExA(WH_CALLWNDPROC, watch, nullptr, GetCurrentThreadId());
        hooks_[1] = SetWindowsHookExA(WH_CBT, watchCreation, nullptr, GetCurrentThreadId());
    }
    void TearDown() override {
        UnhookWindowsHookEx(hooks_[0]), UnhookWindowsHookEx(hooks_[1]), DestroyWindow(MainWindowHandle), std::filesystem::remove_all(folder_);
    }
    std::string file(const std::string& name, const Bytes& bytes) {
        const std::string path = folder_ + "\\" + name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    static void expectCentredOver(const RECT& r, const RECT& o) {
        EXPECT_NEAR((r.left + r.right) / 2, (o.left + o.right) / 2, 1);
        EXPECT_NEAR((r.top + r.bottom) / 2, (o.top + o.bottom) / 2, 1);
    }
    std::string folder_;
    HHOOK hooks_[2] = {};
};

// One run over a folder, a file that is no Standard MIDI File (its name ends in 0x5C: "ソ"), a
// file held open by another program that shares everything, a good file, and empty paths
// (missing, skipped silently) up to 65,537 entries. The reports stand centred over dialog 104,
// itself centred over the main window as its initialisation begins, with the file's name and one
// step per file (folders not counted) out of the whole list; nobody else can open the file the
// run works on, whatever they share. The bar goes back to 0 at the end.
TEST_F(ConversionRun, ReportsOverTheDialogWhileHoldingTheFile) {
    const std::string so = "\x83\x5C.mid", invalid = file(so, {'h', 'i'}), locked = file("locked.mid", plainSmf()),
                      good = file("good.mid", plainSmf());
    const DWORD everything = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const HANDLE holder = CreateFileA(locked.c_str(), GENERIC_READ, everything, nullptr, OPEN_EXISTING, 0, nullptr);
    FileList files(65537);
    files[0] = folder_, files[1] = invalid, files[2] = locked, files[3] = good;
    std::vector<LRESULT> bar;
    DWORD othersOpen = 0;
    BoxAnswerer answerer;
    answerer.onShown = [&](HWND box) {
        const HWND dialog = GetWindow(box, GW_OWNER);
        bar.push_back(SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_GETPOS, 0, 0));
        bar.push_back(SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_GETRANGE, FALSE, 0));
        if (bar.size() > 2) return;
        const HANDLE other = CreateFileA(invalid.c_str(), GENERIC_READ, everything, nullptr, OPEN_EXISTING, 0, nullptr);
        othersOpen = other == INVALID_HANDLE_VALUE ? GetLastError() : (CloseHandle(other), 0);
        const auto style = [&](int id) { return GetWindowLongA(id ? GetDlgItem(dialog, id) : dialog, GWL_STYLE); };
        RECT client{}, size{0, 0, 139, 61};
        GetClientRect(dialog, &client), MapDialogRect(dialog, &size);
        LOGFONTA font{};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_EQ(std::make_tuple(windowText(dialog), windowText(GetDlgItem(dialog, IDC_FILE_NAME)), std::string(font.lfFaceName),
                                  font.lfHeight, client.right - size.right, client.bottom - size.bottom),
                  std::make_tuple(cp932("処理中..."), so, cp932("ＭＳ Ｐゴシック"), -12L, 0L, 0L));
        EXPECT_EQ(std::make_tuple(style(0) & (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE),
                                  style(IDC_FILE_NAME) & (SS_TYPEMASK | SS_NOPREFIX | WS_GROUP), seen.barBordered,
                                  style(IDCANCEL) & (BS_TYPEMASK | WS_TABSTOP)),
                  std::make_tuple(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE, SS_LEFT | SS_NOPREFIX | WS_GROUP,
                                  true, BS_PUSHBUTTON | WS_TABSTOP));
    };
    RunConversion(files);
    CloseHandle(holder);
    ASSERT_EQ(answerer.boxes.size(), 2u);
    EXPECT_EQ(answerer.boxes[0].caption, text(164));
    EXPECT_EQ(answerer.boxes[0].text, "'" + invalid + "'\n\n" + text(159));
    EXPECT_EQ(answerer.boxes[1].text, "'" + locked + "'\n\n" + text(160) + "\n" + systemText(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(std::make_tuple(readFile(invalid), readFile(locked), readFile(good)), std::make_tuple(Bytes{'h', 'i'}, plainSmf(), runningStatusSmf()));
    EXPECT_EQ(othersOpen, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(bar, (std::vector<LRESULT>{1, 65537, 2, 65537}));
    EXPECT_EQ(std::make_pair(seen.barAtEnd, probed), std::make_pair(0, folder_.substr(0, 2)));
    RECT main{};
    GetWindowRect(MainWindowHandle, &main);
    expectCentredOver(seen.dialog, main);
    expectCentredOver(seen.box, seen.dialog);
}

// Escape, pressed while a file is worked on, reaches the dialog through the run's own pump before
// the next file: the question comes; No goes on (and is not asked again), Yes leaves that file
// and the rest untouched. With the box cleared, the files are written without running status.
TEST_F(ConversionRun, EscapeAsksBeforeTheNextFile) {
    std::vector<std::string> files;
    for (const char* name : {"a.mid", "b.mid", "c.mid", "d.mid"}) files.push_back(file(name, runningStatusSmf()));
    CheckDlgButton(MainWindowHandle, IDC_RUNNING_STATUS, BST_UNCHECKED);
    seen.escapeAt = {"a.mid", "c.mid"};
    BoxAnswerer answerer({IDNO, IDYES});
    RunConversion(files);
    seen.escapeAt.clear();
    ASSERT_EQ(answerer.boxes.size(), 2u);
    for (const ShownBox& box : answerer.boxes) EXPECT_EQ(box.caption + box.text, text(165) + text(155));
    EXPECT_EQ(std::make_tuple(readFile(files[0]), readFile(files[2]), readFile(files[3])), std::make_tuple(plainSmf(), plainSmf(), runningStatusSmf()));
}

// No free bytes available to the user (whatever the volume's total), or none known, stops the run
// before any file changes, with the drive in the report.
TEST_F(ConversionRun, FreeSpaceEndsTheRun) {
    for (const DWORD error : {DWORD{0}, DWORD{ERROR_NOT_READY}}) {
        const std::string a = file("a.mid", plainSmf()), b = file("b.mid", plainSmf());
        available = 0, probeError = error;
        BoxAnswerer answerer;
        RunConversion({a, b});
        available = 1u << 30, probeError = 0;
        EXPECT_EQ(std::make_pair(readFile(a), readFile(b)), std::make_pair(plainSmf(), plainSmf()));
        ASSERT_EQ(answerer.boxes.size(), 1u);
        EXPECT_EQ(answerer.boxes[0].text, "'" + folder_.substr(0, 2) + "'\n\n" +
                                               (error ? text(157) + "\n" + systemText(error) : text(156)) + text(158));
    }
}

// The Win32 file system, but a throw when one path is opened, and a rewrite of another that
// fails without putting the original back just as memory runs out (until the next box opens).
struct TroubledFileSystem final : FileSystem {
    Win32FileSystem real;
    std::string throwAt, loseAt;
    bool badAlloc = true;
    PathKind pathKind(const std::string& path, SystemError& error) override { return real.pathKind(path, error); }
    std::unique_ptr<OpenFile> open(const std::string& path, SystemError& error) override {
        if (path == throwAt) badAlloc ? throw std::bad_alloc() : throw std::runtime_error("unexpected");
        return real.open(path, error);
    }
    std::string freeSpaceLocation(const std::string& path) override { return real.freeSpaceLocation(path); }
    bool freeSpace(const std::string& where, std::uint64_t& bytes, SystemError& error) override { return real.freeSpace(where, bytes, error); }
    RewriteResult rewrite(const std::string& path, OpenFile& file, const std::uint8_t* newBytes, std::uint32_t newLength,
                          const std::uint8_t* original, std::uint32_t originalLength) override {
        if (path != loseAt) return FileSystem::rewrite(path, file, newBytes, newLength, original, originalLength);
        return failAllocations = true, RewriteResult{false, ERROR_WRITE_FAULT, false};
    }
};

// Whatever is thrown while a file is worked on, its report says so and the run goes on; when
// memory runs out as a failed rewrite is reported, the report still says the original is lost.
TEST_F(ConversionRun, ThrowsAreReportedAndTheRunGoesOn) {
    TroubledFileSystem troubled;
    SetRunFileSystem(&troubled);
    const ScopeExit restore([] { SetRunFileSystem(nullptr); });
    for (const int row : {0, 1, 2}) {
        const std::string a = file("a.mid", plainSmf()), b = file("b.mid", plainSmf());
        troubled.throwAt = row < 2 ? a : "", troubled.loseAt = row < 2 ? "" : a, troubled.badAlloc = row == 0;
        BoxAnswerer answerer;
        RunConversion({a, b});
        ASSERT_EQ(answerer.boxes.size(), 1u) << row;
        EXPECT_EQ(answerer.boxes[0].caption + answerer.boxes[0].text,
                  text(164) + "'" + a + "'\n\n" + (row == 0 ? text(170) : row == 1 ? text(154) : text(168) + text(171) + "\n" + text(170)));
        EXPECT_EQ(std::make_pair(readFile(b), failAllocations), std::make_pair(runningStatusSmf(), false));
    }
}

// A system text comes whole, its line break and "%1"-style inserts kept; a code the system has no
// text for gives 154; code 0 gives nothing, and no box.
TEST(Messages, SystemErrorTexts) {
    InstanceHandle = GetModuleHandleA(nullptr);
    DWORD withInsert = 1;
    while (withInsert < 2000 && systemText(withInsert).find("%1") == std::string::npos) ++withInsert;
    std::string got = "old";
    EXPECT_FALSE(SystemErrorText(got, 0));
    EXPECT_EQ(got, "old");
    for (const DWORD code : {DWORD{ERROR_FILE_NOT_FOUND}, withInsert}) {
        EXPECT_TRUE(SystemErrorText(got, code));
        EXPECT_EQ(got, systemText(code)) << code;
    }
    EXPECT_TRUE(SystemErrorText(got, 0x2000FFFFu));
    EXPECT_EQ(std::make_pair(got, systemText(ERROR_FILE_NOT_FOUND).substr(systemText(ERROR_FILE_NOT_FOUND).size() - 2)),
              std::make_pair(text(154), std::string("\r\n")));
}

// An empty caption follows the icon bits alone; a caption given is kept; the centring hook is gone
// after every box, also when it was in place before.
TEST(Messages, CaptionsByIcon) {
    InstanceHandle = GetModuleHandleA(nullptr);
    BoxAnswerer answerer;
    InstallCentringHook();
    for (const UINT style : {UINT{MB_ICONERROR | MB_TASKMODAL}, UINT{MB_ICONEXCLAMATION}, UINT{MB_ICONINFORMATION}, 0x50u}) ShowMessageBox(nullptr, "t", "", style);
    EXPECT_EQ(ShowMessageBox(nullptr, "t", "Own", MB_ICONERROR), IDOK);
    EXPECT_FALSE(CentringHookInstalled());
    ShowSystemError(nullptr, 0);
    ShowSystemError(nullptr, ERROR_ACCESS_DENIED);
    std::string captions;
    for (const ShownBox& box : answerer.boxes) captions += box.caption + "|";
    EXPECT_EQ(captions, text(164) + "|" + text(166) + "|" + text(167) + "||Own|" + text(164) + "|");
    EXPECT_EQ(answerer.boxes.back().text, systemText(ERROR_ACCESS_DENIED));
}

// Without the extended function the probe measures the drive's root: "C:\", since "C:" alone would
// name drive C's current folder, here one that is gone. A failure leaves the result alone and
// says why.
TEST(FreeSpaceProbe, WithoutTheExtendedFunctionMeasuresTheRoot) {
    FreeSpaceExFunction = nullptr;
    ASSERT_TRUE(SetEnvironmentVariableA("=C:", "C:\\quorin-no-such-folder"));
    std::uint64_t onC = 7, failed = 7;
    const BOOL ok = FreeSpaceProbe("C:", onC);
    SetEnvironmentVariableA("=C:", nullptr);
    ULARGE_INTEGER c{};
    ASSERT_TRUE(ok && GetDiskFreeSpaceExA("C:\\", &c, nullptr, nullptr));
    EXPECT_NEAR(static_cast<double>(onC) / static_cast<double>(c.QuadPart), 1.0, 0.01);
    SetLastError(0);
    EXPECT_FALSE(FreeSpaceProbe("Q:", failed) || FreeSpaceProbe("\\\\quorin-no-such-server\\share\\", failed));
    EXPECT_EQ(std::make_pair(failed, GetLastError() != 0), std::make_pair(std::uint64_t{7}, true));
}

// A handle's flush: refused with the system's error without write access, done with it.
TEST(Win32OpenFile, FlushReportsTheSystemsRefusal) {
    const std::string path = (std::filesystem::temp_directory_path() / "quorin-flush").string();
    std::ofstream(path) << "MThd";
    SystemError error = 0;
    EXPECT_FALSE(openWin32File(path, GENERIC_READ, 0, error)->flush(error));
    EXPECT_EQ(error, static_cast<SystemError>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(openWin32File(path, GENERIC_READ | GENERIC_WRITE, 0, error)->flush(error));
    std::filesystem::remove(path);
}

}  // namespace convert::testing
