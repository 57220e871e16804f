// The conversion engine's file system on POSIX systems: flock and fcntl locks for exclusive
// use, statvfs for free space, and files replaced through a temporary file beside them
// (openat, fsync, renameat, fsync of the folder) or, where that would lose what the file
// is, written through in place with the stop signals held. Every file is reached through
// its folder, opened once (openat relative to it, never by path again), so that a name or
// folder swapped for a link while a file is worked on cannot lead a run elsewhere; a
// symbolic link is followed only where the kernel's protected_symlinks rule would follow it.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <map>
#include <string>

#include "engine/file_system.h"

namespace engine {

// The number of the signal that asked the process to stop, 0 while none has. A call that a
// signal interrupts is retried, unless this is set: quorin-cli catches its stop signals
// without SA_RESTART and sets it, so that a blocked open, read or write of a pipe is given
// up.
extern volatile std::sig_atomic_t stopSignalCaught;

// call() again while it fails with EINTR, unless a stop signal was caught.
template <typename Call>
auto retryInterrupted(Call call) -> decltype(call()) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR && stopSignalCaught == 0);
    return result;
}

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

class PosixFileSystem : public FileSystem {
public:
    PathKind pathKind(const std::string& path, FileError& error) override;
    // The path is walked folder by folder (openat with O_NOFOLLOW); a symbolic link is
    // followed only where protected_symlinks would allow it (UnsafeLink otherwise), and
    // anything but a regular file is refused (NotRegularFile) before it is opened. Then
    // O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY relative to the folder, the same file as
    // seen (Moved otherwise), flock(LOCK_EX | LOCK_NB) and a whole-file F_OFD_SETLK write
    // lock: a file that another process holds either way is refused with EWOULDBLOCK.
    //
    // Its rewrite() replaces it in the folder it was found in, keeping its mode, owner,
    // group and extended attributes (ACLs included): 1. a temporary file beside it (mode
    // 0600) given its owner, attributes and then mode, 2. the bytes written and fsynced,
    // 3. renamed over the file once the path is seen to lead to the same file still (Moved
    // otherwise), 4. the folder fsynced (a failure is the result's syncError). A file with
    // several hard links, or whose owner or attributes cannot be given to a new file, is
    // written through instead (pwrite, ftruncate, fsync with SIGINT, SIGTERM, SIGHUP and
    // SIGQUIT held), and original written back the same way if that fails.
    std::unique_ptr<HeldFile> open(const std::string& path, FileError& error) override;
    // As open(), but O_RDONLY, flock(LOCK_SH | LOCK_NB) and an F_OFD_SETLK read lock.
    std::unique_ptr<InputFile> openForReading(const std::string& path, FileError& error) override;
    // Reached as open() reaches a file. No file there: a new one through a temporary file
    // (mode 0666 less the umask), unless a link led there (DanglingLink). A regular file of
    // the effective user or of root: as a held file is rewritten, its former bytes read
    // first when it must be written through (RestoreTooLarge when they are more than
    // length). Another user's regular file: as root in a folder that others may write,
    // ForeignOutput; otherwise replaced by a new file of the effective user. A device or
    // pipe: written to, as cp does (also one that /dev/stdout or /proc/self/fd/N stands
    // for). A folder: EISDIR.
    RewriteResult replaceFile(const std::string& path, const std::uint8_t* data, std::uint32_t length) override;
    // The folder that holds path.
    std::string freeSpaceLocation(const std::string& path) override;
    // statvfs: f_bavail blocks of f_frsize bytes.
    bool freeSpace(const std::string& location, std::uint64_t& freeBytes, FileError& error) override;
    std::string linkTarget(const std::string& path) override;

protected:
    // Seen before each system call that changes a file: 0 lets it run; an errno value makes
    // it fail with that value without running. Tests fail or stop the process here.
    virtual int beforeCall(SystemCall call);

private:
    class Temporary;
    class Locked;
    class Held;
    template <typename Call>
    auto call(SystemCall which, Call run) -> decltype(run());

    // Walks path as described at open(); with remember, keeps the name that links led to
    // for linkTarget().
    bool reach(const std::string& path, PathPlace& place, FileError& error, bool remember);
    // True when path still leads to the folder and name of place, and the name to the file
    // seen (nullptr: to no file).
    bool stillLeadsTo(const std::string& path, const PathPlace& place, const struct stat* seen);
    // Reaches, opens and locks path as open() describes, for writing or for reading only.
    std::unique_ptr<Locked> openLocked(const std::string& path, bool forWriting, FileError& error);
    // Replaces the name of place with data. existing: the file there, open (-1: none);
    // keepIdentity: the new file is given existing's owner, mode and attributes, or
    // existing is written through; otherwise the new file is the effective user's.
    RewriteResult replaceRegular(const std::string& path, const PathPlace& place, int existing, bool keepIdentity,
                                 const std::uint8_t* data, std::uint32_t length, const std::uint8_t* original,
                                 std::uint32_t originalLength);
    RewriteResult writeThrough(int fd, const std::uint8_t* data, std::uint32_t length, const std::uint8_t* original,
                               std::uint32_t originalLength);
    // All of data to fd through the Write seam: at its offsets (pwrite), or in order (write).
    bool writeAll(int fd, const std::uint8_t* data, std::uint32_t length, bool positioned, FileError& error);
    bool giveIdentity(int from, const struct stat& status, int to);
    bool copyAttributes(int from, int to);
    bool listAttributes(int fd, std::string& names);

    std::map<std::string, std::string> linkTargets_;  // path -> the name its links led to
};

}  // namespace engine
