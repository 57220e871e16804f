// The per-file sequence over a file system in memory: results both ways through short
// reads and writes, and that no failure (a system error at any step, or memory running
// out) loses a file's bytes or leaves the engine unusable.
#include "convert/conversion_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <new>
#include <set>

#include "smf_samples.h"

namespace {
bool failAllocations = false;  // set by the fake file system, cleared by the tests
long liveBlocks = 0;           // allocated and not yet freed
}  // namespace

// Every form of new and delete comes here: the standard library's array and nothrow forms
// call these, but a sanitizer's runtime has its own. (GCC cannot see that they pair malloc
// with free.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
    void* p = failAllocations ? nullptr : std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    ++liveBlocks;
    return p;
}
void operator delete(void* p) noexcept {
    if (p) --liveBlocks;
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { ::operator delete(p); }
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return ::operator new(size, tag); }
void operator delete[](void* p) noexcept { ::operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { ::operator delete(p); }

namespace convert::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

enum class Step {
    Open, Size, Read,
    Huge,          // the size query says 4 GiB
    NoBlock,       // the size query says 4 GiB - 1, a block that size cannot be had
    ParseMemory,   // every allocation fails once the last byte is read
    Probe,
    Room,          // the free space is exactly twice the new size (33)
    WriterMemory,  // every allocation fails once the free space is known
    Truncate, Write, Flush,                       // the cut, the new bytes, making them durable
    RestoreTruncate, RestoreWrite, RestoreFlush,  // the same steps putting the original back
};

// Paths ending in '/' are folders; the free-space location of "C:/a.mid" is "C:".
struct FakeFileSystem final : FileSystem {
    std::map<std::string, Bytes> files;
    std::set<Step> failAt;
    SystemError code = 112;            // a failing step's error; 0: none (a failing write then claims too much)
    std::uint32_t accept = 0;          // bytes a failing write step takes first
    std::uint32_t chunk = 0xFFFFFFFF;  // most bytes one read or write moves
    std::uint64_t freeBytes = 1u << 30;
    int openFiles = 0, cuts = 0;

    bool fails(Step step, SystemError& error) const {
        if (failAt.count(step) != 0 && code != 0) error = code;
        return failAt.count(step) != 0;
    }
    PathKind pathKind(const std::string& path, SystemError& error) override {
        if (path.back() == '/') return PathKind::Folder;
        if (files.count(path) != 0) return PathKind::File;
        error = 2;
        return PathKind::Missing;
    }
    std::unique_ptr<OpenFile> open(const std::string& path, SystemError& error) override;
    std::string freeSpaceLocation(const std::string& path) override { return path.substr(0, path.find('/')); }
    bool freeSpace(const std::string&, std::uint64_t& free, SystemError& error) override {
        if (fails(Step::Probe, error)) return false;
        free = failAt.count(Step::Room) != 0 ? 66 : freeBytes;
        failAllocations = failAt.count(Step::WriterMemory) != 0;
        return true;
    }
};

struct FakeOpenFile final : OpenFile {
    FakeOpenFile(FakeFileSystem& fs, Bytes& bytes) : fs(fs), bytes(bytes) { ++fs.openFiles; }
    ~FakeOpenFile() override { --fs.openFiles; }
    bool size(std::uint64_t& size, SystemError& error) override {
        size = fs.failAt.count(Step::Huge) ? 0x100000000ull : fs.failAt.count(Step::NoBlock) ? 0xFFFFFFFFu : bytes.size();
        return !fs.fails(Step::Size, error);
    }
    bool read(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& got, SystemError& error) override {
        if (fs.fails(Step::Read, error)) return false;
        got = static_cast<std::uint32_t>(std::min<std::size_t>({length, fs.chunk, bytes.size() - done}));
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(done), got, buffer);
        if ((done += got) == bytes.size()) failAllocations = fs.failAt.count(Step::ParseMemory) != 0;
        return true;
    }
    bool truncate(SystemError& error) override {
        if (fs.fails(fs.cuts++ == 0 ? Step::Truncate : Step::RestoreTruncate, error)) return false;
        bytes.clear();
        return true;
    }
    // Writes follow a cut, so they append: the new bytes after the first, the original after the second.
    bool write(const std::uint8_t* data, std::uint32_t length, std::uint32_t& written, SystemError& error) override {
        const Step step = fs.cuts <= 1 ? Step::Write : Step::RestoreWrite;
        written = std::min(length, fs.chunk);
        if (fs.failAt.count(step)) written = std::min<std::uint32_t>(written, fs.accept - std::min<std::uint32_t>(fs.accept, bytes.size()));
        if (written == 0 && fs.fails(step, error)) {
            if (fs.code != 0) return false;
            written = length + 1;  // without an error: claims more than it was given, writes nothing
            return true;
        }
        bytes.insert(bytes.end(), data, data + written);
        return true;
    }
    // A failing flush is a deferred write that never reached the disk: the bytes are lost.
    bool flush(SystemError& error) override {
        if (!fs.fails(fs.cuts <= 1 ? Step::Flush : Step::RestoreFlush, error)) return true;
        bytes.clear();
        return false;
    }
    FakeFileSystem& fs;
    Bytes& bytes;
    std::size_t done = 0;
};

std::unique_ptr<OpenFile> FakeFileSystem::open(const std::string& path, SystemError& error) {
    if (fails(Step::Open, error)) return nullptr;
    cuts = 0;
    return std::make_unique<FakeOpenFile>(*this, files.at(path));
}

// Records the files' announcements with the number of files open at the time.
struct Listener final : ConversionListener {
    void fileStarted(const std::string& path) override { events += "start " + path + std::to_string(fs->openFiles); }
    void fileFinished(const std::string& path, const FileOutcome&) override { events += " end " + path + std::to_string(fs->openFiles); }
    const FakeFileSystem* fs = nullptr;
    std::string events;
};

// Both directions; a MacBinary header is accepted and left out; 34 bytes move as 11 x 3 + 1.
// Folders and missing paths are neither opened nor announced; a file is announced before it
// is opened and finished while still open; a file that is no SMF stays untouched.
TEST(ConversionEngine, ConvertsSkipsAndRejects) {
    const Bytes plain = plainSmf();
    Bytes mac = plain;
    mac.insert(mac.begin(), 128, 'A');
    mac[0] = mac[74] = mac[82] = 0;
    FakeFileSystem fs;
    fs.files = {{"C:/plain.mid", plain}, {"D:/mac.mid", mac}, {"C:/rs.mid", runningStatusSmf()}, {"C:/text.mid", {'h', 'i'}}};
    fs.chunk = 3;
    fs.freeBytes = 67;  // above twice the new size (33), not twice the old one (34)
    Listener listener;
    listener.fs = &fs;
    ConversionEngine toRunning(fs, true);
    for (const auto& [path, oldSize] : {std::pair<std::string, std::uint64_t>{"C:/plain.mid", 34}, {"D:/mac.mid", 162}}) {
        const FileOutcome outcome = toRunning.convert(path);
        EXPECT_EQ(outcome.kind, OutcomeKind::Converted) << path;
        EXPECT_EQ(std::make_tuple(outcome.oldSize, outcome.newSize, outcome.location), std::make_tuple(oldSize, 33u, path.substr(0, 2)));
        EXPECT_EQ(fs.files[path], runningStatusSmf()) << path;
    }
    // Unchanged files first: a file of the same size but other bytes (running status, and a
    // delta of two bytes where one does) is still written.
    Bytes longDelta = plain;
    longDelta[26] = 0x80;
    longDelta[27] = 0x60;
    fs.files["C:/long.mid"] = longDelta;
    fs.freeBytes = 69;
    ConversionEngine toPlain(fs, false, nullptr, StepOrder::UnchangedFirst);
    for (const char* path : {"C:/rs.mid", "C:/long.mid"}) {
        const FileOutcome outcome = toPlain.convert(path);
        EXPECT_EQ(std::make_pair(outcome.kind, outcome.unchanged), std::make_pair(OutcomeKind::Converted, false)) << path;
        EXPECT_EQ(fs.files[path], plain) << path;
    }
    const long blocks = liveBlocks;
    toPlain.releaseOutput();  // the run's end gives the output's block back
    EXPECT_EQ(liveBlocks, blocks - 1);

    EXPECT_EQ(toPlain.convert("C:/songs/", &listener).kind, OutcomeKind::Folder);
    const FileOutcome missing = toPlain.convert("C:/gone.mid", &listener);
    EXPECT_EQ(std::make_pair(missing.kind, missing.error), std::make_pair(OutcomeKind::Missing, SystemError{2}));
    const FileOutcome text = toPlain.convert("C:/text.mid", &listener);
    EXPECT_EQ(std::make_pair(text.kind, text.parseFailure.rule), std::make_pair(OutcomeKind::NotSmf, smf::ParseRule::HeaderTooShort));
    EXPECT_EQ(fs.files["C:/text.mid"], (Bytes{'h', 'i'}));
    EXPECT_EQ(listener.events, "start C:/text.mid0 end C:/text.mid1");
    EXPECT_EQ(fs.openFiles, 0);
}

struct StepFailure {
    std::set<Step> steps;
    std::uint32_t accept;
    SystemError code;  // reported by the failing step, and so the outcome's error
    OutcomeKind kind;
    bool endsRun, restored;
    bool unchangedFirst = false;  // a.mid already in the wanted form, the engine told to see that first
};

class FailingStep : public ::testing::TestWithParam<StepFailure> {};
using K = OutcomeKind;

// Each failure gives its outcome and error code, leaves the file as it was (unless the
// outcome admits otherwise), closes it, and the next file converts. Files of 4 GiB and
// more are not read; smaller ones are read into a block of exactly their size.
TEST_P(FailingStep, GivesOutcomeKeepsBytesAndEngineGoesOn) {
    const StepFailure& c = GetParam();
    FakeFileSystem fs;
    const Bytes original = c.unchangedFirst ? runningStatusSmf() : plainSmf();
    fs.files = {{"C:/a.mid", original}, {"C:/b.mid", plainSmf()}};
    fs.failAt = c.steps;
    fs.accept = c.accept;
    fs.code = c.code;
    const auto allocate = [](std::uint32_t size) {
        return size == 0xFFFFFFFFu ? nullptr : new (std::nothrow) std::uint8_t[size];  // exactly the file's size
    };
    ConversionEngine engine(fs, true, allocate, c.unchangedFirst ? StepOrder::UnchangedFirst : StepOrder::ProbeFirst);
    const long blocks = liveBlocks;
    const FileOutcome outcome = engine.convert("C:/a.mid");
    failAllocations = false;
    if (c.kind == K::OutOfMemory) {
        EXPECT_EQ(liveBlocks, blocks);  // nothing of the file is kept
    }
    EXPECT_EQ(std::make_tuple(outcome.kind, outcome.error, outcome.endsRun(), outcome.restored),
              std::make_tuple(c.kind, c.code, c.endsRun, c.restored));
    EXPECT_EQ(fs.files["C:/a.mid"] == original, c.restored);
    EXPECT_EQ(outcome.unchanged, c.unchangedFirst);
    EXPECT_EQ(fs.openFiles, 0);

    fs.failAt.clear();
    EXPECT_EQ(engine.convert("C:/b.mid").kind, OutcomeKind::Converted);
    EXPECT_EQ(fs.files["C:/b.mid"], runningStatusSmf());
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, FailingStep,
    ::testing::Values(
        StepFailure{{Step::Open}, 0, 112, K::OpenFailed, false, true}, StepFailure{{Step::Open}, 0, 0, K::OpenFailed, false, true},
        StepFailure{{Step::Size}, 0, 112, K::ReadFailed, false, true}, StepFailure{{Step::Read}, 0, 0, K::ReadFailed, false, true},
        StepFailure{{Step::Huge}, 0, 0, K::TooLarge, false, true}, StepFailure{{Step::NoBlock}, 0, 0, K::ReadFailed, false, true},
        StepFailure{{Step::ParseMemory}, 0, 0, K::OutOfMemory, false, true},
        StepFailure{{Step::WriterMemory}, 0, 0, K::OutOfMemory, false, true},
        StepFailure{{Step::Probe}, 0, 112, K::ProbeFailed, true, true}, StepFailure{{Step::Probe}, 0, 0, K::ProbeFailed, true, true},
        StepFailure{{Step::Room}, 0, 0, K::NotEnoughSpace, true, true},
        StepFailure{{Step::Truncate}, 0, 112, K::WriteFailed, false, true},
        StepFailure{{Step::Write}, 0, 112, K::WriteFailed, false, true},
        StepFailure{{Step::Write}, 20, 0, K::WriteFailed, false, true},  // reports success, writes nothing
        StepFailure{{Step::Write, Step::RestoreTruncate}, 20, 112, K::WriteFailed, false, false},
        StepFailure{{Step::Write, Step::RestoreWrite}, 10, 112, K::WriteFailed, false, false},
        StepFailure{{Step::Flush}, 0, 112, K::WriteFailed, false, true},
        StepFailure{{Step::Flush, Step::RestoreFlush}, 0, 112, K::WriteFailed, false, false},
        StepFailure{{Step::Probe, Step::Truncate}, 0, 0, K::Converted, false, true, true}));  // neither probed nor cut

}  // namespace
}  // namespace convert::testing
