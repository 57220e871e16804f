// Crash consistency of quorin-cli's rewrites by construction: a child process runs the
// conversion and ends at the Nth system call that changes a file, for N = 1, 2, ... until
// the run completes. After each end the file holds exactly its former bytes or exactly the
// result. _exit and SIGKILL cannot be handled: between the temporary file's creation and
// its rename they leave it behind (and nothing else). SIGTERM, which the run catches, at
// any call: the file is completed, no temporary file is left, the rest is not processed.
// SIGQUIT, which ends the process, waits while a file is written through.
#include "cli/file_system_posix.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <sstream>

#include "test_support.h"

namespace cli::testing {
namespace {

constexpr int kStoppedBase = 100;  // a child's exit status when stopped at a call: 100 + the call

enum class Stop { Exit, Terminate, Quit, Kill };

// Ends the process at the nth call that changes a file: _exit(100 + the call), or a signal.
class StoppingFileSystem final : public PosixFileSystem {
public:
    StoppingFileSystem(Stop how, int n) : how_(how), n_(n) {}
    int beforeCall(SystemCall call) override {
        if (++calls_ != n_) return 0;
        if (how_ == Stop::Exit) ::_exit(kStoppedBase + static_cast<int>(call));
        ::raise(how_ == Stop::Kill ? SIGKILL : how_ == Stop::Quit ? SIGQUIT : SIGTERM);
        return 0;
    }

private:
    Stop how_;
    int n_;
    int calls_ = 0;
};

// The wait status of quorin-cli run in a child with args, stopped at call n.
int runStopped(const std::vector<std::string>& args, Stop how, int n) {
    const pid_t child = ::fork();
    if (child == 0) {
        const struct rlimit noCore = {0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        StoppingFileSystem fs(how, n);
        std::ostringstream out;
        std::ostringstream err;
        Console console{out, err, false, {}};
        ::_exit(runCli(args, fs, console));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

struct Scenario {
    const char* name;
    bool output;      // -o out.mid: out.mid is replaced (else in.mid in place)
    bool exists;      // out.mid is there before
    bool hardLink;    // the replaced file has a second link: written through
};

const Scenario kScenarios[] = {
    {"in place", false, true, false},
    {"in place, second link", false, true, true},
    {"new output", true, false, false},
    {"over an output", true, true, false},
    {"over an output with a second link", true, true, true},
};

// One run's folder: in.mid (plain), second.mid (plain), and out.mid ("old") when it exists;
// the replaced file with mode 0640, a user attribute and maybe a second link.
struct Files {
    explicit Files(const Scenario& scenario) : s(scenario) {
        writeFile(in, plainSong());
        writeFile(second, plainSong());
        if (s.output && s.exists) writeFile(out, {'o', 'l', 'd'});
        if (!s.exists) return;
        EXPECT_EQ(::chmod(target().c_str(), 0640), 0);
        EXPECT_EQ(::setxattr(target().c_str(), "user.quorin", "kept", 4, 0), 0);
        if (s.hardLink) {
            EXPECT_EQ(::link(target().c_str(), folder.file("link").c_str()), 0);
        }
    }
    const std::string& target() const { return s.output ? out : in; }
    Bytes before() const { return s.output ? (s.exists ? Bytes{'o', 'l', 'd'} : Bytes{}) : plainSong(); }
    // In place, second.mid may follow.
    std::vector<std::string> args(bool withSecond = false) const {
        if (s.output) return {"-o", out, in};
        return withSecond ? std::vector<std::string>{in, second} : std::vector<std::string>{in};
    }
    // Hidden names beside the files: temporary files left behind.
    std::size_t leftOver() const {
        std::size_t count = 0;
        for (const std::string& name : folder.names()) count += name[0] == '.';
        return count;
    }
    // The replaced file kept its mode, attribute and links.
    void expectIdentityKept() const {
        if (!s.exists) return;
        struct stat status;
        ASSERT_EQ(::stat(target().c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0640u) << s.name;
        EXPECT_EQ(status.st_nlink, s.hardLink ? 2u : 1u) << s.name;
        char value[8] = {};
        EXPECT_EQ(::getxattr(target().c_str(), "user.quorin", value, sizeof value), 4) << s.name;
    }

    const Scenario& s;
    TempFolder folder;
    const std::string in = folder.file("in.mid");
    const std::string second = folder.file("second.mid");
    const std::string out = folder.file("out.mid");
};

TEST(CliCrash, EndingAtAnyCallLeavesTheFormerBytesOrTheResult) {
    for (const Scenario& scenario : kScenarios) {
        bool created = false;  // calls before n made a temporary file that is still there
        int n = 1;
        for (;; ++n) {
            ASSERT_LT(n, 100) << scenario.name;
            const Files setup(scenario);
            const int status = runStopped(setup.args(), Stop::Exit, n);
            ASSERT_TRUE(WIFEXITED(status)) << scenario.name << n;
            const Bytes now = readFile(setup.target());
            // Written through (a second link), only the catchable signals are held off.
            EXPECT_TRUE(scenario.hardLink || now == setup.before() || now == runningStatusSong())
                << scenario.name << " call " << n;
            if (WEXITSTATUS(status) < kStoppedBase) {
                EXPECT_EQ(WEXITSTATUS(status), 0) << scenario.name;
                EXPECT_EQ(now, runningStatusSong()) << scenario.name;
                EXPECT_EQ(setup.leftOver(), 0u) << scenario.name;
                setup.expectIdentityKept();
                break;
            }
            EXPECT_EQ(setup.leftOver(), created ? 1u : 0u) << scenario.name << " call " << n;
            const auto call = static_cast<SystemCall>(WEXITSTATUS(status) - kStoppedBase);
            if (call == SystemCall::CreateTemporary) created = true;
            if (call == SystemCall::Rename || call == SystemCall::Remove) created = false;
            if (call == SystemCall::Rename) {  // a real SIGKILL there, between write and rename
                const Files killed(scenario);
                const int killedStatus = runStopped(killed.args(), Stop::Kill, n);
                EXPECT_TRUE(WIFSIGNALED(killedStatus) && WTERMSIG(killedStatus) == SIGKILL) << scenario.name;
                EXPECT_EQ(readFile(killed.target()), killed.before()) << scenario.name;
            }
        }
        // SIGTERM at each call: caught, the file completed, nothing left, the rest not run.
        for (int m = 1; m < n; ++m) {
            const Files setup(scenario);
            const int status = runStopped(setup.args(true), Stop::Terminate, m);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM) << scenario.name << m;
            EXPECT_EQ(readFile(setup.target()), runningStatusSong()) << scenario.name << " call " << m;
            EXPECT_EQ(readFile(setup.second), plainSong()) << scenario.name;
            EXPECT_EQ(setup.leftOver(), 0u) << scenario.name << " call " << m;
            if (!scenario.hardLink) continue;
            // SIGQUIT ends the process, but not while a file is written through.
            const Files quit(scenario);
            const int quitStatus = runStopped(quit.args(), Stop::Quit, m);
            EXPECT_TRUE(WIFSIGNALED(quitStatus) && WTERMSIG(quitStatus) == SIGQUIT) << scenario.name << m;
            const Bytes now = readFile(quit.target());
            EXPECT_TRUE(now == (m == 1 && scenario.output ? quit.before() : runningStatusSong()))
                << scenario.name << " call " << m;
        }
    }
}

// A replaced file has exactly the attributes it had: not an access ACL that a new file
// inherits from the folder's default ACL, and its own access ACL when it has one.
TEST(CliAttributes, AreThoseOfTheFileReplaced) {
    TempFolder folder;
    PosixFileSystem fs;
    const std::string bare = folder.file("bare.mid");
    writeFile(bare, plainSong());
    // Version 2; owner rwx, user 4242 rw-, group r-x, mask rwx, others r-x.
    const std::uint8_t acl[] = {2, 0, 0, 0, 1, 0, 7, 0, 0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 6, 0, 0x92, 0x10, 0, 0,
                                4, 0, 5, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0, 7, 0, 0xFF, 0xFF, 0xFF, 0xFF,
                                0x20, 0, 5, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    if (::setxattr(folder.path().c_str(), "system.posix_acl_default", acl, sizeof acl, 0) != 0)
        GTEST_SKIP() << "no ACLs here";
    const std::string inherited = folder.file("inherited.mid");
    writeFile(inherited, plainSong());
    char before[64];
    const ssize_t length = ::getxattr(inherited.c_str(), "system.posix_acl_access", before, sizeof before);
    ASSERT_GT(length, 0);
    EXPECT_EQ(run(fs, {bare, inherited}).status, 0);
    EXPECT_LT(::getxattr(bare.c_str(), "system.posix_acl_access", nullptr, 0), 0);
    char after[64];
    ASSERT_EQ(::getxattr(inherited.c_str(), "system.posix_acl_access", after, sizeof after), length);
    EXPECT_EQ(std::string(before, length), std::string(after, length));
    EXPECT_EQ(readFile(bare), runningStatusSong());
    EXPECT_EQ(folder.names(), (std::set<std::string>{"bare.mid", "inherited.mid"}));
}

}  // namespace
}  // namespace cli::testing
