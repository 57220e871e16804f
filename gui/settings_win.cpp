// The settings file "quorin.ini" beside the executable, section "OPTION".
#include "gui/settings.h"

#include <vector>

#include "engine/file_system_win.h"
#include "engine/wide_text_win.h"
#include "gui/app_state.h"
#include "gui/module_path.h"
#include "gui/program_folder.h"
#include "gui/window_position.h"
#include "res/resource.h"

namespace {

constexpr char kSection[] = "OPTION";
constexpr char kFolderKey[] = "OpenFileNameDir";
constexpr char kRunningStatusKey[] = "UseRunningStatus";
constexpr char kXKey[] = "XPos";
constexpr char kYKey[] = "YPos";

BOOL CALLBACK addMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (GetMonitorInfoA(monitor, &info)) {
        const RECT& m = info.rcMonitor;
        const RECT& w = info.rcWork;
        reinterpret_cast<std::vector<MonitorArea>*>(list)->push_back(
            MonitorArea{{m.left, m.top, m.right, m.bottom}, {w.left, w.top, w.right, w.bottom}});
    }
    return TRUE;
}

// Moves the window to the remembered position, kept on a screen (onScreenPosition, with
// the first start's (0, 0) for a position off every monitor), and remembers where it went.
void placeMainWindow(HWND mainWindow) {
    RECT frame = {};
    GetWindowRect(mainWindow, &frame);
    std::vector<MonitorArea> monitors;
    EnumDisplayMonitors(nullptr, nullptr, addMonitor, reinterpret_cast<LPARAM>(&monitors));
    const gui::Position p = onScreenPosition({RememberedPosition.x, RememberedPosition.y}, frame.right - frame.left,
                                             frame.bottom - frame.top, monitors, {0, 0});
    RememberedPosition.x = p.x;
    RememberedPosition.y = p.y;
    SetWindowPos(mainWindow, nullptr, p.x, p.y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

std::string CurrentFolder() {
    std::vector<wchar_t> wide(MAX_PATH);
    for (;;) {
        const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(wide.size()), wide.data());
        if (length == 0) break;
        if (length < wide.size()) {
            std::string ansi;
            engine::SystemError error = 0;
            if (engine::ansiPath(engine::utf8FromWide(wide.data(), length), ansi, error)) return ansi;
            break;
        }
        wide.resize(length);
    }
    char ansi[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, ansi);
    return ansi;
}

std::string ProgramFolder() {
    return programFolderOf(moduleFileName(nullptr), isAnsiLeadByte);
}

std::string SettingsFilePath() {
    return ProgramFolder() + "\\quorin.ini";
}

std::string HelpFilePath() {
    return ProgramFolder() + "\\quorin.html";
}

void WriteSettingInt(const char* section, const char* key, int value, const std::string& path) {
    char text[16];
    wsprintfA(text, "%d", value);
    WritePrivateProfileStringA(section, key, text, path.c_str());
}

void LoadSettings(HWND mainWindow) {
    const std::string path = SettingsFilePath();
    const std::string current = CurrentFolder();
    GetPrivateProfileStringA(kSection, kFolderKey, current.c_str(), RememberedFolder, MAX_PATH, path.c_str());

    const UINT useRunningStatus = GetPrivateProfileIntA(kSection, kRunningStatusKey, 1, path.c_str());
    CheckDlgButton(mainWindow, IDC_RUNNING_STATUS, useRunningStatus != 0 ? BST_CHECKED : BST_UNCHECKED);

    RememberedPosition.x = static_cast<INT>(GetPrivateProfileIntA(kSection, kXKey, 0, path.c_str()));
    RememberedPosition.y = static_cast<INT>(GetPrivateProfileIntA(kSection, kYKey, 0, path.c_str()));
    placeMainWindow(mainWindow);
}

void SaveSettings(HWND mainWindow) {
    const std::string path = SettingsFilePath();
    WritePrivateProfileStringA(kSection, kFolderKey, RememberedFolder, path.c_str());
    WriteSettingInt(kSection, kRunningStatusKey, IsDlgButtonChecked(mainWindow, IDC_RUNNING_STATUS) != 0 ? 1 : 0, path);
    WriteSettingInt(kSection, kXKey, RememberedPosition.x, path);
    WriteSettingInt(kSection, kYKey, RememberedPosition.y, path);
}
