// The conversion run's user interface: progress dialog 104, its pump and Cancel, and the
// reports. The per-file work is the conversion engine's.
#include "convert/conversion_run.h"

#include <windows.h>
#include <commctrl.h>

#include <new>
#include <string>

#include "res/resource.h"
#include "convert/app_state.h"
#include "convert/conversion_engine.h"
#include "convert/file_system_win.h"
#include "convert/messages.h"
#include "convert/path_split.h"
#include "convert/report.h"

namespace {

std::string messageText(std::uint32_t id) {
    std::string text;
    LoadMessageText(text, id);
    return text;
}

// Shows each file's name, steps the bar, and reports failures over the dialog. Nothing
// that goes wrong while a report is composed or shown goes unreported: the fallback
// report, made ready when the run starts, is shown instead.
class DialogListener final : public convert::ConversionListener {
public:
    DialogListener(HWND dialog, HWND nameField, HWND progressBar)
        : dialog_(dialog), nameField_(nameField), progressBar_(progressBar), fallback_(messageText) {}

    void fileStarted(const std::string& path) override {
        SetWindowTextA(nameField_, convert::splitPath(path, convert::isAnsiLeadByte).displayName.c_str());
        SendMessageA(progressBar_, PBM_STEPIT, 0, 0);
    }

    // Never throws: the file is still open here, and its report (a failed rewrite's above
    // all) must reach the user.
    void fileFinished(const std::string& path, const convert::FileOutcome& outcome) noexcept override {
        try {
            const std::string report =
                convert::composeReport(outcome, path, messageText, [](std::string& text, std::uint32_t code) {
                    return SystemErrorText(text, code);
                });
            if (!report.empty()) ShowMessageBox(dialog_, report, std::string(), MB_OK | MB_ICONERROR);
        } catch (const std::bad_alloc&) {
            reportFailure(path, true, &outcome);
        } catch (...) {
            reportFailure(path, false, &outcome);
        }
    }

    // The fallback report of path (text 170 when outOfMemory, else 154), composed and shown
    // without allocating.
    void reportFailure(const std::string& path, bool outOfMemory, const convert::FileOutcome* outcome) noexcept {
        try {
            ShowMessageBox(dialog_, fallback_.compose(path, outOfMemory, outcome), fallback_.errorCaption(),
                           MB_OK | MB_ICONERROR);
        } catch (...) {
            // ShowMessageBox allocates nothing with a caption given; nothing is left to try.
        }
    }

private:
    HWND dialog_;
    HWND nameField_;
    HWND progressBar_;
    convert::FallbackReport fallback_;
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
    convert::Win32FileSystem win32FileSystem;
    convert::FileSystem& fileSystem = Process.runFileSystem ? *Process.runFileSystem : win32FileSystem;
    convert::ConversionEngine engine(fileSystem, IsDlgButtonChecked(MainWindowHandle, IDC_RUNNING_STATUS) != 0);
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
    case WM_INITDIALOG:
        runConversion(dialog, *reinterpret_cast<const FileList*>(lParam));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) CancelRequested = true;
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

void SetRunFileSystem(convert::FileSystem* fileSystem) {
    Process.runFileSystem = fileSystem;
}

void RunConversion(const FileList& files) {
    InstallCentringHook();
    DialogBoxParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_PROGRESS), MainWindowHandle, ProgressDialogProc,
                    reinterpret_cast<LPARAM>(&files));
    RemoveCentringHook();
}
