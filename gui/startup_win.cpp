// Start-up: the process-wide values, the common controls, the main window's class and the
// main window itself.
#include "gui/startup.h"

#include <commctrl.h>
#include <objbase.h>

#include "engine/free_space.h"
#include "engine/out_of_memory.h"
#include "engine/scope_exit.h"
#include "gui/app_state.h"
#include "gui/main_window.h"
#include "res/resource.h"

namespace {

constexpr char kMainWindowClass[] = "QuorinWnd";
constexpr int kClassNameSize = 64;

// Windows of "QuorinWnd" are dialogs driven entirely by the dialog manager.
LRESULT CALLBACK mainWindowClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefDlgProcA(window, message, wParam, lParam);
}

INT_PTR CALLBACK registerClassProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG) return FALSE;
    char className[kClassNameSize] = {};
    GetClassNameA(dialog, className, kClassNameSize);
    WNDCLASSA windowClass = {};
    GetClassInfoA(InstanceHandle, className, &windowClass);
    windowClass.lpfnWndProc = mainWindowClassProc;
    windowClass.hInstance = InstanceHandle;
    windowClass.hIcon = LoadIconA(InstanceHandle, MAKEINTRESOURCEA(IDI_QUORIN));
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.lpszClassName = kMainWindowClass;
    RegisterClassA(&windowClass);
    EndDialog(dialog, 1);
    return FALSE;
}

}  // namespace

void RegisterMainWindowClass() {
    DialogBoxParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_REGISTER_CLASS), GetDesktopWindow(), registerClassProc, 0);
}

int RunQuorin(HINSTANCE instance) {
    engine::prepareForOutOfMemory();
    InstanceHandle = instance;
    FreeSpaceExFunction = reinterpret_cast<GetDiskFreeSpaceExAFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA")));
    // ShellExecuteA may hand the help page, mailto: and http: to COM-based handlers, which
    // need COM on this thread. Without it the shell still opens what it can by itself.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const engine::ScopeExit comGoes([com] {
        if (SUCCEEDED(com)) CoUninitialize();
    });
    InitCommonControls();
    RegisterMainWindowClass();
    DialogBoxParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_MAIN), GetDesktopWindow(), MainWindowProc, 0);
    return 0;
}
