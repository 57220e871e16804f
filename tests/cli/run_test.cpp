// quorin-cli in-process through the in-memory file system: what each option does, the lines
// and exit statuses, and that a failure never changes a file it should not.
#include "cli/runner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "fake_cli_file_system.h"
#include "samples.h"

namespace cli::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result run(FakeCliFileSystem& fs, std::vector<std::string> args, bool terminal = false,
           std::function<std::chrono::steady_clock::time_point()> now = {}) {
    std::ostringstream out;
    std::ostringstream err;
    Console console{out, err, terminal, std::move(now)};
    const int status = runCli(args, fs, console);
    return {status, out.str(), err.str()};
}

TEST(CliRun, ConvertsInPlaceWithRunningStatusByDefaultAndWithoutOnRequest) {
    FakeCliFileSystem fs;
    fs.files["d/a.mid"] = plainSong();
    Result result = run(fs, {"d/a.mid"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "d/a.mid: converted, 34 -> 33 bytes\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(fs.files["d/a.mid"], runningStatusSong());

    result = run(fs, {"--running-status", "off", "d/a.mid"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "d/a.mid: converted, 33 -> 34 bytes\n");
    EXPECT_EQ(fs.files["d/a.mid"], plainSong());
}

TEST(CliRun, LeavesAFileAlreadyInTheWantedFormUnwritten) {
    FakeCliFileSystem fs;
    fs.files["d/a.mid"] = runningStatusSong();
    const Result result = run(fs, {"-r", "on", "d/a.mid"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "d/a.mid: unchanged, 33 bytes\n");
    EXPECT_EQ(fs.writes, 0);
}

TEST(CliRun, SkipsFoldersButFailsOnMissingPaths) {
    FakeCliFileSystem fs;
    fs.folders.insert("d/songs");
    EXPECT_EQ(run(fs, {"d/songs"}).out, "d/songs: skipped, folder\n");
    EXPECT_EQ(run(fs, {"d/songs"}).status, 0);
    const Result missing = run(fs, {"d/songs", "d/gone.mid"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_THAT(missing.out, HasSubstr("d/gone.mid: error: cannot be found: system error 2\n"));
}

// Each rejected file is named with the reader's reason and left byte for byte as it was.
TEST(CliRun, NamesTheReasonForRejectedFilesAndLeavesThemUntouched) {
    const std::vector<std::pair<Bytes, std::string>> cases = {
        {bytes({'M', 'T', 'h', 'd', 0, 0, 0, 5, 0, 0, 0, 1, 0, 0x60}),
         "header at offset 0x4: The header length is below 6"},
        {bytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60,
                'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60}),
         "chunk 1 at offset 0xE: A second header chunk follows the first"},
        {bytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60,
                'M', 'T', 'r', 'k', 0, 0, 0, 7, 0x00, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00}),
         "track 1 at offset 0x17: A data byte comes where a status byte is needed"},
        {bytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60,
                'M', 'T', 'r', 'k', 0, 0, 0, 12, 0x00, 0xFF, 0x51, 0x04, 1, 2, 3, 4, 0x00, 0xFF, 0x2F, 0x00}),
         "track 1 at offset 0x19: A meta event has the wrong length for its type"},
        {bytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0, 0x60,
                'M', 'T', 'r', 'k', 0, 0, 0, 4, 0x00, 0xFF, 0x2F, 0x00,
                'M', 'T', 'r', 'k', 0, 0, 0, 5, 0x00, 0xFF, 0x2F, 0x00, 0x00}),
         "track 2 at offset 0x23: End of Track does not end the chunk"},
    };
    for (const auto& [file, reason] : cases) {
        FakeCliFileSystem fs;
        fs.files["d/bad.mid"] = file;
        const Result result = run(fs, {"d/bad.mid"});
        EXPECT_EQ(result.status, 1) << reason;
        EXPECT_EQ(result.out, "d/bad.mid: error: not a valid Standard MIDI File: " + reason + "; left untouched\n");
        EXPECT_EQ(fs.files["d/bad.mid"], file) << reason;
        EXPECT_EQ(fs.writes, 0) << reason;
    }
}

TEST(CliRun, StopsWhenTheVolumeHasNoRoomAndSaysWhichFilesWereNotProcessed) {
    FakeCliFileSystem fs;
    fs.files["d/a.mid"] = plainSong();
    fs.files["d/b.mid"] = plainSong();
    fs.freeBytes = 66;  // exactly twice the new size: not enough
    const Result result = run(fs, {"d/a.mid", "d/b.mid"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out,
              "d/a.mid: error: not enough free space in d (66 bytes free, more than 66 bytes needed); "
              "left untouched, stopping\n"
              "d/b.mid: not processed, the run stopped\n");
    EXPECT_EQ(fs.files["d/a.mid"], plainSong());
    EXPECT_EQ(fs.files["d/b.mid"], plainSong());

    fs.freeBytes = 67;
    EXPECT_EQ(run(fs, {"d/a.mid", "d/b.mid"}).status, 0);
}

TEST(CliRun, RefusesAFileLockedByAnotherProcess) {
    FakeCliFileSystem fs;
    fs.files["d/a.mid"] = plainSong();
    fs.locked.insert("d/a.mid");
    const Result result = run(fs, {"d/a.mid"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "d/a.mid: error: in use, locked by another process; left untouched\n");
    EXPECT_EQ(run(fs, {"--check", "d/a.mid"}).out, "d/a.mid: error: in use, locked by another process\n");
}

TEST(CliRun, SaysWhetherAFailedRewriteWasUndone) {
    FakeCliFileSystem fs;
    fs.files["d/a.mid"] = plainSong();
    fs.inPlaceWritesFailAfter = 10;
    Result result = run(fs, {"d/a.mid"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "d/a.mid: error: cannot be written: system error 28; its original content was put back\n");
    EXPECT_EQ(fs.files["d/a.mid"], plainSong());

    fs.inPlaceWritesFailAfter = 10;
    fs.writeFailurePersists = true;
    result = run(fs, {"d/a.mid"});
    EXPECT_THAT(result.out, HasSubstr("could NOT be put back"));
}

TEST(CliRun, WritesToOutputLeavingTheInputAlone) {
    FakeCliFileSystem fs;
    fs.files["d/a.mid"] = plainSong();
    Result result = run(fs, {"-o", "e/out.mid", "d/a.mid"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "d/a.mid: converted to e/out.mid, 34 -> 33 bytes\n");
    EXPECT_EQ(fs.files["d/a.mid"], plainSong());
    EXPECT_EQ(fs.files["e/out.mid"], runningStatusSong());

    result = run(fs, {"--output=e/copy.mid", "--running-status=off", "d/a.mid"});
    EXPECT_EQ(result.out, "d/a.mid: copied unchanged to e/copy.mid, 34 bytes\n");
    EXPECT_EQ(fs.files["e/copy.mid"], plainSong());
}

TEST(CliRun, CreatesNoOutputForARejectedFileOrAFailedWrite) {
    FakeCliFileSystem fs;
    fs.files["d/bad.mid"] = bytes({'R', 'I', 'F', 'F'});
    EXPECT_EQ(run(fs, {"-o", "e/out.mid", "d/bad.mid"}).status, 1);
    EXPECT_EQ(fs.files.count("e/out.mid"), 0u);

    fs.files["d/a.mid"] = plainSong();
    fs.replaceFails = true;
    const Result result = run(fs, {"-o", "e/out.mid", "d/a.mid"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "d/a.mid: error: cannot write e/out.mid: system error 28; e/out.mid was left as it was\n");
    EXPECT_EQ(fs.files.count("e/out.mid"), 0u);
    EXPECT_EQ(fs.files["d/a.mid"], plainSong());
}

TEST(CliRun, ChecksWithoutChangingAnything) {
    FakeCliFileSystem fs;
    fs.files["d/two.mid"] = twoTrackSong();
    fs.files["d/bad.mid"] = bytes({'M', 'T', 'h'});
    fs.folders.insert("d/songs");
    Result result = run(fs, {"-c", "d/two.mid", "d/songs"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out,
              "d/two.mid: valid Standard MIDI File, format 1, 2 tracks, 480 ticks per quarter note, 10 events, "
              "uses running status (2 events); 72 bytes with running status, 74 bytes without\n"
              "d/songs: skipped, folder\n");
    EXPECT_EQ(fs.writes, 0);

    fs.files["d/plain.mid"] = plainSong();
    result = run(fs, {"--check", "d/plain.mid", "d/bad.mid"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out,
              "d/plain.mid: valid Standard MIDI File, format 0, 1 track, 96 ticks per quarter note, 3 events, "
              "does not use running status; 33 bytes with running status, 34 bytes without\n"
              "d/bad.mid: error: not a valid Standard MIDI File: header at offset 0x0: "
              "The file is shorter than 4 bytes\n");
    EXPECT_EQ(fs.writes, 0);
}

TEST(CliRun, QuietPrintsOnlyFailuresAndVerboseAddsASummary) {
    FakeCliFileSystem fs;
    fs.files["d/a.mid"] = plainSong();
    fs.files["d/b.mid"] = plainSong();
    fs.folders.insert("d/songs");
    Result result = run(fs, {"-q", "d/a.mid", "d/songs", "d/gone.mid"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "d/gone.mid: error: cannot be found: system error 2\n");

    result = run(fs, {"-v", "d/a.mid", "d/b.mid", "d/songs", "d/gone.mid"});
    EXPECT_THAT(result.out, HasSubstr("d/b.mid: converted, 34 -> 33 bytes (1073741824 bytes free in d)\n"));
    EXPECT_THAT(result.out, HasSubstr("\n4 files: 1 converted, 1 unchanged, 1 skipped, 1 failed\n"));
}

TEST(CliRun, ShowsProgressOnlyOnATerminalAtMostTenTimesASecond) {
    FakeCliFileSystem fs;
    const std::vector<std::string> files = {"d/a.mid", "d/b.mid", "d/c.mid"};
    for (const std::string& path : files) fs.files[path] = plainSong();
    std::chrono::steady_clock::time_point clock{};
    const auto stepped = [&clock] { return clock += std::chrono::milliseconds(100); };
    Result result = run(fs, files, true, stepped);
    EXPECT_THAT(result.err, HasSubstr("\r[1/3] d/a.mid"));
    EXPECT_THAT(result.err, HasSubstr("\r[3/3] d/c.mid"));
    EXPECT_EQ(result.err.back(), '\r') << "the progress line is wiped at the end";
    EXPECT_EQ(result.out, "d/a.mid: converted, 34 -> 33 bytes\nd/b.mid: converted, 34 -> 33 bytes\n"
                          "d/c.mid: converted, 34 -> 33 bytes\n");

    const auto frozen = [] { return std::chrono::steady_clock::time_point{} + std::chrono::hours(1); };
    result = run(fs, files, true, frozen);
    EXPECT_THAT(result.err, HasSubstr("[1/3]"));
    EXPECT_THAT(result.err, Not(HasSubstr("[2/3]")));

    EXPECT_EQ(run(fs, files, false).err, "");
    EXPECT_EQ(run(fs, {"-q", "d/a.mid", "d/b.mid"}, true).err, "");
}

}  // namespace
}  // namespace cli::testing
