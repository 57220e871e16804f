// Common set-up of the shell's Wine tests.
#include "shell_fixture.h"

#include <fstream>
#include <sstream>

#include "convert/app_state.h"
#include "res/resource.h"
#include "shell/main_window.h"
#include "shell/startup.h"

namespace {

std::string exeFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.rfind('\\'));
}

void removeTree(const std::string& folder) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = folder + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeTree(path);
            } else {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

void ShellTest::SetUp() {
    static bool registered = false;
    InstanceHandle = GetModuleHandleA(nullptr);
    if (!registered) {
        RegisterMainWindowClass();
        registered = true;
    }
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    savedDirectory_ = current;

    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    scratch_ = std::string(temp) + "quorin-shell-" + std::to_string(GetCurrentProcessId());
    removeTree(scratch_);
    ASSERT_TRUE(CreateDirectoryA(scratch_.c_str(), nullptr));

    settingsPath_ = exeFolder() + "\\quorin.ini";
    DeleteFileA(settingsPath_.c_str());
    SetConversionRunner(nullptr);
}

void ShellTest::TearDown() {
    SetConversionRunner(nullptr);
    SetCurrentDirectoryA(savedDirectory_.c_str());
    DeleteFileA(settingsPath_.c_str());
    removeTree(scratch_);
}

HWND ShellTest::openMainWindow() {
    HWND window = CreateDialogParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainWindowProc, 0);
    EXPECT_NE(window, nullptr);
    return window;
}

void ShellTest::closeMainWindow(HWND window) {
    DestroyWindow(window);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
}

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool fileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
