// The POSIX file system on real files: locks, the output file's replacement in one step
// with failures injected at each system call, the in-place restore, and odd paths.
#include "cli/file_system_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>

#include "cli/runner.h"
#include "posix_test_support.h"
#include "samples.h"

namespace cli::testing {
namespace {

using ::testing::HasSubstr;

// Fails the chosen system call: writes after a number of bytes, fsync, or rename.
class FailingFileSystem final : public PosixFileSystem {
public:
    std::size_t writesFailAfter = SIZE_MAX;
    bool syncFails = false;
    bool renameFails = false;

    ssize_t writeAt(int fd, const void* data, size_t length, off_t offset) override {
        if (written_ >= writesFailAfter) {
            writesFailAfter = SIZE_MAX;  // once: a restore afterwards succeeds
            errno = ENOSPC;
            return -1;
        }
        const size_t allowed = std::min(length, writesFailAfter - written_);
        const ssize_t done = PosixFileSystem::writeAt(fd, data, allowed, offset);
        if (done > 0) written_ += static_cast<std::size_t>(done);
        return done;
    }
    int syncFile(int fd) override {
        if (!syncFails) return PosixFileSystem::syncFile(fd);
        errno = EIO;
        return -1;
    }
    int renameFile(const char* from, const char* to) override {
        if (!renameFails) return PosixFileSystem::renameFile(from, to);
        errno = EXDEV;
        return -1;
    }

private:
    std::size_t written_ = 0;
};

struct Result {
    int status;
    std::string out;
};

Result run(CliFileSystem& fs, std::vector<std::string> args) {
    std::ostringstream out;
    std::ostringstream err;
    Console console{out, err, false, {}};
    const int status = runCli(args, fs, console);
    return {status, out.str()};
}

TEST(PosixFileSystem, RefusesAFileAnotherProcessHoldsLocked) {
    TempFolder folder;
    const std::string path = folder.file("held.mid");
    writeFile(path, plainSong());
    const int holder = ::open(path.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);

    PosixFileSystem fs;
    EXPECT_EQ(run(fs, {path}).out, path + ": error: in use, locked by another process; left untouched\n");
    EXPECT_EQ(run(fs, {"-c", path}).out, path + ": error: in use, locked by another process\n");
    EXPECT_EQ(run(fs, {"-o", folder.file("out.mid"), path}).status, 1);
    EXPECT_EQ(readFile(path), plainSong());
    EXPECT_EQ(folder.names(), std::set<std::string>{"held.mid"});

    ::close(holder);
    EXPECT_EQ(run(fs, {path}).status, 0);
    EXPECT_EQ(readFile(path), runningStatusSong());
}

TEST(PosixFileSystem, NeverLeavesAPartialOutputOrATemporaryFile) {
    TempFolder folder;
    const std::string input = folder.file("in.mid");
    const std::string output = folder.file("out.mid");
    writeFile(input, plainSong());
    const std::vector<std::uint8_t> previous = {'o', 'l', 'd'};

    for (int step = 0; step < 3; ++step) {
        writeFile(output, previous);
        FailingFileSystem fs;
        fs.writesFailAfter = step == 0 ? 10 : SIZE_MAX;
        fs.syncFails = step == 1;
        fs.renameFails = step == 2;
        const Result result = run(fs, {"-o", output, input});
        EXPECT_EQ(result.status, 1) << step;
        EXPECT_THAT(result.out, HasSubstr(": error: cannot write " + output + ": ")) << step;
        EXPECT_EQ(readFile(output), previous) << step;
        EXPECT_EQ(readFile(input), plainSong()) << step;
        EXPECT_EQ(folder.names(), (std::set<std::string>{"in.mid", "out.mid"})) << step;
    }
}

TEST(PosixFileSystem, OutputKeepsThePermissionsOfTheFileItReplaces) {
    TempFolder folder;
    const std::string input = folder.file("in.mid");
    const std::string output = folder.file("out.mid");
    writeFile(input, plainSong());
    writeFile(output, {'o', 'l', 'd'});
    ASSERT_EQ(::chmod(output.c_str(), 0640), 0);
    PosixFileSystem fs;
    ASSERT_EQ(run(fs, {"-o", output, input}).status, 0);
    EXPECT_EQ(readFile(output), runningStatusSong());
    struct stat status;
    ASSERT_EQ(::stat(output.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
}

TEST(PosixFileSystem, PutsTheOriginalBackWhenAnInPlaceWriteFails) {
    TempFolder folder;
    const std::string path = folder.file("a.mid");
    writeFile(path, plainSong());
    FailingFileSystem fs;
    fs.writesFailAfter = 20;
    const Result result = run(fs, {path});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, path + ": error: cannot be written: No space left on device; its original content was put back\n");
    EXPECT_EQ(readFile(path), plainSong());
}

TEST(PosixFileSystem, RefusesWhatIsNotARegularFileWithoutWaiting) {
    TempFolder folder;
    const std::string pipe = folder.file("pipe.mid");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    PosixFileSystem fs;
    EXPECT_EQ(run(fs, {pipe}).out, pipe + ": error: cannot be opened: not a regular file\n");
    EXPECT_EQ(run(fs, {"-c", pipe}).out, pipe + ": error: cannot be opened: not a regular file\n");
}

TEST(PosixFileSystem, MeasuresFreeSpaceInTheFolderThatHoldsTheFile) {
    EXPECT_EQ(parentFolder("song.mid"), ".");
    EXPECT_EQ(parentFolder("/song.mid"), "/");
    EXPECT_EQ(parentFolder("midi//song.mid"), "midi");
    EXPECT_EQ(parentFolder("/a/b/song.mid"), "/a/b");
    EXPECT_EQ(parentFolder("/a/b/"), "/a");
}

}  // namespace
}  // namespace cli::testing
