// quorin-cli on real files through the POSIX file system, in-process with failures
// injected at its system calls, and as the real binary: what each option does, the lines
// and exit statuses, where a result goes and whose file it stays, and that no failure,
// signal or crash leaves a file other than whole.
#include "cli/file_system_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <thread>

#include "test_support.h"

namespace cli::testing {
namespace {

const Bytes kOld = {'o', 'l', 'd'};

// The POSIX file system with a fixed free space; the calls in `failing` fail with their
// error (the first `failures` times); a signal raised at a rename; the process ended at the
// call numbered stopAt: by the signal `stop`, or by _exit(100 + the call) when it is 0.
struct TestFileSystem final : PosixFileSystem {
    std::uint64_t freeBytes = 1u << 30;
    std::map<SystemCall, int> failing;
    int failures = 1 << 30, signalAtRename = 0, stopAt = 0, stop = 0, calls = 0;

    bool freeSpace(const std::string&, std::uint64_t& bytes, SystemError&) override { return bytes = freeBytes, true; }
    int beforeCall(SystemCall call) override {
        if (call == SystemCall::Rename && signalAtRename) ::raise(signalAtRename);
        if (++calls == stopAt && stop) ::raise(stop);
        if (calls == stopAt && !stop) ::_exit(100 + static_cast<int>(call));
        const auto found = failing.find(call);
        return found == failing.end() || failures-- <= 0 ? 0 : found->second;
    }
};

struct stat statusOf(const std::string& path, bool follow = true) {
    struct stat status = {};
    EXPECT_EQ((follow ? ::stat : ::lstat)(path.c_str(), &status), 0) << path;
    return status;
}

class CliRun : public ::testing::Test {
protected:
    // "@" stands for the folder and a slash, "%" for the folder.
    std::string expand(const std::string& text) const {
        std::string result;
        for (const char c : text) result += c == '@' ? folder.path() + "/" : c == '%' ? folder.path() : std::string(1, c);
        return result;
    }
    // Runs the arguments of line, split at spaces ('' for an empty one), expanded.
    Result runLine(const std::string& line, TestFileSystem& files) const {
        std::vector<std::string> args;
        std::istringstream words(expand(line));
        for (std::string word; words >> word;) args.push_back(word == "''" ? "" : word);
        return run(files, args);
    }

    TempFolder folder;
    TestFileSystem fs;
};

// Runs in turn on one folder. -h and --version win wherever they stand, unless a wrong
// option comes first; a usage error is exit status 2 before any file is looked at.
TEST_F(CliRun, AnswersEachCommandLineWithItsLinesAndStatus) {
    const auto cat = [](Bytes head, const Bytes& tail, std::size_t from) {
        head.insert(head.end(), tail.begin() + static_cast<std::ptrdiff_t>(from), tail.end());
        return head;
    };
    // A chunk of another type in a slot the header declares, then a track; then 2 bytes more or a lost track.
    const Bytes alien =
        cat({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 2, 0, 0x60, 'X', 'F', 'I', 'H', 0, 0, 0, 1, 0x7E}, kRunning, 14);
    folder.put("x.mid", cat(alien, {0x0A, 0x0B}, 0));
    folder.put("lost.mid", cat(alien, kRunning, 14));
    folder.put("two.mid", cat({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0x01, 0xE0, 'M', 'T', 'r', 'k', 0, 0, 0, 4,
                               0, 0xFF, 0x2F, 0}, kPlain, 14));
    folder.put("mac.mid", cat(Bytes(128, 0), kPlain, 0));
    for (const char* name : {"a.mid", "b.mid"}) folder.put(name, kPlain);
    folder.put("r.mid", kRunning);
    ASSERT_EQ(::mkfifo(folder.file("pipe").c_str(), 0600), 0);
    const std::string help = "Usage: quorin-cli [OPTIONS] FILE...\n", gone = "cannot be found: No such file or directory\n";
    const std::string lost = "@lost.mid: error: not a valid Standard MIDI File: chunk 3 at offset 0x2A: A track chunk "
                             "follows the 2 chunks the header declares", valid = ": valid Standard MIDI File, format ";
    struct Row { std::string args; int status; std::string out, err; std::uint64_t freeBytes = 1u << 30; int signal = 0; };
    const Row rows[] = {
        {"-h", 0, help, ""}, {"-q -v --he", 0, help, ""}, {"-ch a.mid", 0, help, ""},
        {"a.mid --vers b.mid", 0, "quorin-cli 1.00\n", ""}, {"", 2, "", "no FILE given"},
        {"-x a.mid", 2, "", "invalid option -- 'x'"}, {"--vx=on --help", 2, "", "unrecognized option '--vx=on'"},
        {"--ver=1 a.mid", 2, "", "option '--ver=1' is ambiguous; possibilities: '--verbose' '--version'"},
        {"-r", 2, "", "option requires an argument -- 'r'"},
        {"a.mid --runn", 2, "", "option '--running-status' requires an argument"},
        {"-r of a.mid", 2, "", "invalid argument 'of' for '--running-status'; valid arguments are 'on' and 'off'"},
        {"--check=1 a.mid", 2, "", "option '--check' doesn't allow an argument"},
        {"--help=x", 2, "", "option '--help' doesn't allow an argument"}, {"-o '' a.mid", 2, "", "--output needs a path"},
        {"-o x.mid a.mid b.mid", 2, "", "--output needs exactly one FILE, 2 given"},
        {"-c -o x.mid a.mid", 2, "", "--output cannot be combined with --check"},
        {"-q -v a.mid", 2, "", "--quiet and --verbose cannot be combined"},
        {"-cv @two.mid @mac.mid @lost.mid %", 1, "@two.mid" + valid + "1, 2 tracks, 480 ticks per quarter note, 4 events, "
         "does not use running status; 45 bytes with running status, 46 bytes without (now 46 bytes)\n@mac.mid" + valid +
         "0, 1 track, 96 ticks per quarter note, 3 events, does not use running status; 33 bytes with running status, 34 "
         "bytes without (now 162 bytes, behind a MacBinary header)\n%: skipped, folder\n4 files: 2 valid, 1 skipped, 1 "
         "failed\n", lost + "\n"},
        {"-c @x.mid", 0, "@x.mid" + valid + "0, 1 track, 96 ticks per quarter note, 3 events, uses running status (1 "
         "event); 33 bytes with running status, 34 bytes without (left out: chunk XFIH, 2 bytes after the last chunk)\n", ""},
        {"-c -q @r.mid @pipe @gone.mid", 1, "", "@pipe: error: cannot be opened: not a regular file\n@gone.mid: error: " + gone},
        {"--runn on @a.mid", 0, "@a.mid: converted, 34 -> 33 bytes\n", ""},
        {"@a.mid", 0, "@a.mid: unchanged, 33 bytes\n", "", 0},  // no room needed
        {"-roff @a.mid", 0, "@a.mid: converted, 33 -> 34 bytes\n", ""},
        {"--output=@c.mid --running-status=off @a.mid", 0, "@a.mid: copied unchanged to @c.mid, 34 bytes\n", ""},
        {"-v -o@c.mid @a.mid", 0, "@a.mid: converted to @c.mid, 34 -> 33 bytes (1073741824 bytes free in %)\n1 file: 1 "
         "converted, 0 unchanged, 0 skipped, 0 failed\n", ""},
        {"@x.mid", 0, "@x.mid: converted, 44 -> 33 bytes (left out: chunk XFIH, 2 bytes after the last chunk)\n", ""},
        {"@lost.mid", 1, "", lost + "; left untouched\n"}, {"-o @o.mid @lost.mid", 1, "", lost + "; left untouched\n"},
        {"-v @r.mid @b.mid % @gone.mid @pipe", 1, "@r.mid: unchanged, 33 bytes\n@b.mid: converted, 34 -> 33 bytes "
         "(1073741824 bytes free in %)\n%: skipped, folder\n5 files: 1 converted, 1 unchanged, 1 skipped, 2 failed\n",
         "@gone.mid: error: " + gone + "@pipe: error: cannot be opened: not a regular file\n"},
        {"-q @r.mid %", 0, "", ""}, {"-q -- -v -x", 1, "", "-v: error: " + gone + "-x: error: " + gone},
        {"@a.mid @b.mid", 1, "", "@a.mid: error: not enough free space in % (66 bytes free, more than 66 bytes needed); "
         "left untouched, stopping\n@b.mid: not processed, the run stopped\n", 66},
        {"@a.mid @b.mid", 130, "@a.mid: converted, 34 -> 33 bytes\n", "@b.mid: not processed, the run stopped\n", 1u << 30,
         SIGINT},
    };
    for (const Row& row : rows) {
        fs.freeBytes = row.freeBytes;
        fs.signalAtRename = row.signal;
        Result result = runLine(row.args, fs);
        if (row.out == help) result.out.resize(help.size());
        const std::string usage = "quorin-cli: " + row.err + "\nTry 'quorin-cli --help' for more information.\n";
        EXPECT_EQ(std::tie(result.status, result.out, result.err),
                  std::make_tuple(row.status, expand(row.out), row.status == 2 ? usage : expand(row.err))) << row.args;
    }
    for (const char* name : {"a.mid", "b.mid", "c.mid", "x.mid"}) EXPECT_EQ(readFile(folder.file(name)), kRunning);
    EXPECT_EQ(readFile(folder.file("lost.mid")), cat(alien, kRunning, 14));
    EXPECT_EQ(folder.names().size(), 9u);  // no temporary file, no o.mid
    struct sigaction action;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        EXPECT_TRUE(::sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_DFL) << signal;
    const auto terminate = [] { return ::raise(SIGTERM), std::chrono::steady_clock::now(); };  // during a's check
    const Result stopped = run(fs, {"-c", folder.file("a.mid"), folder.file("b.mid")}, true, terminate);
    EXPECT_EQ(stopped.status, 128 + SIGTERM);
    EXPECT_NE(stopped.err.find(expand("\r@b.mid: not processed, the run stopped\n")), std::string::npos);
}

// Another holder's flock, OFD or lockf lock: in use, left alone. A shared hold still lets
// the file be read for --check and --output. (A lockf lock is the process's, and ends when
// the process closes any descriptor of the file, as the first run does.)
TEST_F(CliRun, LeavesAFileAnotherHolderLockedAlone) {
    const std::string path = folder.put("held.mid", kPlain), locked = path + ": error: in use, locked by another process";
    struct flock range = {};
    range.l_type = F_RDLCK;
    const std::pair<std::function<bool(int)>, bool> holds[] = {  // the hold, and whether a reader may share it
        {[](int fd) { return ::flock(fd, LOCK_SH | LOCK_NB) == 0; }, true},
        {[&range](int fd) { return ::fcntl(fd, F_OFD_SETLK, &range) == 0; }, true},
        {[](int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; }, false},
        {[](int fd) { return ::lockf(fd, F_TLOCK, 0) == 0; }, true},
    };
    for (const auto& [hold, shared] : holds) {
        const int holder = ::open(path.c_str(), O_RDWR);
        ASSERT_TRUE(hold(holder));
        EXPECT_EQ(run(fs, {path}).err, locked + "; left untouched\n");
        EXPECT_EQ(run(fs, {"-c", path}).err, shared ? "" : locked + "\n");
        EXPECT_EQ(runLine("-o @out.mid @held.mid", fs).status, shared ? 0 : 1);
        EXPECT_EQ(readFile(path), kPlain);
        ::close(holder);
    }
}

// A failed write through (a file with a second link) is undone, or said not to be; a failed
// --output at any step leaves the old output, its mode and no temporary file.
TEST_F(CliRun, FailedWritesLeaveTheFormerBytesAndSaySo) {
    const std::string a = folder.put("a.mid", kPlain), in = folder.put("in.mid", kPlain), out = folder.file("out.mid");
    ASSERT_EQ(::link(a.c_str(), folder.file("link").c_str()), 0);
    const std::string put = "@a.mid: error: cannot be written: Input/output error; its original content ";
    const std::string left = "@in.mid: error: cannot write @out.mid: Input/output error; @out.mid was left as it was\n";
    const std::tuple<SystemCall, int, std::string, std::string> cases[] = {  // the call, its failures, the run, the line
        {SystemCall::Write, 1, "@a.mid", put + "was put back\n"},
        {SystemCall::Truncate, 2, "@a.mid", put + "could NOT be put back, the file is damaged\n"},
        {SystemCall::CreateTemporary, 1, "-o @out.mid @in.mid", left}, {SystemCall::Write, 1, "-o @out.mid @in.mid", left},
        {SystemCall::Sync, 1, "-o @out.mid @in.mid", left}, {SystemCall::Close, 1, "-o @out.mid @in.mid", left},
        {SystemCall::Rename, 1, "-o @out.mid @in.mid", left}, {SystemCall::OpenOutput, 1, "-o @out.mid @in.mid", left},
    };
    for (const auto& [call, failures, line, err] : cases) {
        folder.put("out.mid", kOld);
        ASSERT_EQ(::chmod(out.c_str(), 0640), 0);
        TestFileSystem failing;
        failing.failing = {{call, EIO}};
        failing.failures = failures;
        const Result result = runLine(line, failing);
        EXPECT_EQ(std::make_tuple(result.status, result.err, readFile(a), readFile(out), statusOf(out).st_mode & 07777),
                  std::make_tuple(1, expand(err), kPlain, kOld, 0640u)) << static_cast<int>(call);
        EXPECT_EQ(folder.names().size(), 4u);  // no temporary file
    }
}

// A link is followed and stays a link (up to 40 of them, as open() follows; a loop is
// refused); a FIFO and a device are written through, a folder is refused.
TEST_F(CliRun, NeverReplacesWhatIsNotARegularFile) {
    const std::string in = folder.put("in.mid", kPlain);
    folder.put("target.mid", kOld);
    for (const auto& [link, target] : {std::pair{"link", "target.mid"}, {"dangling", "new.mid"}, {"loop", "loop"}})
        ASSERT_EQ(::symlink(target, folder.file(link).c_str()), 0);
    for (int i = 1; i <= 41; ++i)
        ASSERT_EQ(::symlink(("l" + std::to_string(i - 1)).c_str(), folder.file("l" + std::to_string(i)).c_str()), 0);
    ASSERT_EQ(::mkfifo(folder.file("fifo").c_str(), 0600), 0);
    // Device nodes of the test's own (a fault that replaced one never reaches the system's).
    for (const auto& [name, minor] : {std::pair{"null", 3}, {"full", 7}})
        if (::mknod(folder.file(name).c_str(), S_IFCHR | 0666, makedev(1, minor)) != 0) GTEST_SKIP() << "no mknod";
    Bytes fromFifo;
    std::thread reader([&] { fromFifo = readFile(folder.file("fifo")); });
    const std::string eloop = ": Too many levels of symbolic links; ";
    const std::tuple<std::string, std::string, std::string> cases[] = {  // -o, the file written, the error
        {"@link", "target.mid", ""}, {"@dangling", "new.mid", ""}, {"@l40", "l0", ""}, {"@fifo", "", ""}, {"@null", "", ""},
        {"@full", "", ": No space left on device; @full holds an incomplete result"},
        {"%", "", ": Is a directory; % was left as it was"}, {"@l41", "", eloop + "@l41 was left as it was"},
        {"@loop", "", eloop + "@loop was left as it was"},
    };
    for (const auto& [output, written, error] : cases) {
        const std::string err = error.empty() ? "" : "@in.mid: error: cannot write " + output + error + "\n";
        EXPECT_EQ(runLine("-o " + output + " @in.mid", fs).err, expand(err));
        EXPECT_TRUE(written.empty() || readFile(folder.file(written)) == kRunning) << output;
    }
    reader.join();
    EXPECT_EQ(fromFifo, kRunning);
    for (const char* name : {"link", "dangling", "l40"}) EXPECT_TRUE(S_ISLNK(statusOf(folder.file(name), false).st_mode));
    EXPECT_TRUE(S_ISFIFO(statusOf(folder.file("fifo")).st_mode));
    EXPECT_TRUE(S_ISCHR(statusOf(folder.file("null")).st_mode) && S_ISCHR(statusOf(folder.file("full")).st_mode));
    EXPECT_EQ(readFile(in), kPlain);
}

// "[2/3] name", the name quoted and cut at the front to fit 79 columns, each wiped before a
// line is printed; at most ten a second; only on a terminal, and not in quiet runs.
TEST_F(CliRun, ShowsProgressOnlyOnATerminalAtMostTenTimesASecond) {
    const std::vector<std::string> files = {folder.put("b\n.mid", kPlain), folder.put(std::string(100, 'x'), kPlain)};
    const auto wiped = [](const std::string& text) { return "\r" + text + "\r" + std::string(text.size(), ' ') + "\r"; };
    const std::string first = wiped("[1/2] '" + folder.path() + "/b'$'\\n''.mid'");
    std::chrono::steady_clock::time_point clock{};
    const Result result = run(fs, files, true, [&clock] { return clock += std::chrono::milliseconds(100); });
    EXPECT_EQ(result.err, first + wiped("[2/2] ..." + files[1].substr(files[1].size() - 70)));
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 2);
    EXPECT_EQ(run(fs, files, true, [] { return std::chrono::steady_clock::time_point{}; }).err, first);
    EXPECT_EQ(run(fs, {"-q", files[0], files[1]}, true).err, "");
    EXPECT_EQ(run(fs, {files[0]}, true).err, "");
}

// Temporary files go beside the file, and its free space is the folder's volume's.
TEST(CliFolder, IsTheFolderThatHoldsThePathAndItsFreeSpaceTheVolume) {
    const std::pair<const char*, const char*> cases[] = {
        {"a.mid", "."}, {"/a.mid", "/"}, {"//a.mid", "/"}, {"d/a.mid", "d"}, {"d//a.mid", "d"},
        {"/d/e/a.mid", "/d/e"}, {"d/e/", "d"}, {"d/e//", "d"}, {"a/", "."}, {"/", "/"}, {"", "."},
    };
    for (const auto& [path, folder] : cases) EXPECT_EQ(parentFolder(path), folder) << path;
    PosixFileSystem fs;
    std::uint64_t bytes = 0;
    SystemError error = 0;
    EXPECT_TRUE(fs.freeSpace(fs.freeSpaceLocation("/tmp/a.mid"), bytes, error) && !fs.freeSpace("/none/a", bytes, error));
    EXPECT_EQ(error, static_cast<SystemError>(ENOENT));
    EXPECT_NEAR(static_cast<double>(bytes), static_cast<double>(std::filesystem::space("/tmp").available), 1e8);
}

const bool kRoot = ::geteuid() == 0;
const mode_t kMode = kRoot ? 06764 : 0640;  // set-ID bits stay only where the owner may keep them
// A default ACL: version 2; owner rwx, user 4242 rw-, group r-x, mask rwx, others r-x.
const std::uint8_t kAcl[] = {2, 0, 0, 0, 1, 0, 7, 0, 0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 6, 0, 0x92, 0x10, 0, 0, 4, 0, 5, 0,
                             0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0, 7, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x20, 0, 5, 0, 0xFF, 0xFF, 0xFF, 0xFF};

// One way of replacing a file, in a folder of its own: in.mid and second.mid (plain), and
// out.mid ("old") for -o when it exists. The replaced file has its own owner (as root),
// mode, a user attribute and maybe a second link; the folder has a default ACL that a new
// file inherits and the replaced file has not. through: the file is written through, 1 for
// a second link, 2 for an owner that a new file cannot be given.
struct Stage {
    Stage(bool output, bool exists, int through) : output(output), exists(exists), through(through) {
        for (const char* name : {"in.mid", "second.mid"}) folder.put(name, kPlain);
        if (output && exists) folder.put("out.mid", kOld);
        EXPECT_TRUE(!exists || !kRoot || ::chown(target.c_str(), 4242, 4343) == 0);
        EXPECT_TRUE(!exists || (::chmod(target.c_str(), kMode) == 0 && !::setxattr(target.c_str(), "user.q", "kept", 4, 0)));
        EXPECT_TRUE(through != 1 || ::link(target.c_str(), folder.file("link").c_str()) == 0);
        inode = exists ? statusOf(target).st_ino : 0;
        ::setxattr(folder.path().c_str(), "system.posix_acl_default", kAcl, sizeof kAcl, 0);
    }
    // The wait status of a child that runs quorin-cli, stopped at call n by stop (0: _exit).
    int runStopped(int stop, int n, bool withSecond = false) const {
        const pid_t child = ::fork();
        if (child == 0) {
            const struct rlimit noCore = {0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            TestFileSystem fs;
            fs.stopAt = n;
            fs.stop = stop;
            if (through == 2) fs.failing = {{SystemCall::ChangeOwner, EPERM}};
            ::_exit(run(fs, output ? std::vector<std::string>{"-o", out, in} : std::vector{in, withSecond ? second : in}).status);
        }
        int status = 0;
        return ::waitpid(child, &status, 0), status;
    }
    Bytes before() const { return output ? (exists ? kOld : Bytes{}) : kPlain; }
    std::size_t leftOver() const {  // temporary files: hidden names
        const std::set<std::string> names = folder.names();
        return std::count_if(names.begin(), names.end(), [](const std::string& name) { return name[0] == '.'; });
    }
    void expectKept() const {
        const struct stat status = statusOf(target);
        const mode_t mask = ::umask(0);
        ::umask(mask);
        EXPECT_EQ(std::make_tuple(status.st_mode & 07777, status.st_nlink, status.st_ino == inode),
                  std::make_tuple(exists ? kMode : 0666 & ~mask, through == 1 ? 2u : 1u, through != 0));
        EXPECT_TRUE(!exists || !kRoot || (status.st_uid == 4242 && status.st_gid == 4343));
        EXPECT_EQ(::getxattr(target.c_str(), "user.q", nullptr, 0), exists ? 4 : -1);
        EXPECT_TRUE(!exists || ::getxattr(target.c_str(), "system.posix_acl_access", nullptr, 0) < 0);
    }

    const bool output, exists;
    const int through;
    TempFolder folder;
    const std::string in = folder.file("in.mid"), second = folder.file("second.mid"), out = folder.file("out.mid");
    const std::string target = output ? out : in;
    ino_t inode = 0;
};

// A child ends at the Nth system call that changes a file, for N = 1, 2, ... until the run
// completes: the file then holds exactly its former bytes or the result (written through,
// only the catchable signals are held off), and only a temporary file made and not yet
// renamed is left. SIGTERM at any call
// completes the file and stops the run; SIGQUIT leaves a file written through whole.
TEST(CliCrash, EndingAtAnyCallLeavesTheFormerBytesOrTheResult) {
    const std::tuple<bool, bool, int> scenarios[] = {  // -o, the replaced file exists, written through
        {false, true, 0}, {false, true, 1}, {false, true, 2}, {true, false, 0}, {true, true, 0}, {true, true, 1}};
    for (const auto& [output, exists, through] : scenarios) {
        SCOPED_TRACE(::testing::Message() << output << exists << through);
        bool created = false;  // a temporary file made by an earlier call is still there
        int n = 1;
        for (;; ++n) {
            const Stage stage(output, exists, through);
            const int status = stage.runStopped(0, n);
            const Bytes now = readFile(stage.target);
            ASSERT_TRUE(WIFEXITED(status) && n < 100);
            EXPECT_TRUE(through || now == stage.before() || now == kRunning) << n;
            if (WEXITSTATUS(status) < 100) {
                EXPECT_EQ(std::make_tuple(WEXITSTATUS(status), now, stage.leftOver()), std::make_tuple(0, kRunning, 0u));
                stage.expectKept();
                break;
            }
            EXPECT_EQ(stage.leftOver(), created ? 1u : 0u) << n;
            const auto call = static_cast<SystemCall>(WEXITSTATUS(status) - 100);
            created = (created || call == SystemCall::CreateTemporary) && call != SystemCall::Rename && call != SystemCall::Remove;
        }
        for (int m = 1; m < n; ++m) {
            const Stage stage(output, exists, through), quit(output, exists, through);
            EXPECT_EQ(stage.runStopped(SIGTERM, m, true), (128 + SIGTERM) << 8) << m;
            EXPECT_EQ(std::make_tuple(readFile(stage.target), readFile(stage.second), stage.leftOver()),
                      std::make_tuple(kRunning, kPlain, 0u)) << m;
            EXPECT_TRUE(!through || quit.runStopped(SIGQUIT, m) == SIGQUIT) << m;
            EXPECT_TRUE(readFile(quit.target) == quit.before() || readFile(quit.target) == kRunning) << m;
        }
    }
}

// The real binary through the shell: exit statuses through main(), which stream gets which
// lines, "-" pipes in and out, and a report that cannot be written.
TEST(CliBinary, ExitsWithItsStatusAndPrintsEachLineWhereItBelongs) {
    TempFolder folder;
    const std::string song = folder.put("song.mid", kPlain), bad = folder.put("bad.mid", {'M', 'T', 'h', 'd'});
    const std::string cli = QUORIN_CLI_PATH " ";
    ASSERT_EQ(::mknod(folder.file("full").c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
    const std::tuple<std::string, int, std::string, std::string> cases[] = {
        {song + " " + bad, 1, song + ": converted, 34 -> 33 bytes\n",
         bad + ": error: not a valid Standard MIDI File: header at offset 0x4: The header length is cut off; left untouched\n"},
        {"--bogus " + song, 2, "", "quorin-cli: unrecognized option '--bogus'\nTry 'quorin-cli --help' for more information.\n"},
        {"- < " + song + " | " + cli + "-r off -o - - | cmp - " + folder.put("plain.mid", kPlain), 0, "",
         "standard input: copied unchanged to standard output, 33 bytes\n"
         "standard input: converted to standard output, 33 -> 34 bytes\n"},
        {"-r off -o " + folder.file("out.mid") + " " + song + " > " + folder.file("full"), 1, "",
         "quorin-cli: write error: No space left on device\n"},
    };
    for (const auto& [args, status, out, err] : cases) {
        const int result = std::system(("{ " + cli + args + "; } >" + folder.file(".out") + " 2>" + folder.file(".err")).c_str());
        EXPECT_EQ(std::make_tuple(WIFEXITED(result) ? WEXITSTATUS(result) : -1, readFile(folder.file(".out")),
                                  readFile(folder.file(".err"))),
                  std::make_tuple(status, Bytes(out.begin(), out.end()), Bytes(err.begin(), err.end()))) << args;
    }
    EXPECT_EQ(readFile(folder.file("out.mid")), kPlain);
}

}  // namespace
}  // namespace cli::testing
