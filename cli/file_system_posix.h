// quorin-cli's file system on POSIX systems: flock and fcntl locks for exclusive use,
// statvfs for free space, and files replaced through a temporary file beside them
// (mkstemp, fsync, rename, fsync of the folder) or, where that would lose what the file is,
// written through in place with the stop signals held.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>

#include "cli/cli_file_system.h"

namespace cli {

// The error code of an open refused because the path is not a regular file (a device, a
// pipe or a socket would block or never end); errorText() names it.
constexpr SystemError kNotRegularFile = 0x51000001u;

// The folder that holds path: "." for a bare name, "/" for a name in the root. Trailing
// slashes of path are ignored.
std::string parentFolder(const std::string& path);

// The system calls that change files, each a seam: beforeCall() sees every one first.
enum class SystemCall : std::uint8_t {
    CreateTemporary,  // mkostemp beside the file
    ChangeOwner,      // fchown
    ChangeMode,       // fchmod
    ListAttributes,   // flistxattr (size, then names)
    GetAttribute,     // fgetxattr (size, then value)
    SetAttribute,     // fsetxattr
    RemoveAttribute,  // fremovexattr
    Write,            // pwrite, or write to a device or pipe
    Truncate,         // ftruncate
    Sync,             // fsync of a file
    Close,            // close of a written file
    Rename,           // rename of the temporary file over the file
    SyncFolder,       // open and fsync of the folder after a rename
    Remove,           // unlink of a temporary file
    OpenOutput,       // open of an --output path
};

class PosixFileSystem : public CliFileSystem {
public:
    convert::PathKind pathKind(const std::string& path, SystemError& error) override;
    // O_RDWR, flock(LOCK_EX | LOCK_NB) and a whole-file F_OFD_SETLK write lock: a file that
    // another process holds either way is refused with EWOULDBLOCK.
    std::unique_ptr<convert::OpenFile> open(const std::string& path, SystemError& error) override;
    // The folder that holds path.
    std::string freeSpaceLocation(const std::string& path) override;
    // statvfs: f_bavail blocks of f_frsize bytes.
    bool freeSpace(const std::string& location, std::uint64_t& freeBytes, SystemError& error) override;

    // Replaces the file that path names (links followed) with newBytes, keeping its mode,
    // owner, group and extended attributes (ACLs included): 1. a temporary file beside it
    // with the same owner, mode and attributes, 2. the bytes written and fsynced, 3. renamed
    // over the file, 4. the folder fsynced. A file with several hard links, or whose owner
    // or attributes cannot be given to a new file, is written through instead (pwrite,
    // ftruncate, fsync with SIGINT, SIGTERM, SIGHUP and SIGQUIT held), and original written
    // back the same way if that fails.
    convert::RewriteResult rewrite(const std::string& path, convert::OpenFile& file, const std::uint8_t* newBytes,
                                   std::uint32_t newLength, const std::uint8_t* original,
                                   std::uint32_t originalLength) override;

    // O_RDONLY, flock(LOCK_SH | LOCK_NB) and an F_OFD_SETLK read lock.
    std::unique_ptr<convert::OpenFile> openForReading(const std::string& path, SystemError& error) override;
    // Links followed; no file there: a new one through a temporary file (mode 0666 less the
    // umask); a regular file: as rewrite() replaces one, its former bytes read first when it
    // must be written through; a device or pipe: opened with O_TRUNC and written, as cp
    // does; a folder: EISDIR.
    convert::RewriteResult replaceFile(const std::string& path, const std::uint8_t* data,
                                       std::uint32_t length) override;
    bool readStandardInput(std::vector<std::uint8_t>& bytes, SystemError& error) override;
    bool writeStandardOutput(const std::uint8_t* data, std::uint32_t length, SystemError& error) override;
    bool isLockConflict(SystemError error) override;
    bool isNotFound(SystemError error) override;
    std::string errorText(SystemError error) override;

protected:
    // Seen before each system call that changes a file: 0 lets it run; an errno value makes
    // it fail with that value without running. Tests fail or stop the process here.
    virtual int beforeCall(SystemCall call);

private:
    class Temporary;
    template <typename Call>
    auto call(SystemCall which, Call run) -> decltype(run());

    std::unique_ptr<convert::OpenFile> openLocked(const std::string& path, bool forWriting, SystemError& error);
    convert::RewriteResult replaceRegular(const std::string& target, int existing, const std::uint8_t* data,
                                          std::uint32_t length, const std::uint8_t* original,
                                          std::uint32_t originalLength);
    convert::RewriteResult writeThrough(int fd, const std::uint8_t* data, std::uint32_t length,
                                        const std::uint8_t* original, std::uint32_t originalLength);
    bool writeAll(int fd, const std::uint8_t* data, std::uint32_t length, bool positioned, SystemError& error);
    bool giveIdentity(int from, const struct stat& status, int to);
    bool copyAttributes(int from, int to);
    bool listAttributes(int fd, std::string& names);
};

}  // namespace cli
