// POSIX implementation of quorin-cli's file system.
#include "cli/file_system_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <vector>

namespace cli {

namespace {

volatile std::sig_atomic_t caughtSignal;  // zero until StopSignals catches one

// Retries a call interrupted by a signal, unless it was one that stops the run (a blocked
// open or write of a pipe is then abandoned).
template <typename Call>
auto retry(Call call) -> decltype(call()) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR && caughtSignal == 0);
    return result;
}

bool fail(SystemError& error) {
    error = static_cast<SystemError>(errno);
    return false;
}

// An open descriptor holding an flock and an fcntl lock; both released when destroyed.
class PosixOpenFile final : public convert::OpenFile {
public:
    PosixOpenFile(int fd, bool writable) : fd_(fd), writable_(writable) {}
    ~PosixOpenFile() override { ::close(fd_); }

    bool size(std::uint64_t& bytes, SystemError& error) override {
        struct stat status;
        if (::fstat(fd_, &status) != 0) return fail(error);
        bytes = static_cast<std::uint64_t>(status.st_size);
        return true;
    }

    bool read(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& bytesRead, SystemError& error) override {
        const ssize_t got = retry([&] { return ::read(fd_, buffer, length); });
        if (got < 0) return fail(error);
        bytesRead = static_cast<std::uint32_t>(got);
        return true;
    }

    // The rewrite goes through PosixFileSystem::rewrite, never through these.
    bool writeAt(std::uint64_t, const std::uint8_t*, std::uint32_t, std::uint32_t&, SystemError& error) override {
        return refuse(error);
    }
    bool setEnd(std::uint64_t, SystemError& error) override { return refuse(error); }
    bool flush(SystemError& error) override { return refuse(error); }

    int fd() const { return fd_; }
    bool writable() const { return writable_; }

private:
    static bool refuse(SystemError& error) {
        error = EBADF;
        return false;
    }

    int fd_;
    bool writable_;
};

// SIGINT, SIGTERM, SIGHUP and SIGQUIT held back while alive; delivered when it ends.
class HeldSignals {
public:
    HeldSignals() {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&held, signal);
        ::sigprocmask(SIG_BLOCK, &held, &former_);
    }
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;
    ~HeldSignals() { ::sigprocmask(SIG_SETMASK, &former_, nullptr); }

private:
    sigset_t former_;
};

mode_t processUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// The template of a temporary file beside path: ".NAME.XXXXXX" in the same folder, with the
// name cut short enough for any file system.
std::string temporaryTemplate(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.size() > 200) name.resize(200);
    return folder + "." + name + ".XXXXXX";
}

// The name that path finally stands for, up to 40 symbolic links followed as open() does,
// also a last one whose target does not exist yet; false (ELOOP beyond 40, or the error of
// an unreadable link) otherwise.
bool resolveLinks(std::string& path, SystemError& error) {
    for (int links = 0; links <= 40; ++links) {
        struct stat status;
        if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return true;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
        if (length < 0) return fail(error);
        const std::string name(target, static_cast<std::size_t>(length));
        path = name.empty() || name[0] == '/' ? name : parentFolder(path) + "/" + name;
    }
    error = ELOOP;
    return false;
}

convert::RewriteResult failed(SystemError error, bool restored = true) {
    convert::RewriteResult result;
    result.ok = false;
    result.error = error;
    result.restored = restored;
    return result;
}

}  // namespace

// The temporary file of a replacement: removed unless committed.
class PosixFileSystem::Temporary {
public:
    Temporary(PosixFileSystem& fileSystem, std::string name) : fileSystem_(fileSystem), name_(std::move(name)) {}
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    ~Temporary() {
        if (fd_ >= 0) ::close(fd_);
        if (!committed_) fileSystem_.call(SystemCall::Remove, [&] { return ::unlink(name_.c_str()); });
    }
    // The name template is replaced by the name of the file created; false on failure.
    bool create() {
        std::vector<char> buffer(name_.begin(), name_.end());
        buffer.push_back('\0');
        fd_ = fileSystem_.call(SystemCall::CreateTemporary, [&] { return ::mkostemp(buffer.data(), O_CLOEXEC); });
        if (fd_ < 0) {
            committed_ = true;  // nothing to remove
            return false;
        }
        name_ = buffer.data();
        return true;
    }
    // Closes the descriptor, reporting a late write error.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return fileSystem_.call(SystemCall::Close, [&] { return ::close(fd); }) == 0;
    }
    void commit() { committed_ = true; }
    int fd() const { return fd_; }
    const std::string& name() const { return name_; }

private:
    PosixFileSystem& fileSystem_;
    std::string name_;
    int fd_ = -1;
    bool committed_ = false;
};

template <typename Call>
auto PosixFileSystem::call(SystemCall which, Call run) -> decltype(run()) {
    if (const int refused = beforeCall(which)) {
        errno = refused;
        return -1;
    }
    return retry(run);
}

int PosixFileSystem::beforeCall(SystemCall) {
    return 0;
}

std::string parentFolder(const std::string& path) {
    std::size_t end = path.size();
    while (end > 1 && path[end - 1] == '/') --end;
    const std::size_t slash = path.find_last_of('/', end - 1);
    if (slash == std::string::npos || end == 0) return ".";
    std::size_t folderEnd = slash;
    while (folderEnd > 0 && path[folderEnd - 1] == '/') --folderEnd;
    return folderEnd == 0 ? "/" : path.substr(0, folderEnd);
}

convert::PathKind PosixFileSystem::pathKind(const std::string& path, SystemError& error) {
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) {
        error = static_cast<SystemError>(errno);
        return convert::PathKind::Missing;
    }
    return S_ISDIR(status.st_mode) ? convert::PathKind::Folder : convert::PathKind::File;
}

std::unique_ptr<convert::OpenFile> PosixFileSystem::openLocked(const std::string& path, bool forWriting,
                                                               SystemError& error) {
    // Non-blocking, so that a pipe without a writer does not hang the open.
    const int fd = retry([&] {
        return ::open(path.c_str(), (forWriting ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    });
    if (fd < 0) {
        fail(error);
        return nullptr;
    }
    struct stat status;
    struct flock range = {};
    range.l_type = forWriting ? F_WRLCK : F_RDLCK;
    range.l_whence = SEEK_SET;  // l_start 0, l_len 0: the whole file, however it grows
    if (::fstat(fd, &status) != 0) {
        fail(error);
    } else if (!S_ISREG(status.st_mode)) {
        error = kNotRegularFile;
    } else if (retry([&] { return ::flock(fd, (forWriting ? LOCK_EX : LOCK_SH) | LOCK_NB); }) != 0) {
        fail(error);
    } else if (::fcntl(fd, F_OFD_SETLK, &range) != 0 && errno != EINVAL) {
        // EINVAL: a system without open-file-description locks.
        error = errno == EACCES ? EWOULDBLOCK : static_cast<SystemError>(errno);
    } else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        fail(error);
    } else {
        try {
            return std::make_unique<PosixOpenFile>(fd, forWriting);
        } catch (...) {
            ::close(fd);
            throw;
        }
    }
    ::close(fd);
    return nullptr;
}

std::unique_ptr<convert::OpenFile> PosixFileSystem::open(const std::string& path, SystemError& error) {
    return openLocked(path, true, error);
}

std::unique_ptr<convert::OpenFile> PosixFileSystem::openForReading(const std::string& path, SystemError& error) {
    return openLocked(path, false, error);
}

std::string PosixFileSystem::freeSpaceLocation(const std::string& path) {
    return parentFolder(path);
}

bool PosixFileSystem::freeSpace(const std::string& location, std::uint64_t& freeBytes, SystemError& error) {
    struct statvfs volume;
    if (retry([&] { return ::statvfs(location.c_str(), &volume); }) != 0) return fail(error);
    freeBytes = static_cast<std::uint64_t>(volume.f_bavail) * volume.f_frsize;
    return true;
}

bool PosixFileSystem::writeAll(int fd, const std::uint8_t* data, std::uint32_t length, bool positioned,
                               SystemError& error) {
    std::uint32_t done = 0;
    while (done < length) {
        const ssize_t written = call(SystemCall::Write, [&] {
            return positioned ? ::pwrite(fd, data + done, length - done, done) : ::write(fd, data + done, length - done);
        });
        if (written < 0) return fail(error);
        if (written == 0) {
            error = EIO;
            return false;
        }
        done += static_cast<std::uint32_t>(written);
    }
    return true;
}

convert::RewriteResult PosixFileSystem::writeThrough(int fd, const std::uint8_t* data, std::uint32_t length,
                                                     const std::uint8_t* original, std::uint32_t originalLength) {
    // The descriptor as the shared in-place write sees it, each call behind its seam.
    class Writer final : public convert::FileWriter {
    public:
        Writer(PosixFileSystem& fileSystem, int fd) : fileSystem_(fileSystem), fd_(fd) {}
        bool writeAt(std::uint64_t offset, const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written,
                     SystemError& error) override {
            const ssize_t n = fileSystem_.call(SystemCall::Write, [&] {
                return ::pwrite(fd_, bytes, count, static_cast<off_t>(offset));
            });
            if (n < 0) return fail(error);
            if (n == 0 && count != 0) {
                error = EIO;
                return false;
            }
            written = static_cast<std::uint32_t>(n);
            return true;
        }
        bool setEnd(std::uint64_t end, SystemError& error) override {
            return fileSystem_.call(SystemCall::Truncate, [&] { return ::ftruncate(fd_, static_cast<off_t>(end)); }) ==
                       0 ||
                   fail(error);
        }
        bool flush(SystemError& error) override {
            return fileSystem_.call(SystemCall::Sync, [&] { return ::fsync(fd_); }) == 0 || fail(error);
        }

    private:
        PosixFileSystem& fileSystem_;
        int fd_;
    };
    const HeldSignals held;
    Writer writer(*this, fd);
    return convert::writeThrough(writer, data, length, original, originalLength);
}

bool PosixFileSystem::listAttributes(int fd, std::string& names) {
    const ssize_t size = call(SystemCall::ListAttributes, [&] { return ::flistxattr(fd, nullptr, 0); });
    if (size < 0) return errno == ENOTSUP;  // a file system without attributes
    if (size == 0) return true;
    names.resize(static_cast<std::size_t>(size));
    const ssize_t got = call(SystemCall::ListAttributes, [&] { return ::flistxattr(fd, &names[0], names.size()); });
    if (got < 0) return false;
    names.resize(static_cast<std::size_t>(got));
    return true;
}

// Gives to the attributes of from, removing those that to has and from has not (an access
// ACL inherited from the folder, say).
bool PosixFileSystem::copyAttributes(int from, int to) {
    std::string names;
    std::string present;
    if (!listAttributes(from, names) || !listAttributes(to, present)) return false;
    for (std::size_t at = 0; at < present.size(); at += std::strlen(&present[at]) + 1) {
        const char* name = &present[at];
        if (std::search(names.begin(), names.end(), name, name + std::strlen(name) + 1) != names.end()) continue;
        if (call(SystemCall::RemoveAttribute, [&] { return ::fremovexattr(to, name); }) != 0) return false;
    }
    std::vector<char> value;
    for (std::size_t at = 0; at < names.size(); at += std::strlen(&names[at]) + 1) {
        const char* name = &names[at];
        const ssize_t size = call(SystemCall::GetAttribute, [&] { return ::fgetxattr(from, name, nullptr, 0); });
        if (size < 0) return false;
        value.resize(static_cast<std::size_t>(size) + 1);
        const ssize_t got =
            call(SystemCall::GetAttribute, [&] { return ::fgetxattr(from, name, value.data(), value.size()); });
        if (got < 0 ||
            call(SystemCall::SetAttribute, [&] { return ::fsetxattr(to, name, value.data(), got, 0); }) != 0)
            return false;
    }
    return true;
}

// Owner and group first (a change of owner clears the set-user-ID bits), then the mode,
// then the attributes. False when any of them cannot be given.
bool PosixFileSystem::giveIdentity(int from, const struct stat& status, int to) {
    return call(SystemCall::ChangeOwner, [&] { return ::fchown(to, status.st_uid, status.st_gid); }) == 0 &&
           call(SystemCall::ChangeMode, [&] { return ::fchmod(to, status.st_mode & 07777); }) == 0 &&
           copyAttributes(from, to);
}

convert::RewriteResult PosixFileSystem::replaceRegular(const std::string& target, int existing,
                                                       const std::uint8_t* data, std::uint32_t length,
                                                       const std::uint8_t* original, std::uint32_t originalLength) {
    SystemError error = 0;
    struct stat status;
    struct stat named;
    std::vector<std::uint8_t> former;
    // The way through, with the former bytes read first when the caller has none.
    const auto through = [&]() -> convert::RewriteResult {
        if (!original) {
            former.resize(static_cast<std::size_t>(status.st_size));
            std::size_t got = 0;
            while (got < former.size()) {
                const ssize_t n = retry([&] { return ::pread(existing, &former[got], former.size() - got, got); });
                if (n < 0) return failed(static_cast<SystemError>(errno));
                if (n == 0) break;
                got += static_cast<std::size_t>(n);
            }
            former.resize(got);
            original = former.data();
            originalLength = static_cast<std::uint32_t>(got);
        }
        return writeThrough(existing, data, length, original, originalLength);
    };
    if (existing >= 0) {
        if (::fstat(existing, &status) != 0) return failed(static_cast<SystemError>(errno));
        // Several links, or the name no longer this file: only writing through keeps it.
        if (status.st_nlink > 1 || ::stat(target.c_str(), &named) != 0 || named.st_dev != status.st_dev ||
            named.st_ino != status.st_ino)
            return through();
    }
    // 1. A temporary file beside the target, with its owner, mode and attributes.
    Temporary temporary(*this, temporaryTemplate(target));
    if (!temporary.create()) return failed(static_cast<SystemError>(errno));
    if (existing >= 0) {
        if (!giveIdentity(existing, status, temporary.fd())) {
            temporary.close();
            return through();
        }
    } else if (call(SystemCall::ChangeMode, [&] { return ::fchmod(temporary.fd(), 0666 & ~processUmask()); }) != 0) {
        return failed(static_cast<SystemError>(errno));
    }
    // 2. The bytes, whole, on disk.
    if (!writeAll(temporary.fd(), data, length, true, error)) return failed(error);
    if (call(SystemCall::Sync, [&] { return ::fsync(temporary.fd()); }) != 0 || !temporary.close())
        return failed(static_cast<SystemError>(errno));
    // 3. In place of the target in one step.
    if (call(SystemCall::Rename, [&] { return ::rename(temporary.name().c_str(), target.c_str()); }) != 0)
        return failed(static_cast<SystemError>(errno));
    temporary.commit();
    // 4. The rename made durable; the result is complete either way.
    const int folder = call(SystemCall::SyncFolder, [&] {
        return ::open(parentFolder(target).c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
    });
    if (folder >= 0) {
        call(SystemCall::SyncFolder, [&] { return ::fsync(folder); });
        ::close(folder);
    }
    return convert::RewriteResult();
}

convert::RewriteResult PosixFileSystem::rewrite(const std::string& path, convert::OpenFile& file,
                                                const std::uint8_t* newBytes, std::uint32_t newLength,
                                                const std::uint8_t* original, std::uint32_t originalLength) {
    auto* const posixFile = dynamic_cast<PosixOpenFile*>(&file);
    if (!posixFile || !posixFile->writable()) return failed(EBADF);
    std::string target = path;
    SystemError error = 0;
    if (!resolveLinks(target, error)) return failed(error);
    return replaceRegular(target, posixFile->fd(), newBytes, newLength, original, originalLength);
}

convert::RewriteResult PosixFileSystem::replaceFile(const std::string& path, const std::uint8_t* data,
                                                    std::uint32_t length) {
    std::string target = path;
    SystemError error = 0;
    if (!resolveLinks(target, error)) return failed(error);
    struct stat status;
    if (::lstat(target.c_str(), &status) != 0) {
        if (errno != ENOENT) return failed(static_cast<SystemError>(errno));
        return replaceRegular(target, -1, data, length, nullptr, 0);
    }
    if (S_ISDIR(status.st_mode)) return failed(EISDIR);
    const int fd = call(SystemCall::OpenOutput, [&] {
        return ::open(target.c_str(), (S_ISREG(status.st_mode) ? O_RDWR : O_WRONLY | O_TRUNC) | O_CLOEXEC | O_NOCTTY);
    });
    if (fd < 0) return failed(static_cast<SystemError>(errno));
    convert::RewriteResult result;
    if (S_ISREG(status.st_mode)) {
        result = replaceRegular(target, fd, data, length, nullptr, 0);
    } else if (!writeAll(fd, data, length, false, result.error)) {  // a device or pipe, as cp writes one
        result = failed(result.error, false);
    }
    // A regular file's result is whole and on disk before this close (renamed over it, or written through and
    // fsynced): only a device or pipe can still lose bytes here.
    if (call(SystemCall::Close, [&] { return ::close(fd); }) != 0 && result.ok && !S_ISREG(status.st_mode))
        result = failed(static_cast<SystemError>(errno), false);
    return result;
}

bool PosixFileSystem::readStandardInput(std::vector<std::uint8_t>& bytes, SystemError& error) {
    bytes.clear();
    std::size_t got = 0;
    for (;;) {
        if (bytes.size() - got < 65536) bytes.resize(std::max<std::size_t>(bytes.size() * 2, 1u << 20));
        const ssize_t n = retry([&] { return ::read(STDIN_FILENO, &bytes[got], bytes.size() - got); });
        if (n < 0) return fail(error);
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return true;
}

bool PosixFileSystem::writeStandardOutput(const std::uint8_t* data, std::uint32_t length, SystemError& error) {
    return writeAll(STDOUT_FILENO, data, length, false, error);
}

bool PosixFileSystem::isLockConflict(SystemError error) {
    return error == static_cast<SystemError>(EWOULDBLOCK);
}

bool PosixFileSystem::isNotFound(SystemError error) {
    return error == static_cast<SystemError>(ENOENT) || error == static_cast<SystemError>(ENOTDIR);
}

std::string PosixFileSystem::errorText(SystemError error) {
    if (error == 0) return std::string();
    if (error == kNotRegularFile) return "not a regular file";
    return std::strerror(static_cast<int>(error));
}

std::unique_ptr<CliFileSystem> makePlatformFileSystem() {
    return std::make_unique<PosixFileSystem>();
}

bool standardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction formerActions[3];

extern "C" void rememberStopSignal(int signal) {
    if (caughtSignal == 0) caughtSignal = signal;
}

}  // namespace

// Without SA_RESTART: a blocked open or write of a pipe returns, and retry() gives up.
StopSignals::StopSignals() {
    caughtSignal = 0;
    struct sigaction action = {};
    action.sa_handler = rememberStopSignal;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 3; ++i) ::sigaction(kStopSignals[i], &action, &formerActions[i]);
}

StopSignals::~StopSignals() {
    for (int i = 0; i < 3; ++i) ::sigaction(kStopSignals[i], &formerActions[i], nullptr);
}

int StopSignals::caught() noexcept {
    return caughtSignal;
}

}  // namespace cli
