// quorin-cli in-process on real temporary files through the POSIX file system, with
// failures injected at its system calls: what each option does, the lines and exit
// statuses, and that a failure never changes a file it should not.
#include "cli/file_system_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <map>
#include <tuple>

#include "test_support.h"

namespace cli::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// The POSIX file system with a fixed free space and failures on demand: the calls named in
// failing fail with their error, the first failuresLeft times.
class TestFileSystem final : public PosixFileSystem {
public:
    std::uint64_t freeBytes = 1u << 30;
    std::map<SystemCall, int> failing;
    int failuresLeft = INT_MAX;
    int writes = 0;  // calls of write or pwrite, in place or to a temporary file

    bool freeSpace(const std::string&, std::uint64_t& bytes, SystemError&) override {
        bytes = freeBytes;
        return true;
    }
    int beforeCall(SystemCall call) override {
        if (call == SystemCall::Write) ++writes;
        const auto found = failing.find(call);
        if (found == failing.end() || failuresLeft == 0) return 0;
        --failuresLeft;
        return found->second;
    }
};

class CliRun : public ::testing::Test {
protected:
    std::string put(const std::string& name, const Bytes& content) {
        writeFile(folder.file(name), content);
        return folder.file(name);
    }
    std::string makeFolder(const std::string& name) {
        ::mkdir(folder.file(name).c_str(), 0700);
        return folder.file(name);
    }

    TempFolder folder;
    TestFileSystem fs;
    const std::string notFound = ": error: cannot be found: No such file or directory\n";
};

TEST_F(CliRun, ConvertsInPlaceBothWaysAndLeavesAFileInTheWantedFormUnwritten) {
    const std::string a = put("a.mid", plainSong());
    Result result = run(fs, {a});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, a + ": converted, 34 -> 33 bytes\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(readFile(a), runningStatusSong());

    fs.writes = 0;
    EXPECT_EQ(run(fs, {"-r", "on", a}).out, a + ": unchanged, 33 bytes\n");
    EXPECT_EQ(fs.writes, 0);

    EXPECT_EQ(run(fs, {"--running-status", "off", a}).out, a + ": converted, 33 -> 34 bytes\n");
    EXPECT_EQ(readFile(a), plainSong());
}

// Each rejected file is named with the reader's reason and left byte for byte as it was,
// with no output file created.
TEST_F(CliRun, NamesTheReasonForRejectedFilesAndLeavesThemUntouched) {
    const std::pair<Bytes, std::string> cases[] = {
        {{'M', 'T', 'h', 'd', 0, 0, 0, 5, 0, 0, 0, 1, 0, 0x60}, "header at offset 0x4: The header length is below 6"},
        {{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60, 'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60},
         "chunk 1 at offset 0xE: A second header chunk follows the first"},
        {{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60,
          'M', 'T', 'r', 'k', 0, 0, 0, 7, 0x00, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00},
         "track 1 at offset 0x17: A data byte comes where a status byte is needed"},
        {{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0, 0x60, 'M', 'T', 'r', 'k', 0, 0, 0, 4, 0x00, 0xFF, 0x2F, 0x00,
          'M', 'T', 'r', 'k', 0, 0, 0, 5, 0x00, 0xFF, 0x2F, 0x00, 0x00},
         "track 2 at offset 0x23: End of Track does not end the chunk"},
    };
    for (const auto& [content, reason] : cases) {
        const std::string bad = put("bad.mid", content);
        const Result result = run(fs, {bad});
        EXPECT_EQ(result.status, 1) << reason;
        EXPECT_EQ(result.err, bad + ": error: not a valid Standard MIDI File: " + reason + "; left untouched\n");
        EXPECT_EQ(run(fs, {"-o", folder.file("out.mid"), bad}).status, 1) << reason;
        EXPECT_EQ(readFile(bad), content) << reason;
        EXPECT_EQ(folder.names(), std::set<std::string>{"bad.mid"}) << reason;
    }
    EXPECT_EQ(fs.writes, 0);
}

TEST_F(CliRun, StopsWhenTheVolumeHasNoRoomAndSaysWhichFilesWereNotProcessed) {
    const std::string a = put("a.mid", plainSong());
    const std::string b = put("b.mid", plainSong());
    fs.freeBytes = 66;  // exactly twice the new size: not enough
    const Result result = run(fs, {a, b});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, a + ": error: not enough free space in " + folder.path() +
                              " (66 bytes free, more than 66 bytes needed); left untouched, stopping\n" + b +
                              ": not processed, the run stopped\n");
    EXPECT_EQ(readFile(a), plainSong());
    EXPECT_EQ(readFile(b), plainSong());

    fs.freeBytes = 67;
    EXPECT_EQ(run(fs, {a, b}).status, 0);
}

// Another reader's shared hold stops only the rewrite in place; an exclusive one stops all.
TEST_F(CliRun, RefusesAFileAnotherProcessHoldsLocked) {
    const std::string path = put("held.mid", plainSong());
    const std::string locked = path + ": error: in use, locked by another process";
    const int holder = ::open(path.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_SH | LOCK_NB), 0);
    EXPECT_EQ(run(fs, {path}).err, locked + "; left untouched\n");
    EXPECT_EQ(run(fs, {"-o", folder.file("out.mid"), path}).status, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(run(fs, {"-c", path}).err, locked + "\n");
    EXPECT_EQ(readFile(path), plainSong());

    ::close(holder);
    EXPECT_EQ(run(fs, {path}).status, 0);
    EXPECT_EQ(readFile(path), runningStatusSong());
}

// A file with a second hard link is written through: a failed write is undone from the
// bytes read, or said not to be.
TEST_F(CliRun, SaysWhetherAFailedWriteThroughWasUndone) {
    const std::string a = put("a.mid", plainSong());
    ASSERT_EQ(::link(a.c_str(), folder.file("link.mid").c_str()), 0);
    fs.failing = {{SystemCall::Write, ENOSPC}};
    fs.failuresLeft = 1;
    const Result result = run(fs, {a});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              a + ": error: cannot be written: No space left on device; its original content was put back\n");
    EXPECT_EQ(readFile(a), plainSong());

    TestFileSystem failing;
    failing.failing = {{SystemCall::Truncate, EIO}};
    EXPECT_EQ(run(failing, {a}).err, a + ": error: cannot be written: Input/output error; its original "
                                         "content could NOT be put back, the file is damaged\n");
}

// The output appears whole, with the permissions of the file it replaces, or not at all: a
// failed write, fsync or rename leaves the old output as it was and no temporary file.
TEST_F(CliRun, WritesTheOutputWholeOrNotAtAllLeavingTheInputAlone) {
    const std::string in = put("in.mid", plainSong());
    const Bytes old = {'o', 'l', 'd'};
    const SystemCall steps[] = {SystemCall::Write, SystemCall::Sync, SystemCall::Rename, SystemCall::OpenOutput};
    for (int step = 0; step < 5; ++step) {  // failing: each of the steps; nothing
        const std::string out = put("out.mid", old);
        ASSERT_EQ(::chmod(out.c_str(), 0640), 0);
        TestFileSystem failing;
        if (step < 4) failing.failing = {{steps[step], EIO}};
        const Result result = run(failing, {"-o", out, in});
        EXPECT_EQ(result.status, step == 4 ? 0 : 1) << step;
        EXPECT_THAT(step == 4 ? result.out : result.err,
                    StartsWith(in + (step == 4 ? ": converted to " + out + ", 34 -> 33 bytes\n"
                                               : ": error: cannot write " + out + ": ")));
        EXPECT_EQ(readFile(out), step == 4 ? runningStatusSong() : old) << step;
        struct stat status;
        ASSERT_EQ(::stat(out.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0640u) << step;
        EXPECT_EQ(readFile(in), plainSong()) << step;
        EXPECT_EQ(folder.names(), (std::set<std::string>{"in.mid", "out.mid"})) << step;
    }

    // Every spelling of the options; the result equals the input.
    const std::string copy = folder.file("copy.mid");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--output=" + copy, "--running-status=off", in}, {"-roff", "-o" + copy, in},
             {"-r", "off", in, "--output", copy}}) {
        EXPECT_EQ(run(fs, args).out, in + ": copied unchanged to " + copy + ", 34 bytes\n");
        EXPECT_EQ(readFile(copy), plainSong());
    }
}

// Format 1, division 480, a tempo track and a track of 8 events of which 2 use running
// status (72 bytes; 74 without running status).
const Bytes kTwoTrackSong = {
    'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0x01, 0xE0,
    'M', 'T', 'r', 'k', 0, 0, 0, 11, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x2F, 0x00,
    'M', 'T', 'r', 'k', 0, 0, 0, 31, 0x00, 0xC0, 0x05,  // program change
    0x00, 0x90, 0x3C, 0x64, 0x60, 0x3E, 0x64, 0x60, 0x80, 0x3C, 0x40, 0x00, 0x3E, 0x40,  // notes on and off
    0x00, 0xB0, 0x07, 0x64, 0x00, 0xF0, 0x03, 0x43, 0x12, 0xF7, 0x00, 0xFF, 0x2F, 0x00};  // controller, SysEx

TEST_F(CliRun, ChecksWithoutChangingAnything) {
    const std::string two = put("two.mid", kTwoTrackSong);
    const std::string plain = put("plain.mid", plainSong());
    const std::string songs = makeFolder("songs");
    Bytes behindMacBinary(128, 0);
    const Bytes song = runningStatusSong();
    behindMacBinary.insert(behindMacBinary.end(), song.begin(), song.end());
    const std::string mac = put("mac.mid", behindMacBinary);

    const Result result = run(fs, {"-c", two, plain, songs});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, two + ": valid Standard MIDI File, format 1, 2 tracks, 480 ticks per quarter note, "
                                "10 events, uses running status (2 events); 72 bytes with running status, "
                                "74 bytes without\n" +
                              plain + ": valid Standard MIDI File, format 0, 1 track, 96 ticks per quarter note, "
                                      "3 events, does not use running status; 33 bytes with running status, "
                                      "34 bytes without\n" +
                              songs + ": skipped, folder\n");
    EXPECT_EQ(run(fs, {"-cv", mac}).out,
              mac + ": valid Standard MIDI File, format 0, 1 track, 96 ticks per quarter note, 3 events, uses "
                    "running status (1 event); 33 bytes with running status, 34 bytes without (now 161 bytes, "
                    "behind a MacBinary header)\n1 file: 1 valid, 0 skipped, 0 failed\n");
    EXPECT_EQ(fs.writes, 0);
    EXPECT_EQ(readFile(two), kTwoTrackSong);
}

// Chunks of other types and bytes after the last chunk are named wherever they would be
// lost; a track that the header's count leaves out refuses the file instead.
TEST_F(CliRun, NamesWhatTheResultLeavesOut) {
    Bytes song = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 2, 0, 0x60, 'X', 'F', 'I', 'H', 0, 0, 0, 1, 0x7E};
    const Bytes track = runningStatusSong();
    song.insert(song.end(), track.begin() + 14, track.end());
    const Bytes alien = song;
    song.insert(song.end(), {0x0A, 0x0B});
    const std::string path = put("two\nlines.mid", song);
    const std::string shown = "'" + folder.path() + "/two'$'\\n''lines.mid'";
    EXPECT_EQ(run(fs, {"-c", path}).out,
              shown + ": valid Standard MIDI File, format 0, 1 track, 96 ticks per quarter note, 3 events, uses "
                      "running status (1 event); 33 bytes with running status, 34 bytes without (left out: chunk "
                      "XFIH, 2 bytes after the last chunk)\n");
    EXPECT_EQ(run(fs, {path}).out, shown + ": converted, 44 -> 33 bytes (left out: chunk XFIH, 2 bytes after the last chunk)\n");
    EXPECT_EQ(readFile(path), runningStatusSong());

    Bytes lost = alien;
    lost.insert(lost.end(), track.begin() + 14, track.end());
    const std::string bad = put("bad.mid", lost);
    const Result result = run(fs, {bad});
    EXPECT_EQ(result.err, bad + ": error: not a valid Standard MIDI File: chunk 3 at offset 0x2A: A track chunk "
                                "follows the 2 chunks the header declares; left untouched\n");
    EXPECT_EQ(readFile(bad), lost);
}

// Folders are skipped, not failures; a missing path and what is not a regular file (a
// pipe would block the open) fail, also under --check. Quiet runs print only failures;
// verbose ones add the free space (where it was asked for) and a summary.
TEST_F(CliRun, ReportsFoldersMissingPathsAndPipesQuietlyOrVerbosely) {
    const std::string a = put("a.mid", plainSong());
    const std::string b = put("b.mid", plainSong());
    const std::string songs = makeFolder("songs");
    const std::string gone = folder.file("gone.mid");
    const std::string pipe = folder.file("pipe.mid");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    Result result = run(fs, {"-q", a, songs});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");

    result = run(fs, {"-v", a, b, songs, gone, pipe});
    EXPECT_EQ(result.status, 1);
    const std::string free = " (1073741824 bytes free in " + folder.path() + ")\n";
    const std::string notRegular = ": error: cannot be opened: not a regular file\n";
    EXPECT_EQ(result.out, a + ": unchanged, 33 bytes\n" + b + ": converted, 34 -> 33 bytes" + free + songs +
                              ": skipped, folder\n5 files: 1 converted, 1 unchanged, 1 skipped, 2 failed\n");
    EXPECT_EQ(result.err, gone + notFound + pipe + notRegular);

    result = run(fs, {"-q", "-c", a, pipe, gone});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, pipe + notRegular + gone + notFound);
    EXPECT_EQ(run(fs, {"-q", "--", "-v", "-x"}).err, "-v" + notFound + "-x" + notFound) << "file names, not options";
}

TEST_F(CliRun, ShowsProgressOnlyOnATerminalAtMostTenTimesASecond) {
    const std::vector<std::string> files = {put("a.mid", plainSong()), put("b.mid", plainSong()),
                                            put("c.mid", plainSong())};
    std::chrono::steady_clock::time_point clock{};
    const auto stepped = [&clock] { return clock += std::chrono::milliseconds(100); };
    Result result = run(fs, files, true, stepped);
    EXPECT_THAT(result.err, HasSubstr("\r[1/3] " + files[0]));
    EXPECT_THAT(result.err, HasSubstr("\r[3/3] " + files[2]));
    EXPECT_EQ(result.err.back(), '\r') << "the progress line is wiped at the end";
    EXPECT_EQ(result.out, files[0] + ": converted, 34 -> 33 bytes\n" + files[1] + ": converted, 34 -> 33 bytes\n" +
                              files[2] + ": converted, 34 -> 33 bytes\n");

    const auto frozen = [] { return std::chrono::steady_clock::time_point{} + std::chrono::hours(1); };
    result = run(fs, files, true, frozen);
    EXPECT_THAT(result.err, HasSubstr("[1/3]"));
    EXPECT_THAT(result.err, Not(HasSubstr("[2/3]")));

    EXPECT_EQ(run(fs, {"-q", files[0], files[1]}, true).err, "");
}

// -h and --version win wherever they stand, unless an unknown option comes first. Usage
// errors go to standard error with exit status 2 before any file is looked at.
TEST_F(CliRun, AnswersHelpAndVersionAndRefusesWhatCannotBeMeant) {
    const std::string usage = "Usage: quorin-cli [OPTIONS] FILE...\n";
    const std::tuple<std::vector<std::string>, std::string, std::string> cases[] = {
        {{"-h"}, usage, ""},
        {{"-q", "-v", "--help"}, usage, ""},
        {{"-ch", "a.mid"}, usage, ""},
        {{"a.mid", "--version", "b.mid"}, "quorin-cli 1.00\n", ""},
        {{}, "", "no FILE given"},
        {{"-x", "a.mid"}, "", "invalid option -- 'x'"},
        {{"--runx", "on", "a.mid"}, "", "unrecognized option '--runx'"},
        {{"--bogus", "--help"}, "", "unrecognized option '--bogus'"},
        {{"--ver", "a.mid"}, "", "option '--ver' is ambiguous; possibilities: '--verbose' '--version'"},
        {{"-r"}, "", "option requires an argument -- 'r'"},
        {{"a.mid", "--out"}, "", "option '--output' requires an argument"},
        {{"-r", "yes", "a.mid"}, "", "invalid argument 'yes' for '--running-status'; valid arguments are 'on' and 'off'"},
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
