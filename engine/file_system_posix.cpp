// The conversion engine's file system on POSIX systems.
#include "engine/file_system_posix.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

namespace engine {

volatile std::sig_atomic_t stopSignalCaught = 0;

namespace {

// The error that errno holds.
FileError lastError() {
    return FileError(static_cast<SystemError>(errno));
}

bool fail(FileError& error) {
    error = lastError();
    return false;
}

// An open descriptor, closed when destroyed.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) reset(std::exchange(other.fd_, -1));
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }

    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int release() { return std::exchange(fd_, -1); }
    int get() const { return fd_; }

private:
    int fd_ = -1;
};

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && (a.st_mode & S_IFMT) == (b.st_mode & S_IFMT);
}

}  // namespace

// Where a path leads: a name in a folder held open, so that nothing done there depends on
// the path any more.
struct PathPlace {
    Descriptor folder;        // O_PATH descriptor of the folder that holds name
    std::string name;         // "" when the path names the folder itself
    struct stat status = {};  // of name (of the folder when name is ""), not following it; st_mode 0: no such name
    std::string reached;      // the path with its links resolved, "" when none was followed
    Descriptor object;        // O_PATH: the pipe or device that a link in /proc (/dev/stdout) stands for
};

namespace {

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

// Pushes the names of path onto names so that its first comes off first. Empty names and
// "." are left out, except a last "." for a path that ends in "/" or "/.": it names the
// folder that the name before it is.
void pushNames(const std::string& path, std::vector<std::string>& names) {
    std::vector<std::string> found;
    for (std::size_t at = 0; at < path.size();) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        if (end > at && path.compare(at, end - at, ".") != 0) found.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    const bool endsInFolder = path == "." || (!path.empty() && path.back() == '/') ||
                              (path.size() >= 2 && path.compare(path.size() - 2, 2, "/.") == 0);
    if (endsInFolder) found.emplace_back(".");
    names.insert(names.end(), found.rbegin(), found.rend());
}

// folder + "/" + name as a path, ".." taking a name off (folder holds no links, so that is
// where ".." leads). "" is the working folder.
std::string joinName(const std::string& folder, const std::string& name) {
    if (name == "..") {
        const std::size_t slash = folder.find_last_of('/');
        const std::string last = slash == std::string::npos ? folder : folder.substr(slash + 1);
        if (folder == "/") return folder;
        if (folder.empty() || last == "..") return folder.empty() ? name : folder + "/" + name;
        return slash == std::string::npos ? std::string() : slash == 0 ? "/" : folder.substr(0, slash);
    }
    return folder.empty() ? name : folder == "/" ? "/" + name : folder + "/" + name;
}

// The kernel's protected_symlinks rule: in a sticky folder that anyone may write, a link is
// followed only when it belongs to the one who follows it or to the folder's owner.
bool mayFollow(const struct stat& link, const struct stat& folder) {
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return !shared || link.st_uid == ::geteuid() || link.st_uid == folder.st_uid;
}

// The text of the link that fd (O_PATH | O_NOFOLLOW) holds.
bool readLink(int fd, std::string& text) {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = ::readlinkat(fd, "", buffer.data(), buffer.size());
        if (length < 0) return false;
        if (static_cast<std::size_t>(length) < buffer.size()) {
            text.assign(buffer.data(), static_cast<std::size_t>(length));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool onProcFileSystem(int fd) {
    struct statfs fileSystem;
    return ::fstatfs(fd, &fileSystem) == 0 && fileSystem.f_type == PROC_SUPER_MAGIC;
}

// True when users other than root and the effective user may add or replace names in the
// folder (by its mode, which shows an ACL's widest grant in its group bits, or its owner).
bool othersMayWrite(int folder) {
    struct stat status;
    if (::fstat(folder, &status) != 0) return true;
    return (status.st_mode & (S_IWGRP | S_IWOTH)) != 0 || (status.st_uid != 0 && status.st_uid != ::geteuid());
}

// Six letters or digits that no other run is likely to pick at the same time.
std::string randomSuffix() {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[6];
    if (::getentropy(bytes, sizeof bytes) != 0) {
        const auto seed =
            static_cast<unsigned long long>(std::time(nullptr)) ^ (static_cast<unsigned long long>(::getpid()) << 20);
        for (std::size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<unsigned char>(seed >> (i * 7));
    }
    std::string suffix;
    for (const unsigned char byte : bytes) suffix += kLetters[byte % (sizeof kLetters - 1)];
    return suffix;
}

}  // namespace

// The temporary file of a replacement, in the folder of the file it replaces: removed
// unless committed.
class PosixFileSystem::Temporary {
public:
    Temporary(PosixFileSystem& fileSystem, int folder) : fileSystem_(fileSystem), folder_(folder) {}
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    ~Temporary() {
        if (fd_ >= 0) ::close(fd_);
        if (!committed_) fileSystem_.call(SystemCall::Remove, [&] { return ::unlinkat(folder_, name_.c_str(), 0); });
    }
    // Creates ".NAME.XXXXXX" beside name (cut short enough for any file system), mode 0600,
    // never through a link; false on failure.
    bool create(const std::string& name) {
        const std::string stem = "." + name.substr(0, 200) + ".";
        for (int attempt = 0; attempt < 100; ++attempt) {
            name_ = stem + randomSuffix();
            fd_ = fileSystem_.call(SystemCall::CreateTemporary, [&] {
                return ::openat(folder_, name_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            });
            if (fd_ >= 0 || errno != EEXIST) break;
        }
        committed_ = fd_ < 0;  // nothing to remove
        return fd_ >= 0;
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
    int folder_;
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
    return retryInterrupted(run);
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

PathKind PosixFileSystem::pathKind(const std::string& path, FileError& error) {
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) {
        error = lastError();
        return PathKind::Missing;
    }
    return S_ISDIR(status.st_mode) ? PathKind::Folder : PathKind::File;
}

bool PosixFileSystem::reach(const std::string& path, PathPlace& place, FileError& error, bool remember) {
    if (remember) linkTargets_.erase(path);
    if (path.empty()) {
        error = ENOENT;
        return false;
    }
    const auto root = [&] { return Descriptor(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC)); };
    Descriptor folder = path[0] == '/' ? root() : Descriptor(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    std::string folderName = path[0] == '/' ? "/" : "";  // folder's path, without links
    std::vector<std::string> names;
    pushNames(path, names);
    bool followed = false;
    for (int links = 0; !names.empty() && folder.get() >= 0;) {
        const std::string name = std::move(names.back());
        names.pop_back();
        const bool last = names.empty();
        if (name == ".") continue;
        // 1. What the name is, without following it and without any effect of opening it.
        Descriptor entry(
            retryInterrupted([&] { return ::openat(folder.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC); }));
        struct stat status = {};
        if ((entry.get() < 0 && (errno != ENOENT || !last)) || (entry.get() >= 0 && ::fstat(entry.get(), &status) != 0))
            return fail(error);
        // 2. A link: followed where protected_symlinks allows it, its text walked in turn.
        if (S_ISLNK(status.st_mode)) {
            struct stat holder;
            std::string text;
            if (::fstat(folder.get(), &holder) != 0 || !readLink(entry.get(), text)) return fail(error);
            if (!mayFollow(status, holder)) {
                error = Refusal::UnsafeLink;
                return false;
            }
            if (++links > 40) {
                error = ELOOP;
                return false;
            }
            // A link of /proc names an open file (/dev/stdout): a pipe or device is taken as it is.
            Descriptor object;
            if (last && onProcFileSystem(folder.get())) {
                object.reset(
                    retryInterrupted([&] { return ::openat(folder.get(), name.c_str(), O_PATH | O_CLOEXEC); }));
                if (object.get() < 0 || ::fstat(object.get(), &status) != 0) return fail(error);
            }
            if (object.get() >= 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)) {
                place.object = std::move(object);
                place.name = name;
                place.status = status;
                place.reached = text;
                break;
            }
            if (text.empty()) {
                error = ENOENT;
                return false;
            }
            if (text[0] == '/') {
                folder = root();
                folderName = "/";
            }
            pushNames(text, names);
            followed = true;
            continue;
        }
        // 3. The last name, or a folder to go on from.
        if (last) {
            place.name = name;
            place.status = status;
            if (followed) place.reached = joinName(folderName, name);
            break;
        }
        if (!S_ISDIR(status.st_mode)) {
            error = ENOTDIR;
            return false;
        }
        folder = std::move(entry);
        folderName = joinName(folderName, name);
    }
    if (folder.get() < 0 || (place.name.empty() && ::fstat(folder.get(), &place.status) != 0)) return fail(error);
    if (place.name.empty() && followed) place.reached = folderName.empty() ? "." : folderName;
    place.folder = std::move(folder);
    if (remember && !place.reached.empty()) linkTargets_[path] = place.reached;
    return true;
}

bool PosixFileSystem::stillLeadsTo(const std::string& path, const PathPlace& place, const struct stat* seen) {
    PathPlace now;
    FileError error;
    struct stat folder;
    struct stat folderNow;
    return reach(path, now, error, false) && now.name == place.name && now.object.get() < 0 &&
           ::fstat(place.folder.get(), &folder) == 0 && ::fstat(now.folder.get(), &folderNow) == 0 &&
           sameFile(folder, folderNow) && (seen ? sameFile(*seen, now.status) : now.status.st_mode == 0);
}

namespace {

// Opens the name of place that was seen as place.status, never through a link, and checks
// that it is still that file: ELOOP or another file is Moved.
Descriptor openSeen(const PathPlace& place, int flags, FileError& error) {
    Descriptor fd(retryInterrupted(
        [&] { return ::openat(place.folder.get(), place.name.c_str(), flags | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC); }));
    struct stat status;
    if (fd.get() < 0) {
        error = errno == ELOOP ? FileError(Refusal::Moved) : lastError();
    } else if (::fstat(fd.get(), &status) != 0) {
        fail(error);
        fd.reset();
    } else if (!sameFile(status, place.status)) {
        error = Refusal::Moved;
        fd.reset();
    }
    return fd;
}

}  // namespace

// A descriptor that holds an flock and an fcntl lock on its file, and the place the file was
// found at; both locks released when destroyed.
class PosixFileSystem::Locked final : public InputFile {
public:
    Locked(Descriptor fd, std::unique_ptr<PathPlace> place) : fd_(std::move(fd)), place_(std::move(place)) {}

    bool size(std::uint64_t& bytes, FileError& error) override {
        struct stat status;
        if (::fstat(fd_.get(), &status) != 0) return fail(error);
        bytes = static_cast<std::uint64_t>(status.st_size);
        return true;
    }
    bool read(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& bytesRead, FileError& error) override {
        const ssize_t got = retryInterrupted([&] { return ::read(fd_.get(), buffer, length); });
        if (got < 0) return fail(error);
        bytesRead = static_cast<std::uint32_t>(got);
        return true;
    }
    int fd() const { return fd_.get(); }
    const PathPlace& place() const { return *place_; }

private:
    Descriptor fd_;
    std::unique_ptr<PathPlace> place_;
};

// A file locked for writing, rewritten where it was found.
class PosixFileSystem::Held final : public HeldFile {
public:
    Held(std::unique_ptr<Locked> file, std::string path, PosixFileSystem& fileSystem)
        : file_(std::move(file)), path_(std::move(path)), fileSystem_(fileSystem) {}

    InputFile& content() override { return *file_; }
    RewriteResult rewrite(const std::uint8_t* newBytes, std::uint32_t newLength, const std::uint8_t* original,
                          std::uint32_t originalLength) override {
        return fileSystem_.replaceRegular(path_, file_->place(), file_->fd(), true, newBytes, newLength, original,
                                          originalLength);
    }

private:
    std::unique_ptr<Locked> file_;
    std::string path_;
    PosixFileSystem& fileSystem_;
};

std::unique_ptr<PosixFileSystem::Locked> PosixFileSystem::openLocked(const std::string& path, bool forWriting,
                                                                     FileError& error) {
    auto place = std::make_unique<PathPlace>();
    if (!reach(path, *place, error, true)) return nullptr;
    const mode_t type = place->status.st_mode & S_IFMT;
    if (type != S_IFREG) {
        error = type == 0 ? FileError(ENOENT) : type == S_IFDIR ? FileError(EISDIR) : Refusal::NotRegularFile;
        return nullptr;
    }
    // Non-blocking, so that a pipe put in its place now does not hang the open.
    Descriptor fd = openSeen(*place, (forWriting ? O_RDWR : O_RDONLY) | O_NONBLOCK, error);
    if (fd.get() < 0) return nullptr;
    struct flock range = {};
    range.l_type = forWriting ? F_WRLCK : F_RDLCK;
    range.l_whence = SEEK_SET;  // l_start 0, l_len 0: the whole file, however it grows
    if (retryInterrupted([&] { return ::flock(fd.get(), (forWriting ? LOCK_EX : LOCK_SH) | LOCK_NB); }) != 0) {
        fail(error);
    } else if (::fcntl(fd.get(), F_OFD_SETLK, &range) != 0 && errno != EINVAL) {
        // EINVAL: a system without open-file-description locks.
        error = errno == EACCES ? FileError(EWOULDBLOCK) : lastError();
    } else if (::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK) != 0) {
        fail(error);
    } else {
        return std::make_unique<Locked>(std::move(fd), std::move(place));
    }
    return nullptr;
}

std::unique_ptr<HeldFile> PosixFileSystem::open(const std::string& path, FileError& error) {
    std::unique_ptr<Locked> file = openLocked(path, true, error);
    if (!file) return nullptr;
    return std::make_unique<Held>(std::move(file), path, *this);
}

std::unique_ptr<InputFile> PosixFileSystem::openForReading(const std::string& path, FileError& error) {
    return openLocked(path, false, error);
}

std::string PosixFileSystem::freeSpaceLocation(const std::string& path) {
    return parentFolder(path);
}

bool PosixFileSystem::freeSpace(const std::string& location, std::uint64_t& freeBytes, FileError& error) {
    struct statvfs volume;
    if (retryInterrupted([&] { return ::statvfs(location.c_str(), &volume); }) != 0) return fail(error);
    freeBytes = static_cast<std::uint64_t>(volume.f_bavail) * volume.f_frsize;
    return true;
}

bool PosixFileSystem::writeAll(int fd, const std::uint8_t* data, std::uint32_t length, bool positioned,
                               FileError& error) {
    return writeWhole(
        [&](std::uint64_t offset, const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written,
            FileError& failure) {
            const ssize_t n = call(SystemCall::Write, [&] {
                return positioned ? ::pwrite(fd, bytes, count, static_cast<off_t>(offset)) : ::write(fd, bytes, count);
            });
            if (n < 0) return fail(failure);
            written = static_cast<std::uint32_t>(n);
            return true;
        },
        data, length, error);
}

RewriteResult PosixFileSystem::writeThrough(int fd, const std::uint8_t* data, std::uint32_t length,
                                            const std::uint8_t* original, std::uint32_t originalLength) {
    // The descriptor as the shared in-place write sees it, each call behind its seam.
    class Writer final : public FileWriter {
    public:
        Writer(PosixFileSystem& fileSystem, int fd) : fileSystem_(fileSystem), fd_(fd) {}
        bool writeAt(std::uint64_t offset, const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written,
                     FileError& error) override {
            const ssize_t n = fileSystem_.call(SystemCall::Write,
                                               [&] { return ::pwrite(fd_, bytes, count, static_cast<off_t>(offset)); });
            if (n < 0) return fail(error);
            written = static_cast<std::uint32_t>(n);
            return true;
        }
        bool setEnd(std::uint64_t end, FileError& error) override {
            return fileSystem_.call(SystemCall::Truncate, [&] { return ::ftruncate(fd_, static_cast<off_t>(end)); }) ==
                       0 ||
                   fail(error);
        }
        bool flush(FileError& error) override {
            return fileSystem_.call(SystemCall::Sync, [&] { return ::fsync(fd_); }) == 0 || fail(error);
        }

    private:
        PosixFileSystem& fileSystem_;
        int fd_;
    };
    const HeldSignals held;
    Writer writer(*this, fd);
    return engine::writeThrough(writer, data, length, original, originalLength);
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
        if (got < 0 || call(SystemCall::SetAttribute, [&] { return ::fsetxattr(to, name, value.data(), got, 0); }) != 0)
            return false;
    }
    return true;
}

// Owner and group first (a change of owner clears the set-user-ID bits), then the
// attributes (ACLs among them), then the mode: created 0600, the file grants no one but its
// owner more than the original's mode and ACL at any step. False when any of them cannot
// be given.
bool PosixFileSystem::giveIdentity(int from, const struct stat& status, int to) {
    return call(SystemCall::ChangeOwner, [&] { return ::fchown(to, status.st_uid, status.st_gid); }) == 0 &&
           copyAttributes(from, to) &&
           call(SystemCall::ChangeMode, [&] { return ::fchmod(to, status.st_mode & 07777); }) == 0;
}

RewriteResult PosixFileSystem::replaceRegular(const std::string& path, const PathPlace& place, int existing,
                                              bool keepIdentity, const std::uint8_t* data, std::uint32_t length,
                                              const std::uint8_t* original, std::uint32_t originalLength) {
    FileError error;
    struct stat status = {};
    std::vector<std::uint8_t> former;
    // The way through, with the former bytes read first when the caller has none; never
    // more of them than the result holds.
    const auto through = [&]() -> RewriteResult {
        if (!original) {
            if (static_cast<std::uint64_t>(status.st_size) > length)
                return RewriteResult::failed(Refusal::RestoreTooLarge);
            former.resize(static_cast<std::size_t>(status.st_size));
            std::size_t got = 0;
            while (got < former.size()) {
                const ssize_t n = retryInterrupted(
                    [&] { return ::pread(existing, &former[got], former.size() - got, static_cast<off_t>(got)); });
                if (n < 0) return RewriteResult::failed(lastError());
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
        struct stat named;
        if (::fstat(existing, &status) != 0) return RewriteResult::failed(lastError());
        // The name no longer this file: left alone.
        if (::fstatat(place.folder.get(), place.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            !sameFile(named, status))
            return RewriteResult::failed(Refusal::Moved);
        // Several links: only writing through keeps them.
        if (keepIdentity && status.st_nlink > 1) return through();
    }
    // 1. A temporary file beside the file, with its owner, attributes and mode.
    Temporary temporary(*this, place.folder.get());
    if (!temporary.create(place.name)) return RewriteResult::failed(lastError());
    if (existing >= 0 && keepIdentity) {
        if (!giveIdentity(existing, status, temporary.fd())) {
            temporary.close();
            return through();
        }
    } else if (call(SystemCall::ChangeMode, [&] { return ::fchmod(temporary.fd(), 0666 & ~processUmask()); }) != 0) {
        return RewriteResult::failed(lastError());
    }
    // 2. The bytes, whole, on disk.
    if (!writeAll(temporary.fd(), data, length, true, error)) return RewriteResult::failed(error);
    if (call(SystemCall::Sync, [&] { return ::fsync(temporary.fd()); }) != 0 || !temporary.close())
        return RewriteResult::failed(lastError());
    // 3. In place of the file in one step, once the path is seen to lead to it still (a
    // name that was free must still be, and stays so until the rename where the system
    // can tell).
    const struct stat* const seen = existing >= 0 ? &status : nullptr;
    bool moved = false;
    const int renamed = call(SystemCall::Rename, [&] {
        moved = !stillLeadsTo(path, place, seen);
        if (moved) return -1;
        const int folder = place.folder.get();
        if (seen) return ::renameat(folder, temporary.name().c_str(), folder, place.name.c_str());
        const int kept = ::renameat2(folder, temporary.name().c_str(), folder, place.name.c_str(), RENAME_NOREPLACE);
        if (kept == 0 || errno != EINVAL) return kept;
        return ::renameat(folder, temporary.name().c_str(), folder, place.name.c_str());
    });
    if (moved || (renamed != 0 && errno == EEXIST)) return RewriteResult::failed(Refusal::Moved);
    if (renamed != 0) return RewriteResult::failed(lastError());
    temporary.commit();
    // 4. The rename made durable. The result is complete either way; a failure is told.
    RewriteResult result;
    const Descriptor folder(call(
        SystemCall::SyncFolder, [&] { return ::openat(place.folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    // EINVAL: a file system that cannot sync a folder, nor needs to.
    if ((folder.get() < 0 || call(SystemCall::SyncFolder, [&] { return ::fsync(folder.get()); }) != 0) &&
        errno != EINVAL)
        result.syncError = lastError();
    return result;
}

RewriteResult PosixFileSystem::replaceFile(const std::string& path, const std::uint8_t* data, std::uint32_t length) {
    PathPlace place;
    FileError error;
    if (!reach(path, place, error, true)) return RewriteResult::failed(error);
    const mode_t type = place.status.st_mode & S_IFMT;
    if (type == S_IFDIR) return RewriteResult::failed(EISDIR);
    if (type == 0) {
        // No file there: a new one, but never through a link that leads nowhere.
        if (!place.reached.empty()) return RewriteResult::failed(Refusal::DanglingLink);
        return replaceRegular(path, place, -1, false, data, length, nullptr, 0);
    }
    if (type != S_IFREG && type != S_IFIFO && type != S_IFCHR && type != S_IFBLK)
        return RewriteResult::failed(Refusal::NotRegularFile);
    // A regular file without waiting on anything; a pipe waits for its reader.
    const bool regular = type == S_IFREG;
    const std::string reopened = "/proc/self/fd/" + std::to_string(place.object.get());
    Descriptor fd(call(SystemCall::OpenOutput, [&] {
        if (place.object.get() < 0) return openSeen(place, regular ? O_RDWR | O_NONBLOCK : O_WRONLY, error).release();
        return ::open(reopened.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    }));
    if (fd.get() < 0) return RewriteResult::failed(error ? error : lastError());
    RewriteResult result;
    if (regular) {
        // Another user's file is kept theirs only where the result could not leak to them.
        const bool own = place.status.st_uid == ::geteuid() || place.status.st_uid == 0;
        if (!own && ::geteuid() == 0 && othersMayWrite(place.folder.get()))
            return RewriteResult::failed(Refusal::ForeignOutput);
        result = replaceRegular(path, place, fd.get(), own, data, length, nullptr, 0);
    } else if (!writeAll(fd.get(), data, length, false, result.error)) {  // a device or pipe, as cp writes one
        result = RewriteResult::failed(result.error, false);
    }
    // A regular file's result is whole and on disk before this close (renamed over it, or written through and
    // fsynced): only a device or pipe can still lose bytes here.
    const int closing = fd.release();
    if (call(SystemCall::Close, [&] { return ::close(closing); }) != 0 && result.ok && !regular)
        result = RewriteResult::failed(lastError(), false);
    return result;
}

bool isNotFound(const FileError& error) noexcept {
    return error.code == ENOENT || error.code == ENOTDIR;
}

bool isInUse(const FileError& error) noexcept {
    return error.code == EWOULDBLOCK;
}

std::string PosixFileSystem::linkTarget(const std::string& path) {
    const auto found = linkTargets_.find(path);
    return found == linkTargets_.end() ? std::string() : found->second;
}

}  // namespace engine
