// quorin-cli's file system on Windows: the conversion engine's Win32 file system for the
// in-place rewrite (exclusive by its no-sharing open), a shared read-only open, and
// MoveFileExA for an output file.
#include <windows.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "cli/cli_file_system.h"
#include "convert/file_system_win.h"
#include "convert/free_space.h"

namespace cli {

namespace {

bool fail(SystemError& error) {
    error = GetLastError();
    return false;
}

// The full form of path, or path itself when the system cannot make one.
std::string fullPath(const std::string& path, std::string* folder = nullptr) {
    char buffer[MAX_PATH * 4];
    char* name = nullptr;
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, &name);
    if (length == 0 || length >= sizeof buffer) {
        if (folder) *folder = ".";
        return path;
    }
    if (folder) *folder = name ? std::string(buffer, name) : std::string(buffer);
    return std::string(buffer, length);
}

class WindowsFileSystem final : public CliFileSystem {
public:
    WindowsFileSystem() {
        if (!FreeSpaceExFunction) {
            FreeSpaceExFunction = reinterpret_cast<GetDiskFreeSpaceExAFunction>(
                reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA")));
        }
    }

    convert::PathKind pathKind(const std::string& path, SystemError& error) override {
        return engineFiles_.pathKind(path, error);
    }
    std::unique_ptr<convert::OpenFile> open(const std::string& path, SystemError& error) override {
        return engineFiles_.open(path, error);
    }
    // The drive or share of the full path, so that a relative path is measured where it is.
    std::string freeSpaceLocation(const std::string& path) override {
        return engineFiles_.freeSpaceLocation(fullPath(path));
    }
    bool freeSpace(const std::string& location, std::uint64_t& freeBytes, SystemError& error) override {
        return engineFiles_.freeSpace(location, freeBytes, error);
    }

    std::unique_ptr<convert::OpenFile> openForReading(const std::string& path, SystemError& error) override {
        return convert::openWin32File(path, GENERIC_READ, FILE_SHARE_READ, error);
    }

    bool replaceFile(const std::string& path, const std::uint8_t* data, std::uint32_t length,
                     SystemError& error) override {
        // 1. A new file beside path.
        std::string folder;
        fullPath(path, &folder);
        char temporary[MAX_PATH];
        if (!GetTempFileNameA(folder.c_str(), "qrn", 0, temporary)) return fail(error);
        const HANDLE handle = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            fail(error);
            DeleteFileA(temporary);
            return false;
        }
        // 2. The bytes, whole, on disk.
        bool ok = true;
        std::uint32_t done = 0;
        while (ok && done < length) {
            DWORD written = 0;
            ok = WriteFile(handle, data + done, length - done, &written, nullptr) != FALSE;
            if (!ok) {
                fail(error);
            } else if (written == 0) {
                ok = false;
                error = ERROR_WRITE_FAULT;
            }
            done += written;
        }
        if (ok && !FlushFileBuffers(handle)) ok = fail(error);
        if (!CloseHandle(handle) && ok) ok = fail(error);
        // 3. In place of path in one step.
        if (ok && !MoveFileExA(temporary, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            ok = fail(error);
        if (!ok) DeleteFileA(temporary);
        return ok;
    }

    bool isLockConflict(SystemError error) override {
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    }

    std::string errorText(SystemError error) override {
        if (error == 0) return std::string();
        char* text = nullptr;
        const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
        DWORD length = FormatMessageA(flags, nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                      reinterpret_cast<char*>(&text), 0, nullptr);
        std::string result;
        if (length != 0 && text) {
            result.assign(text, length);
            while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' ' ||
                                       result.back() == '.'))
                result.pop_back();
        }
        if (text) LocalFree(text);
        if (result.empty()) result = "system error " + std::to_string(error);
        return result;
    }

private:
    convert::Win32FileSystem engineFiles_;
};

}  // namespace

std::unique_ptr<CliFileSystem> makePlatformFileSystem() {
    return std::make_unique<WindowsFileSystem>();
}

bool standardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

}  // namespace cli
