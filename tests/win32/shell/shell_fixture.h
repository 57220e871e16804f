// Common set-up of the shell's Wine tests: resources of this test program, the main
// window's class, a scratch folder, and the settings file beside this executable.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The main window, modeless, with the settings that are on disk now.
    HWND openMainWindow();
    // Destroys it (which saves the settings) and drops the quit message it posts.
    void closeMainWindow(HWND window);

    std::string scratch_;        // an empty folder of this test's own
    std::string settingsPath_;   // quorin.ini beside this executable

private:
    std::string savedDirectory_;
};

std::string readWholeFile(const std::string& path);
void writeWholeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);
