// The Windows program's conversion run, timed, for comparison with quorin-cli:
//   quorin_convert_run.exe [--off] PATH...
// Each PATH is a file, or a folder whose files (not its subfolders) are converted in name
// order. A hidden owner window with check box 1000 stands in for the main window; message
// boxes that the run shows are answered with OK by a timer and their texts printed (UTF-8).
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "../../res/resource.h"
#include "engine/free_space.h"
#include "engine/out_of_memory.h"
#include "gui/app_state.h"
#include "gui/conversion_run.h"
#include "gui/file_list.h"

namespace {

std::vector<std::string> boxTexts;

std::string toUtf8(const std::string& ansi) {
    const int wide = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
    std::wstring text(wide > 0 ? wide : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, text.data(), wide);
    const int narrow = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(narrow > 0 ? narrow : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), narrow, nullptr, nullptr);
    result.resize(result.size() - 1);
    return result;
}

// A message box has its text in the static control 0xFFFF; the progress dialog has none.
BOOL CALLBACK answerBox(HWND window, LPARAM) {
    const HWND text = GetDlgItem(window, 0xFFFF);
    if (!text || !IsWindowVisible(window)) return TRUE;
    char buffer[4096] = {};
    GetWindowTextA(text, buffer, sizeof buffer);
    boxTexts.push_back(buffer);
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

void CALLBACK onTimer(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), answerBox, 0);
}

void addPath(const std::string& path, FileList& files) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        files.push_back(path);
        return;
    }
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    const HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(entry.cFileName);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) files.push_back(path + "\\" + name);
}

}  // namespace

int main(int argc, char** argv) {
    engine::prepareForOutOfMemory();
    bool runningStatus = true;
    FileList files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--off") {
            runningStatus = false;
        } else {
            addPath(arg, files);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: quorin_convert_run.exe [--off] PATH...\n");
        return 2;
    }
    double bytes = 0;
    for (const std::string& path : files) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
            bytes += static_cast<double>(data.nFileSizeLow) + 4294967296.0 * data.nFileSizeHigh;
    }

    // What start-up and the main window provide to a run.
    InstanceHandle = GetModuleHandleA(nullptr);
    FreeSpaceExFunction = reinterpret_cast<GetDiskFreeSpaceExAFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA")));
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    MainWindowHandle =
        CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPED, 0, 0, 400, 300, nullptr, nullptr, InstanceHandle, nullptr);
    const HWND checkBox =
        CreateWindowExA(0, "BUTTON", "", WS_CHILD | BS_AUTOCHECKBOX, 0, 0, 20, 20, MainWindowHandle,
                        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(IDC_RUNNING_STATUS)), InstanceHandle, nullptr);
    SendMessageA(checkBox, BM_SETCHECK, runningStatus ? BST_CHECKED : BST_UNCHECKED, 0);
    SetTimer(nullptr, 0, 100, onTimer);

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    RunConversion(files);
    QueryPerformanceCounter(&end);

    const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
    std::printf("files %u, input %.0f bytes, %.3f s, %.0f files/s, %.1f MB/s\n", static_cast<unsigned>(files.size()),
                bytes, seconds, files.size() / seconds, bytes / 1e6 / seconds);
    for (const std::string& text : boxTexts) std::printf("box: %s\n", toUtf8(text).c_str());
    DestroyWindow(MainWindowHandle);
    return 0;
}
