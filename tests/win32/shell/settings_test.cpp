// The settings file beside the executable: defaults, values read and written back, other
// content kept.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "convert/app_state.h"
#include "res/resource.h"
#include "shell/settings.h"
#include "shell_fixture.h"

namespace {

using Settings = ShellTest;

std::string profileValue(const std::string& path, const char* section, const char* key) {
    char value[1024] = {};
    GetPrivateProfileStringA(section, key, "<missing>", value, sizeof value, path.c_str());
    return value;
}

POINT topLeft(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return POINT{rect.left, rect.top};
}

TEST_F(Settings, WithoutAFileDefaultsApplyAndAllFourKeysAreWrittenInOrder) {
    ASSERT_TRUE(SetCurrentDirectoryA(scratch_.c_str()));
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);

    HWND window = openMainWindow();
    EXPECT_EQ(IsDlgButtonChecked(window, IDC_RUNNING_STATUS), BST_CHECKED);
    EXPECT_EQ(topLeft(window).x, 0);
    EXPECT_EQ(topLeft(window).y, 0);
    EXPECT_STREQ(RememberedFolder, current);
    closeMainWindow(window);

    EXPECT_EQ(readWholeFile(settingsPath_), "[OPTION]\r\nOpenFileNameDir=" + std::string(current) +
                                                "\r\nUseRunningStatus=1\r\nXPos=0\r\nYPos=0\r\n");
}

// UseRunningStatus other than 0 sets the option and is written back as 1; a position off
// the screen is applied as stored; a folder longer than MAX_PATH - 1 is cut; what the
// program does not know survives.
TEST_F(Settings, StoredValuesAreAppliedAndWrittenBackWithOtherContentKept) {
    const std::string folder = "C:\\" + std::string(297, 'd');
    writeWholeFile(settingsPath_, "; kept by hand\r\n[USER]\r\nColour=blue\r\n[OPTION]\r\nNote=mine\r\n"
                                  "UseRunningStatus=7\r\nXPos=-8\r\nYPos=-8\r\nOpenFileNameDir=" +
                                      folder + "\r\n[LAST]\r\nz=1\r\n");
    HWND window = openMainWindow();
    EXPECT_EQ(IsDlgButtonChecked(window, IDC_RUNNING_STATUS), BST_CHECKED);
    EXPECT_EQ(topLeft(window).x, -8);
    EXPECT_EQ(topLeft(window).y, -8);
    EXPECT_EQ(std::string(RememberedFolder), folder.substr(0, 259));
    closeMainWindow(window);

    EXPECT_EQ(profileValue(settingsPath_, "OPTION", "UseRunningStatus"), "1");
    EXPECT_EQ(profileValue(settingsPath_, "OPTION", "XPos"), "-8");
    EXPECT_EQ(profileValue(settingsPath_, "OPTION", "YPos"), "-8");
    EXPECT_EQ(profileValue(settingsPath_, "OPTION", "OpenFileNameDir"), folder.substr(0, 259));
    EXPECT_EQ(profileValue(settingsPath_, "OPTION", "Note"), "mine");
    EXPECT_EQ(profileValue(settingsPath_, "USER", "Colour"), "blue");
    EXPECT_EQ(profileValue(settingsPath_, "LAST", "z"), "1");
    EXPECT_NE(readWholeFile(settingsPath_).find("; kept by hand\r\n"), std::string::npos);
}

// A settings file in the current directory is neither read nor written.
TEST_F(Settings, FileIsFoundBesideTheExecutableWhateverTheCurrentDirectory) {
    const std::string decoy = scratch_ + "\\quorin.ini";
    writeWholeFile(decoy, "[OPTION]\r\nUseRunningStatus=1\r\nXPos=12\r\n");
    writeWholeFile(settingsPath_, "[OPTION]\r\nUseRunningStatus=0\r\n");
    ASSERT_TRUE(SetCurrentDirectoryA(scratch_.c_str()));

    HWND window = openMainWindow();
    EXPECT_EQ(IsDlgButtonChecked(window, IDC_RUNNING_STATUS), BST_UNCHECKED);
    EXPECT_EQ(topLeft(window).x, 0);
    closeMainWindow(window);

    EXPECT_EQ(readWholeFile(decoy), "[OPTION]\r\nUseRunningStatus=1\r\nXPos=12\r\n");
    EXPECT_EQ(profileValue(settingsPath_, "OPTION", "UseRunningStatus"), "0");
    EXPECT_EQ(SettingsFilePath(), settingsPath_);
    EXPECT_EQ(HelpFilePath(), settingsPath_.substr(0, settingsPath_.size() - 3) + "html");
}

}  // namespace
