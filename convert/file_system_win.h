// The conversion engine's file system on Win32: exclusive CreateFileA handles, the
// free-space probe, error codes from GetLastError, and files replaced whole through a
// temporary file beside them (ReplaceFileA). Paths come in UTF-8, as the system gave them
// (wide); ansiPath() turns each into the name that the ANSI calls take.
#pragma once

#include <string>

#include "convert/file_system.h"

namespace convert {

// The name by which the ANSI file calls reach path (UTF-8, absolute or relative):
// 1. the path itself in the ANSI code page, when every character of it has an exact form
//    there and it fits MAX_PATH;
// 2. else the system's short form of it (GetShortPathNameW: 8.3 names, "F_R_~FPU.MID" for
//    "Für Elise.mid"), when that has an exact ANSI form and fits. The short form of a file
//    starts with its folder's, so a new file beside it has an ANSI path as well.
// False when there is none, with error: the system's for a path that does not exist
// (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND), ERROR_NO_UNICODE_TRANSLATION for a name
// the ANSI code page cannot spell and that has no short form it can (a volume without 8.3
// names), ERROR_FILENAME_EXCED_RANGE for one whose forms are all MAX_PATH or longer.
bool ansiPath(const std::string& path, std::string& ansi, SystemError& error);

// True for the errors that say a path does not exist.
bool isNotFoundError(SystemError error) noexcept;

// Opens an existing file (path in UTF-8, reached through ansiPath) with CreateFileA and the
// given access and sharing flags; null (and error) on failure. A handle without write access
// fails writeAt(), setEnd() and flush() as the system does.
std::unique_ptr<OpenFile> openWin32File(const std::string& path, std::uint32_t access, std::uint32_t sharing,
                                        SystemError& error);

// The calls of a rewrite that change a file, each a seam: Win32FileSystem::beforeCall sees
// every one first.
enum class Win32Call : std::uint8_t {
    Remove,           // DeleteFileA of a leftover, of the temporary file, of the former bytes
    CreateTemporary,  // CreateFileA of the temporary file beside the file
    Write,            // WriteFile, to the temporary file or to the file in place
    SetEnd,           // SetEndOfFile of the file in place
    CopyInformation,  // SetFileInformationByHandle: the file's attributes and creation time
    Flush,            // FlushFileBuffers
    Close,            // CloseHandle of the temporary file, and of the file just before Replace
    Replace,          // ReplaceFileA
    Move,             // MoveFileExA, finishing or undoing a replacement, or where Replace cannot
};

// The names that a rewrite of path (UTF-8) puts beside it, in the folder of its full form:
// the result before it takes the file's place ("NAME.quorin-new.tmp") and the former bytes
// while ReplaceFileA works ("NAME.quorin-old.tmp"). All three empty when path has no exact
// ANSI form, the full form cannot be had or a name would not fit in MAX_PATH.
struct ReplacementNames {
    std::string full;
    std::string temporary;
    std::string backup;
};
ReplacementNames replacementNames(const std::string& path);

class Win32FileSystem : public FileSystem {
public:
    // Missing only for a path that does not exist; a file that ansiPath() cannot reach is a
    // File, so that its open fails and says why.
    PathKind pathKind(const std::string& path, SystemError& error) override;
    // GENERIC_READ | GENERIC_WRITE, no sharing. Once open, the leftovers of an earlier
    // rewrite of the same file that was killed (its temporary file and former bytes) are
    // removed: the file is whole, so they are copies.
    std::unique_ptr<OpenFile> open(const std::string& path, SystemError& error) override;
    // The drive part ("C:"), the share root ("\\server\share\") or "".
    std::string freeSpaceLocation(const std::string& path) override;
    bool freeSpace(const std::string& location, std::uint64_t& freeBytes, SystemError& error) override;

    // Replaces the file whole, so that at any instant path holds its former bytes or the
    // result: 1. the result written to the temporary file (CREATE_NEW), which is given the
    // file's attributes and creation time and flushed; 2. the file's handle closed and
    // ReplaceFileA called, with the former bytes kept under the backup name until it has
    // worked; 3. a replacement left half done (path gone) finished with MoveFileExA, else
    // undone; where ReplaceFileA is not supported, MoveFileExA (REPLACE_EXISTING,
    // WRITE_THROUGH) instead; 4. path opened again, without sharing, for the rest of the
    // entry. A file with more than one link, one whose folder takes no new file and one
    // whose names do not fit or have no exact ANSI form is written through in place
    // instead (writeThrough).
    RewriteResult rewrite(const std::string& path, OpenFile& file, const std::uint8_t* newBytes,
                          std::uint32_t newLength, const std::uint8_t* original,
                          std::uint32_t originalLength) override;

protected:
    // Seen before each call that changes a file: 0 lets it run; an error code makes it fail
    // with that code (GetLastError) without running. Tests fail or end the process here.
    virtual SystemError beforeCall(Win32Call call);

private:
    friend class Win32OpenFile;

    // True when beforeCall lets call run; otherwise the thread's last error is its answer.
    bool allowed(Win32Call call);
    void removeLeftovers(const std::string& path);
};

// A file opened with CreateFileA (the handle is a HANDLE); closed when destroyed. Its
// writes, its end and its flush go through the seams of the file system given, if any.
class Win32OpenFile final : public OpenFile {
public:
    Win32OpenFile(void* handle, Win32FileSystem* seams) : handle_(handle), seams_(seams) {}
    ~Win32OpenFile() override;

    bool size(std::uint64_t& bytes, SystemError& error) override;
    bool read(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& bytesRead, SystemError& error) override;
    bool writeAt(std::uint64_t offset, const std::uint8_t* data, std::uint32_t length, std::uint32_t& written,
                 SystemError& error) override;
    bool setEnd(std::uint64_t length, SystemError& error) override;
    bool flush(SystemError& error) override;

    void* handle() const { return handle_; }
    // Closes the handle (a Close seam); false, and the handle still open, when that fails.
    bool close(SystemError& error);
    // Takes path again with read and write access and no sharing; when that fails, holds
    // nothing.
    void reopen(const std::string& path);

private:
    void* handle_;
    Win32FileSystem* seams_;
};

}  // namespace convert
