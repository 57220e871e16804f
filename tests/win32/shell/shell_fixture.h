// Common set-up of the shell's Wine tests: resources of this test program, the main
// window's class, a scratch folder, and no settings file beside this executable.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "convert/app_state.h"
#include "res/resource.h"
#include "shell/main_window.h"
#include "shell/startup.h"

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        static bool registered = false;
        InstanceHandle = GetModuleHandleA(nullptr);
        if (!registered) RegisterMainWindowClass();
        registered = true;
        savedDirectory_ = std::filesystem::current_path();
        scratch_ = (std::filesystem::temp_directory_path() / ("quorin-shell-" + std::to_string(GetCurrentProcessId())))
                       .string();
        std::filesystem::remove_all(scratch_);
        ASSERT_TRUE(CreateDirectoryA(scratch_.c_str(), nullptr));
        char exe[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, exe, MAX_PATH);
        settingsPath_ = std::string(exe).substr(0, std::string(exe).rfind('\\')) + "\\quorin.ini";
        DeleteFileA(settingsPath_.c_str());
        SetConversionRunner(nullptr);
    }

    void TearDown() override {
        SetConversionRunner(nullptr);
        std::filesystem::current_path(savedDirectory_);
        DeleteFileA(settingsPath_.c_str());
        std::filesystem::remove_all(scratch_);
    }

    // The main window, modeless, with the settings that are on disk now.
    static HWND openMainWindow() {
        HWND window = CreateDialogParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainWindowProc, 0);
        EXPECT_NE(window, nullptr);
        return window;
    }

    // Destroys it (which saves the settings) and drops the quit message it posts.
    static void closeMainWindow(HWND window) {
        DestroyWindow(window);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    std::string scratch_;       // an empty folder of this test's own
    std::string settingsPath_;  // quorin.ini beside this executable

private:
    std::filesystem::path savedDirectory_;
};

inline std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}
