// The engine's portable parts: the per-file sequence over a file system in memory that moves
// one byte at a time and can fail at any step, and paths with double-byte names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/conversion_engine.h"
#include "engine/path_split.h"
#include "smf_samples.h"

static long allocationsLeft = -1;  // that may succeed (-1: any number); set by the fake file system at a chosen step
static long liveBlocks = 0;        // allocated and not yet freed

// Every form of new and delete counts here (a sanitizer's runtime has nothrow forms of its
// own). GCC cannot see that they pair malloc with free.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
    void* p = allocationsLeft == 0 ? nullptr : std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    return allocationsLeft -= allocationsLeft > 0, ++liveBlocks, p;
}
void* operator new[](std::size_t size) {
    return ::operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocationsLeft == 0 ? nullptr : ::operator new(size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return ::operator new(size, tag);
}
void operator delete(void* p) noexcept {
    if (p) --liveBlocks;
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    ::operator delete(p);
}
void operator delete[](void* p) noexcept {
    ::operator delete(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    ::operator delete(p);
}

namespace engine::testing {

using Bytes = std::vector<std::uint8_t>;
// Steps at which the fake fails; Re* put the original back. Room: free space exactly twice the new size.
enum : unsigned {
    Open = 1,
    Size = 2,
    Read = 4,
    Probe = 8,
    End = 16,
    Write = 32,
    Flush = 64,
    ReEnd = 128,
    ReWrite = 256,
    ReFlush = 512,
    Huge = 1024,
    NoBlock = 2048,
    ParseOom = 4096,
    WriteOom = 8192,
    Room = 16384
};

// One file, whatever the path; the fake's state is the test's.
static Bytes bytes;
static unsigned failAt = 0;
static SystemError code = 0;      // a failing step's error; 0: none (a failing write then claims too much)
static std::uint32_t accept = 0;  // bytes a failing write step takes first; blocks a parse gets before it runs out
static int passes = 0;            // writes from offset 0: the new bytes, then the original's

// True when step is to fail; its error is then code, unless that is 0.
static bool fails(unsigned step, FileError& error) {
    return (failAt & step) && (error = code ? code : error, true);
}

struct FakeOpenFile final : HeldFile, InputFile, FileWriter {
    bool size(std::uint64_t& n, FileError& error) override {
        n = failAt & Huge      ? 1ull << 32
            : failAt & NoBlock ? 0xFFFFFFFFu
                               : bytes.size(),
        allocationsLeft = failAt & NoBlock ? 0 : -1;
        return !fails(Size, error);
    }
    // One byte at a time; asked for at least one, never for more than the file has left.
    bool read(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& got, FileError& error) override {
        if (fails(Read, error) || length == 0 || length > bytes.size() - done) return false;
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(done), got = std::min(length, 1u), buffer);
        if ((done += got) == bytes.size() && (failAt & ParseOom)) allocationsLeft = accept;
        return true;
    }
    bool writeAt(std::uint64_t offset, const std::uint8_t* data, std::uint32_t length, std::uint32_t& written,
                 FileError& error) override {
        passes += offset == 0;
        // A failing write with no error code claims more than it was given.
        if ((failAt & (passes > 1 ? ReWrite : Write)) && offset >= accept)
            return error = code, written = length + 1, code == 0;
        written = (length + 1) / 2;
        bytes.resize(std::max<std::size_t>(bytes.size(), offset + written));
        std::copy_n(data, written, bytes.begin() + static_cast<std::ptrdiff_t>(offset));
        return true;
    }
    bool setEnd(std::uint64_t length, FileError& error) override {
        return !fails(passes > 1 ? ReEnd : End, error) && (bytes.resize(length), true);
    }
    // A failed flush is a deferred write that never reached the disk.
    bool flush(FileError& error) override {
        return !fails(passes > 1 ? ReFlush : Flush, error) || (bytes.clear(), false);
    }
    InputFile& content() override { return *this; }
    // Written through in place, as a file system without a better way rewrites a file.
    RewriteResult rewrite(const std::uint8_t* newBytes, std::uint32_t newLength, const std::uint8_t* original,
                          std::uint32_t originalLength) override {
        return writeThrough(*this, newBytes, newLength, original, originalLength);
    }
    std::size_t done = 0;
};

struct FakeFileSystem final : FileSystem {
    PathKind pathKind(const std::string&, FileError&) override { return PathKind::File; }
    std::unique_ptr<HeldFile> open(const std::string&, FileError& error) override {
        passes = 0;
        return fails(Open, error) ? nullptr : std::make_unique<FakeOpenFile>();
    }
    std::unique_ptr<InputFile> openForReading(const std::string&, FileError& error) override {
        return fails(Open, error) ? nullptr : std::make_unique<FakeOpenFile>();
    }
    RewriteResult replaceFile(const std::string&, const std::uint8_t* data, std::uint32_t length) override {
        bytes.assign(data, data + length);
        return RewriteResult();
    }
    std::string freeSpaceLocation(const std::string& path) override { return path.substr(0, 2); }
    bool freeSpace(const std::string&, std::uint64_t& freeBytes, FileError& error) override {
        return !fails(Probe, error) &&
               (freeBytes = failAt & Room ? 66 : 1u << 30, allocationsLeft = failAt & WriteOom ? 0 : -1, true);
    }
};

// Each row: a failing step, the outcome and its error code, whether the file is as it was or
// converted (unless the outcome says otherwise), and a file, direction and order other than
// plain, to running status, probe first. A MacBinary header is accepted and left out; with
// unchanged files first, a file of the same size but other bytes (a delta of two bytes where
// one does) is still written, and one already in the wanted form is neither probed nor written.
// A parse that runs out of memory in the second of two tracks keeps nothing of the first.
// After each row the engine's next file converts, and the run's end gives the output's
// storage back. Writes move half of what they are asked for, at least a byte.
TEST(ConversionEngine, EveryStepAndItsFailure) {
    using K = OutcomeKind;
    const Bytes plain = plainSmf(), rs = runningStatusSmf(), text{'h', 'i'};
    Bytes mac(128, 0), longDelta = plain,
                       twoTracks = plain;  // twoTracks: format 1, a second track declared, none there
    mac.insert(mac.end(), plain.begin(), plain.end()), longDelta[26] = 0x80, longDelta[27] = 0x60, twoTracks[9] = 1,
                                                       twoTracks[11] = 2;
    Bytes both = twoTracks;  // both: format 1, two tracks
    both.insert(both.end(), plain.begin() + 14, plain.end());
    const struct Row {
        unsigned failAt;
        std::uint32_t accept;
        SystemError code;
        K kind;
        bool restored = true;
        const Bytes* file = nullptr;
        bool toRunning = true, unchangedFirst = false;
    } rows[] = {{0, 0, 0, K::Converted},
                {0, 0, 0, K::Converted, true, &mac},
                {0, 0, 0, K::NotSmf, true, &text},
                {0, 0, 0, K::NotSmf, true, &twoTracks},
                {0, 0, 0, K::Converted, true, &rs, false, true},
                {0, 0, 0, K::Converted, true, &longDelta, false, true},
                {Probe | End, 0, 0, K::Converted, true, &rs, true, true},
                {Open, 0, 0, K::OpenFailed},
                {Size, 0, 112, K::ReadFailed},
                {Read, 0, 0, K::ReadFailed},
                {Huge, 0, 0, K::TooLarge},
                {NoBlock, 0, 0, K::ReadFailed},
                {ParseOom, 0, 0, K::OutOfMemory},
                {ParseOom, 1, 0, K::OutOfMemory, true, &both},
                {WriteOom, 0, 0, K::OutOfMemory},
                {Probe, 0, 0, K::ProbeFailed},
                {Room, 0, 0, K::NotEnoughSpace},
                {End, 0, 112, K::WriteFailed},
                {Write, 0, 112, K::WriteFailed},
                {Write, 20, 0, K::WriteFailed},
                {Flush, 0, 112, K::WriteFailed},
                {Write | ReEnd, 20, 112, K::WriteFailed, false},
                {Write | ReWrite, 10, 112, K::WriteFailed, false},
                {Flush | ReFlush, 0, 112, K::WriteFailed, false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(&r - rows);
        const Bytes &file = r.file ? *r.file : plain, &wanted = r.toRunning ? rs : plain;
        FakeFileSystem fs;
        bytes = file, failAt = r.failAt, accept = r.accept, code = r.code;
        ConversionEngine engine(fs, r.toRunning, nullptr,
                                r.unchangedFirst ? StepOrder::UnchangedFirst : StepOrder::ProbeFirst);
        const long before = liveBlocks;
        const FileOutcome outcome = engine.convert("C:a.mid");
        allocationsLeft = -1;
        EXPECT_TRUE((r.kind != K::OutOfMemory && r.kind != K::NotSmf) ||
                    liveBlocks == before);  // nothing of the file is kept
        EXPECT_EQ(std::make_tuple(outcome.kind, outcome.error, outcome.restored, outcome.unchanged),
                  std::make_tuple(r.kind, r.code, r.restored, file == wanted));
        if (r.restored) {
            EXPECT_EQ(bytes, r.kind == K::Converted ? wanted : file);  // never said to be back when it is not
        }
        bytes = plain, failAt = 0;
        EXPECT_EQ(std::make_pair(engine.convert("C:a.mid").kind, bytes), std::make_pair(K::Converted, wanted));
        const long blocks = liveBlocks;
        engine.releaseOutput();
        EXPECT_EQ(liveBlocks, blocks - 1);
    }
}

// Whole chunks after the tracks reach the file after them and count in the room rule: 66
// bytes free is more than twice the tracks' 26 bytes, not than twice the 38 with the chunk.
// A parse or write that runs out of memory at any of its allocations keeps nothing.
TEST(ConversionEngine, KeepsTheChunksAfterTheTracks) {
    const Bytes eot = {'M',  'T', 'h', 'd', 0,   0, 0, 6, 0, 0, 0,    1,    0,
                       0x60, 'M', 'T', 'r', 'k', 0, 0, 0, 4, 0, 0xFF, 0x2F, 0};
    const Bytes xf = {'X', 'F', 'I', 'H', 0, 0, 0, 4, 'X', 'F', '0', '2'};
    Bytes file = eot, kept = eot;
    file.insert(file.end(), xf.begin(), xf.end());
    kept.insert(kept.end(), xf.begin(), xf.end());
    file.push_back(0x1A);
    FakeFileSystem fs;
    bytes = file, failAt = Room;
    FileOutcome outcome = ConversionEngine(fs, true).convert("C:a.mid");
    EXPECT_EQ(std::make_tuple(outcome.kind, outcome.newSize, bytes),
              std::make_tuple(OutcomeKind::NotEnoughSpace, 38u, file));
    failAt = 0;
    outcome = ConversionEngine(fs, true).convert("C:a.mid");
    EXPECT_EQ(std::make_tuple(outcome.kind, outcome.newSize, bytes),
              std::make_tuple(OutcomeKind::Converted, 38u, kept));
    EXPECT_EQ(std::make_pair(outcome.summary.chunksAfterTracks.count, outcome.summary.bytesAfterChunks),
              std::make_pair(1u, 1u));
    for (accept = 0; accept == 0 || outcome.kind == OutcomeKind::OutOfMemory; ++accept) {
        bytes = file, failAt = ParseOom;
        ConversionEngine engine(fs, true);
        const long before = liveBlocks;
        outcome = engine.convert("C:a.mid");
        allocationsLeft = -1;
        EXPECT_EQ(bytes, outcome.kind == OutcomeKind::Converted ? kept : file) << accept;
        EXPECT_TRUE(outcome.kind == OutcomeKind::Converted || liveBlocks == before) << accept;
    }
    EXPECT_EQ(outcome.kind, OutcomeKind::Converted);
    EXPECT_GT(accept, 2u);
    failAt = 0;
}

// A file of size bytes: head, then zeros; it counts the bytes it delivers.
class ZeroTailFile final : public InputFile {
public:
    ZeroTailFile(Bytes head, std::uint64_t size) : head_(std::move(head)), size_(size) {}
    bool size(std::uint64_t& n, FileError&) override { return n = size_, true; }
    bool read(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& got, FileError& error) override {
        if (failing != 0) return error = failing, false;
        got = static_cast<std::uint32_t>(std::min<std::uint64_t>(length, size_ - delivered));
        for (std::uint32_t i = 0; i < got; ++i) buffer[i] = delivered + i < head_.size() ? head_[delivered + i] : 0;
        delivered += got;
        return true;
    }
    std::uint64_t delivered = 0;
    SystemError failing = 0;  // the error of every read, 0: none

private:
    Bytes head_;
    std::uint64_t size_;
};

static std::uint32_t requested = 0;  // the size of the last block asked for
static std::uint8_t* recordingAllocator(std::uint32_t size) {
    requested = size;
    return new (std::nothrow) std::uint8_t[size];
}

// Asked to, the first 142 bytes are read first, and no more of a file whose header they
// already rule out (the reader rejects them as it rejects the whole file); any other file,
// and every file read Whole (the Windows program), is read whole.
TEST(ReadWholeFile, ReadsNoMoreThanTheHeaderOfAFileItRulesOutWhenAsked) {
    const Bytes riff{'R', 'I', 'F', 'F'};
    Bytes macBinaryOnly(128, 0);  // a MacBinary header with no MThd behind it
    macBinaryOnly.insert(macBinaryOnly.end(), riff.begin(), riff.end());
    Bytes longHeader = plainSmf();  // 256 bytes of header: its end is beyond the first 142
    longHeader[6] = 1;
    longHeader[7] = 0;
    struct Row {
        const char* what;
        Bytes head;
        std::uint64_t size;
        ReadOrder order;
        std::uint32_t read;
    };
    const Row rows[] = {
        {"not MIDI, 3 GB", riff, 3000000000u, ReadOrder::HeaderFirst, 142},
        {"MacBinary without MThd, 3 GB", macBinaryOnly, 3000000000u, ReadOrder::HeaderFirst, 142},
        {"not MIDI, 100 bytes", riff, 100, ReadOrder::HeaderFirst, 100},
        {"MIDI", plainSmf(), 1u << 20, ReadOrder::HeaderFirst, 1u << 20},
        {"a header longer than 142 bytes", longHeader, 1u << 20, ReadOrder::HeaderFirst, 1u << 20},
        {"not MIDI, read whole", riff, 1u << 20, ReadOrder::Whole, 1u << 20},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ZeroTailFile file(row.head, row.size);
        std::unique_ptr<std::uint8_t[]> input;
        std::uint32_t bytesRead = 0;
        FileOutcome outcome;
        ASSERT_TRUE(readWholeFile(file, recordingAllocator, input, bytesRead, outcome, row.order));
        EXPECT_EQ(requested, row.read);
        EXPECT_EQ(bytesRead, row.read);
        EXPECT_EQ(file.delivered, row.read);
        EXPECT_EQ(outcome.oldSize, row.size);
        EXPECT_TRUE(std::equal(row.head.begin(), row.head.end(), input.get()));
        // The bytes read are rejected for the reason, and at the offset, of a longer file that starts as this one.
        Bytes longer(4096, 0);
        std::copy(row.head.begin(), row.head.end(), longer.begin());
        smf::SmfReader reader;
        smf::Song song;
        reader.parse(longer.data(), static_cast<std::uint32_t>(longer.size()), song, true);
        const smf::ParseFailure whole = reader.failure();
        reader.parse(input.get(), bytesRead, song, true);
        EXPECT_EQ(std::make_pair(reader.failure().rule, reader.failure().offset),
                  std::make_pair(whole.rule, whole.offset));
    }
    // The first bytes cannot be read: nothing more is asked for.
    ZeroTailFile unreadable(riff, 3000000000u);
    unreadable.failing = 5;
    std::unique_ptr<std::uint8_t[]> input;
    std::uint32_t bytesRead = 0;
    FileOutcome outcome;
    requested = 0;
    EXPECT_FALSE(readWholeFile(unreadable, recordingAllocator, input, bytesRead, outcome, ReadOrder::HeaderFirst));
    EXPECT_EQ(std::make_tuple(outcome.kind, outcome.error, requested),
              std::make_tuple(OutcomeKind::ReadFailed, 5u, 0u));
}

const std::string kHyo = "\x95\x5C", a254(254, 'a');  // kHyo: a character of code page 932 ending in 0x5C

// The drive part; the last component, where a trail byte 0x5C is no separator and the name and
// the extension are each cut to 255 bytes, never inside a character. Code page 932's lead
// bytes are 0x81-0x9F and 0xE0-0xFC: only they hide the byte after them.
TEST(SplitPath, DrivePartAndLastComponentAndFreeSpaceLocation) {
    const std::tuple<std::string, std::string, std::string> rows[] = {
        {"C:\\midi\\song.mid", "C:", "song.mid"},
        {"c:song.mid", "c:", "song.mid"},
        {"C:", "C:", ""},
        {"C:\\dir\\", "C:", ""},
        {"\\\\server\\share\\a.b.mid", "", "a.b.mid"},
        {"C:/x/y.mid", "C:", "y.mid"},
        {"C:\\old.files\\readme", "C:", "readme"},
        {"C:\\" + kHyo + "\\a.mid", "C:", "a.mid"},
        {"C:\\x\\" + kHyo + ".mid", "C:", kHyo + ".mid"},
        {"C:\\x\\" + kHyo, "C:", kHyo},
        {"C:\\aa" + std::string(256, '\x81'), "C:", "aa" + std::string(252, '\x81')},
        {"C:\\" + a254 + "\x81", "C:", a254 + "\x81"},
        {"C:\\" + a254 + "aa.mid", "C:", a254 + "a.mid"},
        {"C:\\a." + a254 + "mm", "C:", "a." + a254},
        {".mid", "", ".mid"},
        {"C:\\a\x80\\b", "C:", "b"},
        {"C:\\a\x81\\b", "C:", "a\x81\\b"},
        {"C:\\a\x9F\\b", "C:", "a\x9F\\b"},
        {"C:\\a\xA0\\b", "C:", "b"},
        {"C:\\a\xDF\\b", "C:", "b"},
        {"C:\\a\xE0\\b", "C:", "a\xE0\\b"},
        {"C:\\a\xFC\\b", "C:", "a\xFC\\b"},
        {"C:\\a\xFD\\b", "C:", "b"}};
    for (const auto& [path, drive, name] : rows) {
        const PathParts parts = splitPath(path, isCp932LeadByte);
        EXPECT_EQ(std::make_pair(parts.drivePart, parts.displayName), std::make_pair(drive, name)) << path;
    }
    // The drive part, or the root of a share "\\\\server\\share\\".
    const std::pair<std::string, std::string> shareRows[] = {{"C:\\midi\\a.mid", "C:"},
                                                             {"d:", "d:"},
                                                             {"//server/share", "//server/share\\"},
                                                             {"\\\\server\\share\\dir\\a.mid", "\\\\server\\share\\"},
                                                             {"\\\\srv\\" + kHyo + "\\a", "\\\\srv\\" + kHyo + "\\"},
                                                             {"\\\\" + kHyo + "\\s\\a", "\\\\" + kHyo + "\\s\\"},
                                                             {"\\\\server", ""},
                                                             {"\\\\server\\", ""},
                                                             {"\\\\server\\\\a.mid", ""},
                                                             {"\\\\\\x\\y", ""},
                                                             {"\\dir\\a.mid", ""},
                                                             {"a\\b\\c\\d", ""},
                                                             {"", ""}};
    for (const auto& [path, location] : shareRows)
        EXPECT_EQ(freeSpaceLocation(path, isCp932LeadByte), location) << path;
}

// A full path in the extended-length form that the wide file calls take beyond MAX_PATH: a
// drive path behind "\\?\", a share path as "\\?\UNC\..."; one already in such a form, or of
// neither kind, as it is.
TEST(ExtendedLengthPath, DrivePathsAndSharePaths) {
    struct Row {
        std::wstring full;
        std::wstring extended;
    };
    const Row rows[] = {
        {L"C:\\midi\\song.mid", L"\\\\?\\C:\\midi\\song.mid"},
        {L"C:\\", L"\\\\?\\C:\\"},
        {L"\\\\server\\share\\song.mid", L"\\\\?\\UNC\\server\\share\\song.mid"},
        {L"\\\\?\\C:\\song.mid", L"\\\\?\\C:\\song.mid"},
        {L"\\\\?\\UNC\\server\\share\\song.mid", L"\\\\?\\UNC\\server\\share\\song.mid"},
        {L"\\\\.\\NUL", L"\\\\.\\NUL"},
        {L"\\\\s\\share\\song.mid", L"\\\\?\\UNC\\s\\share\\song.mid"},
        {L"song.mid", L"song.mid"},
        {L"a\\song.mid", L"a\\song.mid"},
        {L"\\midi\\song.mid", L"\\midi\\song.mid"},
        {L"C:song.mid", L"C:song.mid"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(extendedLengthPath(row.full), row.extended);
    }
}

}  // namespace engine::testing
