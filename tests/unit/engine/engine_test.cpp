// The engine's portable parts: the per-file sequence over a file system in memory that can
// fail at any step, reading a file's first bytes first, and paths with double-byte names.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "engine/conversion_engine.h"
#include "engine/path_split.h"
#include "tests/support/allocator.h"
#include "tests/support/samples.h"

namespace engine {
namespace {

using namespace quorin_test;

// The Windows error for a full disk (ERROR_DISK_FULL), which the fake's failing steps give.
constexpr SystemError kDiskFull = 112;

enum class Step { Open, Size, Read, Probe, Write, SetEnd, Flush, RestoreWrite, RestoreSetEnd, RestoreFlush };

// One file in memory, whatever the path: read a byte at a time, written half of what it is
// asked to (at least a byte) and through in place, failing at the steps named in failing.
struct FakeFileSystem final : FileSystem {
    struct File final : HeldFile, InputFile, FileWriter {
        explicit File(FakeFileSystem& fileSystem) : fs(fileSystem) {}
        bool size(std::uint64_t& bytes, FileError& error) override {
            bytes = std::max<std::uint64_t>(fs.claimedSize, fs.bytes.size());
            quorin_test::allocationsLeft = fs.allocationsAfterSize;
            return !fs.fails(Step::Size, error);
        }
        bool read(std::uint8_t* buffer, std::uint32_t, std::uint32_t& got, FileError& error) override {
            if (fs.fails(Step::Read, error)) return false;
            got = position < fs.bytes.size() ? 1 : 0;
            std::copy_n(fs.bytes.begin() + static_cast<std::ptrdiff_t>(position), got, buffer);
            position += got;
            return true;
        }
        // From the second write at offset 0 on, the original is being put back.
        bool writeAt(std::uint64_t offset, const std::uint8_t* data, std::uint32_t length, std::uint32_t& written,
                     FileError& error) override {
            passes += offset == 0 ? 1 : 0;
            if (fs.fails(passes > 1 ? Step::RestoreWrite : Step::Write, error)) return false;
            written = (length + 1) / 2;
            fs.bytes.resize(std::max<std::size_t>(fs.bytes.size(), offset + written));
            std::copy_n(data, written, fs.bytes.begin() + static_cast<std::ptrdiff_t>(offset));
            return true;
        }
        bool setEnd(std::uint64_t length, FileError& error) override {
            if (fs.fails(passes > 1 ? Step::RestoreSetEnd : Step::SetEnd, error)) return false;
            fs.bytes.resize(length);
            return true;
        }
        bool flush(FileError& error) override {
            return !fs.fails(passes > 1 ? Step::RestoreFlush : Step::Flush, error);
        }
        InputFile& content() override { return *this; }
        RewriteResult rewrite(const std::uint8_t* newBytes, std::uint32_t newLength, const std::uint8_t* original,
                              std::uint32_t originalLength) override {
            return writeThrough(*this, newBytes, newLength, original, originalLength);
        }

        FakeFileSystem& fs;
        std::size_t position = 0;
        int passes = 0;
    };

    bool fails(Step step, FileError& error) const {
        const bool failed = std::find(failing.begin(), failing.end(), step) != failing.end();
        if (failed) error = kDiskFull;
        return failed;
    }
    PathKind pathKind(const std::string&, FileError&) override { return PathKind::File; }
    std::unique_ptr<HeldFile> open(const std::string&, FileError& error) override {
        return fails(Step::Open, error) ? nullptr : std::make_unique<File>(*this);
    }
    std::unique_ptr<InputFile> openForReading(const std::string&, FileError&) override {
        return std::make_unique<File>(*this);
    }
    // A result put elsewhere never gets there.
    RewriteResult replaceFile(const std::string&, const std::uint8_t*, std::uint32_t) override {
        return RewriteResult::failed(kDiskFull, false);
    }
    std::string freeSpaceLocation(const std::string& path) override { return path.substr(0, 2); }
    bool freeSpace(const std::string&, std::uint64_t& bytes, FileError& error) override {
        bytes = freeBytes;
        return !fails(Step::Probe, error);
    }

    Bytes bytes = plainSmf();
    std::vector<Step> failing;
    std::uint64_t freeBytes = 1u << 30;
    std::uint64_t claimedSize = 0;   // the file's size when larger than its bytes
    long allocationsAfterSize = -1;  // that may succeed once the size is known (-1: any number)
};

class ConversionEngineTest : public ::testing::Test {
protected:
    FileOutcome convert() { return ConversionEngine(fs, true).convert("C:a.mid"); }

    // How many bytes readWholeFile reads of file in order; it fails exactly when a step does.
    std::uint32_t bytesRead(const Bytes& file, ReadOrder order) {
        fs.bytes = file;
        FakeFileSystem::File input(fs);
        std::unique_ptr<std::uint8_t[]> block;
        std::uint32_t read = 7;  // set to 0 as reading starts
        FileOutcome outcome;
        EXPECT_EQ(readWholeFile(input, nullptr, block, read, outcome, order), fs.failing.empty());
        return read;
    }

    FakeFileSystem fs;
};

// A file with a whole chunk after its track and a byte after that, and what it becomes.
const Bytes kTrailed = cat({plainSmf(), chunk("XFIH", {'X', 'F', '0', '2'}), {0x1A}});
const Bytes kTrailedResult = cat({runningStatusSmf(), chunk("XFIH", {'X', 'F', '0', '2'})});

// A failing step's error is the outcome's; a failed rewrite says whether the file holds its
// original bytes again, and never says so when it does not. The chunk after the track is
// kept, and counts in the room rule: free space more than twice the new size. A file of
// 4 GiB is never read.
TEST_F(ConversionEngineTest, EveryStepAndItsFailure) {
    struct Row {
        std::vector<Step> failing;
        OutcomeKind kind;
        bool restored;
    };
    const Row rows[] = {
        // failing steps, outcome, restored
        {{}, OutcomeKind::Converted, true},
        {{Step::Open}, OutcomeKind::OpenFailed, true},
        {{Step::Size}, OutcomeKind::ReadFailed, true},
        {{Step::Read}, OutcomeKind::ReadFailed, true},
        {{Step::Probe}, OutcomeKind::ProbeFailed, true},
        {{Step::Write}, OutcomeKind::WriteFailed, true},
        {{Step::SetEnd}, OutcomeKind::WriteFailed, true},
        {{Step::Flush}, OutcomeKind::WriteFailed, true},
        {{Step::SetEnd, Step::RestoreSetEnd}, OutcomeKind::WriteFailed, false},
        {{Step::Flush, Step::RestoreWrite}, OutcomeKind::WriteFailed, false},
    };
    fs.bytes = kTrailed;
    fs.freeBytes = 2 * kTrailedResult.size();
    EXPECT_EQ(convert().kind, OutcomeKind::NotEnoughSpace);
    fs.freeBytes += 1;
    for (const Row& row : rows) {
        SCOPED_TRACE(&row - rows);
        fs.bytes = kTrailed;
        fs.failing = row.failing;
        const FileOutcome outcome = convert();
        const bool done = row.kind == OutcomeKind::Converted;
        EXPECT_EQ(outcome.kind, row.kind);
        EXPECT_EQ(outcome.error, FileError(done ? 0 : kDiskFull));
        EXPECT_EQ(outcome.restored, row.restored);
        if (row.restored) {
            EXPECT_EQ(fs.bytes, done ? kTrailedResult : kTrailed);
        }
    }
    fs.claimedSize = std::uint64_t{1} << 32;
    EXPECT_EQ(convert().kind, OutcomeKind::TooLarge);
}

// Short of memory at any allocation once the size is known (the file's block, its track, its
// chunk, its new bytes), the file is as it was, nothing of it is kept, and the next file
// converts. The run's end gives the output's storage back.
TEST_F(ConversionEngineTest, ShortOfMemoryAnywhereKeepsNothing) {
    ConversionEngine engine(fs, true);
    long allowed = 0;
    for (;; ++allowed) {
        fs.bytes = kTrailed;
        fs.allocationsAfterSize = allowed;
        const long blocks = quorin_test::liveBlocks;
        const FileOutcome outcome = engine.convert("C:a.mid");
        quorin_test::allocationsLeft = -1;
        if (outcome.kind == OutcomeKind::Converted) break;
        EXPECT_EQ(outcome.kind, allowed == 0 ? OutcomeKind::ReadFailed : OutcomeKind::OutOfMemory) << allowed;
        EXPECT_EQ(fs.bytes, kTrailed) << allowed;
        EXPECT_EQ(quorin_test::liveBlocks, blocks) << allowed;
    }
    EXPECT_GT(allowed, 3);
    const long blocks = quorin_test::liveBlocks;
    engine.releaseOutput();
    EXPECT_LT(quorin_test::liveBlocks, blocks);
}

// check() reads the file and tells what it holds. convertTo(), with unchanged files first
// (quorin-cli), reads it, finds that it changes, asks for the free space where the result
// goes, and passes on the failure to put it there.
TEST_F(ConversionEngineTest, ChecksAndConvertsToAnotherFile) {
    ConversionEngine engine(fs, true, nullptr, StepOrder::UnchangedFirst);
    const SongFacts facts = engine.check("C:a.mid").facts;
    EXPECT_EQ(facts.sizeWithRunningStatus, runningStatusSmf().size());
    EXPECT_EQ(facts.sizeWithoutRunningStatus, plainSmf().size());
    const FileOutcome outcome = engine.convertTo("C:a.mid", "D:b.mid");
    EXPECT_EQ(outcome.kind, OutcomeKind::WriteFailed);
    EXPECT_EQ(outcome.location, "D:");
}

// Asked to, the first 142 bytes are read first, and no more of a file whose header they
// already rule out. Any other file, and every file read Whole (the Windows program), is read
// whole. When the first bytes cannot be read, nothing more is.
TEST_F(ConversionEngineTest, ReadWholeFileReadsNoMoreThanTheHeaderOfAFileItRulesOutWhenAsked) {
    const Bytes riff = cat({{'R', 'I', 'F', 'F'}, Bytes(200, 0)});
    // A header chunk that ends after the first 142 bytes.
    const Bytes longHeader = chunk("MThd", cat({{0, 0, 0, 1, 0, 0x60}, Bytes(250, 0)}));
    EXPECT_EQ(bytesRead(riff, ReadOrder::HeaderFirst), 142u);
    EXPECT_EQ(bytesRead(longHeader, ReadOrder::HeaderFirst), longHeader.size());
    EXPECT_EQ(bytesRead(riff, ReadOrder::Whole), riff.size());
    fs.failing = {Step::Read};
    EXPECT_EQ(bytesRead(riff, ReadOrder::HeaderFirst), 0u);
}

const std::string kHyo = "\x95\x5C";  // a character of code page 932 whose second byte is '\'

// The drive part and the last component (name and extension each cut to 255 bytes, never
// inside a character), and the location whose free space is probed: the drive part or a
// share's root. Code page 932's lead bytes (0x81-0x9F, 0xE0-0xFC) hide the byte after them.
TEST(SplitPath, DrivePartLastComponentAndFreeSpaceLocation) {
    struct Row {
        std::string path;
        std::string drive;
        std::string name;
        std::string location;
    };
    const Row rows[] = {
        {".mid", "", ".mid", ""},
        {"\\\\server\\share\\a.b.mid", "", "a.b.mid", "\\\\server\\share\\"},
        {"//server/share", "", "share", "//server/share\\"},
        {"\\\\" + kHyo + "\\s\\a", "", "a", "\\\\" + kHyo + "\\s\\"},
        {"\\\\server", "", "server", ""},
        {"\\\\server\\\\a.mid", "", "a.mid", ""},
        {"\\\\\\x\\y", "", "y", ""},
        {"C:\\aa" + std::string(256, '\x81'), "C:", "aa" + std::string(252, '\x81'), "C:"},
        {"C:\\a." + std::string(256, 'x'), "C:", "a." + std::string(254, 'x'), "C:"},
        {"C:\\\x80\\\xA0\\\xDF\\\xFD\\b", "C:", "b", "C:"},
        {"C:\\\x81\\\x9F\\\xE0\\\xFC\\" + kHyo, "C:", "\x81\\\x9F\\\xE0\\\xFC\\" + kHyo, "C:"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        const PathParts parts = splitPath(row.path, isCp932LeadByte);
        EXPECT_EQ(parts.drivePart, row.drive);
        EXPECT_EQ(parts.displayName, row.name);
        EXPECT_EQ(freeSpaceLocation(row.path, isCp932LeadByte), row.location);
    }
}

// A drive path behind "\\?\", a share path as "\\?\UNC\..."; one already in such a form, or
// of neither kind, as it is.
TEST(ExtendedLengthPath, DrivePathsAndSharePaths) {
    EXPECT_EQ(extendedLengthPath(L"C:\\midi\\a.mid"), L"\\\\?\\C:\\midi\\a.mid");
    EXPECT_EQ(extendedLengthPath(L"\\\\server\\share\\a.mid"), L"\\\\?\\UNC\\server\\share\\a.mid");
    EXPECT_EQ(extendedLengthPath(L"\\\\?\\C:\\a.mid"), L"\\\\?\\C:\\a.mid");
}

}  // namespace
}  // namespace engine
