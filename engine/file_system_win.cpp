// Win32 implementation of the conversion engine's file system: wide calls on every path.
#include "engine/file_system_win.h"

#include <windows.h>

#include <vector>

#include "engine/free_space.h"
#include "engine/path_split.h"
#include "engine/wide_text_win.h"

namespace engine {

namespace {

// What a call that fills a wide buffer gives (GetShortPathNameW and its kind: the length of
// the text, or the room that it needs when the buffer is too small, or 0 on failure).
template <typename Fill>
bool filledBy(Fill fill, std::wstring& result) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return false;
        if (length < buffer.size()) {
            result.assign(buffer.data(), length);
            return true;
        }
        buffer.resize(length);  // the room it asks for, NUL included
    }
}

// The short form of path, or false (and error).
bool shortForm(const std::wstring& path, std::wstring& result, SystemError& error) {
    if (filledBy([&](wchar_t* buffer, DWORD size) { return GetShortPathNameW(path.c_str(), buffer, size); }, result))
        return true;
    error = GetLastError();
    return false;
}

std::size_t nameStart(const std::wstring& full) {
    const std::size_t separator = full.find_last_of(L"\\/");
    return separator == std::wstring::npos ? 0 : separator + 1;
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

bool fail(FileError& error) {
    error = GetLastError();
    return false;
}

}  // namespace

bool isNotFound(const FileError& error) noexcept {
    return error.code == ERROR_FILE_NOT_FOUND || error.code == ERROR_PATH_NOT_FOUND;
}

bool isInUse(const FileError& error) noexcept {
    return error.code == ERROR_SHARING_VIOLATION || error.code == ERROR_LOCK_VIOLATION;
}

bool ansiPath(const std::string& path, std::string& ansi, SystemError& error) {
    return ansiPathOf(wideFromUtf8(path), ansi, error);
}

std::wstring fullPathOf(const std::wstring& path, std::size_t* nameAt) {
    std::wstring full;
    filledBy([&](wchar_t* buffer, DWORD size) { return GetFullPathNameW(path.c_str(), size, buffer, nullptr); }, full);
    if (nameAt) *nameAt = nameStart(full);
    return full;
}

std::wstring longFullPathOf(const std::wstring& path, std::size_t* nameAt) {
    std::wstring full = fullPathOf(path);
    std::wstring longForm;
    if (full.find(L'~') != std::wstring::npos &&
        filledBy([&](wchar_t* buffer, DWORD size) { return GetLongPathNameW(full.c_str(), buffer, size); }, longForm))
        full = longForm;
    if (nameAt) *nameAt = nameStart(full);
    return full;
}

std::wstring widePath(const std::string& path) {
    std::wstring wide = wideFromUtf8(path);
    const std::wstring full = fullPathOf(wide);
    return full.size() < MAX_PATH ? wide : extendedLengthPath(full);
}

// CloseHandle's result is not looked at: a rewrite counts only once flush() has succeeded,
// and after that the bytes are on the device (or, on a share, with the server), so closing
// cannot lose them; before that, a failed rewrite has been reported already.
Win32File::~Win32File() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

bool Win32File::size(std::uint64_t& bytes, FileError& error) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle_, &size)) return fail(error);
    bytes = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

bool Win32File::read(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& bytesRead, FileError& error) {
    DWORD got = 0;
    if (!ReadFile(handle_, buffer, length, &got, nullptr)) return fail(error);
    bytesRead = got;
    return true;
}

bool Win32File::writeAt(std::uint64_t offset, const std::uint8_t* data, std::uint32_t length, std::uint32_t& written,
                        FileError& error) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    DWORD done = 0;
    if (!SetFilePointerEx(handle_, position, nullptr, FILE_BEGIN) || (seams_ && !seams_->allowed(Win32Call::Write)) ||
        !WriteFile(handle_, data, length, &done, nullptr))
        return fail(error);
    written = done;
    return true;
}

bool Win32File::setEnd(std::uint64_t length, FileError& error) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(length);
    if (!SetFilePointerEx(handle_, position, nullptr, FILE_BEGIN) || (seams_ && !seams_->allowed(Win32Call::SetEnd)) ||
        !SetEndOfFile(handle_))
        return fail(error);
    return true;
}

bool Win32File::flush(FileError& error) {
    if ((seams_ && !seams_->allowed(Win32Call::Flush)) || !FlushFileBuffers(handle_)) return fail(error);
    return true;
}

bool Win32File::close(FileError& error) {
    if ((seams_ && !seams_->allowed(Win32Call::Close)) || !CloseHandle(handle_)) return fail(error);
    handle_ = INVALID_HANDLE_VALUE;
    return true;
}

void Win32File::reopen(const std::wstring& path) {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
}

PathKind Win32FileSystem::pathKind(const std::string& path, FileError& error) {
    if (path.empty()) {
        error = ERROR_PATH_NOT_FOUND;
        return PathKind::Missing;
    }
    const DWORD attributes = GetFileAttributesW(widePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = GetLastError();
        return isNotFound(error) ? PathKind::Missing : PathKind::File;  // its open says why
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::File;
}

namespace {

std::unique_ptr<Win32File> openFile(const std::string& path, DWORD access, DWORD sharing, Win32FileSystem* seams,
                                    FileError& error) {
    const HANDLE handle =
        CreateFileW(widePath(path).c_str(), access, sharing, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return nullptr;
    }
    try {
        return std::make_unique<Win32File>(handle, seams);
    } catch (...) {
        CloseHandle(handle);
        throw;
    }
}

}  // namespace

// The file that open() holds, rewritten by its file system.
class Win32HeldFile final : public HeldFile {
public:
    Win32HeldFile(std::unique_ptr<Win32File> file, std::string path, Win32FileSystem& fileSystem)
        : file_(std::move(file)), path_(std::move(path)), fileSystem_(fileSystem) {}

    InputFile& content() override { return *file_; }
    RewriteResult rewrite(const std::uint8_t* newBytes, std::uint32_t newLength, const std::uint8_t* original,
                          std::uint32_t originalLength) override {
        return fileSystem_.rewrite(path_, *file_, newBytes, newLength, original, originalLength);
    }

private:
    std::unique_ptr<Win32File> file_;
    std::string path_;
    Win32FileSystem& fileSystem_;
};

std::unique_ptr<HeldFile> Win32FileSystem::open(const std::string& path, FileError& error) {
    std::unique_ptr<Win32File> file = openFile(path, GENERIC_READ | GENERIC_WRITE, 0, this, error);
    if (!file) return nullptr;
    removeLeftovers(path);
    return std::make_unique<Win32HeldFile>(std::move(file), path, *this);
}

std::unique_ptr<InputFile> Win32FileSystem::openForReading(const std::string& path, FileError& error) {
    return openFile(path, GENERIC_READ, FILE_SHARE_READ, nullptr, error);
}

RewriteResult Win32FileSystem::replaceFile(const std::string& utf8Path, const std::uint8_t* data,
                                           std::uint32_t length) {
    RewriteResult result;
    const std::wstring path = widePath(utf8Path);
    // Each write at the handle's position, in order.
    const auto writeWholeTo = [&](HANDLE handle) {
        return writeWhole(
            [handle](std::uint64_t, const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written,
                     FileError& error) {
                DWORD done = 0;
                if (!WriteFile(handle, bytes, count, &done, nullptr)) return fail(error);
                written = done;
                return true;
            },
            data, length, result.error);
    };
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
        if (device) result.ok = writeWholeTo(existing);
        CloseHandle(existing);
        if (device) {
            result.restored = result.ok;
            return result;
        }
    }
    std::size_t nameAt = 0;
    const std::wstring full = fullPathOf(path, &nameAt);
    const std::wstring folder = full.empty() ? L"." : full.substr(0, nameAt);
    wchar_t temporary[MAX_PATH];
    if (!GetTempFileNameW(folder.c_str(), L"qrn", 0, temporary)) {
        result.ok = fail(result.error);
        return result;
    }
    const HANDLE handle =
        CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        result.ok = fail(result.error);
        DeleteFileW(temporary);
        return result;
    }
    result.ok = writeWholeTo(handle);
    if (result.ok && !FlushFileBuffers(handle)) result.ok = fail(result.error);
    if (!CloseHandle(handle) && result.ok) result.ok = fail(result.error);
    if (result.ok && !MoveFileExW(temporary, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        result.ok = fail(result.error);
    if (!result.ok) DeleteFileW(temporary);
    return result;
}

std::string Win32FileSystem::freeSpaceLocation(const std::string& path) {
    const std::wstring wide = wideFromUtf8(path);
    const std::wstring full = fullPathOf(wide);
    return engine::freeSpaceLocation(utf8FromWide(full.empty() ? wide : full), noLeadByte);
}

bool Win32FileSystem::freeSpace(const std::string& location, std::uint64_t& freeBytes, FileError& error) {
    std::string ansi;
    SystemError notReached = 0;
    if (!ansiPath(location, ansi, notReached)) {
        error = notReached;
        return false;
    }
    if (FreeSpaceProbe(ansi.c_str(), freeBytes)) return true;
    return fail(error);
}

}  // namespace engine
