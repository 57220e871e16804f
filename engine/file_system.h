// The file operations of one conversion, behind an interface: the Windows program uses the
// Win32 implementation, the command-line program a POSIX one, and tests a fake that can
// fail at any step.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace engine {

// The system's error code of a failed operation (GetLastError or errno); 0 when the system
// gave none.
using SystemError = std::uint32_t;

enum class PathKind : std::uint8_t {
    File,     // anything that is not a folder
    Folder,
    Missing,  // the path does not exist (a file deleted before its turn)
};

// What writing a file in place takes: bytes at an offset, the end set, everything made
// durable. Every operation returns false and sets error on failure.
class FileWriter {
public:
    // Writes up to length bytes at offset; written tells how many.
    virtual bool writeAt(std::uint64_t offset, const std::uint8_t* data, std::uint32_t length,
                         std::uint32_t& written, SystemError& error) = 0;
    // Makes the file exactly length bytes long.
    virtual bool setEnd(std::uint64_t length, SystemError& error) = 0;
    // Makes everything written so far durable (FlushFileBuffers, fsync). A write that the
    // system deferred and could not complete fails here.
    virtual bool flush(SystemError& error) = 0;

protected:
    ~FileWriter() = default;
};

// A file opened for exclusive reading and writing; closed (and unlocked) when destroyed.
// Every operation returns false and sets error on failure.
class OpenFile : public FileWriter {
public:
    OpenFile() = default;
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    virtual ~OpenFile() = default;

    // The file's size in bytes, 64 bits wide.
    virtual bool size(std::uint64_t& bytes, SystemError& error) = 0;
    // Reads up to length bytes at the current position; bytesRead 0 means end of file.
    virtual bool read(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& bytesRead, SystemError& error) = 0;
};

// How a rewrite ended.
struct RewriteResult {
    bool ok = true;
    SystemError error = 0;  // of the failed step, when !ok
    bool restored = true;   // when !ok: the file holds its original bytes again (or never lost them)
    // When ok: the error of the step that makes the replacement durable (a folder's fsync),
    // 0 when it succeeded. The file is whole, but a crash soon after may bring back its
    // former bytes.
    SystemError syncError = 0;
};

class FileSystem {
public:
    FileSystem() = default;
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;
    virtual ~FileSystem() = default;

    // What path names; error is set for Missing.
    virtual PathKind pathKind(const std::string& path, SystemError& error) = 0;
    // Opens an existing file for exclusive reading and writing; null (and error) on failure.
    virtual std::unique_ptr<OpenFile> open(const std::string& path, SystemError& error) = 0;
    // The location whose free space guards a rewrite of path; it is also the name that a
    // report of a free-space failure shows.
    virtual std::string freeSpaceLocation(const std::string& path) = 0;
    // Free bytes available to the user at location; freeBytes is unchanged on failure.
    virtual bool freeSpace(const std::string& location, std::uint64_t& freeBytes, SystemError& error) = 0;
    // Replaces the content of file (opened from path) with newBytes. original holds the
    // file's present content, for putting it back when the replacement fails. The default
    // writes through in place (writeThrough).
    virtual RewriteResult rewrite(const std::string& path, OpenFile& file, const std::uint8_t* newBytes,
                                  std::uint32_t newLength, const std::uint8_t* original, std::uint32_t originalLength);
};

// Writes all length bytes from offset 0, looping on short writes. A write that reports
// success but moves no byte, or more than it was given, fails with error 0.
bool writeAll(FileWriter& file, const std::uint8_t* data, std::uint32_t length, SystemError& error);

// The one way of writing a file in place, never cut first: 1. write the new bytes whole
// from offset 0, 2. set the end after them, 3. flush. If any of these fails, the same three
// steps with the original bytes; restored tells whether that worked. The error is the one
// of the first failure. A crash or kill before step 3 ends may leave a mix of both.
RewriteResult writeThrough(FileWriter& file, const std::uint8_t* newBytes, std::uint32_t newLength,
                           const std::uint8_t* original, std::uint32_t originalLength);

}  // namespace engine
