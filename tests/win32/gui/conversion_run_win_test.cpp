// The conversion run under Wine (code page 932): whole runs over temporary files under the
// progress dialog, every box answered by the test.
#include "windows_test.h"

#include <commctrl.h>

#include <algorithm>

#include "engine/free_space.h"
#include "gui/conversion_run.h"

namespace gui::testing {
namespace {

std::pair<LONG, LONG> centre(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// The main window shown away from the screen's centre, its option set; files in the fresh
// folder, named and read in UTF-8 as the run takes them. The system's free-space function
// gives the bytes available to the user (the volume's total is always more), throws
// std::bad_alloc at the first file if asked to, and presses Escape in the progress dialog at
// the files listed (those that change, counted from 1).
class ConversionRun : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        InitCommonControls();
        FreeSpaceExFunction = freeSpace;
        available = 1u << 30;
        throwsFirst = false;
        probes = 0;
        escapeAt.clear();
        SetWindowPos(main_, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ShowWindow(main_, SW_SHOWNA);
    }
    std::string put(const std::string& name, const Bytes& bytes) const {
        writeFile(std::filesystem::u8path(folder_.path() + "\\" + name), bytes);
        return folder_.path() + "\\" + name;
    }
    static Bytes read(const std::string& path) { return readFile(std::filesystem::u8path(path)); }

    static BOOL WINAPI freeSpace(LPCSTR, PULARGE_INTEGER user, PULARGE_INTEGER total, PULARGE_INTEGER) {
        ++probes;
        if (std::count(escapeAt.begin(), escapeAt.end(), probes))
            PostMessageA(GetActiveWindow(), WM_KEYDOWN, VK_ESCAPE, 0);
        if (probes == 1 && throwsFirst) throw std::bad_alloc();
        user->QuadPart = available;
        total->QuadPart = available + (1ull << 40);
        return TRUE;
    }

    static inline std::uint64_t available;
    static inline bool throwsFirst;
    static inline int probes;
    static inline std::vector<int> escapeAt;
};

// One run over a folder, a file that is no Standard MIDI File (its name ends in 0x5C: ソ), a
// file that another program holds open (sharing everything: the run wants it alone), a name
// that code page 932 cannot spell, and empty paths (missing files) up to 65,537 entries. The
// dialog stands over the main window and each report over the dialog, the bar one step on
// per file out of the whole list; the other file is converted.
TEST_F(ConversionRun, ReportsEachFailureOverTheDialogAndConvertsTheRest) {
    const std::string notSmf = put("ソ.mid", {'h', 'i'});
    const std::string held = put("Gymnopédie.mid", plainSmf());
    const std::string fur = put("Für Elise.mid", plainSmf());
    const DWORD everything = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const std::wstring heldPath = engine::wideFromUtf8(held);
    const HANDLE holder = CreateFileW(heldPath.c_str(), GENERIC_READ, everything, nullptr, OPEN_EXISTING, 0, nullptr);
    FileList files = {folder_.path(), notSmf, held, fur};
    files.resize(65537);
    std::vector<LRESULT> steps;
    BoxAnswerer answerer;
    answerer.shown = [&](HWND box) {
        const HWND dialog = GetWindow(box, GW_OWNER);
        steps.push_back(SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_GETPOS, 0, 0));
        EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_GETRANGE, FALSE, 0), 65537);
        EXPECT_EQ(centre(box), centre(dialog));
        EXPECT_EQ(centre(dialog), centre(main_));
    };
    RunConversion(files);
    CloseHandle(holder);
    const std::vector<Box> reports = {
        errorBox("'" + notSmf + "'\n\n" + text(IDS_NOT_SMF)),
        errorBox("'" + held + "'\n\n" + text(IDS_OPEN_FAILED) + "\n" + systemText(ERROR_SHARING_VIOLATION)),
    };
    EXPECT_EQ(answerer.boxes, reports);
    EXPECT_EQ(steps, (std::vector<LRESULT>{1, 2}));
    EXPECT_EQ(read(notSmf), Bytes({'h', 'i'}));
    EXPECT_EQ(read(held), plainSmf());
    EXPECT_EQ(read(fur), runningStatusSmf());
}

// Escape, pressed while a file is worked on, is seen before the next file: No goes on (and
// is not asked again), Yes leaves that file and the rest untouched. With the option cleared,
// the files are written without running status.
TEST_F(ConversionRun, EscapeAsksBeforeTheNextFile) {
    const FileList files = {put("a", runningStatusSmf()), put("b", runningStatusSmf()), put("c", runningStatusSmf())};
    CheckDlgButton(main_, IDC_RUNNING_STATUS, BST_UNCHECKED);
    escapeAt = {1, 2};
    BoxAnswerer answerer({IDNO, IDYES});
    RunConversion(files);
    EXPECT_EQ(answerer.boxes, std::vector<Box>(2, {text(IDS_CAPTION_CONFIRM), text(IDS_CONFIRM_CANCEL)}));
    EXPECT_EQ(read(files[0]), plainSmf());
    EXPECT_EQ(read(files[1]), plainSmf());
    EXPECT_EQ(read(files[2]), runningStatusSmf());
}

// No room for the user on the volume (whatever its total) stops the run before any file
// changes, naming the drive. Memory running out is reported, and the run goes on.
TEST_F(ConversionRun, NoRoomStopsTheRunAndWantOfMemoryIsReported) {
    const FileList files = {put("a", plainSmf()), put("b", plainSmf())};
    BoxAnswerer answerer;
    available = 0;
    RunConversion(files);
    EXPECT_EQ(read(files[1]), plainSmf());
    available = 1u << 30;
    probes = 0;
    throwsFirst = true;
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
