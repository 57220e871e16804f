// The conversion engine's file system on Win32: exclusive handles, the free-space probe,
// error codes from GetLastError, and files replaced whole through a temporary file beside
// them (ReplaceFileW; MoveFileExW for a result put elsewhere). Paths come in UTF-8, as the
// system gave them (wide), and reach every file through the wide calls, whatever its name's
// characters.
#pragma once

#include <cstddef>
#include <string>

#include "engine/file_system.h"

namespace engine {

// The name by which the ANSI calls reach path (UTF-8, absolute or relative), for what must
// stay ANSI (the free-space probe's location, the folder kept in the settings file):
// 1. the path itself in the ANSI code page, when every character of it has an exact form
//    there and it fits MAX_PATH;
// 2. else the system's short form of it (GetShortPathNameW: 8.3 names, "F_R_~FPU.MID" for
//    "Für Elise.mid"), when that has an exact ANSI form and fits.
// False when there is none, with error: the system's for a path that does not exist
// (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND), ERROR_NO_UNICODE_TRANSLATION for a name
// the ANSI code page cannot spell and that has no short form it can (a volume without 8.3
// names), ERROR_FILENAME_EXCED_RANGE for one whose forms are all MAX_PATH or longer.
bool ansiPath(const std::string& path, std::string& ansi, SystemError& error);

// The full form of path (GetFullPathNameW, of any length); empty when the system cannot
// make one. nameAt, when given, receives where its last component starts (its length when
// it ends in a separator).
std::wstring fullPathOf(const std::wstring& path, std::size_t* nameAt = nullptr);

// fullPathOf(path) with each short (8.3) name in it replaced by its long name
// (GetLongPathNameW), where path exists. Only a path with a "~" is looked up: every short
// name that the system makes for a longer one has it, and the lookup costs a visit to each
// folder on the way.
std::wstring longFullPathOf(const std::wstring& path, std::size_t* nameAt = nullptr);

// What the wide file calls take for path (UTF-8): path itself in UTF-16 while its full form
// is shorter than MAX_PATH, else that full form as an extended-length path ("\\?\C:\...").
std::wstring widePath(const std::string& path);

class Win32FileSystem;

// A file opened with CreateFileW (the handle is a HANDLE); closed when destroyed. Its
// writes, its end and its flush go through the seams of the file system given, if any; a
// handle without write access fails them as the system does.
class Win32File final : public InputFile, public FileWriter {
public:
    Win32File(void* handle, Win32FileSystem* seams) : handle_(handle), seams_(seams) {}
    ~Win32File() override;

    bool size(std::uint64_t& bytes, FileError& error) override;
    bool read(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& bytesRead, FileError& error) override;
    bool writeAt(std::uint64_t offset, const std::uint8_t* data, std::uint32_t length, std::uint32_t& written,
                 FileError& error) override;
    bool setEnd(std::uint64_t length, FileError& error) override;
    bool flush(FileError& error) override;

    void* handle() const { return handle_; }
    // Closes the handle (a Close seam); false, and the handle still open, when that fails.
    bool close(FileError& error);
    // Takes path (as the wide calls take it) again with read and write access and no
    // sharing; when that fails, holds nothing.
    void reopen(const std::wstring& path);

private:
    void* handle_;
    Win32FileSystem* seams_;
};

// The calls of a rewrite that change a file, each a seam: Win32FileSystem::beforeCall sees
// every one first.
enum class Win32Call : std::uint8_t {
    Remove,           // DeleteFileW of a leftover, of the temporary file, of the former bytes
    CreateTemporary,  // CreateFileW of the temporary file beside the file
    Write,            // WriteFile, to the temporary file or to the file in place
    SetEnd,           // SetEndOfFile of the file in place
    CopyInformation,  // SetFileInformationByHandle: the file's attributes and creation time
    Flush,            // FlushFileBuffers
    Close,            // CloseHandle of the temporary file, and of the file just before Replace
    Replace,          // ReplaceFileW
    Move,             // MoveFileExW, finishing or undoing a replacement, or where Replace cannot
};

// The names that a rewrite of path (UTF-8) puts beside it, in the folder of its full form
// with long names (GetLongPathNameW: a file named by its short name keeps its long name):
// the result before it takes the file's place (temporary) and the former bytes while
// ReplaceFileW works (backup). They say whose they are, in the ANSI code page:
// - "NAME.quorin-new.tmp" and "NAME.quorin-old.tmp" where the file's name NAME has an exact
//   ANSI form;
// - else "SPELLING.quorin-new-TAG.tmp" and "SPELLING.quorin-old-TAG.tmp": SPELLING is the
//   name's best-fit ANSI spelling ("Fur Elise.mid" for "Für Elise.mid"), with "_" for what a
//   file name cannot hold; TAG is 16 hex digits of a 64-bit hash (FNV-1a) of the name in
//   capitals. Names that share a spelling thus get names of their own, and no name of one
//   kind can be one of the other.
// All three empty when the full form cannot be had or the temporary path would not be
// shorter than MAX_PATH.
struct ReplacementNames {
    std::wstring full;
    std::wstring temporary;
    std::wstring backup;
};
ReplacementNames replacementNames(const std::string& path);

class Win32FileSystem : public FileSystem {
public:
    // Missing only for a path that does not exist; one that cannot be looked at for another
    // reason is a File, so that its open fails and says why.
    PathKind pathKind(const std::string& path, FileError& error) override;
    // GENERIC_READ | GENERIC_WRITE, no sharing. Once open, the leftovers of an earlier
    // rewrite of the same file that was killed (its temporary file and former bytes) are
    // removed: the file is whole, so they are copies. Its rewrite() replaces the file whole,
    // so that at any instant path holds its former bytes or the result: 1. the result
    // written to the temporary file (CREATE_NEW), which is given the file's attributes and
    // creation time and flushed; 2. the file's handle closed and ReplaceFileW called, with
    // the former bytes kept under the backup name until it has worked; 3. a replacement left
    // half done (path gone) finished with MoveFileExW, else undone; where ReplaceFileW is not
    // supported, MoveFileExW (REPLACE_EXISTING, WRITE_THROUGH) instead; 4. path opened
    // again, without sharing, for the rest of the entry. A file with more than one link, one
    // whose folder takes no new file and one whose temporary path would not fit in MAX_PATH
    // is written through in place instead (writeThrough).
    std::unique_ptr<HeldFile> open(const std::string& path, FileError& error) override;
    // GENERIC_READ, shared with readers only.
    std::unique_ptr<InputFile> openForReading(const std::string& path, FileError& error) override;
    // A new file beside path, written whole and flushed, then moved over path in one step
    // (MoveFileExW); a device (NUL, CON) is written to; a folder is refused (ERROR_DIRECTORY).
    RewriteResult replaceFile(const std::string& path, const std::uint8_t* data, std::uint32_t length) override;
    // The drive part ("C:") or the share root ("\\server\share\") of the full path, so that a
    // relative path is measured where it is; else "".
    std::string freeSpaceLocation(const std::string& path) override;
    bool freeSpace(const std::string& location, std::uint64_t& freeBytes, FileError& error) override;

protected:
    // Seen before each call that changes a file: 0 lets it run; an error code makes it fail
    // with that code (GetLastError) without running. Tests fail or end the process here.
    virtual SystemError beforeCall(Win32Call call);

private:
    friend class Win32File;
    friend class Win32HeldFile;

    // True when beforeCall lets call run; otherwise the thread's last error is its answer.
    bool allowed(Win32Call call);
    void removeLeftovers(const std::string& path);
    // The replacement of the file held open as held (see open()).
    RewriteResult rewrite(const std::string& path, Win32File& held, const std::uint8_t* newBytes,
                          std::uint32_t newLength, const std::uint8_t* original, std::uint32_t originalLength);
};

}  // namespace engine
