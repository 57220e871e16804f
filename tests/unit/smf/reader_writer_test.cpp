// SmfReader and SmfWriter through whole files: the first rule an invalid file breaks and
// where, and what the Song of a valid one keeps after its tracks; the exact bytes a valid
// file is written as, with and without running status; what a parse reports beside the
// Song; what a Track keeps. What generated files become is checked in property_test.cpp.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/round_trip.h"

using namespace quorin_test;
using Rule = smf::ParseRule;

namespace {

const Bytes kEot = {0x00, 0xFF, 0x2F, 0x00};
const Bytes kMThd = bytes("MThd");
// Where the data of smfOf's first track begins: after the header chunk, the track's type and length.
constexpr std::uint32_t kData = 22;
// Two note-ons with one status under running status.
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

// A file, the first rule it breaks, where, in which counted chunk; for a valid file (rule
// None) what its Song keeps after the tracks.
struct Row {
    Bytes input;
    Rule rule;
    std::uint32_t offset = 0;
    std::uint32_t chunkIndex = 0;
    Bytes after = {};
};

Row accepted(const Bytes& input, const Bytes& after) {
    return {input, Rule::None, 0, 0, after};
}

}  // namespace

// Every rule the reader applies, in its order: the header chunk, maybe behind a MacBinary
// header, its extra bytes dropped; the counted chunks; the events of a track; then the whole chunks after the counted
// ones, which the Song keeps up to the first thing that is not one: padding, a second header,
// a chunk cut short, a type byte out of 0x20-0x7E, a MacBinary file's resource fork (after
// its data, padded to 128 bytes).
TEST(Reader, AcceptsOrRejectsEachFileByTheFirstRuleItBreaks) {
    const Bytes notes = repeat({0x01, 0x90, 0x3C, 0x40}, 3);
    const Bytes track = chunk("MTrk", kEot);
    const Bytes eot = smfOf({kEot});
    const Bytes xfih = chunk("XFIH", {1});
    const Bytes printable = cat({chunk("XFKM", {}), chunk(" ~~ ", {1}), chunk("MTrk", {})});
    // A chunk length with every byte set: a SysEx event of 0x01020304 bytes, a track over 16 MiB.
    const Bytes huge = cat({{0, 0xF0, 0x88, 0x88, 0x86, 0x04}, Bytes(0x01020304, 0x55), kEot});
    std::vector<Row> rows = {
        // the file; the rule it breaks; where; in which counted chunk
        {{}, Rule::HeaderTooShort, 0},
        {cat({bytes("RIFF"), Bytes(124, 0)}), Rule::NotMidiFile, 0},
        {cat({macBinary(1, 0), plainSmf()}), Rule::NotMidiFile, 74},
        {cat({macBinary(0, 1), plainSmf()}), Rule::NotMidiFile, 82},
        {cat({macBinary(), track}), Rule::NotMidiFile, 128},
        {cat({macBinary(), kMThd}), Rule::HeaderLengthMissing, 132},
        {chunk("MThd", {0, 1, 0, 1, 0}), Rule::HeaderLengthTooSmall, 4},
        {cat({kMThd, {0, 0, 0, 6, 0}}), Rule::HeaderFieldMissing, 8},
        {header(3, 1, 96), Rule::FormatInvalid, 8},
        {cat({kMThd, {0, 0, 0, 6, 0, 1, 0}}), Rule::HeaderFieldMissing, 10},
        {cat({kMThd, {0, 0, 0, 6, 0, 1, 0, 1, 0}}), Rule::HeaderFieldMissing, 12},
        {header(1, 1, 0xE628), Rule::DivisionInvalid, 12},
        {cat({kMThd, {0, 0, 0, 10, 0, 1, 0, 0, 0, 96, 1, 2}}), Rule::HeaderExtraTruncated, 14},
        {cat({header(1, 2, 96), track}), Rule::ChunkHeaderTruncated, 26, 1},
        {cat({header(1, 1, 96), kMThd}), Rule::SecondHeaderChunk, 14},
        {withChunk("XFIH", 0x80000000u, {}), Rule::ChunkTruncated, 14},
        {withChunk("MTrk", 0, {}), Rule::EmptyTrack, 14},
        {withChunk("MTrk", 1, kEot), Rule::EndOfTrackMisplaced, kData + 1},
        {withChunk("MTrk", 3, cat({notes, kEot})), Rule::MissingEndOfTrack, kData + 4},
        {smfOf({{0x81, 0x80, 0x80, 0x80, 0x00, 0xFF, 0x2F, 0x00}}), Rule::VarLenTooLong, kData},
        {smfOf({{0x00, 0xF0}}), Rule::VarLenTruncated, kData + 2},
        {smfOf({{0x00, 0xFF, 0x01}}), Rule::VarLenTruncated, kData + 3},
        {smfOf({cat({{0x00, 0x3C, 0x40}, kEot})}), Rule::MissingRunningStatus, kData + 1},
        {smfOf({cat({notes, {0, 0xF0, 1, 0xF7, 0, 0x3C, 0}, kEot})}), Rule::MissingRunningStatus, kData + 17},
        {smfOf({{0x00, 0x90, 0x3C}}), Rule::EventTruncated, kData + 1},
        {smfOf({cat({notes, {0x00}})}), Rule::EventTruncated, kData + 13},
        {smfOf({cat({{0x00, 0xFF, 0x81, 0x00}, kEot})}), Rule::MetaTypeInvalid, kData + 2},
        {smfOf({cat({{0x00, 0xFF, 0x51, 4, 7, 0xA1, 0x20, 0}, kEot})}), Rule::MetaLengthInvalid, kData + 3},
        {smfOf({cat({kEot, {0x00}})}), Rule::EndOfTrackMisplaced, kData + 1},
        {smfOf({notes}), Rule::MissingEndOfTrack, kData + 12},
        // the valid file; what its Song keeps after the tracks
        accepted(header(0, 0, 0xE728), {}),
        accepted(cat({chunk("MThd", {0, 0, 0, 1, 0, 96, 1, 2}), track}), {}),
        accepted(smfOf({huge}), {}),
        accepted(cat({header(1, 2, 96), track, chunk("XFIH", {}), track}), track),
        accepted(cat({eot, printable}), printable),
        accepted(cat({eot, kXf, Bytes(5, 0)}), kXf),
        accepted(cat({eot, xfih, eot}), xfih),
        accepted(cat({eot, xfih, bytes("XFKM"), {0, 0, 0, 5, 1, 2, 3, 4}}), xfih),
        accepted(cat({eot, chunk("\x1FXFH", {1})}), {}),
        accepted(cat({eot, chunk("XFI\x7F", {1})}), {}),
        accepted(cat({macBinary(), eot, kXf, Bytes(128 - eot.size() - kXf.size(), 0), Bytes(200, 'A')}), kXf),
    };
    // System common and real-time statuses, all of 0xF1-0xFE but SysEx's 0xF7, in a second
    // track: after the first one's 4 bytes, the second's type and length, and a delta.
    for (std::uint8_t status = 0xF1; status <= 0xFE; ++status) {
        if (status != 0xF7) rows.push_back({smfOf({kEot, {0, status}}), Rule::StatusNotAllowed, kData + 13, 1});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << &row - rows.data());
        smf::SmfReader reader;
        smf::Song song;
        EXPECT_EQ(parse(reader, row.input, song), row.rule == Rule::None);
        EXPECT_STREQ(smf::describeParseRule(reader.failure().rule), smf::describeParseRule(row.rule));
        EXPECT_EQ(reader.failure().offset, row.offset);
        EXPECT_EQ(reader.failure().chunkIndex, row.chunkIndex);
        EXPECT_EQ(row.rule == Rule::None ? contents(song.chunksAfterTracks()) : Bytes{}, row.after);
    }
}

// Under running status a status goes when the event before had it, unless the byte after
// it has bit 7 set (it would read back as a status): here the third note-on's. SysEx and meta
// events (a pair of SysEx, meta type 0x80, the highest) cancel running status. Without it,
// every status is written. Either way a non-minimal delta (80 00) is written short and a
// foreign chunk among the counted ones is left out.
TEST(Writer, LeavesOutTheStatusesRunningStatusAllows) {
    const Bytes others = {0, 0xC0, 5, 0, 0xC0, 0x87, 0, 0xF0, 1, 0xF7, 0, 0xF0, 1, 0xF7, 0, 0xFF, 0x80, 0, 0, 0xC0, 5};
    const Bytes notes = cat({{0, 0x90, 0x3C, 0x40, 0x81, 0, 0x90, 0x85, 0x40, 0, 0x90, 0x3C, 0x85}, others, kEot});
    const Bytes notesRunning = cat({{0, 0x90, 0x3C, 0x40, 0x81, 0, 0x90, 0x85, 0x40, 0, 0x3C, 0x85}, others, kEot});
    const Bytes input = cat({header(1, 2, 96), chunk("XFIH", {1}), chunk("MTrk", cat({{0x80}, notesRunning}))});
    smf::SmfReader reader;
    smf::Song song;
    ASSERT_TRUE(parse(reader, input, song));
    EXPECT_EQ(write(song, true), smfOf({notesRunning}));
    EXPECT_EQ(write(song, false), smfOf({notes}));
}

// MacBinary is allowed only when asked for. What the Song leaves out (MacBinary, foreign
// chunks among the counted ones, running status, trailing bytes: an "MTrk" tag without a
// whole chunk header is only that), and the chunks after the tracks.
TEST(Reader, ReportsWhatTheSongLeavesOutAndKeeps) {
    const Bytes counted = cat({chunk("XFIH", {1, 2}), chunk("MTrk", kNotesRunning), chunk("XFKM", {})});
    const Bytes after = cat({chunk("MTrk", {}), chunk("CASM", {1}), chunk("OTSc", {}), chunk("XFIH", {}), kXf});
    const Bytes trailing = cat({bytes("MTrk"), {0, 0, 0}});
    const Bytes input = cat({macBinary(), header(2, 3, 0xE250), counted, after, trailing});
    smf::SmfReader reader;
    smf::Song song;
    EXPECT_FALSE(parse(reader, input, song, false));
    EXPECT_EQ(reader.failure().rule, Rule::MacBinaryNotAllowed);
    ASSERT_TRUE(parse(reader, input, song));
    const smf::ParseSummary& summary = reader.summary();
    EXPECT_EQ(summary.leftOutChunks.count, 2u);
    EXPECT_EQ(summary.chunksAfterTracks.count, 6u);
    EXPECT_EQ(summary.bytesAfterChunks, trailing.size());
    EXPECT_EQ(summary.runningStatusEvents, 1u);
    EXPECT_TRUE(summary.macBinary);
    EXPECT_EQ(write(song, true), cat({header(2, 1, 0xE250), chunk("MTrk", kNotesRunning), after}));
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
    constexpr std::size_t kRounds = 300;
    smf::Song song;
    smf::Track& track = song.appendTrack();
    Events expected;
    std::uint32_t tick = 0;
    for (std::size_t i = 0; i < kRounds * kinds.size(); ++i) {
        const auto& [delta, bytes] = kinds[i % kinds.size()];
        tick += delta;
        smf::TrackEvent event;
        event.tick = tick;
        event.bytes.assignAt(bytes.data(), std::uint32_t(bytes.size()), 0);
        track.appendEvent(event);
        expected.emplace_back(tick, bytes);
    }
    EXPECT_EQ(eventsOf(track), expected);
    EXPECT_EQ(track.eventCount(), expected.size());
    for (bool on : {true, false}) EXPECT_EQ(write(song, on).size(), kData + track.writtenEventBytes(on));
    // Running status leaves out two statuses a round: the second note-on's, and that of the
    // 4-byte event after the 2-byte one with the same status.
    EXPECT_EQ(track.writtenEventBytes(false) - track.writtenEventBytes(true), 2u * kRounds);
    smf::Track moved(std::move(track));
    EXPECT_EQ(eventsOf(moved), expected);
    EXPECT_TRUE(eventsOf(track).empty());
}

// In memory, a converted integer's bytes are big-endian.
TEST(ByteOrder, ConvertsToBigEndian) {
    std::uint32_t word = 0x01020304;
    smf::toBigEndian32(word);
    EXPECT_EQ(std::memcmp(&word, "\x01\x02\x03\x04", 4), 0);
}
