// Win32 implementation of the conversion engine's file system.
#include "convert/file_system_win.h"

#include <windows.h>

#include "convert/free_space.h"
#include "convert/path_split.h"

namespace convert {

bool isAnsiLeadByte(unsigned char byte) {
    return IsDBCSLeadByte(byte) != FALSE;
}

namespace {

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

PathKind Win32FileSystem::pathKind(const std::string& path, SystemError& error) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = GetLastError();
        return PathKind::Missing;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::File;
}

std::unique_ptr<OpenFile> openWin32File(const std::string& path, std::uint32_t access, std::uint32_t sharing,
                                        SystemError& error) {
    const HANDLE handle = CreateFileA(path.c_str(), access, sharing, nullptr, OPEN_EXISTING,
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
    return convert::freeSpaceLocation(path, isAnsiLeadByte);
}

bool Win32FileSystem::freeSpace(const std::string& location, std::uint64_t& freeBytes, SystemError& error) {
    if (FreeSpaceProbe(location.c_str(), freeBytes)) return true;
    error = GetLastError();
    return false;
}

}  // namespace convert
