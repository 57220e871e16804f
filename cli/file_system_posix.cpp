// POSIX implementation of quorin-cli's file system.
#include "cli/file_system_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace cli {

namespace {

// Retries a call interrupted by a signal.
template <typename Call>
auto retry(Call call) -> decltype(call()) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

bool fail(SystemError& error) {
    error = static_cast<SystemError>(errno);
    return false;
}

// An open descriptor holding an flock; both released when destroyed.
class PosixOpenFile final : public convert::OpenFile {
public:
    PosixOpenFile(PosixFileSystem& fileSystem, int fd, bool writable)
        : fileSystem_(fileSystem), fd_(fd), writable_(writable) {}
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

    bool truncate(SystemError& error) override {
        return cutAt(0, error);
    }

    // Cuts the file at length and moves the position there.
    bool cutAt(std::uint32_t length, SystemError& error) {
        if (!writable_) return readOnly(error);
        if (retry([&] { return ::ftruncate(fd_, length); }) != 0) return fail(error);
        position_ = length;
        return true;
    }

    // Writes all of data from offset 0 on, over what is there.
    bool overwrite(const std::uint8_t* data, std::uint32_t length, SystemError& error) {
        position_ = 0;
        return convert::writeAll(*this, data, length, error);
    }

    bool write(const std::uint8_t* data, std::uint32_t length, std::uint32_t& written, SystemError& error) override {
        if (!writable_) return readOnly(error);
        const ssize_t done = retry([&] { return fileSystem_.writeAt(fd_, data, length, position_); });
        if (done < 0) return fail(error);
        written = static_cast<std::uint32_t>(done);
        position_ += done;
        return true;
    }

    bool flush(SystemError& error) override {
        if (!writable_) return readOnly(error);
        if (retry([&] { return fileSystem_.syncFile(fd_); }) != 0) return fail(error);
        return true;
    }

private:
    static bool readOnly(SystemError& error) {
        error = EBADF;
        return false;
    }

    PosixFileSystem& fileSystem_;
    int fd_;
    bool writable_;
    off_t position_ = 0;
};

// The temporary file of replaceFile: unlinked unless committed.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string name) : name_(std::move(name)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!committed_) ::unlink(name_.c_str());
    }
    // The name template is replaced by the name of the file created; false on failure.
    bool create() {
        std::vector<char> buffer(name_.begin(), name_.end());
        buffer.push_back('\0');
        fd_ = ::mkostemp(buffer.data(), O_CLOEXEC);
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
        return ::close(fd) == 0;
    }
    void commit() { committed_ = true; }
    int fd() const { return fd_; }
    const std::string& name() const { return name_; }

private:
    std::string name_;
    int fd_ = -1;
    bool committed_ = false;
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

}  // namespace

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
    const bool statusKnown = ::fstat(fd, &status) == 0;
    if (!statusKnown || !S_ISREG(status.st_mode)) {
        if (statusKnown) {
            error = kNotRegularFile;
        } else {
            fail(error);
        }
        ::close(fd);
        return nullptr;
    }
    if (retry([&] { return ::flock(fd, (forWriting ? LOCK_EX : LOCK_SH) | LOCK_NB); }) != 0 ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        fail(error);
        ::close(fd);
        return nullptr;
    }
    try {
        return std::make_unique<PosixOpenFile>(*this, fd, forWriting);
    } catch (...) {
        ::close(fd);
        throw;
    }
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

bool PosixFileSystem::replaceFile(const std::string& path, const std::uint8_t* data, std::uint32_t length,
                                  SystemError& error) {
    // 1. A new file beside path, with the permissions path has or a new file would get.
    TemporaryFile temporary(temporaryTemplate(path));
    if (!temporary.create()) return fail(error);
    struct stat existing;
    const mode_t mode = ::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)
                            ? (existing.st_mode & 07777)
                            : (0666 & ~processUmask());
    if (::fchmod(temporary.fd(), mode) != 0) return fail(error);
    // 2. The bytes, whole, on disk.
    std::uint32_t done = 0;
    while (done < length) {
        const ssize_t written = retry([&] { return writeAt(temporary.fd(), data + done, length - done, done); });
        if (written < 0) return fail(error);
        if (written == 0) {
            error = EIO;
            return false;
        }
        done += static_cast<std::uint32_t>(written);
    }
    if (retry([&] { return syncFile(temporary.fd()); }) != 0) return fail(error);
    if (!temporary.close()) return fail(error);
    // 3. In place of path in one step.
    if (renameFile(temporary.name().c_str(), path.c_str()) != 0) return fail(error);
    temporary.commit();
    // Make the rename itself durable; the result is complete either way.
    const int folder = ::open(parentFolder(path).c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

convert::RewriteResult PosixFileSystem::rewrite(const std::string& path, convert::OpenFile& file,
                                                const std::uint8_t* newBytes, std::uint32_t newLength,
                                                const std::uint8_t* original, std::uint32_t originalLength) {
    auto* const posixFile = dynamic_cast<PosixOpenFile*>(&file);
    if (!posixFile) return CliFileSystem::rewrite(path, file, newBytes, newLength, original, originalLength);
    convert::RewriteResult result;
    if (posixFile->overwrite(newBytes, newLength, result.error) && posixFile->cutAt(newLength, result.error))
        return result;
    result.ok = false;
    SystemError ignored = 0;
    result.restored =
        posixFile->overwrite(original, originalLength, ignored) && posixFile->cutAt(originalLength, ignored);
    return result;
}

bool PosixFileSystem::isLockConflict(SystemError error) {
    return error == static_cast<SystemError>(EWOULDBLOCK);
}

std::string PosixFileSystem::errorText(SystemError error) {
    if (error == 0) return std::string();
    if (error == kNotRegularFile) return "not a regular file";
    return std::strerror(static_cast<int>(error));
}

ssize_t PosixFileSystem::writeAt(int fd, const void* data, size_t length, off_t offset) {
    return ::pwrite(fd, data, length, offset);
}

int PosixFileSystem::syncFile(int fd) {
    return ::fsync(fd);
}

int PosixFileSystem::renameFile(const char* from, const char* to) {
    return ::rename(from, to);
}

std::unique_ptr<CliFileSystem> makePlatformFileSystem() {
    return std::make_unique<PosixFileSystem>();
}

bool standardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace cli
