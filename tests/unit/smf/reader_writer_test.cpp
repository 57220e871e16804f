// SmfReader and SmfWriter through whole files: the first rule an invalid file breaks and
// where; the exact bytes a valid file is written as, with and without running status; what
// the Song keeps after the tracks and what a parse reports beside it; what a Track keeps.
// What generated files become is checked in property_test.cpp.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/round_trip.h"

using namespace quorin_test;
using smf::ParseRule;

namespace {

const Bytes kEot = {0x00, 0xFF, 0x2F, 0x00};
const Bytes kMThd = bytes("MThd");
// Where the data of smfOf's first track begins: after the header chunk, the track's type and length.
constexpr std::uint32_t kData = 22;
// Two note-ons with one status, written out and under running status.
const Bytes kNotes = {0, 0x90, 0x3C, 0x40, 0, 0x90, 0x3E, 0x40, 0, 0xFF, 0x2F, 0};
const Bytes kNotesRunning = {0, 0x90, 0x3C, 0x40, 0, 0x3E, 0x40, 0, 0xFF, 0x2F, 0};
// XF karaoke chunks, which follow the tracks: song information and lyrics.
const Bytes kXf = cat({chunk("XFIH", bytes("XF02")), chunk("XFKM", {0, 0xFF, 0x05, 1, 'a', 0, 0xFF, 0x2F, 0})});

// A MacBinary header of 128 bytes: byte 0 zero, bytes 74 and 82 as given.
Bytes macBinary(std::uint8_t at74 = 0, std::uint8_t at82 = 0) {
    return cat({{0}, Bytes(73, 'A'), {at74}, Bytes(7, 'A'), {at82}, Bytes(45, 'A')});
}

// A file of one counted chunk whose length field says length, whatever data follows.
Bytes withChunk(const char* type, std::uint32_t length, const Bytes& data) {
    return cat({header(1, 1, 96), bytes(type), bigEndian(length, 4), data});
}

bool parse(smf::SmfReader& reader, const Bytes& input, smf::Song& song, bool allowMacBinary = true) {
    return reader.parse(input.data(), std::uint32_t(input.size()), song, allowMacBinary);
}

}  // namespace

// The header chunk, maybe behind a MacBinary header; the counted chunks; the events of a track.
TEST(Reader, RejectsAFileAtTheFirstRuleItBreaks) {
    const Bytes notes = repeat({0x01, 0x90, 0x3C, 0x40}, 3);
    struct Rejected {
        Bytes input;
        ParseRule rule;
        std::uint32_t offset;
        std::uint32_t chunkIndex = 0;
    };
    std::vector<Rejected> rows = {
        // the file; the rule it breaks; where; in which counted chunk
        {{}, ParseRule::HeaderTooShort, 0},
        {cat({bytes("RIFF"), Bytes(124, 0)}), ParseRule::NotMidiFile, 0},
        {cat({macBinary(1, 0), plainSmf()}), ParseRule::NotMidiFile, 74},
        {cat({macBinary(0, 1), plainSmf()}), ParseRule::NotMidiFile, 82},
        {cat({macBinary(), chunk("MTrk", kEot)}), ParseRule::NotMidiFile, 128},
        {cat({macBinary(), kMThd}), ParseRule::HeaderLengthMissing, 132},
        {kMThd, ParseRule::HeaderLengthMissing, 4},
        {chunk("MThd", {0, 1, 0, 1, 0}), ParseRule::HeaderLengthTooSmall, 4},
        {cat({kMThd, {0, 0, 0, 6, 0}}), ParseRule::HeaderFieldMissing, 8},
        {header(3, 1, 96), ParseRule::FormatInvalid, 8},
        {cat({kMThd, {0, 0, 0, 6, 0, 1, 0}}), ParseRule::HeaderFieldMissing, 10},
        {cat({kMThd, {0, 0, 0, 6, 0, 1, 0, 1, 0}}), ParseRule::HeaderFieldMissing, 12},
        {header(1, 1, 0xE628), ParseRule::DivisionInvalid, 12},
        {cat({kMThd, {0, 0, 0, 10, 0, 1, 0, 0, 0, 96, 1, 2}}), ParseRule::HeaderExtraTruncated, 14},
        {cat({header(1, 2, 96), chunk("MTrk", kEot)}), ParseRule::ChunkHeaderTruncated, 26, 1},
        {cat({header(1, 1, 96), kMThd}), ParseRule::SecondHeaderChunk, 14},
        {withChunk("XFIH", 10, {1, 2, 3, 4}), ParseRule::ChunkTruncated, 14},
        {withChunk("XFIH", 0x80000000u, {}), ParseRule::ChunkTruncated, 14},
        {withChunk("MTrk", 0, {}), ParseRule::EmptyTrack, 14},
        {withChunk("MTrk", 1, kEot), ParseRule::EndOfTrackMisplaced, kData + 1},
        {withChunk("MTrk", 3, cat({notes, kEot})), ParseRule::MissingEndOfTrack, kData + 4},
        {smfOf({{0x81, 0x80, 0x80, 0x80, 0x00, 0xFF, 0x2F, 0x00}}), ParseRule::VarLenTooLong, kData},
        {smfOf({{0x00, 0xF0}}), ParseRule::VarLenTruncated, kData + 2},
        {smfOf({{0x00, 0xFF, 0x01}}), ParseRule::VarLenTruncated, kData + 3},
        {smfOf({cat({{0x00, 0x3C, 0x40}, kEot})}), ParseRule::MissingRunningStatus, kData + 1},
        {smfOf({cat({notes, {0, 0xF0, 1, 0xF7, 0, 0x3C, 0}, kEot})}), ParseRule::MissingRunningStatus, kData + 17},
        {smfOf({{0x00, 0x90, 0x3C}}), ParseRule::EventTruncated, kData + 1},
        {smfOf({cat({notes, {0x00}})}), ParseRule::EventTruncated, kData + 13},
        {smfOf({cat({{0x00, 0xFF, 0x81, 0x00}, kEot})}), ParseRule::MetaTypeInvalid, kData + 2},
        {smfOf({cat({{0x00, 0xFF, 0x51, 4, 7, 0xA1, 0x20, 0}, kEot})}), ParseRule::MetaLengthInvalid, kData + 3},
        {smfOf({cat({kEot, {0x00}})}), ParseRule::EndOfTrackMisplaced, kData + 1},
        {smfOf({notes}), ParseRule::MissingEndOfTrack, kData + 12},
    };
    // System common and real-time statuses, all of 0xF1-0xFE but SysEx's 0xF7, in a second
    // track: after the first one's 4 bytes, the second's type and length, and a delta.
    for (std::uint8_t status = 0xF1; status <= 0xFE; ++status) {
        if (status != 0xF7) rows.push_back({smfOf({kEot, {0, status}}), ParseRule::StatusNotAllowed, kData + 13, 1});
    }
    for (const Rejected& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << &row - rows.data());
        smf::SmfReader reader;
        smf::Song song;
        EXPECT_FALSE(parse(reader, row.input, song));
        EXPECT_STREQ(smf::describeParseRule(reader.failure().rule), smf::describeParseRule(row.rule));
        EXPECT_EQ(reader.failure().offset, row.offset);
        EXPECT_EQ(reader.failure().chunkIndex, row.chunkIndex);
    }
    smf::SmfReader reader;
    smf::Song song;
    EXPECT_FALSE(parse(reader, cat({macBinary(), plainSmf()}), song, false));
    EXPECT_EQ(reader.failure().rule, ParseRule::MacBinaryNotAllowed);
}

// Each valid file is written into storage of exactly its size, as planned.
TEST(Writer, WritesEachValidFileWithAndWithoutRunningStatus) {
    // Under running status the third note-on and the second program change go without their
    // status. A first data byte with bit 7 set would read back as a status, so its status
    // stays; SysEx and meta events, meta type 0x80 (the highest) among them, cancel it.
    const Bytes events = {0,    0x90, 0x3C, 0x40, 0,    0x90, 0x85, 0x40, 0,    0x90, 0x3C, 0x85, 0,    0x90, 0x85,
                          0x40, 0,    0xC0, 5,    0,    0xC0, 7,    0,    0xC0, 0x87, 0,    0xF0, 1,    0xF7, 0,
                          0xF7, 1,    0xF7, 0,    0xFF, 0x80, 0,    0,    0xFF, 0x80, 0,    0,    0xC0, 5};
    const Bytes eventsRunning = {0,    0x90, 0x3C, 0x40, 0,    0x90, 0x85, 0x40, 0,    0x3C, 0x85, 0, 0x90, 0x85,
                                 0x40, 0,    0xC0, 5,    0,    7,    0,    0xC0, 0x87, 0,    0xF0, 1, 0xF7, 0,
                                 0xF7, 1,    0xF7, 0,    0xFF, 0x80, 0,    0,    0xFF, 0x80, 0,    0, 0xC0, 5};
    // A chunk length with every byte set: a SysEx event of 0x01020304 bytes, a track over 16 MiB.
    const Bytes huge = cat({{0, 0xF0, 0x88, 0x88, 0x86, 0x04}, Bytes(0x01020304, 0x55), kEot});
    // A non-minimal delta (80 00), running status in the input, a foreign chunk among the counted ones.
    const Bytes loose = {0x80, 0, 0x80, 0x3C, 0, 0, 0x3E, 0, 0x83, 0, 0xFF, 0x2F, 0};
    const Bytes tight = {0, 0x80, 0x3C, 0, 0, 0x3E, 0, 0x83, 0, 0xFF, 0x2F, 0};
    const Bytes full = {0, 0x80, 0x3C, 0, 0, 0x80, 0x3E, 0, 0x83, 0, 0xFF, 0x2F, 0};
    // The chunks after the tracks are written as they were, running status or not.
    const Bytes after = cat({chunk("MTrk", kNotesRunning), chunk("MTrk", kNotes), kXf});
    const struct {
        Bytes input;
        Bytes withRunningStatus;     // empty: the input itself
        Bytes withoutRunningStatus;  // empty: the input itself
    } rows[] = {
        {plainSmf(), runningStatusSmf(), {}},
        {smfOf({cat({events, kEot})}), smfOf({cat({eventsRunning, kEot})}), {}},
        {header(0, 0, 0xE728), {}, {}},
        {cat({header(1, 300, 96), repeat(chunk("MTrk", kEot), 300)}), {}, {}},
        {smfOf({huge}), {}, {}},
        {cat({header(1, 2, 96), chunk("XFIH", {1}), chunk("MTrk", loose)}), smfOf({tight}), smfOf({full})},
        {cat({smfOf({kNotes}), after}), cat({smfOf({kNotesRunning}), after}), {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << &row - rows);
        smf::SmfReader reader;
        smf::Song song;
        ASSERT_TRUE(parse(reader, row.input, song)) << smf::describeParseRule(reader.failure().rule);
        for (bool runningStatus : {true, false}) {
            const Bytes& given = runningStatus ? row.withRunningStatus : row.withoutRunningStatus;
            const Bytes& expected = given.empty() ? row.input : given;
            smf::ByteBuffer out;
            out.resize(1000);
            EXPECT_EQ(smf::SmfWriter().writeSong(song, out, runningStatus), expected.size());
            EXPECT_EQ(contents(out), expected) << "running status " << runningStatus;
            EXPECT_EQ(out.capacity(), expected.size());
            std::vector<std::uint32_t> sizes(3, 7);
            EXPECT_EQ(smf::SmfWriter::planSongSize(song, runningStatus, sizes), expected.size());
            EXPECT_EQ(sizes.size(), song.trackCount());
        }
    }
}

// After the counted chunks, the whole chunks up to the first thing that is not one are kept:
// an uncounted MTrk too, an empty chunk, type bytes from 0x20 to 0x7E. Padding, a second
// header, a chunk cut short, another type byte, a MacBinary file's resource fork (after its
// data, padded to 128 bytes) end them.
TEST(Reader, KeepsTheWholeChunksAfterTheTracks) {
    const Bytes eot = smfOf({kEot});
    const Bytes xfih = chunk("XFIH", {1});
    const Bytes printable = cat({chunk("XFKM", {}), chunk(" ~~ ", {1}), chunk("MTrk", {})});
    const struct {
        Bytes input;
        Bytes after;  // what the Song keeps
    } rows[] = {
        {cat({header(1, 2, 96), chunk("MTrk", kEot), chunk("XFIH", {}), chunk("MTrk", kEot)}), chunk("MTrk", kEot)},
        {cat({eot, printable}), printable},
        {cat({eot, kXf, Bytes(5, 0)}), kXf},
        {cat({eot, xfih, eot}), xfih},
        {cat({eot, xfih, bytes("XFKM"), {0, 0, 0, 5, 1, 2, 3, 4}}), xfih},
        {cat({eot, xfih, bytes("MTrk"), {0, 0, 0}}), xfih},
        {cat({eot, chunk("\x1FXFH", {1})}), {}},
        {cat({eot, chunk("XFI\x7F", {1})}), {}},
        {cat({macBinary(), eot, kXf, Bytes(128 - 26 - 29, 0), Bytes(200, 'A')}), kXf},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << &row - rows);
        smf::SmfReader reader;
        smf::Song song;
        ASSERT_TRUE(parse(reader, row.input, song));
        EXPECT_EQ(contents(song.chunksAfterTracks()), row.after);
    }
}

// What the Song leaves out (MacBinary, foreign chunks among the counted ones, running status,
// trailing bytes: an "MTrk" tag without a whole chunk header is only that), and the chunks
// after the tracks, the first four of each named.
TEST(Reader, ReportsWhatTheSongLeavesOutAndKeeps) {
    const Bytes counted = cat({chunk("XFIH", {1, 2}), chunk("MTrk", kNotesRunning), chunk("XFKM", {})});
    const Bytes after = cat({chunk("MTrk", {}), chunk("CASM", {1}), chunk("OTSc", {}), chunk("XFIH", {}), kXf});
    const Bytes trailing = cat({bytes("MTrk"), {0, 0, 0}});
    smf::SmfReader reader;
    smf::Song song;
    ASSERT_TRUE(parse(reader, cat({macBinary(), header(2, 3, 0xE250), counted, after, trailing}), song));
    const smf::ParseSummary& summary = reader.summary();
    EXPECT_EQ(summary.leftOutChunks.count, 2u);
    EXPECT_EQ(std::string(summary.leftOutChunks.first[1].data(), 4), "XFKM");
    EXPECT_EQ(summary.chunksAfterTracks.count, 6u);
    EXPECT_EQ(std::string(summary.chunksAfterTracks.first[3].data(), 4), "XFIH");
    EXPECT_EQ(summary.bytesAfterChunks, trailing.size());
    EXPECT_EQ(summary.runningStatusEvents, 1u);
    EXPECT_TRUE(summary.macBinary);
    EXPECT_EQ(song.format(), 2);
    EXPECT_EQ(song.division(), 0xE250);
}

// A track keeps every event as it was given, whatever its bytes, size or tick: channel events
// of their usual size (deltas up to 1023, data bytes below 0x80) and all others, ticks that go
// back (a delta of almost 2^32) or jump by 2^28, an empty event, a SysEx larger than the
// blocks the track grows by, over many blocks. What it plans to write is what the writer
// writes; moved, it keeps its events and the source has none.
TEST(Track, KeepsEveryEventAsGiven) {
    const Events kinds = {
        // delta from the event before; the event's bytes
        {0, {0x90, 0x3C, 0x40}},
        {1023, {0x90, 0x3E, 0x40}},
        {1024, {0xE0, 0x00, 0x7F}},
        {3, {0xC5, 0x87}},
        {3, {0xB0, 0x07, 0xFF}},
        {0, {0x90, 0x3C}},
        {0, {0x90, 0x3C, 0x40, 0x00}},
        {0, {0x90}},
        {0, {}},
        {0, {0x3C, 0x40}},
        {0xFFFFFFFBu, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}},
        {0x10000000u, {0xF0, 0x02, 0x7E, 0xF7}},
        {9, cat({{0xF0, 0x82, 0xB8, 0x40}, Bytes(40000, 0x55)})},
        {0x0FFFFFFFu, {0xD3, 0x11}},
    };
    constexpr int kRounds = 300;
    smf::Song song;
    smf::Track& track = song.appendTrack();
    Events expected;
    std::uint32_t tick = 0;
    for (int round = 0; round < kRounds; ++round) {
        for (const auto& [delta, bytes] : kinds) {
            tick += delta;
            smf::TrackEvent event;
            event.tick = tick;
            event.bytes.assignAt(bytes.data(), std::uint32_t(bytes.size()), 0);
            track.appendEvent(event);
            expected.emplace_back(tick, bytes);
        }
    }
    EXPECT_EQ(eventsOf(track), expected);
    EXPECT_EQ(track.eventCount(), expected.size());
    for (bool runningStatus : {true, false}) {
        const Bytes written = write(song, runningStatus);
        EXPECT_EQ(written.size(), kData + track.writtenEventBytes(runningStatus));
        // The last event, the output's last bytes: 0x0FFFFFFF in 4 bytes, D3 11.
        EXPECT_EQ(Bytes(written.end() - 6, written.end()), (Bytes{0xFF, 0xFF, 0xFF, 0x7F, 0xD3, 0x11}));
    }
    // Running status leaves out two statuses a round: the second note-on's, and that of the
    // 4-byte event after the 2-byte one with the same status.
    EXPECT_EQ(track.writtenEventBytes(false) - track.writtenEventBytes(true), 2u * kRounds);
    smf::Track moved(std::move(track));
    EXPECT_EQ(eventsOf(moved), expected);
    EXPECT_EQ(track.eventCount(), 0u);
    EXPECT_TRUE(eventsOf(track).empty());
}

// In memory, a converted integer's bytes are big-endian.
TEST(ByteOrder, ConvertsToBigEndian) {
    std::uint32_t word = 0x01020304;
    std::uint16_t half = 0x0506;
    smf::toBigEndian32(word);
    smf::toBigEndian16(half);
    EXPECT_EQ(std::memcmp(&word, "\x01\x02\x03\x04", 4), 0);
    EXPECT_EQ(std::memcmp(&half, "\x05\x06", 2), 0);
}
