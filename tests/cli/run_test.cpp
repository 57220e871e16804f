// quorin-cli in-process on real temporary files through the POSIX file system, with
// failures injected at its system calls: what each option does, the lines and exit
// statuses, where a result goes and whose file it stays, and that a failure never changes
// a file it should not.
#include "cli/file_system_posix.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <functional>
#include <map>
#include <thread>
#include <tuple>

#include "test_support.h"

namespace cli::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// The POSIX file system with a fixed free space, the calls named in failing failing with
// their error (the first failuresLeft times), and a signal raised before a rename.
class TestFileSystem final : public PosixFileSystem {
public:
    std::uint64_t freeBytes = 1u << 30;
    std::map<SystemCall, int> failing;
    int failuresLeft = 1 << 30;
    int signalAtRename = 0;
    int writes = 0;  // calls of write or pwrite, in place or to a temporary file

    bool freeSpace(const std::string&, std::uint64_t& bytes, SystemError&) override {
        bytes = freeBytes;
        return true;
    }
    int beforeCall(SystemCall call) override {
        if (call == SystemCall::Write) ++writes;
        if (call == SystemCall::Rename && signalAtRename) ::raise(signalAtRename);
        const auto found = failing.find(call);
        if (found == failing.end() || failuresLeft == 0) return 0;
        --failuresLeft;
        return found->second;
    }
};

struct stat statusOf(const std::string& path, bool follow = true) {
    struct stat status = {};
    EXPECT_EQ(follow ? ::stat(path.c_str(), &status) : ::lstat(path.c_str(), &status), 0) << path;
    return status;
}

class CliRun : public ::testing::Test {
protected:
    TempFolder folder;
    TestFileSystem fs;
    const std::string notFound = ": error: cannot be found: No such file or directory\n";
};

TEST_F(CliRun, ConvertsInPlaceBothWaysAndWritesOnlyWhatChanges) {
    const std::string a = folder.put("a.mid", plainSong());
    EXPECT_EQ(run(fs, {"--runn", "on", a}).out, a + ": converted, 34 -> 33 bytes\n");
    EXPECT_EQ(readFile(a), runningStatusSong());
    fs.writes = 0;
    fs.freeBytes = 0;
    const Result same = run(fs, {a});
    EXPECT_EQ(std::tie(same.status, same.out, same.err), std::make_tuple(0, a + ": unchanged, 33 bytes\n", ""));
    EXPECT_EQ(fs.writes, 0);
    fs.freeBytes = 1u << 30;
    EXPECT_EQ(run(fs, {"-roff", a}).out, a + ": converted, 33 -> 34 bytes\n");
    EXPECT_EQ(readFile(a), plainSong());

    // Every spelling of --output; a result equal to its input is a copy.
    const std::string copy = folder.file("copy.mid");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--output=" + copy, "--running-status=off", a}, {"-o" + copy, a, "-r", "off"}}) {
        EXPECT_EQ(run(fs, args).out, a + ": copied unchanged to " + copy + ", 34 bytes\n");
        EXPECT_EQ(readFile(copy), plainSong());
    }
    EXPECT_EQ(run(fs, {"-v", "-o", copy, a}).out, a + ": converted to " + copy + ", 34 -> 33 bytes (1073741824 bytes "
              "free in " + folder.path() + ")\n1 file: 1 converted, 0 unchanged, 0 skipped, 0 failed\n");
}

// A chunk of another type, then 2 bytes after the declared chunks: named wherever they
// are lost. A track after the declared chunks refuses the file instead of losing it.
TEST_F(CliRun, NamesWhatTheResultLeavesOutAndNeverLosesATrack) {
    const Bytes whole = runningStatusSong();
    const Bytes track(whole.begin() + 14, whole.end());
    Bytes song = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 2, 0, 0x60, 'X', 'F', 'I', 'H', 0, 0, 0, 1, 0x7E};
    song.insert(song.end(), track.begin(), track.end());
    Bytes lost = song;
    song.insert(song.end(), {0x0A, 0x0B});
    lost.insert(lost.end(), track.begin(), track.end());
    const std::string path = folder.put("two\nlines.mid", song);
    const std::string shown = "'" + folder.path() + "/two'$'\\n''lines.mid'";
    const std::string leftOut = " (left out: chunk XFIH, 2 bytes after the last chunk)\n";
    EXPECT_EQ(run(fs, {"-c", path}).out,
              shown + ": valid Standard MIDI File, format 0, 1 track, 96 ticks per quarter note, 3 events, uses "
                      "running status (1 event); 33 bytes with running status, 34 bytes without" + leftOut);
    EXPECT_EQ(run(fs, {path}).out, shown + ": converted, 44 -> 33 bytes" + leftOut);
    EXPECT_EQ(readFile(path), runningStatusSong());

    const std::string bad = folder.put("bad.mid", lost);
    fs.writes = 0;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{bad}, {"-o", folder.file("o.mid"), bad}, {"-c", bad}}) {
        const Result result = run(fs, args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, bad + ": error: not a valid Standard MIDI File: chunk 3 at offset 0x2A: A track "
                                    "chunk follows the 2 chunks the header declares" +
                                  (args[0] == "-c" ? "\n" : "; left untouched\n"));
    }
    EXPECT_EQ(readFile(bad), lost);
    EXPECT_EQ(fs.writes, 0);
    EXPECT_EQ(folder.names().count("o.mid"), 0u);
}

TEST_F(CliRun, ChecksWithoutChangingAnything) {
    // Format 1, division 480: a track of End of Track alone, then the plain song's track;
    // and the plain song behind a MacBinary header.
    const Bytes plain = plainSong();
    Bytes two = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0x01, 0xE0, 'M', 'T', 'r', 'k', 0, 0, 0, 4, 0, 0xFF, 0x2F, 0};
    two.insert(two.end(), plain.begin() + 14, plain.end());
    Bytes mac(128, 0);
    mac.insert(mac.end(), plain.begin(), plain.end());
    const std::string twoPath = folder.put("two.mid", two);
    const std::string macPath = folder.put("mac.mid", mac);
    fs.failing = {{SystemCall::Write, EIO}, {SystemCall::CreateTemporary, EIO}, {SystemCall::Rename, EIO}};
    const Result result = run(fs, {"-cv", twoPath, macPath, folder.path()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, twoPath + ": valid Standard MIDI File, format 1, 2 tracks, 480 ticks per quarter note, "
                                    "4 events, does not use running status; 45 bytes with running status, 46 bytes "
                                    "without (now 46 bytes)\n" +
                              macPath + ": valid Standard MIDI File, format 0, 1 track, 96 ticks per quarter note, "
                                        "3 events, does not use running status; 33 bytes with running status, 34 "
                                        "bytes without (now 162 bytes, behind a MacBinary header)\n" +
                              folder.path() + ": skipped, folder\n3 files: 2 valid, 1 skipped, 0 failed\n");
    EXPECT_EQ(readFile(twoPath), two);
    EXPECT_EQ(readFile(macPath), mac);
}

// No room, or a stop signal: the file at hand is left untouched (no room) or finished (a
// signal, then 128 + its number); the rest is named as not processed.
TEST_F(CliRun, StopsTheRunAndNamesTheFilesNotProcessed) {
    const std::string a = folder.put("a.mid", plainSong());
    const std::string b = folder.put("b.mid", plainSong());
    fs.freeBytes = 66;  // exactly twice the new size: not enough
    Result result = run(fs, {a, b});
    EXPECT_EQ(std::tie(result.status, result.out, result.err),
              std::make_tuple(1, "", a + ": error: not enough free space in " + folder.path() +
                                         " (66 bytes free, more than 66 bytes needed); left untouched, stopping\n" +
                                         b + ": not processed, the run stopped\n"));
    EXPECT_EQ(readFile(a), plainSong());
    fs.freeBytes = 67;
    fs.signalAtRename = SIGINT;
    result = run(fs, {a, b});
    EXPECT_EQ(std::tie(result.status, result.out, result.err),
              std::make_tuple(128 + SIGINT, a + ": converted, 34 -> 33 bytes\n",
                              b + ": not processed, the run stopped\n"));
    EXPECT_EQ(readFile(b), plainSong());
    EXPECT_EQ(folder.names(), (std::set<std::string>{"a.mid", "b.mid"}));
    const auto terminate = [] { return ::raise(SIGTERM), std::chrono::steady_clock::now(); };  // during a's check
    result = run(fs, {"-c", a, b}, true, terminate);
    EXPECT_EQ(result.status, 128 + SIGTERM);
    EXPECT_THAT(result.out, HasSubstr(a + ": valid Standard MIDI File"));
    EXPECT_THAT(result.err, HasSubstr(b + ": not processed, the run stopped\n"));
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction now;
        ::sigaction(signal, nullptr, &now);
        EXPECT_EQ(now.sa_handler, SIG_DFL) << "handling given back after the run, signal " << signal;
    }
}

// Another holder's flock, OFD or lockf lock: in use, left alone. A shared hold still lets
// the file be read for --check and --output. (A lockf lock is the process's, and ends when
// the process closes any descriptor of the file, as the first run does.)
TEST_F(CliRun, RefusesAFileAnotherHolderLocked) {
    const std::string path = folder.put("held.mid", plainSong());
    const std::string locked = path + ": error: in use, locked by another process";
    struct flock range = {};
    range.l_type = F_RDLCK;
    const std::function<bool(int)> locks[] = {
        [](int fd) { return ::flock(fd, LOCK_SH | LOCK_NB) == 0; },
        [&range](int fd) { return ::fcntl(fd, F_OFD_SETLK, &range) == 0; },
        [](int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; },
        [](int fd) { return ::lockf(fd, F_TLOCK, 0) == 0; },
    };
    for (int kind = 0; kind < 4; ++kind) {
        const int holder = ::open(path.c_str(), O_RDWR);
        ASSERT_TRUE(locks[kind](holder)) << kind;
        const bool shared = kind < 2;
        EXPECT_EQ(run(fs, {path}).err, locked + "; left untouched\n") << kind;
        EXPECT_EQ(run(fs, {"-c", path}).err, shared || kind == 3 ? "" : locked + "\n") << kind;
        EXPECT_EQ(run(fs, {"-o", folder.file("out.mid"), path}).status, shared || kind == 3 ? 0 : 1) << kind;
        EXPECT_EQ(readFile(path), plainSong()) << kind;
        ::close(holder);
    }
    EXPECT_EQ(run(fs, {path}).status, 0);
}

// A failed write through (a file with a second link) is undone from the bytes read, or
// said not to be; a failed --output at any step leaves the old output, its mode and no
// temporary file.
TEST_F(CliRun, FailedWritesLeaveTheFormerBytesAndSaySo) {
    const std::string a = folder.put("a.mid", plainSong());
    ASSERT_EQ(::link(a.c_str(), folder.file("link.mid").c_str()), 0);
    fs.failing = {{SystemCall::Write, ENOSPC}};
    fs.failuresLeft = 1;
    EXPECT_EQ(run(fs, {a}).err, a + ": error: cannot be written: No space left on device; its original content "
                                    "was put back\n");
    EXPECT_EQ(readFile(a), plainSong());
    TestFileSystem failing;
    failing.failing = {{SystemCall::Truncate, EIO}};
    EXPECT_EQ(run(failing, {a}).err, a + ": error: cannot be written: Input/output error; its original content "
                                         "could NOT be put back, the file is damaged\n");
    ::unlink(folder.file("link.mid").c_str());

    const std::string in = folder.put("in.mid", plainSong());
    for (const SystemCall step : {SystemCall::Write, SystemCall::Sync, SystemCall::Rename, SystemCall::OpenOutput}) {
        const std::string out = folder.put("out.mid", {'o', 'l', 'd'});
        ASSERT_EQ(::chmod(out.c_str(), 0640), 0);
        TestFileSystem failingAt;
        failingAt.failing = {{step, EIO}};
        const Result result = run(failingAt, {"-o", out, in});
        EXPECT_EQ(result.status, 1);
        EXPECT_THAT(result.err, HasSubstr(in + ": error: cannot write " + out + ": "));
        EXPECT_EQ(readFile(out), Bytes({'o', 'l', 'd'}));
        EXPECT_EQ(statusOf(out).st_mode & 07777, 0640u);
        EXPECT_EQ(folder.names(), (std::set<std::string>{"a.mid", "in.mid", "out.mid"}));
    }
    EXPECT_EQ(readFile(in), plainSong());
}

// A link is followed and stays a link, in place and as --output; a FIFO and a device are
// written through; a folder is an error.
TEST_F(CliRun, NeverReplacesWhatIsNotARegularFile) {
    const std::string in = folder.put("in.mid", plainSong());
    const std::string target = folder.put("target.mid", {'o', 'l', 'd'});
    ASSERT_EQ(::symlink("target.mid", folder.file("link.mid").c_str()), 0);
    ASSERT_EQ(::symlink(folder.file("new.mid").c_str(), folder.file("dangling.mid").c_str()), 0);
    ASSERT_EQ(::mkfifo(folder.file("fifo").c_str(), 0600), 0);
    // Device nodes of the test's own where it may make them, so that a fault that replaced
    // a device never replaces the system's /dev/null.
    const auto device = [&](const char* name, unsigned minor) {
        const std::string path = folder.file(name);
        return ::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, minor)) == 0 ? path : std::string("/dev/") + name;
    };
    const std::string null = device("null", 3);
    const std::string full = device("full", 7);
    Bytes fromFifo;
    std::thread reader([&] { fromFifo = readFile(folder.file("fifo")); });
    const std::tuple<std::string, int, std::string> cases[] = {
        {folder.file("link.mid"), 0, target},
        {folder.file("dangling.mid"), 0, folder.file("new.mid")},
        {folder.file("fifo"), 0, ""},
        {null, 0, ""},
        {full, 1, ""},
    };
    for (const auto& [output, status, written] : cases) {
        EXPECT_EQ(run(fs, {"-o", output, in}).status, status) << output;
        if (!written.empty()) {
            EXPECT_EQ(readFile(written), runningStatusSong()) << output;
        }
    }
    reader.join();
    EXPECT_EQ(fromFifo, runningStatusSong());
    EXPECT_EQ(run(fs, {"-r", "off", folder.file("link.mid")}).status, 0);
    EXPECT_EQ(readFile(target), plainSong());
    EXPECT_TRUE(S_ISLNK(statusOf(folder.file("link.mid"), false).st_mode));
    EXPECT_TRUE(S_ISLNK(statusOf(folder.file("dangling.mid"), false).st_mode));
    EXPECT_TRUE(S_ISFIFO(statusOf(folder.file("fifo")).st_mode));
    EXPECT_TRUE(S_ISCHR(statusOf(null).st_mode));
    EXPECT_TRUE(S_ISCHR(statusOf(full).st_mode));
    EXPECT_THAT(run(fs, {"-o", folder.path(), in}).err, HasSubstr("cannot write " + folder.path() + ": Is a directory; "));
    EXPECT_EQ(readFile(in), plainSong());

    // Up to 40 links are followed, as open() does; a loop is refused.
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

// Temporary files go beside the file, and its free space is the folder's.
TEST(CliFolder, IsTheFolderThatHoldsThePath) {
    const std::pair<const char*, const char*> cases[] = {
        {"a.mid", "."}, {"/a.mid", "/"}, {"//a.mid", "/"}, {"d/a.mid", "d"}, {"d//a.mid", "d"},
        {"/d/e/a.mid", "/d/e"}, {"d/e/", "d"}, {"d/e//", "d"}, {"a/", "."}, {"/", "/"}, {"", "."},
    };
    for (const auto& [path, folder] : cases) EXPECT_EQ(parentFolder(path), folder) << path;
}

// A stop signal ends an open of a FIFO that no one reads instead of waiting on.
TEST_F(CliRun, AStopSignalEndsAWaitForAFifoReader) {
    const std::string in = folder.put("in.mid", plainSong());
    const std::string fifo = folder.file("fifo");
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

// As root, another user's file keeps its owner, group and mode (set-ID bits included). As
// that user, a file it cannot give away is written through: the same inode, no set-ID bits.
TEST_F(CliRun, KeepsOwnerGroupAndMode) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to own files of another user";
    ASSERT_EQ(::chmod(folder.path().c_str(), 0777), 0);
    const std::string theirs = folder.put("theirs.mid", plainSong());
    const std::string out = folder.put("out.mid", {'o', 'l', 'd'});
    for (const std::string& path : {theirs, out}) {
        ASSERT_EQ(::chown(path.c_str(), 4242, 4343), 0);
        ASSERT_EQ(::chmod(path.c_str(), 06766), 0);
    }
    EXPECT_EQ(run(fs, {theirs}).status, 0);
    EXPECT_EQ(run(fs, {"-r", "off", "-o", out, theirs}).status, 0);
    for (const std::string& path : {theirs, out}) {
        const struct stat status = statusOf(path);
        EXPECT_EQ(std::make_tuple(status.st_uid, status.st_gid, status.st_mode & 07777), std::make_tuple(4242u, 4343u, 06766u)) << path;
    }
    EXPECT_EQ(readFile(out), plainSong());
    const ino_t inode = statusOf(theirs).st_ino;
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(4444) != 0 || ::setuid(4444) != 0) ::_exit(90);
        ::_exit(run(fs, {"-r", "off", theirs}).status * 10 + run(fs, {"-o", out, theirs}).status);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(statusOf(theirs).st_ino, inode);
    for (const std::string& path : {theirs, out}) {
        EXPECT_EQ(statusOf(path).st_uid, 4242u) << path;
        EXPECT_EQ(statusOf(path).st_mode & 06000, 0u) << path;
    }
    EXPECT_EQ(readFile(theirs), plainSong());
    EXPECT_EQ(readFile(out), runningStatusSong());
}

// Folders are skipped, not failures; a missing path and what is not a regular file fail,
// also under --check. Quiet runs print only failures; verbose ones add the free space
// (where it was asked for) and a summary.
TEST_F(CliRun, ReportsFoldersMissingPathsAndPipesQuietlyOrVerbosely) {
    const std::string a = folder.put("a.mid", runningStatusSong());
    const std::string b = folder.put("b.mid", plainSong());
    const std::string gone = folder.file("gone.mid");
    const std::string pipe = folder.file("pipe.mid");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string notRegular = ": error: cannot be opened: not a regular file\n";
    EXPECT_EQ(run(fs, {"-q", a, folder.path()}).out, "");
    Result result = run(fs, {"-v", a, b, folder.path(), gone, pipe});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, a + ": unchanged, 33 bytes\n" + b + ": converted, 34 -> 33 bytes (1073741824 bytes free in " +
                              folder.path() + ")\n" + folder.path() +
                              ": skipped, folder\n5 files: 1 converted, 1 unchanged, 1 skipped, 2 failed\n");
    EXPECT_EQ(result.err, gone + notFound + pipe + notRegular);
    result = run(fs, {"-q", "-c", a, pipe, gone});
    EXPECT_EQ(std::tie(result.status, result.out, result.err), std::make_tuple(1, "", pipe + notRegular + gone + notFound));
    EXPECT_EQ(run(fs, {"-q", "--", "-v", "-x"}).err, "-v" + notFound + "-x" + notFound) << "file names, not options";
}

// "[2/3] name", the name quoted and cut at the front to fit 79 columns, each wiped before a
// line is printed; at most ten a second; only on a terminal, and not in quiet runs.
TEST_F(CliRun, ShowsProgressOnlyOnATerminalAtMostTenTimesASecond) {
    const std::vector<std::string> files = {folder.put("b\n.mid", plainSong()),
                                            folder.put(std::string(100, 'x') + ".mid", plainSong())};
    const std::string first = "[1/2] '" + folder.path() + "/b'$'\\n''.mid'";
    const std::string second = "[2/2] ..." + files[1].substr(files[1].size() - 70);
    const auto wiped = [](const std::string& text) {
        return "\r" + text + "\r" + std::string(text.size(), ' ') + "\r";
    };
    std::chrono::steady_clock::time_point clock{};
    const auto stepped = [&clock] { return clock += std::chrono::milliseconds(100); };
    Result result = run(fs, files, true, stepped);
    EXPECT_EQ(result.err, wiped(first) + wiped(second));
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 2);
    const auto frozen = [] { return std::chrono::steady_clock::time_point{} + std::chrono::hours(1); };
    EXPECT_EQ(run(fs, files, true, frozen).err, wiped(first));
    EXPECT_EQ(run(fs, {"-q", files[0], files[1]}, true).err, "");
    EXPECT_EQ(run(fs, {files[0]}, true).err, "");
}

// -h and --version win wherever they stand, unless a wrong option comes first. Usage
// errors go to standard error with exit status 2 before any file is looked at.
TEST_F(CliRun, AnswersHelpAndVersionAndRefusesWhatCannotBeMeant) {
    const std::string usage = "Usage: quorin-cli [OPTIONS] FILE...\n";
    const std::tuple<std::vector<std::string>, std::string, std::string> cases[] = {
        {{"-h"}, usage, ""},
        {{"-q", "-v", "--he"}, usage, ""},
        {{"-ch", "a.mid"}, usage, ""},
        {{"a.mid", "--vers", "b.mid"}, "quorin-cli 1.00\n", ""},
        {{}, "", "no FILE given"},
        {{"-x", "a.mid"}, "", "invalid option -- 'x'"},
        {{"--vx=on", "--help"}, "", "unrecognized option '--vx=on'"},
        {{"--ver=1", "a.mid"}, "", "option '--ver=1' is ambiguous; possibilities: '--verbose' '--version'"},
        {{"-r"}, "", "option requires an argument -- 'r'"},
        {{"a.mid", "--runn"}, "", "option '--running-status' requires an argument"},
        {{"-r", "of", "a.mid"}, "", "invalid argument 'of' for '--running-status'; valid arguments are 'on' and 'off'"},
        {{"--check=1", "a.mid"}, "", "option '--check' doesn't allow an argument"},
        {{"--help=x"}, "", "option '--help' doesn't allow an argument"},
        {{"-o", "", "a.mid"}, "", "--output needs a path"},
        {{"-o", "x.mid", "a.mid", "b.mid"}, "", "--output needs exactly one FILE, 2 given"},
        {{"-c", "-o", "x.mid", "a.mid"}, "", "--output cannot be combined with --check"},
        {{"-q", "-v", "a.mid"}, "", "--quiet and --verbose cannot be combined"},
    };
    for (const auto& [args, out, error] : cases) {
        const Result result = run(fs, args);
        EXPECT_EQ(result.status, error.empty() ? 0 : 2) << out << error;
        EXPECT_EQ(result.out.substr(0, out.size()), out) << error;
        EXPECT_EQ(result.out.empty(), out.empty()) << error;
        EXPECT_EQ(result.err,
                  error.empty() ? "" : "quorin-cli: " + error + "\nTry 'quorin-cli --help' for more information.\n");
    }
}

}  // namespace
}  // namespace cli::testing
