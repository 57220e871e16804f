// quorin-cli on real files. Natively through the POSIX file system, in-process with
// failures injected at its system calls and as the real binary: what each option does, the
// lines and exit statuses, where a result goes and whose file it stays, and that no failure,
// signal, crash or swapped name leaves a file other than whole. Under Wine: quorin-cli.exe
// as cmd starts it.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <optional>
#include <sstream>

#include "cli/options.h"
#include "cli/report_lines.h"
#include "cli/runner.h"
#include "tests/support/files.h"
#ifndef _WIN32
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "engine/file_system_posix.h"
#endif

namespace cli {
namespace {

using namespace quorin_test;
using engine::Refusal;
using std::string;
using Args = std::vector<string>;

const Bytes kPlain = plainSmf();
const Bytes kRunning = runningStatusSmf();

struct Result {
    int status;
    string out;
    string err;
    bool operator==(const Result& o) const { return status == o.status && out == o.out && err == o.err; }
};
void PrintTo(const Result& r, std::ostream* os) {
    *os << "status " << r.status << "\nout: " << r.out << "\nerr: " << r.err;
}
Result failure(const string& err, const string& out = "") {
    return {1, out, err};
}

// A name that holds what a terminal would act on or show other than as stored is quoted for
// the shell as ls does, those characters byte by byte in octal; any other name, even with
// a quote or letters beyond ASCII, is shown as it is.
TEST(QuoteName, QuotesWhatWouldControlTheTerminalOrHideTheText) {
    struct Row {
        string name;
        string shown;
    };
    // Shown as they are (letters of 1 to 4 bytes, a fullwidth A); controls; the last C1 in
    // UTF-8 and a no-break space; format characters: right-to-left override, zero width
    // space, byte order mark, soft hyphen, interlinear annotation, hieroglyph format,
    // language tag. Not UTF-8: a lone continuation, an overlong slash, a surrogate, beyond
    // U+10FFFF, cut by a letter or by the end.
    const Row rows[] = {
        {"it's $x\\ F\xC3\xBCr \xDF\xBF \xE6\x9B\xB2\xEF\xBC\xA1 \xF0\x9F\x8E\xB5",
         "it's $x\\ F\xC3\xBCr \xDF\xBF \xE6\x9B\xB2\xEF\xBC\xA1 \xF0\x9F\x8E\xB5"},
        {"it's\x1B[\a\b\t\v\f\r\x7F\x1F", "'it'\\''s'$'\\033''['$'\\a\\b\\t\\v\\f\\r\\177\\037'"},
        {"a\xC2\x9F\xC2\xA0z\xE2\x80\xAE.exe", "'a'$'\\302\\237''\xC2\xA0z'$'\\342\\200\\256''.exe'"},
        {"\xE2\x80\x8B\xEF\xBB\xBF\xC2\xAD", "$'\\342\\200\\213\\357\\273\\277\\302\\255'"},
        {"\xEF\xBF\xB9\xF0\x93\x90\xB0\xF3\xA0\x80\x81", "$'\\357\\277\\271\\360\\223\\220\\260\\363\\240\\200\\201'"},
        {"\x80\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\xE2\x80z\xE2\x80",
         "$'\\200\\300\\257\\355\\240\\200\\364\\220\\200\\200\\342\\200''z'$'\\342\\200'"},
    };
    for (const Row& row : rows) EXPECT_EQ(quoteName(row.name), row.shown);
}

#ifdef _WIN32

// quorin-cli.exe run by cmd in folder with arguments; its standard output and error go to files.
Result runProgram(const std::wstring& folder, const std::wstring& arguments) {
    const std::wstring program = std::filesystem::path("Z:" QUORIN_CLI_PATH).make_preferred().wstring();
    const std::wstring command = L"cd /d " + folder + L" && " + program + L" " + arguments;
    const int status = _wsystem((command + L" >" + folder + L".out 2>" + folder + L".err").c_str());
    return {status, text(readFile(folder + L".out")), text(readFile(folder + L".err"))};
}

// Names come whole from a wide command line, and the lines name each file as it is, in
// UTF-8 to a file. * and ? stand for the names they match in the folder typed, in name
// order (also after --); a pattern that matches nothing fails with a line that names it;
// a missing file's line gives the system's reason. - reads standard input. /? is --help
// (as a pattern it would match nothing and fail).
TEST(WindowsProgram, TakesNamesWholeAndExpandsPatterns) {
    TempFolder temp;
    const std::wstring folder = std::filesystem::path(temp.path()).wstring();
    ASSERT_TRUE(std::filesystem::create_directory(folder + L"\\sub"));
    for (const wchar_t* name : {L"Für Elise.mid", L"曲B.mid", L"曲A.mid", L"sub\\c.mid"})
        writeFile(folder + L"\\" + name, kPlain);
    EXPECT_EQ(runProgram(folder, L"\"Für Elise.mid\" 曲?.mid -- none*.mid sub\\*.mid gone.mid"),
              failure("none*.mid: error: no file matches this pattern\r\n"
                      "gone.mid: error: cannot be found: File not found\r\n",
                      "Für Elise.mid: converted, 34 -> 33 bytes\r\n"
                      "曲A.mid: converted, 34 -> 33 bytes\r\n"
                      "曲B.mid: converted, 34 -> 33 bytes\r\n"
                      "sub\\c.mid: converted, 34 -> 33 bytes\r\n"));
    EXPECT_EQ(runProgram(folder, L"-c - <曲A.mid").status, 0);
    EXPECT_EQ(runProgram(folder, L"/?").status, 0);
}

#else

Result success(const string& out) {
    return {0, out, ""};
}

using engine::SystemCall;
using OnCall = std::function<int(SystemCall)>;
using Clock = std::function<std::chrono::steady_clock::time_point()>;

// The POSIX file system with a fixed free space; onCall sees each call that changes a file
// first, and returns an errno value that the call fails with, or 0 to let it run.
struct TestFileSystem final : engine::PosixFileSystem {
    std::uint64_t freeBytes = std::uint64_t{1} << 30;
    OnCall onCall;
    bool freeSpace(const string&, std::uint64_t& bytes, engine::FileError&) override {
        bytes = freeBytes;
        return true;
    }
    int beforeCall(SystemCall call) override { return onCall ? onCall(call) : 0; }
};

// quorin-cli in this process; terminal: standard error is one.
Result runWith(engine::FileSystem& fs, const Args& args, bool terminal = false, Clock now = {}) {
    std::ostringstream out;
    std::ostringstream err;
    Console console{out, err, terminal, std::move(now)};
    const int status = runCli(args, fs, console);
    return {status, out.str(), err.str()};
}

// The wait status of a child process that exits with what body returns, dumping no core.
int inChild(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        const struct rlimit noCore = {0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

// The hidden names in folder: temporary files that a run left.
Args hiddenIn(const string& folder) {
    Args names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string()[0] == '.') names.push_back(entry.path().filename().string());
    return names;
}

ino_t inodeOf(const string& path) {
    struct stat status = {};
    ::stat(path.c_str(), &status);
    return status.st_ino;
}

const string kUnchanged = ": unchanged, 33 bytes\n";
const string kNotFound = ": error: cannot be found: No such file or directory\n";
const string kStopped = ": not processed, the run stopped\n";
const string kLeft = " was left as it was";

// The line of file when its result could not be written to the output to, for why; outcome:
// what became of to.
Result notWritten(const string& file, const string& to, const string& why, const string& outcome = kLeft) {
    return failure(file + ": error: cannot write " + to + ": " + why + "; " + to + outcome + "\n");
}

class CliRun : public ::testing::Test {
protected:
    string path(const string& name) const { return folder.file(name); }
    Result run(const Args& args) { return runWith(fs, args); }
    // The shell's run of the real quorin-cli with arguments (and redirections).
    Result cli(const string& arguments) const {
        const string command = "{ " QUORIN_CLI_PATH " " + arguments + "; } >" + path(".out") + " 2>" + path(".err");
        const int status = std::system(command.c_str());
        return {WEXITSTATUS(status), text(readFile(path(".out"))), text(readFile(path(".err")))};
    }

    TempFolder folder;
    TestFileSystem fs;
};

// -h and --version win wherever they stand, unless a wrong option comes first; a wrong
// command line is exit status 2, before any file is looked at.
TEST_F(CliRun, AnswersHelpVersionAndAWrongCommandLine) {
    const auto usageError = [](const string& why) {
        return Result{2, "", "quorin-cli: " + why + "\nTry 'quorin-cli --help' for more information.\n"};
    };
    struct Row {
        Args args;
        Result expected;
    };
    const Row rows[] = {
        {{"-q", "-v", "--he"}, success(usageText())},
        {{"a", "--vers", "b"}, success(versionText())},
        {{"a", "--runn"}, usageError("option '--running-status' requires an argument")},
        {{"--vx=on", "--help"}, usageError("unrecognized option '--vx=on'")},
        {{"-x", "a"}, usageError("invalid option -- 'x'")},
        {{"-r", "of", "a"},
         usageError("invalid argument 'of' for '--running-status'; valid arguments are 'on' and 'off'")},
        {{"-o", "", "a"}, usageError("--output needs a path")},
        {{"-o", "x", "a", "b"}, usageError("--output needs exactly one FILE, 2 given")},
        {{"-q", "-v", "a"}, usageError("--quiet and --verbose cannot be combined")},
        {{"-q"}, usageError("no FILE given")},
    };
    for (const Row& row : rows) EXPECT_EQ(run(row.args), row.expected) << ::testing::PrintToString(row.args);
    EXPECT_EQ(cli(""), usageError("no FILE given"));
}

// What --check tells of a file, and what a conversion keeps after the tracks and leaves out.
TEST_F(CliRun, TellsWhatAFileHoldsAndWhatItsResultKeeps) {
    // The track chunk: what follows the header chunk's 14 bytes.
    const Bytes track(kRunning.begin() + 14, kRunning.end());
    const Bytes kept = repeat(chunk("KEPT", {}), 6);
    const string song = path("song");
    const auto runOn = [&](const Bytes& file, Args args) {
        folder.put("song", file);
        args.push_back(song);
        return run(args);
    };
    // Behind a MacBinary header: format 1 in SMPTE time, a chunk of odd type bytes in a
    // declared slot, 2 bytes after the chunks.
    const Bytes smpte = cat({header(1, 3, 0xE728), chunk("MTrk", {0, 0xFF, 0x2F, 0}), chunk("\x1F \\\x7F", {})});
    const string valid =
        ": valid Standard MIDI File, format 1, 2 tracks, SMPTE 25 frames per second, 40 ticks per frame, 4 events, "
        "uses running status (1 event); 45 bytes with running status, 46 bytes without (left out: chunk \\x1F "
        "\\x5C\\x7F, 2 bytes after the last chunk) (now 183 bytes, behind a MacBinary header)\n1 file: 1 valid, 0 "
        "skipped, 0 failed\n";
    EXPECT_EQ(runOn(cat({Bytes(128, 0), smpte, track, Bytes(2, 0)}), {"-cv"}), success(song + valid));
    // A chunk after the track, more kept and left out than are named.
    const string converted =
        ": converted, 121 -> 81 bytes (kept after the tracks: chunk KEPT, chunk KEPT, chunk KEPT, chunk KEPT and 2 "
        "more chunks; left out: chunk LEFT, chunk LEFT, chunk LEFT, chunk LEFT and 1 more chunk)\n";
    EXPECT_EQ(runOn(cat({header(1, 6, 96), repeat(chunk("LEFT", {}), 5), track, kept}), {}), success(song + converted));
    EXPECT_EQ(readFile(song), cat({header(1, 1, 96), track, kept}));
}

// In place or to --output, one line for each file: results on standard output, failures on
// standard error; -v adds the free space and a summary. An output that could not be made
// is not written. Another temporary name is tried while one is taken. Too little room or a
// stop signal ends the run.
TEST_F(CliRun, ConvertsInPlaceOrToAnOutputAndSaysWhatHappened) {
    const string a = folder.put("a", kRunning);
    const string b = folder.put("b", kPlain);
    const string c = path("c");
    EXPECT_EQ(run({"-r", "on", a}), success(a + kUnchanged));
    fs.onCall = [taken = 0](SystemCall call) mutable {
        return call == SystemCall::CreateTemporary && ++taken < 100 ? EEXIST : 0;
    };
    EXPECT_EQ(run({"-roff", a}), success(a + ": converted, 33 -> 34 bytes\n"));
    fs.onCall = {};
    EXPECT_EQ(run({"-o" + c, a}), success(a + ": converted to " + c + ", 34 -> 33 bytes\n"));
    EXPECT_EQ(run({"-o", path("no/c"), a}),
              notWritten(a, path("no/c"), "No such file or directory", " was not written"));
    const string lines = c + kUnchanged + b + ": converted, 34 -> 33 bytes (1073741824 bytes free in " + folder.path() +
                         ")\n" + folder.path() + ": skipped, folder\n";
    EXPECT_EQ(run({"-v", c, b, folder.path(), path("gone")}),
              failure(path("gone") + kNotFound, lines + "4 files: 1 converted, 1 unchanged, 1 skipped, 1 failed\n"));
    const string d = folder.put("d", kPlain);
    fs.freeBytes = 66;  // twice the result, and no more
    EXPECT_EQ(run({d, a}),
              failure(d + ": error: not enough free space in " + folder.path() +
                      " (66 bytes free, more than 66 bytes needed); left untouched, stopping\n" + a + kStopped));
    // One byte more is room enough.
    fs.freeBytes = 67;
    fs.onCall = [](SystemCall call) { return call == SystemCall::Rename ? ::raise(SIGINT) : 0; };
    EXPECT_EQ(run({d, a}), (Result{128 + SIGINT, d + ": converted, 34 -> 33 bytes\n", a + kStopped}));
}

// A link is followed, named with where it led, and stays a link; its text is walked as a
// path is ("." and "..", also above the root, and links on the way); 41 links in a row are
// too many, as for open().
TEST_F(CliRun, FollowsLinksOnlyWhereTheyLead) {
    ASSERT_TRUE(std::filesystem::create_directory(path("d")));
    const string r = folder.put("r", kRunning);
    const string song = folder.put("d/song", kRunning);
    const string link = path("link");
    ASSERT_EQ(::symlink("d", path("e").c_str()), 0);
    ASSERT_EQ(::symlink(("/.." + folder.path() + "/e/../d/./song").c_str(), link.c_str()), 0);
    for (int i = 1; i <= 41; ++i)
        ASSERT_EQ(::symlink(("k" + std::to_string(i + 1)).c_str(), path("k" + std::to_string(i)).c_str()), 0);
    EXPECT_EQ(run({"-o", link, r}), success(r + ": copied unchanged to " + link + " -> " + song + ", 33 bytes\n"));
    EXPECT_EQ(run({"-r", "off", link}), success(link + " -> " + song + ": converted, 33 -> 34 bytes\n"));
    EXPECT_EQ(readFile(song), kPlain);
    EXPECT_EQ(run({"-o", path("k1"), r}), notWritten(r, path("k1"), "Too many levels of symbolic links"));
}

// A full device of the test's own (never the system's): an output there fails the file,
// and standard output there fails the run.
TEST_F(CliRun, ReportsAFullDevice) {
    const string full = path("full");
    // 1, 7: the numbers of the full device.
    if (::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "needs the right to make device nodes";
    const string r = folder.put("r", kRunning);
    EXPECT_EQ(run({"-o", full, r}), notWritten(r, full, "No space left on device", " holds an incomplete result"));
    EXPECT_EQ(cli(r + " >" + full), failure("quorin-cli: write error: No space left on device\n"));
}

// The real program. Standard input closed: the file is then opened as descriptor 0. Lines
// in order on one stream. Standard output closed (with a line, more than stdio holds, or a
// result). Pipes between runs, and /dev/stdout a pipe. Standard input a folder, or larger
// than its first buffer.
TEST_F(CliRun, TheProgramUsesItsStandardStreams) {
    ASSERT_TRUE(std::filesystem::create_directory(path("sub")));
    const string m = folder.put("sub/m", kPlain);
    const string r = folder.put("r", kRunning);
    EXPECT_EQ(cli("-q " + m + " <&-"), success(""));
    EXPECT_EQ(cli(r + " " + path("gone") + " " + r + " 2>&1"),
              failure("", r + kUnchanged + path("gone") + kNotFound + r + kUnchanged));
    const string closed = "quorin-cli: write error: Bad file descriptor\n";
    const string root = " " + string(4000, '/');
    EXPECT_EQ(cli(r + " >&-"), failure(closed));
    EXPECT_EQ(cli(root + root + root + " >&-"), failure(closed));
    EXPECT_EQ(cli("-q - <" + r + " >&-"), failure("standard input: error: cannot write standard output: Bad file "
                                                  "descriptor; standard output holds an incomplete result\n" +
                                                  closed));
    const string next = " | " QUORIN_CLI_PATH " ";
    EXPECT_EQ(cli("- <" + r + next + "-r off -o - -" + next + "-q -o /dev/stdout - | cat >" + path("piped")),
              (Result{0, "",
                      "standard input: copied unchanged to standard output, 33 bytes\nstandard input: converted to "
                      "standard output, 33 -> 34 bytes\n"}));
    EXPECT_EQ(readFile(path("piped")), kRunning);
    EXPECT_EQ(cli("-c - <" + folder.path()), failure("standard input: error: cannot be opened: Is a directory\n"));
    // 3 MiB of notes in running status: more than the first buffer of 1 MiB, and the second.
    const Bytes notes = repeat({0x00, 0x3C, 0x40}, 1 << 20);
    const string large = folder.put("large", smfOf({cat({{0x00, 0x90, 0x3C, 0x40}, notes, {0x00, 0xFF, 0x2F, 0x00}})}));
    EXPECT_EQ(cli("-q -c - <" + large), success(""));
}

// "[2/3] name", the name quoted and cut at the front to fit 79 columns, each wiped before a
// line is printed; at most ten a second; only on a terminal, and not in quiet runs. A stop
// signal during a check lets it finish and names the rest.
TEST_F(CliRun, ShowsProgressOnlyOnATerminalAtMostTenTimesASecond) {
    // A name cut at the front, and one that fits the 79 columns exactly.
    const Args files = {folder.put(string(100, 'b') + "\n.mid", kPlain),
                        folder.put(string(72 - folder.path().size(), 'x'), kPlain)};
    const auto wiped = [](const string& text) { return "\r" + text + "\r" + string(text.size(), ' ') + "\r"; };
    const string first = wiped("[1/2] ..." + string(58, 'b') + "'$'\\n''.mid'");
    std::chrono::steady_clock::time_point now{};
    const Clock tenthsApart = [&now] { return now += std::chrono::milliseconds(100); };
    const Clock terminate = [&now] {
        ::raise(SIGTERM);
        return now;
    };
    EXPECT_EQ(runWith(fs, files, true, tenthsApart).err, first + wiped("[2/2] " + files[1]));
    EXPECT_EQ(runWith(fs, files, true, [&now] { return now; }).err, first);
    EXPECT_EQ(runWith(fs, {"-q", files[0], files[1]}, true).err, "");
    const Result stopped = runWith(fs, {"-c", files[0], files[1]}, true, terminate);
    EXPECT_EQ(stopped.status, 128 + SIGTERM);
    EXPECT_EQ(stopped.err, first + files[1] + kStopped);
}

// What a run replaces: its FILE, or an --output path that exists.
enum class Target { InPlace, Output };
// How: by a new file, or written through for a second link or for an owner that a new
// file cannot be given.
enum class Keep { NewFile, ThroughForLink, ThroughForOwner };

// A default ACL: version 2; owner rwx, user 4242 rw-, group r-x, mask rwx, others r-x.
const string kAcl = string("\2\0\0\0\1\0\7\0\xFF\xFF\xFF\xFF\2\0\6\0\x92\x10\0\0\4\0\5\0\xFF\xFF\xFF\xFF", 28) +
                    string("\x10\0\7\0\xFF\xFF\xFF\xFF\x20\0\5\0\xFF\xFF\xFF\xFF", 16);

// One replacement in a folder of its own: in.mid (plain), and out.mid ("old"). The replaced
// file has an owner and group of its own (as root; root's own for an output, whose owner is
// kept only when it is root's), set-ID bits (where its owner may keep them) and an empty
// attribute; the folder has a default ACL that a new file inherits and the replaced file
// has not.
struct Stage {
    Stage(Target target, Keep keep) : target(target), keep(keep) {
        folder.put("in.mid", kPlain);
        folder.put("out.mid", bytes("old"));
        if (keep == Keep::ThroughForLink) ::link(file.c_str(), folder.file("link").c_str());
        const bool root = ::geteuid() == 0;
        const uid_t owner = root && target == Target::InPlace ? 4242 : ::geteuid();
        EXPECT_EQ(::chown(file.c_str(), owner, root ? 4343 : ::getegid()), 0);
        EXPECT_EQ(::chmod(file.c_str(), root ? 06764 : 0640), 0);
        EXPECT_EQ(::setxattr(file.c_str(), "user.e", "", 0, 0), 0);
        ::setxattr(folder.path().c_str(), "system.posix_acl_default", kAcl.data(), kAcl.size(), 0);
        former = identity();
        inode = inodeOf(file);
        before = readFile(file);
    }
    // quorin-cli here, with action at the nth call that changes a file.
    Result run(int n, OnCall action) const {
        TestFileSystem fs;
        fs.onCall = [this, n, action, calls = 0](SystemCall call) mutable {
            if (++calls == n) return action(call);
            return keep == Keep::ThroughForOwner && call == SystemCall::ChangeOwner ? EPERM : 0;
        };
        return runWith(fs, target == Target::InPlace ? Args{in} : Args{"-o", out, in});
    }
    // "former", "result" or "neither": what the replaced file holds.
    string holds() const {
        const Bytes now = readFile(file);
        return now == before ? "former" : now == kRunning ? "result" : "neither";
    }
    // The file's mode, owner, group, links and attribute names.
    string identity() const {
        struct stat s = {};
        string names(100, '\0');
        names.resize(std::max<ssize_t>(0, ::listxattr(file.c_str(), names.data(), names.size())));
        ::stat(file.c_str(), &s);
        return std::to_string(s.st_mode) + " " + std::to_string(s.st_uid) + ":" + std::to_string(s.st_gid) + " " +
               std::to_string(s.st_nlink) + " " + names;
    }
    // The result, with the replaced file's identity (so no access ACL from the folder).
    void expectResult() const {
        EXPECT_EQ(holds(), "result");
        EXPECT_EQ(identity(), former);
    }

    const Target target;
    const Keep keep;
    TempFolder folder;
    const string in = folder.file("in.mid");
    const string out = folder.file("out.mid");
    const string file = target == Target::InPlace ? in : out;
    string former;
    ino_t inode;
    Bytes before;
};

// At each system call N that changes a file, for N = 1, 2, ... until the run completes:
// - the call fails: the result, or the former bytes and a line that says so, and no
//   temporary file (unless its removal failed);
// - a child process ends there (by _exit; by SIGQUIT when written through, since only the
//   catchable signals are held off): the file holds its former bytes or the result, and at
//   most a temporary file is left;
// - the file's name, or its folder, is swapped for a link to a folder v of the same names
//   just before the call: the run fails the file, which keeps its bytes, and v is as it was.
// A completed run replaces the file by a new one unless it must be written through.
TEST(CliCrash, EndingFailingOrSwappingAtAnyCallLeavesTheFormerBytesOrTheResult) {
    constexpr int kMostCalls = 100;
    const std::pair<Target, Keep> cases[] = {
        {Target::InPlace, Keep::NewFile},          // renamed over
        {Target::InPlace, Keep::ThroughForLink},   // a second link
        {Target::InPlace, Keep::ThroughForOwner},  // another owner, who cannot be given a new file
        {Target::Output, Keep::NewFile},           // renamed over
    };
    for (const auto& [target, keep] : cases) {
        const bool through = keep != Keep::NewFile;
        for (int n = 1;; ++n) {
            SCOPED_TRACE(::testing::Message() << int(target) << " " << int(keep) << " call " << n);
            ASSERT_LT(n, kMostCalls);
            std::optional<SystemCall> call;
            const Stage failed(target, keep);
            const Result result = failed.run(n, [&call](SystemCall at) {
                call = at;
                return EIO;
            });
            if (!call) {  // no call n: the run completed
                EXPECT_EQ(result.status, 0);
                EXPECT_EQ(hiddenIn(failed.folder.path()), Args{});
                EXPECT_EQ(inodeOf(failed.file) == failed.inode, through);
                failed.expectResult();
                break;
            }
            // A failed sync of the folder: the result is in place, but may not last a crash.
            const bool unsynced = call == SystemCall::SyncFolder;
            const string undone = target == Target::InPlace ? "its original content was put back" : failed.out + kLeft;
            if (result.status == 0 || unsynced) {
                failed.expectResult();
            } else {
                EXPECT_EQ(failed.holds(), "former");
                EXPECT_NE(result.err.find(": Input/output error; " + undone), string::npos) << result.err;
            }
            EXPECT_EQ(result.err.find("but its folder could not be synced") != string::npos, unsynced);
            EXPECT_EQ(hiddenIn(failed.folder.path()).size(), call == SystemCall::Remove ? 1u : 0u);
            const Stage ended(target, keep);
            const int status = inChild([&ended, n, through = through] {
                return ended.run(n, [through](SystemCall) { return through ? ::raise(SIGQUIT) : (::_exit(0), 0); })
                    .status;
            });
            EXPECT_EQ(status, through ? SIGQUIT : 0);
            EXPECT_NE(ended.holds(), "neither");
            EXPECT_LE(hiddenIn(ended.folder.path()).size(), 1u);
            const bool swappable =
                call == SystemCall::OpenOutput || call == SystemCall::CreateTemporary || call == SystemCall::Rename;
            for (const bool wholeFolder : {false, true}) {
                if (through || !swappable) break;
                const Stage d(target, keep);
                const TempFolder v;
                const string name = d.file.substr(d.file.rfind('/') + 1);
                v.put(name, bytes("v"));
                const string from = wholeFolder ? d.folder.path() : d.file;
                const Result swapped = d.run(n, [&](SystemCall) {
                    EXPECT_EQ(::rename(from.c_str(), (from + ".real").c_str()), 0);
                    EXPECT_EQ(::symlink((wholeFolder ? v.path() : v.file(name)).c_str(), from.c_str()), 0);
                    return 0;
                });
                const string real = wholeFolder ? from + ".real" : d.folder.path();
                EXPECT_EQ(readFile(v.file(name)), bytes("v"));
                EXPECT_EQ(std::distance(std::filesystem::directory_iterator(v.path()), {}), 1);
                EXPECT_EQ(readFile(real + "/" + name + (wholeFolder ? "" : ".real")), d.before);
                EXPECT_NE(swapped.err.find(reasonText(Refusal::Moved) + "; "), string::npos) << swapped.err;
                EXPECT_EQ(hiddenIn(real), Args{});
                std::filesystem::remove_all(from + ".real");
            }
        }
    }
    const Stage damaged(Target::InPlace, Keep::ThroughForLink);
    TestFileSystem fs;
    fs.onCall = [](SystemCall call) { return call == SystemCall::Truncate ? EPERM : 0; };
    EXPECT_EQ(runWith(fs, {damaged.in}).err, damaged.in +
                                                 ": error: cannot be written: Operation not permitted; its original "
                                                 "content could NOT be put back, the file is damaged\n");
}

// In a sticky folder that anyone may write, as /tmp: another user's (65534's) link is not
// followed, and another user's output is not given root's result. Root's own link there is
// followed.
TEST_F(CliRun, AnotherUsersLinksAndOutputsInAStickyFolderAreRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to give files to other users";
    const string shared = path("shared/");
    ASSERT_EQ(::mkdir(shared.c_str(), 0), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    const string song = folder.put("song.mid", bytes("old"));
    const string taken = shared + "taken.mid";
    const string planted = shared + "planted.mid";
    writeFile(taken, bytes("old"));
    ASSERT_EQ(::chown(taken.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::symlink(song.c_str(), planted.c_str()), 0);
    ASSERT_EQ(::lchown(planted.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::symlink(song.c_str(), (shared + "root.mid").c_str()), 0);
    const string in = folder.put("in.mid", kPlain);
    EXPECT_EQ(run({"-o", planted, in}), notWritten(in, planted, reasonText(Refusal::UnsafeLink)));
    EXPECT_EQ(run({"-o", taken, in}), notWritten(in, taken, reasonText(Refusal::ForeignOutput)));
    EXPECT_EQ(readFile(taken), bytes("old"));
    EXPECT_EQ(readFile(song), bytes("old"));
    EXPECT_EQ(run({"-o", shared + "root.mid", in}),
              success(in + ": converted to " + shared + "root.mid -> " + song + ", 34 -> 33 bytes\n"));
}

// Whether user uid may open path for reading, tried by a child process that becomes uid.
bool readableBy(const string& path, uid_t uid) {
    return inChild([&] {
               const bool became = ::setgroups(0, nullptr) == 0 && ::setgid(uid) == 0 && ::setuid(uid) == 0;
               return became && ::open(path.c_str(), O_RDONLY) >= 0 ? 0 : 1;
           }) == 0;
}

// The folder's default ACL lets user 4242 read and write new files; the file (5000:5000,
// 0640, no ACL) lets no one but its owner and group read it. At every step that gives the
// temporary file its identity, neither 4242 nor another user can open it.
TEST_F(CliRun, TheTemporaryFileGrantsNoMoreThanTheFinalModeAndAclAtAnyStep) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to give files to other users";
    const string song = folder.put("song.mid", kPlain);
    ASSERT_EQ(::chown(song.c_str(), 5000, 5000), 0);
    ASSERT_EQ(::chmod(song.c_str(), 0640), 0);
    if (::setxattr(folder.path().c_str(), "system.posix_acl_default", kAcl.data(), kAcl.size(), 0) != 0)
        GTEST_SKIP() << "needs a file system with ACLs";
    int steps = 0;
    fs.onCall = [&](SystemCall) {
        const Args temporary = hiddenIn(folder.path());
        if (temporary.empty()) return 0;
        ++steps;
        EXPECT_FALSE(readableBy(path(temporary[0]), 4242)) << steps;
        EXPECT_FALSE(readableBy(path(temporary[0]), 65534)) << steps;
        return 0;
    };
    EXPECT_EQ(run({song}).status, 0);
    EXPECT_GE(steps, 3);  // the owner, the ACL inherited and taken away, the mode
}

#endif

}  // namespace
}  // namespace cli
