// The per-file sequence through the in-memory file system: results, and that no failure
// loses a file's bytes or leaves the engine unusable.
#include "convert/conversion_engine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_file_system.h"
#include "smf_samples.h"

namespace convert::testing {
namespace {

struct RecordingListener final : ConversionListener {
    FakeFileSystem* fs = nullptr;
    std::vector<std::string> events;
    void fileStarted(const std::string& path) override {
        events.push_back("start " + path + " open=" + std::to_string(fs->openFiles));
    }
    void fileFinished(const std::string& path, const FileOutcome&) override {
        events.push_back("finish " + path + " open=" + std::to_string(fs->openFiles));
    }
};

TEST(ConversionEngine, RewritesWithAndWithoutRunningStatus) {
    FakeFileSystem fs;
    fs.add("C:/plain.mid", plainSmf());
    fs.add("C:/rs.mid", runningStatusSmf());
    ConversionEngine toRunning(fs, true);
    const FileOutcome outcome = toRunning.convert("C:/plain.mid");
    EXPECT_EQ(outcome.kind, OutcomeKind::Converted);
    EXPECT_EQ(outcome.oldSize, 34u);
    EXPECT_EQ(outcome.newSize, 33u);
    EXPECT_EQ(outcome.location, "C:");
    EXPECT_EQ(fs.bytesOf("C:/plain.mid"), runningStatusSmf());

    ConversionEngine toPlain(fs, false);
    EXPECT_EQ(toPlain.convert("C:/rs.mid").kind, OutcomeKind::Converted);
    EXPECT_EQ(fs.bytesOf("C:/rs.mid"), plainSmf());
    EXPECT_EQ(fs.openFiles, 0);
}

TEST(ConversionEngine, SurvivesShortReadsAndWrites) {
    FakeFileSystem fs;
    fs.chunkLimit = 5;
    fs.add("C:/a.mid", plainSmf());
    ConversionEngine engine(fs, true);
    EXPECT_EQ(engine.convert("C:/a.mid").kind, OutcomeKind::Converted);
    EXPECT_EQ(fs.bytesOf("C:/a.mid"), runningStatusSmf());
}

TEST(ConversionEngine, SkipsFoldersAndMissingPathsWithoutOpeningThem) {
    FakeFileSystem fs;
    fs.addFolder("C:/songs");
    RecordingListener listener;
    listener.fs = &fs;
    ConversionEngine engine(fs, true);
    EXPECT_EQ(engine.convert("C:/songs", &listener).kind, OutcomeKind::Folder);
    const FileOutcome missing = engine.convert("C:/gone.mid", &listener);
    EXPECT_EQ(missing.kind, OutcomeKind::Missing);
    EXPECT_EQ(missing.error, 2u);
    EXPECT_FALSE(missing.started());
    EXPECT_EQ(fs.opened, 0);
    EXPECT_TRUE(listener.events.empty());
}

TEST(ConversionEngine, TellsListenerBeforeOpeningAndWhileStillOpen) {
    FakeFileSystem fs;
    fs.add("C:/bad.mid", Bytes{'n', 'o', 'p', 'e'});
    RecordingListener listener;
    listener.fs = &fs;
    ConversionEngine engine(fs, true);
    EXPECT_EQ(engine.convert("C:/bad.mid", &listener).kind, OutcomeKind::NotSmf);
    EXPECT_EQ(listener.events, (std::vector<std::string>{"start C:/bad.mid open=0", "finish C:/bad.mid open=1"}));
    EXPECT_EQ(fs.openFiles, 0);
}

TEST(ConversionEngine, RejectsInvalidAndEmptyFilesUntouched) {
    FakeFileSystem fs;
    fs.add("C:/text.mid", Bytes{'h', 'e', 'l', 'l', 'o'});
    fs.add("C:/empty.mid", Bytes{});
    ConversionEngine engine(fs, true);
    for (const char* path : {"C:/text.mid", "C:/empty.mid"}) {
        const Bytes before = fs.bytesOf(path);
        const FileOutcome outcome = engine.convert(path);
        EXPECT_EQ(outcome.kind, OutcomeKind::NotSmf) << path;
        EXPECT_NE(outcome.parseFailure.rule, smf::ParseRule::None) << path;
        EXPECT_EQ(fs.bytesOf(path), before) << path;
    }
    EXPECT_TRUE(fs.probedLocations.empty());
}

TEST(ConversionEngine, RoomRuleNeedsMoreThanTwiceTheNewSize) {
    FakeFileSystem fs;
    fs.add("D:/a.mid", plainSmf());
    ConversionEngine engine(fs, true);  // new size 33
    fs.freeBytes = 66;
    const FileOutcome tight = engine.convert("D:/a.mid");
    EXPECT_EQ(tight.kind, OutcomeKind::NotEnoughSpace);
    EXPECT_TRUE(tight.endsRun());
    EXPECT_EQ(tight.location, "D:");
    EXPECT_EQ(fs.bytesOf("D:/a.mid"), plainSmf());
    fs.freeBytes = 67;
    EXPECT_EQ(engine.convert("D:/a.mid").kind, OutcomeKind::Converted);
    EXPECT_EQ(fs.bytesOf("D:/a.mid"), runningStatusSmf());
}

std::uint32_t allocationAsked = 0;

TEST(ConversionEngine, FilesOf4GiBAreNeverReadOrCut) {
    std::uint32_t& asked = allocationAsked;
    FakeFileSystem fs;
    fs.add("C:/huge.mid", plainSmf());
    ConversionEngine engine(fs, true, [](std::uint32_t size) -> std::uint8_t* {
        allocationAsked = size;
        return nullptr;
    });
    fs.entries["C:/huge.mid"].reportedSize = 0x100000000ull;
    const FileOutcome huge = engine.convert("C:/huge.mid");
    EXPECT_EQ(huge.kind, OutcomeKind::TooLarge);
    EXPECT_EQ(huge.oldSize, 0x100000000ull);
    EXPECT_EQ(asked, 0u);

    fs.entries["C:/huge.mid"].reportedSize = 0xFFFFFFFFull;  // still fits: allocation is tried
    const FileOutcome largest = engine.convert("C:/huge.mid");
    EXPECT_EQ(largest.kind, OutcomeKind::ReadFailed);
    EXPECT_EQ(largest.error, 0u);
    EXPECT_EQ(asked, 0xFFFFFFFFu);
    EXPECT_EQ(fs.bytesOf("C:/huge.mid"), plainSmf());
    EXPECT_EQ(fs.openFiles, 0);
}

struct StepFailure {
    std::set<Step> steps;
    std::uint32_t writeFailsAfter;
    OutcomeKind kind;
    bool endsRun;
    bool restored;
};

class FailingStep : public ::testing::TestWithParam<StepFailure> {};

// Each failure gives its outcome with the step's error code, leaves the file as it was
// (unless the outcome admits otherwise), closes it, and the next file converts.
TEST_P(FailingStep, GivesOutcomeKeepsBytesAndEngineGoesOn) {
    const StepFailure& c = GetParam();
    FakeFileSystem fs;
    fs.failCode = 112;
    fs.add("C:/a.mid", plainSmf());
    fs.add("C:/b.mid", plainSmf());
    fs.failAt = c.steps;
    fs.writeFailsAfter = c.writeFailsAfter;
    ConversionEngine engine(fs, true);

    const FileOutcome outcome = engine.convert("C:/a.mid");
    EXPECT_EQ(outcome.kind, c.kind);
    EXPECT_EQ(outcome.error, 112u);
    EXPECT_EQ(outcome.endsRun(), c.endsRun);
    EXPECT_EQ(outcome.restored, c.restored);
    if (c.restored) {
        EXPECT_EQ(fs.bytesOf("C:/a.mid"), plainSmf());
    } else {
        EXPECT_NE(fs.bytesOf("C:/a.mid"), plainSmf());
    }
    EXPECT_EQ(fs.openFiles, 0);

    fs.failAt.clear();
    EXPECT_EQ(engine.convert("C:/b.mid").kind, OutcomeKind::Converted);
    EXPECT_EQ(fs.bytesOf("C:/b.mid"), runningStatusSmf());
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, FailingStep,
    ::testing::Values(StepFailure{{Step::Open}, 0, OutcomeKind::OpenFailed, false, true},
                      StepFailure{{Step::Size}, 0, OutcomeKind::ReadFailed, false, true},
                      StepFailure{{Step::Read}, 0, OutcomeKind::ReadFailed, false, true},
                      StepFailure{{Step::Probe}, 0, OutcomeKind::ProbeFailed, true, true},
                      StepFailure{{Step::Truncate}, 0, OutcomeKind::WriteFailed, false, true},
                      StepFailure{{Step::Write}, 0, OutcomeKind::WriteFailed, false, true},
                      StepFailure{{Step::Write}, 20, OutcomeKind::WriteFailed, false, true},
                      StepFailure{{Step::Write, Step::RestoreTruncate}, 20, OutcomeKind::WriteFailed, false, false},
                      StepFailure{{Step::Write, Step::RestoreWrite}, 10, OutcomeKind::WriteFailed, false, false}));

TEST(ConversionEngine, FailedAllocationIsAReadFailure) {
    FakeFileSystem fs;
    fs.add("C:/a.mid", plainSmf());
    ConversionEngine engine(fs, true, [](std::uint32_t) -> std::uint8_t* { return nullptr; });
    const FileOutcome outcome = engine.convert("C:/a.mid");
    EXPECT_EQ(outcome.kind, OutcomeKind::ReadFailed);
    EXPECT_EQ(outcome.error, 0u);
    EXPECT_EQ(fs.bytesOf("C:/a.mid"), plainSmf());
    EXPECT_EQ(fs.openFiles, 0);
}

}  // namespace
}  // namespace convert::testing
