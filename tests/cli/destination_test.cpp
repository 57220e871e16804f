// Where quorin-cli puts a result and whose file it stays: --output destinations of every
// kind, owner, mode and links kept, locks of every kind honoured, standard input and
// output, and the stop signals' exit status.
#include "cli/file_system_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pthread.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "test_support.h"

namespace cli::testing {
namespace {

using ::testing::HasSubstr;

struct stat statusOf(const std::string& path, bool follow = true) {
    struct stat status = {};
    EXPECT_EQ(follow ? ::stat(path.c_str(), &status) : ::lstat(path.c_str(), &status), 0) << path;
    return status;
}

TEST(CliOutput, NeverReplacesWhatIsNotARegularFile) {
    TempFolder folder;
    PosixFileSystem fs;
    const std::string in = folder.file("in.mid");
    writeFile(in, plainSong());
    const std::string target = folder.file("target.mid");
    writeFile(target, {'o', 'l', 'd'});
    ASSERT_EQ(::symlink("target.mid", folder.file("link.mid").c_str()), 0);
    ASSERT_EQ(::symlink("new.mid", folder.file("dangling.mid").c_str()), 0);
    ASSERT_EQ(::mkfifo(folder.file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(folder.file("songs").c_str(), 0700), 0);
    Bytes fromFifo;
    std::thread reader([&] { fromFifo = readFile(folder.file("fifo")); });

    const struct {
        std::string output;
        int status;
        std::string written;  // the file that must hold the result, "" for none
    } cases[] = {
        {folder.file("link.mid"), 0, target},        // the target replaced, the link kept
        {folder.file("dangling.mid"), 0, folder.file("new.mid")},
        {folder.file("fifo"), 0, ""},                // written through, still a FIFO
        {"/dev/null", 0, ""},                        // written through, still a device
        {"/dev/full", 1, ""},                        // a device that refuses the bytes
        {folder.file("songs"), 1, ""},               // a folder is an error
    };
    for (const auto& c : cases) {
        const Result result = run(fs, {"-o", c.output, in});
        EXPECT_EQ(result.status, c.status) << c.output;
        if (!c.written.empty()) {
            EXPECT_EQ(readFile(c.written), runningStatusSong()) << c.output;
        }
    }
    reader.join();
    EXPECT_EQ(fromFifo, runningStatusSong());
    EXPECT_TRUE(S_ISLNK(statusOf(folder.file("link.mid"), false).st_mode));
    EXPECT_TRUE(S_ISLNK(statusOf(folder.file("dangling.mid"), false).st_mode));
    EXPECT_TRUE(S_ISFIFO(statusOf(folder.file("fifo")).st_mode));
    EXPECT_TRUE(S_ISCHR(statusOf("/dev/null").st_mode));
    // In place, a link's target is replaced, the link kept.
    EXPECT_EQ(run(fs, {"-r", "off", folder.file("link.mid")}).status, 0);
    EXPECT_EQ(readFile(target), plainSong());
    EXPECT_TRUE(S_ISLNK(statusOf(folder.file("link.mid"), false).st_mode));
    EXPECT_THAT(run(fs, {"-o", folder.file("songs"), in}).err, HasSubstr("cannot write " + folder.file("songs") +
                                                                          ": Is a directory; "));
    EXPECT_EQ(readFile(in), plainSong());
}

// Up to 40 links are followed, as open() does; a loop is refused.
TEST(CliOutput, FollowsAChainOfLinksButNotALoop) {
    TempFolder folder;
    PosixFileSystem fs;
    const std::string in = folder.file("in.mid");
    writeFile(in, plainSong());
    for (int i = 1; i <= 41; ++i)
        ASSERT_EQ(::symlink(("l" + std::to_string(i - 1)).c_str(), folder.file("l" + std::to_string(i)).c_str()), 0);
    ASSERT_EQ(::symlink("self", folder.file("self").c_str()), 0);
    EXPECT_EQ(run(fs, {"-o", folder.file("l40"), in}).status, 0);
    EXPECT_EQ(readFile(folder.file("l0")), runningStatusSong());
    EXPECT_EQ(run(fs, {"-o", folder.file("l41"), in}).err,
              in + ": error: cannot write " + folder.file("l41") + ": Too many levels of symbolic links; " +
                  folder.file("l41") + " was left as it was\n");
    EXPECT_EQ(run(fs, {"-o", folder.file("self"), in}).status, 1);
}

// A stop signal ends an open of a FIFO that no one reads instead of waiting on.
TEST(CliOutput, AStopSignalEndsAWaitForAFifoReader) {
    TempFolder folder;
    PosixFileSystem fs;
    const std::string in = folder.file("in.mid");
    const std::string fifo = folder.file("fifo");
    writeFile(in, plainSong());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Interrupts this thread once it waits in openat (or after 10 seconds).
    const pthread_t main = ::pthread_self();
    const std::string syscall = "/proc/self/task/" + std::to_string(::gettid()) + "/syscall";
    std::thread interrupter([main, syscall] {
        for (int i = 0; i < 1000; ++i) {
            const Bytes now = readFile(syscall);
            if (std::string(now.begin(), now.end()).rfind(std::to_string(SYS_openat) + " ", 0) == 0) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::pthread_kill(main, SIGINT);
    });
    const Result result = run(fs, {"-o", fifo, in});
    interrupter.join();
    EXPECT_EQ(result.status, 128 + SIGINT);
    EXPECT_EQ(result.err, in + ": error: cannot write " + fifo + ": Interrupted system call; " + fifo +
                              " was left as it was\n");
}

// Run as root, a file of another user keeps its owner, group and mode (set-user-ID bit
// included); run as that other user, a file it cannot give away is written through, and
// gains no set-user-ID bit under a new owner.
TEST(CliOutput, KeepsOwnerGroupModeAndLinks) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to own files of another user";
    TempFolder folder;
    PosixFileSystem fs;
    ASSERT_EQ(::chmod(folder.path().c_str(), 0777), 0);
    const std::string theirs = folder.file("theirs.mid");
    const std::string out = folder.file("out.mid");
    writeFile(theirs, plainSong());
    writeFile(out, {'o', 'l', 'd'});
    for (const std::string& path : {theirs, out}) {
        ASSERT_EQ(::chown(path.c_str(), 4242, 4343), 0);
        ASSERT_EQ(::chmod(path.c_str(), 06766), 0);
    }
    EXPECT_EQ(run(fs, {theirs}).status, 0);
    EXPECT_EQ(run(fs, {"-r", "off", "-o", out, theirs}).status, 0);
    for (const std::string& path : {theirs, out}) {
        const struct stat status = statusOf(path);
        EXPECT_EQ(status.st_uid, 4242u) << path;
        EXPECT_EQ(status.st_gid, 4343u) << path;
        EXPECT_EQ(status.st_mode & 07777, 06766u) << path;
    }
    EXPECT_EQ(readFile(theirs), runningStatusSong());
    EXPECT_EQ(readFile(out), plainSong());

    // As user 4444: same file (inode), same owner, the result in it.
    const ino_t inode = statusOf(theirs).st_ino;
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(4444) != 0 || ::setuid(4444) != 0) ::_exit(90);
        PosixFileSystem own;
        ::_exit(run(own, {"-r", "off", theirs}).status == 0 && run(own, {"-o", out, theirs}).status == 0 ? 0 : 91);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(statusOf(theirs).st_ino, inode);
    for (const std::string& path : {theirs, out}) {
        EXPECT_EQ(statusOf(path).st_uid, 4242u) << path;
        EXPECT_EQ(statusOf(path).st_mode & 06000, 0u) << path << ": written by another user, no longer set-ID";
    }
    EXPECT_EQ(readFile(theirs), plainSong());
    EXPECT_EQ(readFile(out), runningStatusSong());
}

// A file under a lock of any kind held by another process is in use and left alone.
TEST(CliLocks, HonoursFcntlAndLockfLocks) {
    TempFolder folder;
    PosixFileSystem fs;
    const std::string path = folder.file("held.mid");
    writeFile(path, plainSong());
    for (const bool classic : {false, true}) {  // an OFD read lock; a lockf (write) lock
        int ready[2];
        int release[2];
        ASSERT_EQ(::pipe(ready), 0);
        ASSERT_EQ(::pipe(release), 0);
        const pid_t holder = ::fork();
        if (holder == 0) {
            const int fd = ::open(path.c_str(), O_RDWR);
            struct flock range = {};
            range.l_type = F_RDLCK;
            range.l_whence = SEEK_SET;
            const char locked = (classic ? ::lockf(fd, F_TLOCK, 0) : ::fcntl(fd, F_OFD_SETLK, &range)) == 0;
            char ignored;
            ::close(release[1]);
            if (::write(ready[1], &locked, 1) != 1 || ::read(release[0], &ignored, 1) < 0) ::_exit(1);
            ::_exit(0);
        }
        ::close(release[0]);
        char locked = 0;
        ASSERT_EQ(::read(ready[0], &locked, 1), 1);
        ASSERT_TRUE(locked);
        const Result result = run(fs, {path});
        EXPECT_EQ(result.status, 1) << classic;
        EXPECT_EQ(result.err, path + ": error: in use, locked by another process; left untouched\n") << classic;
        EXPECT_EQ(run(fs, {"-c", path}).status, classic ? 1 : 0) << "a read lock lets --check read";
        EXPECT_EQ(readFile(path), plainSong());
        for (const int fd : {ready[0], ready[1], release[1]}) ::close(fd);
        ::waitpid(holder, nullptr, 0);
    }
    EXPECT_EQ(run(fs, {path}).status, 0);
}

// The run goes on to the end of the file at hand and lists the rest as not processed.
TEST(CliSignals, StopTheRunWith128PlusTheSignal) {
    class Interrupting final : public PosixFileSystem {
        int beforeCall(SystemCall call) override {
            if (call == SystemCall::Rename) ::raise(SIGINT);
            return 0;
        }
    } fs;
    TempFolder folder;
    const std::string a = folder.file("a.mid");
    const std::string b = folder.file("b.mid");
    writeFile(a, plainSong());
    writeFile(b, plainSong());
    const Result result = run(fs, {a, b});
    EXPECT_EQ(result.status, 128 + SIGINT);
    EXPECT_EQ(result.out, a + ": converted, 34 -> 33 bytes\n");
    EXPECT_EQ(result.err, b + ": not processed, the run stopped\n");
    EXPECT_EQ(readFile(b), plainSong());
    EXPECT_EQ(folder.names(), (std::set<std::string>{"a.mid", "b.mid"}));
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction now;
        ::sigaction(signal, nullptr, &now);
        EXPECT_EQ(now.sa_handler, SIG_DFL) << "handling given back after the run, signal " << signal;
    }
}

// Through the binary: "-" pipes in and out; a report that cannot be written is exit 1.
TEST(CliStreams, PipesAndAFullStandardOutput) {
    TempFolder folder;
    const std::string in = folder.file("in.mid");
    writeFile(in, plainSong());
    const std::string cli = QUORIN_CLI_PATH;
    const std::string err = folder.file("err");
    const std::pair<std::string, int> cases[] = {
        {cli + " - < " + in + " 2>/dev/null | " + cli + " -r off -o - - 2>/dev/null | cmp -s - " + in, 0},
        {cli + " -r off -o " + folder.file("out.mid") + " " + in + " > /dev/full 2> " + err, 1},
    };
    for (const auto& [command, expected] : cases) {
        const int status = std::system(command.c_str());
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, expected) << command;
    }
    const Bytes text = readFile(err);
    EXPECT_EQ(std::string(text.begin(), text.end()), "quorin-cli: write error: No space left on device\n");
    EXPECT_EQ(readFile(folder.file("out.mid")), plainSong());
}

}  // namespace
}  // namespace cli::testing
