// The conversion run's user interface: progress dialog 104, its pump and Cancel, and the
// reports. The per-file work is the conversion engine's.
#include "gui/conversion_run.h"

#include <windows.h>
#include <commctrl.h>

#include <new>
#include <string>
#include <vector>

#include "engine/conversion_engine.h"
#include "engine/file_system_win.h"
#include "engine/path_split.h"
#include "engine/wide_text_win.h"
#include "gui/app_state.h"
#include "gui/messages.h"
#include "gui/report.h"
#include "res/resource.h"

namespace {

// A string-table text as it is (ANSI), for the boxes that name no file.
std::string messageText(std::uint32_t id) {
    std::string text;
    LoadMessageText(text, id);
    return text;
}

// A string-table text in UTF-8, the encoding of the paths that reports join it with.
std::string utf8Text(std::uint32_t id) {
    return engine::utf8FromAnsi(messageText(id));
}

bool systemText(std::string& text, std::uint32_t code) {
    std::string ansi;
    if (!SystemErrorText(ansi, code)) return false;
    text = engine::utf8FromAnsi(ansi);
    return true;
}

// Shows each file's name, steps the bar, and reports failures over the dialog, every name
// as the system spells it (the reports are composed in UTF-8 and shown wide). Nothing that
// goes wrong while a report is composed or shown goes unreported: the fallback report, and
// the room to show it, made ready when the run starts, is shown instead.
class DialogListener final : public engine::ConversionListener {
public:
    DialogListener(HWND dialog, HWND nameField, HWND progressBar)
        : dialog_(dialog),
          nameField_(nameField),
          progressBar_(progressBar),
          fallback_(utf8Text),
          errorCaption_(engine::wideFromUtf8(fallback_.errorCaption())),
          wideReport_(fallback_.longestReport() + 1) {}

    void fileStarted(const std::string& path) override {
        const std::string name = engine::splitPath(path, engine::noLeadByte).displayName;
        SetWindowTextW(nameField_, engine::wideFromUtf8(name).c_str());
        SendMessageA(progressBar_, PBM_STEPIT, 0, 0);
    }

    // Never throws: the file is still open here, and its report (a failed rewrite's above
    // all) must reach the user.
    void fileFinished(const std::string& path, const engine::FileOutcome& outcome) noexcept override {
        try {
            const std::string report = gui::composeReport(outcome, path, utf8Text, systemText);
            if (!report.empty())
                ShowWideMessageBox(dialog_, engine::wideFromUtf8(report).c_str(), nullptr, MB_OK | MB_ICONERROR);
        } catch (const std::bad_alloc&) {
            reportFailure(path, true, &outcome);
        } catch (...) {
            reportFailure(path, false, &outcome);
        }
    }

    // The fallback report of path (text 170 when outOfMemory, else 154), composed and shown
    // without allocating.
    void reportFailure(const std::string& path, bool outOfMemory, const engine::FileOutcome* outcome) noexcept {
        try {
            const std::string& report = fallback_.compose(path, outOfMemory, outcome);
            const int length = MultiByteToWideChar(CP_UTF8, 0, report.data(), static_cast<int>(report.size()),
                                                   wideReport_.data(), static_cast<int>(wideReport_.size() - 1));
            wideReport_[static_cast<std::size_t>(length > 0 ? length : 0)] = L'\0';
            ShowWideMessageBox(dialog_, wideReport_.data(), errorCaption_.c_str(), MB_OK | MB_ICONERROR);
        } catch (...) {
            // ShowWideMessageBox allocates nothing with a caption given; nothing is left to try.
        }
    }

private:
    HWND dialog_;
    HWND nameField_;
    HWND progressBar_;
    gui::FallbackReport fallback_;
    std::wstring errorCaption_;
    // Room for the longest fallback report, wide: no UTF-8 byte makes more than one unit.
    std::vector<wchar_t> wideReport_;
};

// Empties the thread's queue, letting the dialog handle its keys (Escape is Cancel). A quit
// request is put back for the main loop to see.
void pumpMessages(HWND dialog) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (!IsDialogMessageA(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

// True when the user confirms a pending Cancel; a declined Cancel is cleared.
bool cancelConfirmed(HWND dialog) {
    if (!CancelRequested) return false;
    if (ShowMessageBox(dialog, messageText(IDS_CONFIRM_CANCEL), std::string(), MB_YESNO | MB_ICONQUESTION) == IDYES)
        return true;
    CancelRequested = false;
    return false;
}

void runFiles(HWND dialog, const FileList& files, HWND nameField, HWND progressBar) {
    engine::Win32FileSystem win32FileSystem;
    engine::FileSystem& fileSystem = Process.runFileSystem ? *Process.runFileSystem : win32FileSystem;
    engine::ConversionEngine engine(fileSystem, IsDlgButtonChecked(MainWindowHandle, IDC_RUNNING_STATUS) != 0);
    DialogListener listener(dialog, nameField, progressBar);
    SendMessageA(progressBar, PBM_SETRANGE32, 0, static_cast<LPARAM>(files.size()));
    SendMessageA(progressBar, PBM_SETSTEP, 1, 0);
    SendMessageA(progressBar, PBM_SETPOS, 0, 0);
    for (const std::string& path : files) {
        pumpMessages(dialog);
        // A throw here comes before the file's rewrite (the listener reports its own
        // failures): the file is unchanged, closed and freed by now.
        try {
            if (cancelConfirmed(dialog)) break;
            if (engine.convert(path, &listener).endsRun()) break;
        } catch (const std::bad_alloc&) {
            listener.reportFailure(path, true, nullptr);
        } catch (...) {
            listener.reportFailure(path, false, nullptr);
        }
    }
    engine.releaseOutput();
}

// The run could not even start (no memory for its reader, texts or report room): says so.
void reportRunFailure(HWND dialog) noexcept {
    try {
        ShowMessageBox(dialog, messageText(IDS_OUT_OF_MEMORY), std::string(), MB_OK | MB_ICONERROR);
    } catch (...) {
        // Not even that fits; the run ends with nothing converted.
    }
}

// The whole run happens while the dialog initialises; it ends the dialog itself.
void runConversion(HWND dialog, const FileList& files) {
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    const HWND progressBar = GetDlgItem(dialog, IDC_PROGRESS);
    const HWND nameField = GetDlgItem(dialog, IDC_FILE_NAME);
    CancelRequested = false;
    if (!files.empty()) {
        try {
            runFiles(dialog, files, nameField, progressBar);
        } catch (...) {
            reportRunFailure(dialog);
        }
    }
    SendMessageA(progressBar, PBM_SETPOS, 0, 0);
    EndDialog(dialog, 1);
}

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: runConversion(dialog, *reinterpret_cast<const FileList*>(lParam)); return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) CancelRequested = true;
        return FALSE;
    default: return FALSE;
    }
}

}  // namespace

void SetRunFileSystem(engine::FileSystem* fileSystem) {
    Process.runFileSystem = fileSystem;
}

void RunConversion(const FileList& files) {
    InstallCentringHook();
    // A dialog of wide windows, so that its name field shows any name whole.
    DialogBoxParamW(InstanceHandle, MAKEINTRESOURCEW(IDD_PROGRESS), MainWindowHandle, ProgressDialogProc,
                    reinterpret_cast<LPARAM>(&files));
    RemoveCentringHook();
}
