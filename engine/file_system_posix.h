// quorin-cli's file system on POSIX systems: flock and fcntl locks for exclusive use,
// statvfs for free space, and files replaced through a temporary file beside them
// (openat, fsync, renameat, fsync of the folder) or, where that would lose what the file
// is, written through in place with the stop signals held. Every file is reached through
// its folder, opened once (openat relative to it, never by path again), so that a name or
// folder swapped for a link while a file is worked on cannot lead a run elsewhere; a
// symbolic link is followed only where the kernel's protected_symlinks rule would follow it.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>

#include "cli/cli_file_system.h"

namespace cli {

// Error codes of refusals that have no errno value; errorText() names each.
// The path is not a regular file (a device, a pipe or a socket would block or never end).
constexpr SystemError kNotRegularFile = 0x51000001u;
// A symbolic link that another user owns, in a sticky folder that anyone may write (the
// kernel's protected_symlinks rule): it may have been planted there, so it is not followed.
constexpr SystemError kUnsafeLink = 0x51000002u;
// --output names a symbolic link to nothing: no file is created through it.
constexpr SystemError kDanglingLink = 0x51000003u;
// --output names another user's file in a folder that users other than root may write: a
// result given that user's file would be theirs to read; as root, refused.
constexpr SystemError kForeignOutput = 0x51000004u;
// --output must be written through and is larger than the result: the copy kept to put it
// back on failure would be larger than the result itself.
constexpr SystemError kRestoreTooLarge = 0x51000005u;
// The name, or a folder on its path, was moved or replaced while the file was worked on.
constexpr SystemError kMoved = 0x51000006u;

// The folder that holds path: "." for a bare name, "/" for a name in the root. Trailing
// slashes of path are ignored.
std::string parentFolder(const std::string& path);

// The system calls that change files, each a seam: beforeCall() sees every one first.
enum class SystemCall : std::uint8_t {
    CreateTemporary,  // openat(O_CREAT | O_EXCL) of the temporary file beside the file
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
    Rename,           // renameat of the temporary file over the file (the path checked again first)
    SyncFolder,       // open and fsync of the folder after a rename
    Remove,           // unlinkat of a temporary file
    OpenOutput,       // open of an --output path
};

struct PathPlace;

class PosixFileSystem : public CliFileSystem {
public:
    engine::PathKind pathKind(const std::string& path, SystemError& error) override;
    // The path is walked folder by folder (openat with O_NOFOLLOW); a symbolic link is
    // followed only where protected_symlinks would allow it (kUnsafeLink otherwise), and
    // anything but a regular file is refused (kNotRegularFile) before it is opened. Then
    // O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY relative to the folder, the same file as
    // seen (kMoved otherwise), flock(LOCK_EX | LOCK_NB) and a whole-file F_OFD_SETLK write
    // lock: a file that another process holds either way is refused with EWOULDBLOCK.
    std::unique_ptr<engine::OpenFile> open(const std::string& path, SystemError& error) override;
    // The folder that holds path.
    std::string freeSpaceLocation(const std::string& path) override;
    // statvfs: f_bavail blocks of f_frsize bytes.
    bool freeSpace(const std::string& location, std::uint64_t& freeBytes, SystemError& error) override;

    // Replaces the file that open() opened, in the folder it was found in, with newBytes,
    // keeping its mode, owner, group and extended attributes (ACLs included): 1. a temporary
    // file beside it (mode 0600) given its owner, attributes and then mode, 2. the bytes
    // written and fsynced, 3. renamed over the file once the path is seen to lead to the
    // same file still (kMoved otherwise), 4. the folder fsynced (a failure is the result's
    // syncError). A file with several hard links, or whose owner or attributes cannot be
    // given to a new file, is written through instead (pwrite, ftruncate, fsync with SIGINT,
    // SIGTERM, SIGHUP and SIGQUIT held), and original written back the same way if that
    // fails.
    engine::RewriteResult rewrite(const std::string& path, engine::OpenFile& file, const std::uint8_t* newBytes,
                                   std::uint32_t newLength, const std::uint8_t* original,
                                   std::uint32_t originalLength) override;

    // As open(), but O_RDONLY, flock(LOCK_SH | LOCK_NB) and an F_OFD_SETLK read lock.
    std::unique_ptr<engine::OpenFile> openForReading(const std::string& path, SystemError& error) override;
    // Reached as open() reaches a file. No file there: a new one through a temporary file
    // (mode 0666 less the umask), unless a link led there (kDanglingLink). A regular file of
    // the effective user or of root: as rewrite() replaces one, its former bytes read first
    // when it must be written through (kRestoreTooLarge when they are more than length).
    // Another user's regular file: as root in a folder that others may write,
    // kForeignOutput; otherwise replaced by a new file of the effective user. A device or
    // pipe: written to, as cp does (also one that /dev/stdout or /proc/self/fd/N stands
    // for). A folder: EISDIR.
    engine::RewriteResult replaceFile(const std::string& path, const std::uint8_t* data,
                                       std::uint32_t length) override;
    // At most 4 GiB - 1 bytes: more is EFBIG, with nothing kept.
    bool readStandardInput(std::vector<std::uint8_t>& bytes, SystemError& error) override;
    bool writeStandardOutput(const std::uint8_t* data, std::uint32_t length, SystemError& error) override;
    bool isLockConflict(SystemError error) override;
    bool isNotFound(SystemError error) override;
    std::string errorText(SystemError error) override;
    std::string linkTarget(const std::string& path) override;

protected:
    // Seen before each system call that changes a file: 0 lets it run; an errno value makes
    // it fail with that value without running. Tests fail or stop the process here.
    virtual int beforeCall(SystemCall call);

private:
    class Temporary;
    template <typename Call>
    auto call(SystemCall which, Call run) -> decltype(run());

    // Walks path as described at open(); with remember, keeps the name that links led to
    // for linkTarget().
    bool reach(const std::string& path, PathPlace& place, SystemError& error, bool remember);
    // True when path still leads to the folder and name of place, and the name to the file
    // seen (nullptr: to no file).
    bool stillLeadsTo(const std::string& path, const PathPlace& place, const struct stat* seen);
    std::unique_ptr<engine::OpenFile> openLocked(const std::string& path, bool forWriting, SystemError& error);
    // Replaces the name of place with data. existing: the file there, open (-1: none);
    // keepIdentity: the new file is given existing's owner, mode and attributes, or
    // existing is written through; otherwise the new file is the effective user's.
    engine::RewriteResult replaceRegular(const std::string& path, const PathPlace& place, int existing,
                                          bool keepIdentity, const std::uint8_t* data, std::uint32_t length,
                                          const std::uint8_t* original, std::uint32_t originalLength);
    engine::RewriteResult writeThrough(int fd, const std::uint8_t* data, std::uint32_t length,
                                        const std::uint8_t* original, std::uint32_t originalLength);
    bool writeAll(int fd, const std::uint8_t* data, std::uint32_t length, bool positioned, SystemError& error);
    bool giveIdentity(int from, const struct stat& status, int to);
    bool copyAttributes(int from, int to);
    bool listAttributes(int fd, std::string& names);

    std::map<std::string, std::string> linkTargets_;  // path -> the name its links led to
};

}  // namespace cli
