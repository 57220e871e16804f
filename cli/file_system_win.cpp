// quorin-cli's file system on Windows: the conversion engine's Win32 file system for the
// conversion of a file (exclusive by its no-sharing open, replaced whole as the program
// replaces it), a shared read-only open, and MoveFileExW for an output file. Paths are
// UTF-8, as the wide command line gave them.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_file_system.h"
#include "engine/file_system_win.h"
#include "engine/free_space.h"
#include "engine/wide_text_win.h"

namespace cli {

namespace {

bool fail(SystemError& error) {
    error = GetLastError();
    return false;
}

// Name order, as the system compares names: by their characters, case ignored.
bool namedBefore(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_LESS_THAN;
}

class WindowsFileSystem final : public CliFileSystem {
public:
    WindowsFileSystem() {
        if (!FreeSpaceExFunction) {
            FreeSpaceExFunction = reinterpret_cast<GetDiskFreeSpaceExAFunction>(
                reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA")));
        }
    }

    engine::PathKind pathKind(const std::string& path, SystemError& error) override {
        return engineFiles_.pathKind(path, error);
    }
    std::unique_ptr<engine::OpenFile> open(const std::string& path, SystemError& error) override {
        return engineFiles_.open(path, error);
    }
    // The drive or share of the full path, so that a relative path is measured where it is.
    std::string freeSpaceLocation(const std::string& path) override {
        const std::wstring wide = engine::wideFromUtf8(path);
        const std::wstring full = engine::fullPathOf(wide);
        return engineFiles_.freeSpaceLocation(engine::utf8FromWide(full.empty() ? wide : full));
    }
    bool freeSpace(const std::string& location, std::uint64_t& freeBytes, SystemError& error) override {
        return engineFiles_.freeSpace(location, freeBytes, error);
    }
    // Replaced whole as the program replaces a file, with the same code.
    engine::RewriteResult rewrite(const std::string& path, engine::OpenFile& file, const std::uint8_t* newBytes,
                                   std::uint32_t newLength, const std::uint8_t* original,
                                   std::uint32_t originalLength) override {
        return engineFiles_.rewrite(path, file, newBytes, newLength, original, originalLength);
    }

    std::unique_ptr<engine::OpenFile> openForReading(const std::string& path, SystemError& error) override {
        return engine::openWin32File(path, GENERIC_READ, FILE_SHARE_READ, error);
    }

    // A new file beside path, written whole and flushed, then moved over path in one step.
    // A device name (NUL, CON) is written through.
    engine::RewriteResult replaceFile(const std::string& utf8Path, const std::uint8_t* data,
                                       std::uint32_t length) override {
        engine::RewriteResult result;
        const std::wstring path = engine::widePath(utf8Path);
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            result.ok = false;
            result.error = ERROR_DIRECTORY;
            return result;
        }
        const HANDLE existing = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr);
        if (existing != INVALID_HANDLE_VALUE) {
            const bool device = GetFileType(existing) != FILE_TYPE_DISK;
            if (device) result.ok = writeWhole(existing, data, length, result.error);
            CloseHandle(existing);
            if (device) {
                result.restored = result.ok;
                return result;
            }
        }
        std::size_t nameAt = 0;
        const std::wstring full = engine::fullPathOf(path, &nameAt);
        const std::wstring folder = full.empty() ? L"." : full.substr(0, nameAt);
        wchar_t temporary[MAX_PATH];
        if (!GetTempFileNameW(folder.c_str(), L"qrn", 0, temporary)) {
            result.ok = fail(result.error);
            return result;
        }
        const HANDLE handle = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            result.ok = fail(result.error);
            DeleteFileW(temporary);
            return result;
        }
        result.ok = writeWhole(handle, data, length, result.error);
        if (result.ok && !FlushFileBuffers(handle)) result.ok = fail(result.error);
        if (!CloseHandle(handle) && result.ok) result.ok = fail(result.error);
        if (result.ok && !MoveFileExW(temporary, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            result.ok = fail(result.error);
        if (!result.ok) DeleteFileW(temporary);
        return result;
    }

    bool readStandardInput(std::vector<std::uint8_t>& bytes, SystemError& error) override {
        _setmode(_fileno(stdin), _O_BINARY);
        bytes.clear();
        std::size_t got = 0;
        for (;;) {
            if (bytes.size() - got < 65536) bytes.resize(std::max<std::size_t>(bytes.size() * 2, 1u << 20));
            const int n = _read(_fileno(stdin), &bytes[got], static_cast<unsigned>(std::min<std::size_t>(
                                                                 bytes.size() - got, 1u << 30)));
            if (n < 0) {
                error = ERROR_READ_FAULT;
                return false;
            }
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
        return true;
    }

    bool writeStandardOutput(const std::uint8_t* data, std::uint32_t length, SystemError& error) override {
        _setmode(_fileno(stdout), _O_BINARY);
        const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
        return writeWhole(handle, data, length, error);
    }

    bool isNotFound(SystemError error) override { return engine::isNotFoundError(error); }

    bool isLockConflict(SystemError error) override {
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    }

    // Every * and ? in the last component, as FindFirstFileW matches them (names of folders
    // included, "." and ".." not), the folder part kept as it was typed.
    bool expandPattern(const std::string& argument, std::vector<std::string>& names) override {
        if (argument.find_first_of("*?") == std::string::npos) return false;
        names.clear();
        const std::wstring pattern = engine::wideFromUtf8(argument);
        const std::size_t cut = pattern.find_last_of(L"\\/:");
        const std::wstring folder = cut == std::wstring::npos ? std::wstring() : pattern.substr(0, cut + 1);
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return true;
        std::vector<std::wstring> matches;
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") matches.push_back(name);
        } while (FindNextFileW(search, &found));
        FindClose(search);
        std::stable_sort(matches.begin(), matches.end(), namedBefore);
        for (const std::wstring& name : matches) names.push_back(engine::utf8FromWide(folder + name));
        return true;
    }

    std::string errorText(SystemError error) override {
        if (error == 0) return std::string();
        wchar_t* text = nullptr;
        const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
        DWORD length = FormatMessageW(flags, nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        std::string result;
        if (length != 0 && text) {
            result = engine::utf8FromWide(text, length);
            while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' ' ||
                                       result.back() == '.'))
                result.pop_back();
        }
        if (text) LocalFree(text);
        if (result.empty()) result = "system error " + std::to_string(error);
        return result;
    }

private:
    static bool writeWhole(HANDLE handle, const std::uint8_t* data, std::uint32_t length, SystemError& error) {
        std::uint32_t done = 0;
        while (done < length) {
            DWORD written = 0;
            if (!WriteFile(handle, data + done, length - done, &written, nullptr)) return fail(error);
            if (written == 0) {
                error = ERROR_WRITE_FAULT;
                return false;
            }
            done += written;
        }
        return true;
    }

    engine::Win32FileSystem engineFiles_;
};

}  // namespace

std::unique_ptr<CliFileSystem> makePlatformFileSystem() {
    return std::make_unique<WindowsFileSystem>();
}

bool standardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

namespace {

volatile std::sig_atomic_t caughtSignal = 0;
void (*formerInterrupt)(int) = SIG_DFL;
void (*formerTerminate)(int) = SIG_DFL;

void rememberStopSignal(int signal) {
    if (caughtSignal == 0) caughtSignal = signal;
    std::signal(signal, rememberStopSignal);
}

}  // namespace

// Ctrl+C (SIGINT) and SIGTERM; Windows has no SIGHUP.
StopSignals::StopSignals() {
    caughtSignal = 0;
    formerInterrupt = std::signal(SIGINT, rememberStopSignal);
    formerTerminate = std::signal(SIGTERM, rememberStopSignal);
}

StopSignals::~StopSignals() {
    std::signal(SIGINT, formerInterrupt);
    std::signal(SIGTERM, formerTerminate);
}

int StopSignals::caught() noexcept {
    return caughtSignal;
}

}  // namespace cli
