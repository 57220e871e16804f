// Win32 implementation of the conversion engine's file system.
#include "convert/file_system_win.h"

#include <windows.h>

#include <vector>

#include "convert/free_space.h"
#include "convert/path_split.h"
#include "convert/wide_text_win.h"

namespace convert {

namespace {

// The short form of path, or false (and error).
bool shortForm(const std::wstring& path, std::wstring& result, SystemError& error) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            error = GetLastError();
            return false;
        }
        if (length < buffer.size()) {
            result.assign(buffer.data(), length);
            return true;
        }
        buffer.resize(length);  // the room it asks for, NUL included
    }
}

bool fitsAnsiCalls(const std::wstring& path, std::string& ansi) {
    return exactAnsi(path, ansi) && ansi.size() < MAX_PATH;
}

bool ansiPathOf(const std::wstring& path, std::string& ansi, SystemError& error) {
    if (fitsAnsiCalls(path, ansi)) return true;
    std::wstring shortPath;
    if (!shortForm(path, shortPath, error)) return false;
    if (fitsAnsiCalls(shortPath, ansi)) return true;
    error = exactAnsi(shortPath, ansi) ? ERROR_FILENAME_EXCED_RANGE : ERROR_NO_UNICODE_TRANSLATION;
    return false;
}

// A file handle from CreateFileA; closed once. CloseHandle's result is not looked at: a
// rewrite counts only once flush() has succeeded, and after that the bytes are on the
// device (or, on a share, with the server), so closing cannot lose them; before that, a
// failed rewrite has been reported already.
class Win32OpenFile final : public OpenFile {
public:
    explicit Win32OpenFile(HANDLE handle) : handle_(handle) {}
    ~Win32OpenFile() override { CloseHandle(handle_); }

    bool size(std::uint64_t& bytes, SystemError& error) override {
        LARGE_INTEGER size;
        if (!GetFileSizeEx(handle_, &size)) return fail(error);
        bytes = static_cast<std::uint64_t>(size.QuadPart);
        return true;
    }

    bool read(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& bytesRead, SystemError& error) override {
        DWORD got = 0;
        if (!ReadFile(handle_, buffer, length, &got, nullptr)) return fail(error);
        bytesRead = got;
        return true;
    }

    bool truncate(SystemError& error) override {
        LARGE_INTEGER zero{};
        if (!SetFilePointerEx(handle_, zero, nullptr, FILE_BEGIN)) return fail(error);
        if (!SetEndOfFile(handle_)) return fail(error);
        return true;
    }

    bool write(const std::uint8_t* data, std::uint32_t length, std::uint32_t& written, SystemError& error) override {
        DWORD done = 0;
        if (!WriteFile(handle_, data, length, &done, nullptr)) return fail(error);
        written = done;
        return true;
    }

    bool flush(SystemError& error) override {
        if (!FlushFileBuffers(handle_)) return fail(error);
        return true;
    }

private:
    static bool fail(SystemError& error) {
        error = GetLastError();
        return false;
    }

    HANDLE handle_;
};

}  // namespace

bool isNotFoundError(SystemError error) noexcept {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool ansiPath(const std::string& path, std::string& ansi, SystemError& error) {
    return ansiPathOf(wideFromUtf8(path), ansi, error);
}

PathKind Win32FileSystem::pathKind(const std::string& path, SystemError& error) {
    if (path.empty()) {
        error = ERROR_PATH_NOT_FOUND;
        return PathKind::Missing;
    }
    std::string ansi;
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    if (ansiPath(path, ansi, error)) {
        attributes = GetFileAttributesA(ansi.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) error = GetLastError();
    } else if (!isNotFoundError(error)) {
        // Out of the ANSI calls' reach: the wide call tells a folder (skipped) from a file,
        // whose open then fails with the reason kept in error.
        const DWORD wide = GetFileAttributesW(wideFromUtf8(path).c_str());
        if (wide == INVALID_FILE_ATTRIBUTES) {
            const SystemError wideError = GetLastError();
            if (isNotFoundError(wideError)) error = wideError;
        } else if (wide & FILE_ATTRIBUTE_DIRECTORY) {
            return PathKind::Folder;
        }
    }
    if (attributes == INVALID_FILE_ATTRIBUTES) return isNotFoundError(error) ? PathKind::Missing : PathKind::File;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::File;
}

std::unique_ptr<OpenFile> openWin32File(const std::string& path, std::uint32_t access, std::uint32_t sharing,
                                        SystemError& error) {
    std::string ansi;
    if (!ansiPath(path, ansi, error)) return nullptr;
    const HANDLE handle = CreateFileA(ansi.c_str(), access, sharing, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return nullptr;
    }
    try {
        return std::make_unique<Win32OpenFile>(handle);
    } catch (...) {
        CloseHandle(handle);
        throw;
    }
}

std::unique_ptr<OpenFile> Win32FileSystem::open(const std::string& path, SystemError& error) {
    return openWin32File(path, GENERIC_READ | GENERIC_WRITE, 0, error);
}

std::string Win32FileSystem::freeSpaceLocation(const std::string& path) {
    return convert::freeSpaceLocation(path, noLeadByte);
}

bool Win32FileSystem::freeSpace(const std::string& location, std::uint64_t& freeBytes, SystemError& error) {
    std::string ansi;
    if (!ansiPath(location, ansi, error)) return false;
    if (FreeSpaceProbe(ansi.c_str(), freeBytes)) return true;
    error = GetLastError();
    return false;
}

}  // namespace convert
