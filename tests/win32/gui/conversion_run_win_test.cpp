// The conversion run under Wine (code page 932): whole runs over temporary files under the
// progress dialog, every box answered by the test; system texts and captions.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "box_answerer.h"
#include "engine/free_space.h"
#include "engine/wide_text_win.h"
#include "gui/app_state.h"
#include "gui/conversion_run.h"
#include "gui/messages.h"
#include "tests/support/no_short_names.h"
#include "tests/support/samples.h"

namespace gui::testing {

using namespace engine;
using quorin_test::plainSmf;
using quorin_test::runningStatusSmf;

using Bytes = std::vector<std::uint8_t>;
const Bytes plain = plainSmf(), rs = runningStatusSmf();

// The string table's text (the report's parts), and the system's own text for a code, whole;
// both as the ANSI calls give them. Boxes are read in UTF-8, as the run's paths are.
std::string text(UINT id) {
    char b[256];
    return {b, static_cast<std::size_t>(LoadStringA(GetModuleHandleA(nullptr), id, b, sizeof b))};
}
std::string utf8(const std::string& ansi) {
    return utf8FromAnsi(ansi);
}
std::string systemText(DWORD code) {
    char* message = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT), reinterpret_cast<LPSTR>(&message), 0, nullptr);
    const std::string result(message, n);
    return LocalFree(message), result;
}

Bytes readFile(const std::string& path) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// What the run's windows go through, seen by hooks: the dialog where its initialisation begins
// (after the centring hook, installed later), a box where it is shown, the bar's border in the
// template (the dialog manager makes WS_BORDER a client edge) and its position at the end.
// Escape is pressed as the names listed are shown.
struct {
    RECT dialog{}, box{};
    bool barBordered = false;
    int barAtEnd = -1;
    std::vector<std::wstring> escapeAt;
} seen;
LRESULT CALLBACK watch(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT& call = *reinterpret_cast<const CWPSTRUCT*>(lParam);
    const int id = GetDlgCtrlID(call.hwnd);
    if (call.message == WM_INITDIALOG && GetDlgItem(call.hwnd, IDC_PROGRESS)) GetWindowRect(call.hwnd, &seen.dialog);
    if (call.message == WM_SHOWWINDOW && call.wParam && GetDlgItem(call.hwnd, 0xFFFF))
        GetWindowRect(call.hwnd, &seen.box);
    if (call.message == WM_DESTROY && id == IDC_PROGRESS)
        seen.barAtEnd = static_cast<int>(SendMessageA(call.hwnd, PBM_GETPOS, 0, 0));
    if (call.message == WM_SETTEXT && id == IDC_FILE_NAME &&
        std::count(seen.escapeAt.begin(), seen.escapeAt.end(), reinterpret_cast<const wchar_t*>(call.lParam)) != 0)
        PostMessageA(GetParent(call.hwnd), WM_KEYDOWN, VK_ESCAPE, 0);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
LRESULT CALLBACK watchCreation(int code, WPARAM wParam, LPARAM lParam) {
    const CREATESTRUCTA* created =
        code == HCBT_CREATEWND ? reinterpret_cast<const CBT_CREATEWNDA*>(lParam)->lpcs : nullptr;
    if (created && created->hMenu == reinterpret_cast<HMENU>(IDC_PROGRESS))
        seen.barBordered = (created->style & WS_BORDER) || (created->dwExStyle & WS_EX_CLIENTEDGE);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The system's free-space function as the probe finds it; the volume's total is always more
// than what is available to the user. It can throw, once, what an unexpected failure would.
std::string probed;
std::uint64_t available = 1u << 30;
DWORD probeError = 0;
int throws = 0;  // 1: std::bad_alloc, 2: something else
BOOL WINAPI fakeFreeSpace(LPCSTR location, PULARGE_INTEGER user, PULARGE_INTEGER total, PULARGE_INTEGER) {
    if (throws != 0) std::exchange(throws, 0) == 1 ? throw std::bad_alloc() : throw std::runtime_error("unexpected");
    probed = location, user->QuadPart = available, total->QuadPart = available + (1ull << 40);
    return SetLastError(probeError), probeError == 0;
}

std::pair<LONG, LONG> centre(const RECT& r) {
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// A visible main window away from the screen's centre, with check box 1000 set; a fresh folder.
class ConversionRun : public ::testing::Test {
protected:
    void SetUp() override {
        InitCommonControls();
        InstanceHandle = GetModuleHandleA(nullptr), FreeSpaceExFunction = fakeFreeSpace, available = 1u << 30,
        probeError = 0;
        MainWindowHandle = CreateWindowA("STATIC", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 60, 500, 300, nullptr,
                                         nullptr, nullptr, nullptr);
        CreateWindowExA(0, "BUTTON", "", WS_CHILD | BS_AUTOCHECKBOX, 0, 0, 9, 9, MainWindowHandle,
                        reinterpret_cast<HMENU>(IDC_RUNNING_STATUS), nullptr, nullptr);
        CheckDlgButton(MainWindowHandle, IDC_RUNNING_STATUS, BST_CHECKED);
        std::filesystem::remove_all(folder_), std::filesystem::create_directory(folder_);
        hooks_[0] = SetWindowsHookExW(WH_CALLWNDPROC, watch, nullptr, GetCurrentThreadId());
        hooks_[1] = SetWindowsHookExA(WH_CBT, watchCreation, nullptr, GetCurrentThreadId());
    }
    void TearDown() override {
        UnhookWindowsHookEx(hooks_[0]), UnhookWindowsHookEx(hooks_[1]), DestroyWindow(MainWindowHandle),
            std::filesystem::remove_all(folder_);
    }
    // Creates name (UTF-8) in folder with bytes; its path, in UTF-8 as the run takes it.
    static std::string file(const std::string& folder, const std::string& name, const Bytes& bytes) {
        const std::string path = folder + "\\" + name;
        std::ofstream(std::filesystem::u8path(path), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::string file(const std::string& name, const Bytes& bytes) const { return file(folder_, name, bytes); }
    const std::string folder_ =
        (std::filesystem::temp_directory_path() / ("quorin-run-" + std::to_string(GetCurrentProcessId()))).string();
    HHOOK hooks_[2] = {};
};

// One run over a folder, a file that is no Standard MIDI File (its name ends in 0x5C: "ソ"), a
// file held open by another program that shares everything, a good file, and empty paths
// (missing, skipped silently) up to 65,537 entries. The reports stand centred over dialog 104,
// itself centred over the main window as its initialisation begins, with the file's name and one
// step per file (folders not counted) out of the whole list; nobody else can open the file the
// run works on, whatever they share. The bar goes back to 0 at the end.
TEST_F(ConversionRun, ReportsOverTheDialogWhileHoldingTheFile) {
    const std::string so = "ソ.mid", invalid = file(so, {'h', 'i'}), locked = file("locked.mid", plain),
                      good = file("good.mid", plain);
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
        const HANDLE other =
            CreateFileW(wideFromUtf8(invalid).c_str(), GENERIC_READ, everything, nullptr, OPEN_EXISTING, 0, nullptr);
        othersOpen = other == INVALID_HANDLE_VALUE ? GetLastError() : (CloseHandle(other), 0);
        // Dialog 104 as created: title, the name, font, size in dialog units, styles.
        const auto style = [&](int id) { return GetWindowLongA(id ? GetDlgItem(dialog, id) : dialog, GWL_STYLE); };
        RECT client{}, size{0, 0, 139, 61};
        LOGFONTA font{};
        GetClientRect(dialog, &client), MapDialogRect(dialog, &size);
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
        const LONG frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE;
        EXPECT_EQ(
            std::make_tuple(windowText(dialog), windowText(GetDlgItem(dialog, IDC_FILE_NAME)),
                            std::string(font.lfFaceName), font.lfHeight, client.right - size.right,
                            client.bottom - size.bottom, seen.barBordered, style(0) & frame,
                            style(IDC_FILE_NAME) & (SS_TYPEMASK | SS_NOPREFIX | WS_GROUP),
                            style(IDCANCEL) & (BS_TYPEMASK | WS_TABSTOP)),
            std::make_tuple("処理中...", so,
                            "\x82l\x82r \x82o\x83S\x83V\x83"
                            "b\x83N",
                            -12L, 0L, 0L, true, frame, SS_LEFT | SS_NOPREFIX | WS_GROUP, BS_PUSHBUTTON | WS_TABSTOP));
    };
    RunConversion(files);
    CloseHandle(holder);
    EXPECT_EQ(answerer.boxes, (std::vector<std::string>{utf8(text(164) + "|'") + invalid + utf8("'\n\n" + text(159)),
                                                        utf8(text(164) + "|'" + locked + "'\n\n" + text(160) + "\n" +
                                                             systemText(ERROR_SHARING_VIOLATION))}));
    EXPECT_EQ(std::make_tuple(readFile(invalid), readFile(locked), readFile(good)),
              std::make_tuple(Bytes{'h', 'i'}, plain, rs));
    EXPECT_EQ(std::make_tuple(othersOpen, bar, seen.barAtEnd, probed),
              std::make_tuple(DWORD{ERROR_SHARING_VIOLATION}, std::vector<LRESULT>{1, 65537, 2, 65537}, 0,
                              folder_.substr(0, 2)));
    EXPECT_EQ(std::make_pair(centre(seen.dialog), centre(seen.box)),
              std::make_pair(centre({40, 60, 540, 360}), centre({40, 60, 540, 360})));
}

// Names come as the system spells them (UTF-8) and reach their files through the wide calls,
// whatever their characters: one that code page 932 cannot spell ("ü") is converted where no
// name has a short form (none is even asked for), and so is one whose path is longer than
// MAX_PATH (in place: its temporary file's path would not fit). One in use is reported with 160
// and the system's reason under its own name, shown whole; a folder is skipped as every folder
// is; files deleted before their turn are skipped silently.
TEST_F(ConversionRun, NamesOutsideTheAnsiCodePageAreConvertedOrReported) {
    const std::string fur = file("Für Elise.mid", plain), held = file("Gymnopédie No.1.mid", plain);
    std::string deep = folder_;
    for (int i = 0; i < 30; ++i) deep += "\\abcdefgh";
    std::filesystem::create_directories(std::filesystem::u8path(deep));
    const std::string distant = file(deep, "Für Elise.mid", plain), gone = folder_ + "\\Gymnopédie No.2.mid";
    const std::string goneToo = folder_ + "\\gone.mid";
    const HANDLE holder = CreateFileW(wideFromUtf8(held).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    std::vector<std::string> shown;
    BoxAnswerer answerer;
    answerer.onShown = [&](HWND box) {
        shown.push_back(windowText(GetDlgItem(GetWindow(box, GW_OWNER), IDC_FILE_NAME)));
    };
    {
        const testing_win32::NoShortNames noShortNames;
        ASSERT_TRUE(noShortNames.active());
        RunConversion({fur, distant, deep, held, gone, goneToo});
        EXPECT_EQ(testing_win32::NoShortNames::calls(), 0);
    }
    CloseHandle(holder);
    EXPECT_EQ(answerer.boxes,
              std::vector<std::string>{utf8(text(164) + "|'") + held +
                                       utf8("'\n\n" + text(160) + "\n" + systemText(ERROR_SHARING_VIOLATION))});
    EXPECT_EQ(shown, std::vector<std::string>{"Gymnopédie No.1.mid"});
    EXPECT_EQ(std::make_tuple(readFile(fur), readFile(distant), readFile(held)), std::make_tuple(rs, rs, plain));
    // Taken down level by level: the library's removal stops at MAX_PATH.
    DeleteFileW(wideFromUtf8(distant).c_str());
    for (; deep != folder_; deep.resize(deep.rfind('\\'))) RemoveDirectoryW(wideFromUtf8(deep).c_str());
}

// Escape, pressed while a file is worked on, reaches the dialog through the run's own pump before
// the next file: the question comes; No goes on (and is not asked again), Yes leaves that file
// and the rest untouched. With the box cleared, the files are written without running status.
TEST_F(ConversionRun, EscapeAsksBeforeTheNextFile) {
    const FileList files{file("a.mid", rs), file("b.mid", rs), file("c.mid", rs), file("d.mid", rs)};
    CheckDlgButton(MainWindowHandle, IDC_RUNNING_STATUS, BST_UNCHECKED);
    seen.escapeAt = {L"a.mid", L"c.mid"};
    BoxAnswerer answerer({IDNO, IDYES});
    RunConversion(files);
    seen.escapeAt.clear();
    EXPECT_EQ(answerer.boxes, std::vector<std::string>(2, utf8(text(165) + "|" + text(155))));
    EXPECT_EQ(std::make_tuple(readFile(files[0]), readFile(files[2]), readFile(files[3])),
              std::make_tuple(plain, plain, rs));
}

// Each row: what the free-space function does at the first file. No bytes available to the user
// (whatever the volume's total), or none known, stop the run before any file changes, with the
// drive in the report; whatever is thrown is reported as what it is, and the run goes on.
TEST_F(ConversionRun, ProbeFailuresAndThrows) {
    const std::string drive = "'" + folder_.substr(0, 2) + "'\n\n";
    const struct {
        std::uint64_t available;
        DWORD error;
        int throws;
        std::string report;
    } rows[] = {{0, 0, 0, drive + text(156) + text(158)},
                {1, ERROR_NOT_READY, 0, drive + text(157) + "\n" + systemText(ERROR_NOT_READY) + text(158)},
                {1u << 30, 0, 1, text(170)},
                {1u << 30, 0, 2, text(154)}};
    for (const auto& r : rows) {
        const std::string a = file("a.mid", plain), b = file("b.mid", plain);
        available = r.available, probeError = r.error, throws = r.throws;
        BoxAnswerer answerer;
        RunConversion({a, b});
        EXPECT_EQ(answerer.boxes,
                  std::vector<std::string>{utf8(text(164) + "|" + (r.throws ? "'" + a + "'\n\n" : "") + r.report)});
        EXPECT_EQ(std::make_pair(readFile(a), readFile(b)), std::make_pair(plain, r.throws ? rs : plain));
    }
}

// A system text comes whole, its line break and "%1"-style inserts kept; a code the system has no
// text for gives 154; code 0 nothing. An empty caption follows the icon bits alone; a caption
// given is kept; the centring hook is gone after every box, also when it was in place before.
TEST(Messages, SystemTextsAndCaptions) {
    InstanceHandle = GetModuleHandleA(nullptr);
    DWORD withInsert = 1;
    while (withInsert < 2000 && systemText(withInsert).find("%1") == std::string::npos) ++withInsert;
    std::string got = "old", none = "old";
    EXPECT_FALSE(SystemErrorText(none, 0));
    for (const DWORD code : {DWORD{ERROR_FILE_NOT_FOUND}, withInsert})
        EXPECT_TRUE(SystemErrorText(got, code) && got == systemText(code)) << code;
    EXPECT_TRUE(SystemErrorText(got, 0x2000FFFFu));
    EXPECT_EQ(std::make_tuple(got, none, systemText(ERROR_FILE_NOT_FOUND).back()),
              std::make_tuple(text(154), "old", '\n'));
    BoxAnswerer answerer;
    InstallCentringHook();
    for (const UINT style : {0x2010u, 0x30u, 0x40u, 0x50u})
        ShowMessageBox(nullptr, "t", "", style);  // error (task-modal), warning, information, none
    EXPECT_EQ(ShowMessageBox(nullptr, "t", "Own", MB_ICONERROR), IDOK);
    EXPECT_FALSE(CentringHookInstalled());
    ShowSystemError(nullptr, 0), ShowSystemError(nullptr, ERROR_ACCESS_DENIED);
    EXPECT_EQ(answerer.boxes,
              (std::vector<std::string>{utf8(text(164) + "|t"), utf8(text(166) + "|t"), utf8(text(167) + "|t"), "|t",
                                        "Own|t", utf8(text(164) + "|" + systemText(ERROR_ACCESS_DENIED))}));
}

}  // namespace gui::testing
