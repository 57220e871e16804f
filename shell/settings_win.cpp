// The settings file "quorin.ini" beside the executable, section "OPTION".
#include "shell/settings.h"

#include "convert/app_state.h"
#include "res/resource.h"
#include "shell/module_path.h"
#include "shell/program_folder.h"

namespace {

constexpr char kSection[] = "OPTION";
constexpr char kFolderKey[] = "OpenFileNameDir";
constexpr char kRunningStatusKey[] = "UseRunningStatus";
constexpr char kXKey[] = "XPos";
constexpr char kYKey[] = "YPos";

}  // namespace

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
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    GetPrivateProfileStringA(kSection, kFolderKey, current, RememberedFolder, MAX_PATH, path.c_str());

    const UINT useRunningStatus = GetPrivateProfileIntA(kSection, kRunningStatusKey, 1, path.c_str());
    CheckDlgButton(mainWindow, IDC_RUNNING_STATUS, useRunningStatus != 0 ? BST_CHECKED : BST_UNCHECKED);

    RememberedPosition.x = static_cast<INT>(GetPrivateProfileIntA(kSection, kXKey, 0, path.c_str()));
    RememberedPosition.y = static_cast<INT>(GetPrivateProfileIntA(kSection, kYKey, 0, path.c_str()));
    SetWindowPos(mainWindow, nullptr, RememberedPosition.x, RememberedPosition.y, -1, -1,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SaveSettings(HWND mainWindow) {
    const std::string path = SettingsFilePath();
    WritePrivateProfileStringA(kSection, kFolderKey, RememberedFolder, path.c_str());
    WriteSettingInt(kSection, kRunningStatusKey, IsDlgButtonChecked(mainWindow, IDC_RUNNING_STATUS) != 0 ? 1 : 0,
                    path);
    WriteSettingInt(kSection, kXKey, RememberedPosition.x, path);
    WriteSettingInt(kSection, kYKey, RememberedPosition.y, path);
}
