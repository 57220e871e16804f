// The per-file sequence over a file system in memory: results, and that no failure (a
// system error at any step, or memory running out) loses a file's bytes or leaves the
// engine unusable. Every allocation of this program can be made to fail.
#include "convert/conversion_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "smf_samples.h"

namespace {
bool failAllocations = false;  // set by the fake file system, cleared by the tests
}  // namespace

// GCC cannot see that these replacements pair malloc with free.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
    if (failAllocations) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return ::operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace convert::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

enum class Step {
    Open, Size, Read,
    ParseMemory,      // every allocation fails once the last byte is read
    Probe,
    Room,             // the free space is exactly twice the new size
    WriterMemory,     // every allocation fails once the free space is known
    Truncate, Write, Flush,  // the first cut, the new bytes, making them durable
    RestoreTruncate, RestoreWrite, RestoreFlush,  // the same steps putting the original back
};

class FakeFileSystem final : public FileSystem {
public:
    std::map<std::string, Bytes> files;
    std::set<std::string> folders;
    std::set<Step> failAt;
    std::uint32_t writeFailsAfter = 0;      // bytes a failing write step accepts first
    std::uint32_t chunkLimit = 0xFFFFFFFF;  // most bytes one read or write moves
    std::uint64_t reportedSize = 0;         // when non-zero, what every size query answers
    int openFiles = 0;
    int cuts = 0;                           // of the file opened last

    // Whether step fails (with error 112, ERROR_DISK_FULL).
    bool fails(Step step, SystemError& error) const {
        if (failAt.count(step) == 0) return false;
        error = 112;
        return true;
    }
    bool fails(Step step) const { return failAt.count(step) != 0; }

    PathKind pathKind(const std::string& path, SystemError& error) override {
        if (folders.count(path) != 0) return PathKind::Folder;
        if (files.count(path) != 0) return PathKind::File;
        error = 2;
        return PathKind::Missing;
    }
    std::unique_ptr<OpenFile> open(const std::string& path, SystemError& error) override;
    std::string freeSpaceLocation(const std::string& path) override { return path.substr(0, path.find('/')); }
    bool freeSpace(const std::string&, std::uint64_t& freeBytes, SystemError& error) override {
        if (fails(Step::Probe, error)) return false;
        freeBytes = fails(Step::Room) ? 2 * runningStatusSmf().size() : 1u << 30;
        failAllocations = fails(Step::WriterMemory);
        return true;
    }
};

class FakeOpenFile final : public OpenFile {
public:
    FakeOpenFile(FakeFileSystem& fs, Bytes& bytes) : fs_(fs), bytes_(bytes) { ++fs_.openFiles; }
    ~FakeOpenFile() override { --fs_.openFiles; }

    bool size(std::uint64_t& size, SystemError& error) override {
        if (fs_.fails(Step::Size, error)) return false;
        size = fs_.reportedSize != 0 ? fs_.reportedSize : bytes_.size();
        return true;
    }
    bool read(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& got, SystemError& error) override {
        if (fs_.fails(Step::Read, error)) return false;
        got = static_cast<std::uint32_t>(std::min<std::size_t>({length, fs_.chunkLimit, bytes_.size() - read_}));
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(read_), got, buffer);
        read_ += got;
        if (read_ == bytes_.size()) failAllocations = fs_.fails(Step::ParseMemory);
        return true;
    }
    bool truncate(SystemError& error) override {
        if (fs_.fails(fs_.cuts++ == 0 ? Step::Truncate : Step::RestoreTruncate, error)) return false;
        bytes_.clear();
        return true;
    }
    // Writes follow a cut, so they append: the new bytes after the first, the original after the second.
    bool write(const std::uint8_t* data, std::uint32_t length, std::uint32_t& written, SystemError& error) override {
        const Step step = fs_.cuts <= 1 ? Step::Write : Step::RestoreWrite;
        const std::size_t room = fs_.writeFailsAfter - std::min<std::size_t>(fs_.writeFailsAfter, bytes_.size());
        written = std::min(length, fs_.chunkLimit);
        if (fs_.fails(step)) written = std::min<std::size_t>(written, room);
        if (written == 0 && fs_.fails(step, error)) return false;
        bytes_.insert(bytes_.end(), data, data + written);
        return true;
    }
    // A failing flush is a deferred write that never reached the disk: the bytes are lost.
    bool flush(SystemError& error) override {
        if (!fs_.fails(fs_.cuts <= 1 ? Step::Flush : Step::RestoreFlush, error)) return true;
        bytes_.clear();
        return false;
    }

private:
    FakeFileSystem& fs_;
    Bytes& bytes_;
    std::size_t read_ = 0;
};

std::unique_ptr<OpenFile> FakeFileSystem::open(const std::string& path, SystemError& error) {
    if (fails(Step::Open, error)) return nullptr;
    cuts = 0;
    return std::make_unique<FakeOpenFile>(*this, files.at(path));  // throws for a folder or missing path
}

struct RecordingListener final : ConversionListener {
    explicit RecordingListener(const FakeFileSystem& fs) : fs(fs) {}
    void fileStarted(const std::string& path) override {
        events.push_back("start " + path + " open=" + std::to_string(fs.openFiles));
    }
    void fileFinished(const std::string& path, const FileOutcome&) override {
        events.push_back("finish " + path + " open=" + std::to_string(fs.openFiles));
    }
    const FakeFileSystem& fs;
    std::vector<std::string> events;
};

TEST(ConversionEngine, RewritesBothWaysThroughShortReadsAndWrites) {
    FakeFileSystem fs;
    fs.files["C:/plain.mid"] = plainSmf();
    fs.files["C:/rs.mid"] = runningStatusSmf();
    ConversionEngine toRunning(fs, true);
    const FileOutcome outcome = toRunning.convert("C:/plain.mid");
    EXPECT_EQ(outcome.kind, OutcomeKind::Converted);
    EXPECT_EQ(outcome.oldSize, 34u);
    EXPECT_EQ(outcome.newSize, 33u);
    EXPECT_EQ(outcome.location, "C:");
    EXPECT_EQ(fs.files["C:/plain.mid"], runningStatusSmf());

    fs.chunkLimit = 5;
    ConversionEngine toPlain(fs, false);
    EXPECT_EQ(toPlain.convert("C:/rs.mid").kind, OutcomeKind::Converted);
    EXPECT_EQ(fs.files["C:/rs.mid"], plainSmf());
    EXPECT_EQ(fs.openFiles, 0);
}

// Folders and missing paths are neither opened nor announced; a file is announced before
// it is opened and finished while still open.
TEST(ConversionEngine, SkipsFoldersAndMissingPathsAndRejectsOtherFilesUntouched) {
    FakeFileSystem fs;
    fs.folders.insert("C:/songs");
    fs.files["C:/text.mid"] = Bytes{'h', 'e', 'l', 'l', 'o'};
    fs.files["C:/empty.mid"] = Bytes{};
    RecordingListener listener(fs);
    ConversionEngine engine(fs, true);
    EXPECT_EQ(engine.convert("C:/songs", &listener).kind, OutcomeKind::Folder);
    const FileOutcome missing = engine.convert("C:/gone.mid", &listener);
    EXPECT_EQ(missing.kind, OutcomeKind::Missing);
    EXPECT_EQ(missing.error, 2u);
    EXPECT_TRUE(listener.events.empty());

    for (const char* path : {"C:/text.mid", "C:/empty.mid"}) {
        const Bytes before = fs.files[path];
        const FileOutcome outcome = engine.convert(path, &listener);
        EXPECT_EQ(outcome.kind, OutcomeKind::NotSmf) << path;
        EXPECT_NE(outcome.parseFailure.rule, smf::ParseRule::None) << path;
        EXPECT_EQ(fs.files[path], before) << path;
    }
    EXPECT_EQ(listener.events, (std::vector<std::string>{"start C:/text.mid open=0", "finish C:/text.mid open=1",
                                                         "start C:/empty.mid open=0", "finish C:/empty.mid open=1"}));
    EXPECT_EQ(fs.openFiles, 0);
}

std::uint32_t allocationAsked = 0;

// From 4 GiB up a file is neither read nor cut; just below, its block is asked for, and not
// getting it is a read failure without a system error.
TEST(ConversionEngine, FilesOf4GiBAreNeverReadAndAMissingBlockIsAReadFailure) {
    FakeFileSystem fs;
    fs.files["C:/huge.mid"] = plainSmf();
    ConversionEngine engine(fs, true, [](std::uint32_t size) -> std::uint8_t* {
        allocationAsked = size;
        return nullptr;
    });
    fs.reportedSize = 0x100000000ull;
    const FileOutcome huge = engine.convert("C:/huge.mid");
    EXPECT_EQ(huge.kind, OutcomeKind::TooLarge);
    EXPECT_EQ(huge.oldSize, 0x100000000ull);
    EXPECT_EQ(allocationAsked, 0u);

    fs.reportedSize = 0xFFFFFFFFull;
    const FileOutcome largest = engine.convert("C:/huge.mid");
    EXPECT_EQ(largest.kind, OutcomeKind::ReadFailed);
    EXPECT_EQ(largest.error, 0u);
    EXPECT_EQ(allocationAsked, 0xFFFFFFFFu);
    EXPECT_EQ(fs.files["C:/huge.mid"], plainSmf());
    EXPECT_EQ(fs.openFiles, 0);
}

struct StepFailure {
    std::set<Step> steps;
    std::uint32_t writeFailsAfter;
    OutcomeKind kind;
    SystemError error;
    bool endsRun;
    bool restored;
    bool unchangedFirst = false;  // a.mid already in the wanted form, engine told to see that first
};

class FailingStep : public ::testing::TestWithParam<StepFailure> {};

// Each failure gives its outcome and error code, leaves the file as it was (unless the
// outcome admits otherwise), closes it, and the next file converts.
TEST_P(FailingStep, GivesOutcomeKeepsBytesAndEngineGoesOn) {
    const StepFailure& c = GetParam();
    FakeFileSystem fs;
    const Bytes original = c.unchangedFirst ? runningStatusSmf() : plainSmf();
    fs.files["C:/a.mid"] = original;
    fs.files["C:/b.mid"] = plainSmf();
    fs.failAt = c.steps;
    fs.writeFailsAfter = c.writeFailsAfter;
    ConversionEngine engine(fs, true, nullptr, c.unchangedFirst ? StepOrder::UnchangedFirst : StepOrder::ProbeFirst);

    const FileOutcome outcome = engine.convert("C:/a.mid");
    failAllocations = false;
    EXPECT_EQ(outcome.kind, c.kind);
    EXPECT_EQ(outcome.error, c.error);
    EXPECT_EQ(outcome.endsRun(), c.endsRun);
    EXPECT_EQ(outcome.restored, c.restored);
    EXPECT_EQ(fs.files["C:/a.mid"] == original, c.restored);
    EXPECT_EQ(outcome.unchanged, c.unchangedFirst);
    EXPECT_EQ(fs.openFiles, 0);

    fs.failAt.clear();
    EXPECT_EQ(engine.convert("C:/b.mid").kind, OutcomeKind::Converted);
    EXPECT_EQ(fs.files["C:/b.mid"], runningStatusSmf());
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, FailingStep,
    ::testing::Values(StepFailure{{Step::Open}, 0, OutcomeKind::OpenFailed, 112, false, true},
                      StepFailure{{Step::Size}, 0, OutcomeKind::ReadFailed, 112, false, true},
                      StepFailure{{Step::Read}, 0, OutcomeKind::ReadFailed, 112, false, true},
                      StepFailure{{Step::ParseMemory}, 0, OutcomeKind::OutOfMemory, 0, false, true},
                      StepFailure{{Step::Probe}, 0, OutcomeKind::ProbeFailed, 112, true, true},
                      StepFailure{{Step::Room}, 0, OutcomeKind::NotEnoughSpace, 0, true, true},
                      StepFailure{{Step::WriterMemory}, 0, OutcomeKind::OutOfMemory, 0, false, true},
                      StepFailure{{Step::Truncate}, 0, OutcomeKind::WriteFailed, 112, false, true},
                      StepFailure{{Step::Write}, 0, OutcomeKind::WriteFailed, 112, false, true},
                      StepFailure{{Step::Write}, 20, OutcomeKind::WriteFailed, 112, false, true},
                      StepFailure{{Step::Write, Step::RestoreTruncate}, 20, OutcomeKind::WriteFailed, 112, false, false},
                      StepFailure{{Step::Write, Step::RestoreWrite}, 10, OutcomeKind::WriteFailed, 112, false, false},
                      StepFailure{{Step::Flush}, 0, OutcomeKind::WriteFailed, 112, false, true},
                      StepFailure{{Step::Flush, Step::RestoreFlush}, 0, OutcomeKind::WriteFailed, 112, false, false},
                      StepFailure{{Step::Probe, Step::Truncate}, 0, OutcomeKind::Converted, 0, false, true, true}));

}  // namespace
}  // namespace convert::testing
