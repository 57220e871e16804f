// The file operations of a conversion, behind an interface: the Win32 implementation (both
// programs on Windows), the POSIX one (quorin-cli elsewhere), and fakes in tests that can
// fail at any step.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace engine {

// The system's error code (GetLastError or errno); 0 when the system gave none.
using SystemError = std::uint32_t;

// Refusals of a file system's own, for which the system has no error code.
enum class Refusal : std::uint8_t {
    None,
    NotRegularFile,   // a device, a pipe or a socket: it would block, or never end
    UnsafeLink,       // a symbolic link that another user owns, in a sticky folder that anyone may write
    DanglingLink,     // an output named by a symbolic link to nothing: no file is created through it
    ForeignOutput,    // an output of another user's, in a folder that others may write: not given root's result
    RestoreTooLarge,  // an output to be written through is larger than the result: its copy would be too
    Moved,            // the name, or a folder on its path, was moved or replaced while the file was worked on
};

// Why a file operation failed: the system's error code, or one of the file system's own
// refusals. Neither (code 0, no refusal) when the system gave no reason.
struct FileError {
    FileError(SystemError systemCode = 0) noexcept : code(systemCode) {}
    FileError(Refusal reason) noexcept : refusal(reason) {}

    SystemError code = 0;
    Refusal refusal = Refusal::None;

    // True when it gives a reason: a code or a refusal.
    explicit operator bool() const noexcept { return code != 0 || refusal != Refusal::None; }

    friend bool operator==(const FileError& a, const FileError& b) noexcept {
        return a.code == b.code && a.refusal == b.refusal;
    }
    friend bool operator!=(const FileError& a, const FileError& b) noexcept { return !(a == b); }
};

// True when error says that a path names nothing (as opposed to one out of reach).
bool isNotFound(const FileError& error) noexcept;
// True when error is the refusal of a file that another process holds (a lock, a no-sharing open).
bool isInUse(const FileError& error) noexcept;

enum class PathKind : std::uint8_t {
    File,  // anything that is not a folder
    Folder,
    Missing,  // the path does not exist (a file deleted before its turn)
};

// A file that is read: closed (and unlocked) when destroyed. Every operation returns false
// and sets error on failure.
class InputFile {
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    virtual ~InputFile() = default;

    // The file's size in bytes, 64 bits wide.
    virtual bool size(std::uint64_t& bytes, FileError& error) = 0;
    // Reads up to length bytes at the current position; bytesRead 0 means end of file.
    virtual bool read(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& bytesRead, FileError& error) = 0;
};

// What writing a file in place takes: bytes at an offset, the end set, everything made
// durable. Every operation returns false and sets error on failure.
class FileWriter {
public:
    // Writes up to length bytes at offset; written tells how many.
    virtual bool writeAt(std::uint64_t offset, const std::uint8_t* data, std::uint32_t length, std::uint32_t& written,
                         FileError& error) = 0;
    // Makes the file exactly length bytes long.
    virtual bool setEnd(std::uint64_t length, FileError& error) = 0;
    // Makes everything written so far durable (FlushFileBuffers, fsync). A write that the
    // system deferred and could not complete fails here.
    virtual bool flush(FileError& error) = 0;

protected:
    ~FileWriter() = default;
};

// How a rewrite or replacement ended.
struct RewriteResult {
    bool ok = true;
    FileError error;       // of the failed step, when !ok
    bool restored = true;  // when !ok: the file holds its original bytes again (or never lost them)
    // When ok: the error of the step that makes the replacement durable (a folder's fsync),
    // none when it succeeded. The file is whole, but a crash soon after may bring back its
    // former bytes.
    FileError syncError;

    // A failure of error; restored as the field says.
    static RewriteResult failed(const FileError& error, bool restored = true) noexcept;
};

// A file held for conversion: opened so that no other process can have it (an exclusive
// open or lock) until it is destroyed; its content is read whole, then it is rewritten.
class HeldFile {
public:
    HeldFile() = default;
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    virtual ~HeldFile() = default;

    // The file, as it is read.
    virtual InputFile& content() = 0;
    // Replaces the file's content with newBytes, as its file system replaces a file.
    // original holds its present content, for putting it back when that fails.
    virtual RewriteResult rewrite(const std::uint8_t* newBytes, std::uint32_t newLength, const std::uint8_t* original,
                                  std::uint32_t originalLength) = 0;
};

class FileSystem {
public:
    FileSystem() = default;
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;
    virtual ~FileSystem() = default;

    // What path names; error is set for Missing.
    virtual PathKind pathKind(const std::string& path, FileError& error) = 0;
    // Holds an existing file for conversion; null (and error) on failure.
    virtual std::unique_ptr<HeldFile> open(const std::string& path, FileError& error) = 0;
    // Opens an existing file for reading only, shared with other readers but refused while
    // another process holds it for conversion; null (and error) on failure.
    virtual std::unique_ptr<InputFile> openForReading(const std::string& path, FileError& error) = 0;
    // Puts exactly data[0, length) at path, as a rewrite replaces a held file: the result
    // appears whole or not at all where the system allows it; a device or pipe is written
    // to; a folder is refused. restored tells whether a failure left path as it was.
    virtual RewriteResult replaceFile(const std::string& path, const std::uint8_t* data, std::uint32_t length) = 0;
    // The location whose free space guards a rewrite of path; it is also the name that a
    // report of a free-space failure shows.
    virtual std::string freeSpaceLocation(const std::string& path) = 0;
    // Free bytes available to the user at location; freeBytes is unchanged on failure.
    virtual bool freeSpace(const std::string& location, std::uint64_t& freeBytes, FileError& error) = 0;
    // The name that the symbolic links of path led to when it was last opened or replaced;
    // "" when none was followed (or the platform follows links without saying where).
    virtual std::string linkTarget(const std::string& path);
};

// The one loop that writes length bytes whole: writeSome(offset, bytes, count, written,
// error) is asked for what is left, in order, until it has taken it all (a stream may ignore
// offset). A write that reports success but takes no byte, or more than it was given,
// fails with no error code: the system gave no reason.
template <typename WriteSome>
bool writeWhole(WriteSome writeSome, const std::uint8_t* data, std::uint32_t length, FileError& error) {
    for (std::uint32_t done = 0; done < length;) {
        std::uint32_t written = 0;
        if (!writeSome(std::uint64_t{done}, data + done, length - done, written, error)) return false;
        if (written == 0 || written > length - done) {
            error = FileError();
            return false;
        }
        done += written;
    }
    return true;
}

// writeWhole through file's writeAt, from offset 0.
bool writeAll(FileWriter& file, const std::uint8_t* data, std::uint32_t length, FileError& error);

// The one way of writing a file in place, never cut first: 1. write the new bytes whole
// from offset 0, 2. set the end after them, 3. flush. If any of these fails, the same three
// steps with the original bytes; restored tells whether that worked. The error is the one
// of the first failure. A crash or kill before step 3 ends may leave a mix of both.
RewriteResult writeThrough(FileWriter& file, const std::uint8_t* newBytes, std::uint32_t newLength,
                           const std::uint8_t* original, std::uint32_t originalLength);

}  // namespace engine
