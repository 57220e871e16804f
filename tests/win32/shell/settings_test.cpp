// The settings file beside the executable: defaults, values read and written back, other
// content kept.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "res/resource.h"
#include "shell/settings.h"
#include "shell/shell_state.h"
#include "shell_fixture.h"

namespace {

using Settings = ShellTest;

std::string option(const std::string& path, const char* key) {
    char value[1024] = {};
    GetPrivateProfileStringA("OPTION", key, "<missing>", value, sizeof value, path.c_str());
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

TEST_F(Settings, RunningStatusZeroClearsAndAnyOtherNumberSetsAndIsWrittenAsOne) {
    writeWholeFile(settingsPath_, "[OPTION]\r\nUseRunningStatus=0\r\n");
    HWND window = openMainWindow();
    EXPECT_EQ(IsDlgButtonChecked(window, IDC_RUNNING_STATUS), BST_UNCHECKED);
    closeMainWindow(window);
    EXPECT_EQ(option(settingsPath_, "UseRunningStatus"), "0");

    writeWholeFile(settingsPath_, "[OPTION]\r\nUseRunningStatus=7\r\n");
    window = openMainWindow();
    EXPECT_EQ(IsDlgButtonChecked(window, IDC_RUNNING_STATUS), BST_CHECKED);
    closeMainWindow(window);
    EXPECT_EQ(option(settingsPath_, "UseRunningStatus"), "1");
}

TEST_F(Settings, NegativePositionIsAppliedAsStoredAndWrittenBack) {
    writeWholeFile(settingsPath_, "[OPTION]\r\nXPos=-8\r\nYPos=-8\r\n");
    HWND window = openMainWindow();
    EXPECT_EQ(topLeft(window).x, -8);
    EXPECT_EQ(topLeft(window).y, -8);
    closeMainWindow(window);
    EXPECT_EQ(option(settingsPath_, "XPos"), "-8");
    EXPECT_EQ(option(settingsPath_, "YPos"), "-8");
}

TEST_F(Settings, OverlongFolderIsCutTo259Bytes) {
    const std::string folder = "C:\\" + std::string(297, 'd');
    writeWholeFile(settingsPath_, "[OPTION]\r\nOpenFileNameDir=" + folder + "\r\n");
    HWND window = openMainWindow();
    EXPECT_EQ(std::string(RememberedFolder), folder.substr(0, 259));
    closeMainWindow(window);
    EXPECT_EQ(option(settingsPath_, "OpenFileNameDir"), folder.substr(0, 259));
}

TEST_F(Settings, OtherSectionsAndKeysSurviveARun) {
    writeWholeFile(settingsPath_,
                   "; kept by hand\r\n[USER]\r\nColour=blue\r\n[OPTION]\r\nNote=mine\r\nXPos=5\r\n[LAST]\r\nz=1\r\n");
    closeMainWindow(openMainWindow());
    const std::string text = readWholeFile(settingsPath_);
    EXPECT_NE(text.find("; kept by hand\r\n"), std::string::npos);
    char value[64] = {};
    GetPrivateProfileStringA("USER", "Colour", "", value, sizeof value, settingsPath_.c_str());
    EXPECT_STREQ(value, "blue");
    GetPrivateProfileStringA("LAST", "z", "", value, sizeof value, settingsPath_.c_str());
    EXPECT_STREQ(value, "1");
    EXPECT_EQ(option(settingsPath_, "Note"), "mine");
    EXPECT_EQ(option(settingsPath_, "XPos"), "5");
    EXPECT_EQ(option(settingsPath_, "UseRunningStatus"), "1");
}

TEST_F(Settings, FileIsFoundBesideTheExecutableWhateverTheCurrentDirectory) {
    const std::string decoy = scratch_ + "\\quorin.ini";
    writeWholeFile(decoy, "[OPTION]\r\nUseRunningStatus=0\r\n");
    writeWholeFile(settingsPath_, "[OPTION]\r\nXPos=12\r\n");
    ASSERT_TRUE(SetCurrentDirectoryA(scratch_.c_str()));

    HWND window = openMainWindow();
    EXPECT_EQ(IsDlgButtonChecked(window, IDC_RUNNING_STATUS), BST_CHECKED);
    EXPECT_EQ(topLeft(window).x, 12);
    closeMainWindow(window);

    EXPECT_EQ(readWholeFile(decoy), "[OPTION]\r\nUseRunningStatus=0\r\n");
    EXPECT_EQ(option(settingsPath_, "UseRunningStatus"), "1");
    EXPECT_EQ(SettingsFilePath(), settingsPath_);
    EXPECT_EQ(HelpFilePath(), settingsPath_.substr(0, settingsPath_.size() - 3) + "html");
}

}  // namespace
