// quorin-cli's file system on POSIX systems: flock for exclusive use, statvfs for free
// space, ftruncate and pwrite for the in-place rewrite, mkstemp, fsync and rename for an
// output file.
#pragma once

#include <sys/types.h>

#include <string>

#include "cli/cli_file_system.h"

namespace cli {

// The error code of an open refused because the path is not a regular file (a device, a
// pipe or a socket would block or never end); errorText() names it.
constexpr SystemError kNotRegularFile = 0x51000001u;

// The folder that holds path: "." for a bare name, "/" for a name in the root. Trailing
// slashes of path are ignored.
std::string parentFolder(const std::string& path);

class PosixFileSystem : public CliFileSystem {
public:
    convert::PathKind pathKind(const std::string& path, SystemError& error) override;
    // O_RDWR and flock(LOCK_EX | LOCK_NB): a file another process holds is refused with
    // EWOULDBLOCK.
    std::unique_ptr<convert::OpenFile> open(const std::string& path, SystemError& error) override;
    // The folder that holds path.
    std::string freeSpaceLocation(const std::string& path) override;
    // statvfs: f_bavail blocks of f_frsize bytes.
    bool freeSpace(const std::string& location, std::uint64_t& freeBytes, SystemError& error) override;

    // Overwrites the file from its start with pwrite and then cuts it at the new end with
    // ftruncate, so that it keeps its blocks rather than being emptied first; when either
    // fails, the original bytes are written back the same way.
    convert::RewriteResult rewrite(const std::string& path, convert::OpenFile& file, const std::uint8_t* newBytes,
                                   std::uint32_t newLength, const std::uint8_t* original,
                                   std::uint32_t originalLength) override;

    // O_RDONLY and flock(LOCK_SH | LOCK_NB).
    std::unique_ptr<convert::OpenFile> openForReading(const std::string& path, SystemError& error) override;
    // mkstemp beside path, the bytes, fchmod to the mode path has (or 0666 less the umask),
    // fsync, close, rename over path; the temporary file is unlinked on any failure.
    bool replaceFile(const std::string& path, const std::uint8_t* data, std::uint32_t length,
                     SystemError& error) override;
    bool isLockConflict(SystemError error) override;
    std::string errorText(SystemError error) override;

    // The system calls that can fail halfway, overridable so that tests can make them fail.
    // Each returns what the system call returns and leaves errno set.
    virtual ssize_t writeAt(int fd, const void* data, size_t length, off_t offset);
    virtual int syncFile(int fd);
    virtual int renameFile(const char* from, const char* to);

private:
    std::unique_ptr<convert::OpenFile> openLocked(const std::string& path, bool forWriting, SystemError& error);
};

}  // namespace cli
