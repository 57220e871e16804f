// SmfReader and SmfWriter through whole files: the first rule an invalid file breaks and
// where; the exact bytes a valid file is written as, with and without running status; what
// a parse reports beside the Song. What generated files become is checked in property_test.cpp.
#include <gtest/gtest.h>

#include "tests/support/round_trip.h"

using namespace quorin_test;
using smf::ParseRule;

namespace {

const Bytes kEot = {0x00, 0xFF, 0x2F, 0x00};
const Bytes kMThd = bytes("MThd");
// Where the data of smfOf's first track begins: after the header chunk and the track's type and length.
constexpr std::uint32_t kTrackData = 22;
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

std::vector<std::string> names(const smf::ChunkTypes& types) {
    std::vector<std::string> named;
    for (std::uint32_t i = 0; i < types.named(); ++i) named.emplace_back(types.first[i].data(), 4);
    return named;
}

}  // namespace

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
        {cat({macBinary(1, 0), smfOf({kEot})}), ParseRule::NotMidiFile, 74},
        {cat({macBinary(0, 1), smfOf({kEot})}), ParseRule::NotMidiFile, 82},
        {macBinary(), ParseRule::NotMidiFile, 128},
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
        {cat({header(1, 1, 96), chunk("MTrk", {})}), ParseRule::EmptyTrack, 14},
        {smfOf({{0x81, 0x80, 0x80, 0x80, 0x00, 0xFF, 0x2F, 0x00}}), ParseRule::VarLenTooLong, kTrackData},
        {smfOf({{0x00, 0xF0}}), ParseRule::VarLenTruncated, kTrackData + 2},
        {smfOf({{0x00, 0xFF, 0x01}}), ParseRule::VarLenTruncated, kTrackData + 3},
        {smfOf({cat({{0x00, 0x3C, 0x40}, kEot})}), ParseRule::MissingRunningStatus, kTrackData + 1},
        {smfOf({cat({notes, {0, 0xF0, 1, 0xF7, 0, 0x3C, 0}, kEot})}), ParseRule::MissingRunningStatus, kTrackData + 17},
        {smfOf({{0x00, 0x90, 0x3C}}), ParseRule::EventTruncated, kTrackData + 1},
        {smfOf({cat({notes, {0x00}})}), ParseRule::EventTruncated, kTrackData + 13},
        {smfOf({cat({{0x00, 0xFF, 0x81, 0x00}, kEot})}), ParseRule::MetaTypeInvalid, kTrackData + 2},
        {smfOf({cat({{0x00, 0xFF, 0x51, 4, 7, 0xA1, 0x20, 0}, kEot})}), ParseRule::MetaLengthInvalid, kTrackData + 3},
        {smfOf({{0x00, 0xFF, 0x2F, 0x01, 0x00}}), ParseRule::MetaLengthInvalid, kTrackData + 3},
        {smfOf({cat({kEot, {0x00}})}), ParseRule::EndOfTrackMisplaced, kTrackData + 1},
        {withChunk("MTrk", 1, kEot), ParseRule::EndOfTrackMisplaced, kTrackData + 1},
        {smfOf({notes}), ParseRule::MissingEndOfTrack, kTrackData + 12},
        {withChunk("MTrk", 3, cat({notes, kEot})), ParseRule::MissingEndOfTrack, kTrackData + 4},
    };
    // System common and real-time statuses (all of 0xF1-0xFE but SysEx's 0xF7), in a second track.
    for (std::uint8_t status = 0xF1; status <= 0xFE; ++status) {
        // The status after the first track's 4 bytes, the second's type and length, its delta.
        if (status != 0xF7)
            rows.push_back({smfOf({kEot, {0, status}}), ParseRule::StatusNotAllowed, kTrackData + 13, 1});
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
    EXPECT_FALSE(parse(reader, cat({macBinary(), smfOf({kEot})}), song, false));
    EXPECT_EQ(reader.failure().rule, ParseRule::MacBinaryNotAllowed);
}

// Each valid file is written into storage of exactly its size, as planned.
TEST(Writer, WritesEachValidFileWithAndWithoutRunningStatus) {
    // A first data byte with bit 7 set would read back as a status, so its status stays.
    const Bytes odd = {0, 0x90, 0x3C, 0x40, 0, 0x90, 0x85, 0x40, 0, 0x90, 0x3C, 0x85, 0, 0x90, 0x85, 0x40};
    const Bytes oddRunning = {0, 0x90, 0x3C, 0x40, 0, 0x90, 0x85, 0x40, 0, 0x3C, 0x85, 0, 0x90, 0x85, 0x40};
    const Bytes programs = {0, 0xC0, 5, 0, 0xC0, 7, 0, 0xC0, 0x87};
    const Bytes programsRunning = {0, 0xC0, 5, 0, 7, 0, 0xC0, 0x87};
    // SysEx and meta pairs, meta type 0x80 (the highest), a program change again after a meta
    // event: no status to leave out.
    const Bytes others = {0, 0xF0, 1, 0xF7, 0, 0xF0, 1, 0xF7, 0, 0xFF, 0x80, 0, 0, 0xFF, 0x80, 0, 0, 0xC0, 5};
    const Bytes afterMeta = {0, 0xFF, 1, 0, 0, 0xC0, 5};
    // A chunk length with every byte set: a SysEx event of 0x01020304 bytes, a track over 16 MiB.
    const Bytes huge = cat({{0, 0xF0, 0x88, 0x88, 0x86, 0x04}, Bytes(0x01020304, 0x55), kEot});
    // A non-minimal delta (80 00), running status in the input, a foreign chunk among the counted ones.
    const Bytes loose = {0x80, 0, 0x80, 0x3C, 0, 0, 0x3E, 0, 0x83, 0, 0xFF, 0x2F, 0};
    const Bytes tight = {0, 0x80, 0x3C, 0, 0, 0x3E, 0, 0x83, 0, 0xFF, 0x2F, 0};
    const Bytes full = {0, 0x80, 0x3C, 0, 0, 0x80, 0x3E, 0, 0x83, 0, 0xFF, 0x2F, 0};
    const Bytes uncounted = cat({chunk("MTrk", kNotesRunning), chunk("MTrk", kNotes)});
    const Bytes twoTracks = cat({smfOf({kEot}), chunk("MTrk", kEot)});
    const Bytes notesXf = cat({smfOf({kNotes}), kXf});
    const Bytes notesRunningXf = cat({smfOf({kNotesRunning}), kXf});
    const Bytes xfih = chunk("XFIH", {1});
    const Bytes eotXfih = cat({smfOf({kEot}), xfih});
    struct Accepted {
        Bytes input;
        Bytes withRunningStatus = {};     // empty: the input itself
        Bytes withoutRunningStatus = {};  // empty: the input itself
    };
    const Accepted rows[] = {
        {plainSmf(), runningStatusSmf()},
        {runningStatusSmf(), {}, plainSmf()},
        {smfOf({cat({odd, kEot})}), smfOf({cat({oddRunning, kEot})})},
        {smfOf({cat({programs, kEot})}), smfOf({cat({programsRunning, kEot})})},
        {smfOf({cat({others, afterMeta, kEot})})},
        {header(0, 0, 0xE728)},
        {cat({header(1, 300, 96), repeat(chunk("MTrk", kEot), 300)})},
        {smfOf({huge})},
        {cat({header(1, 2, 96), xfih, chunk("MTrk", loose)}), smfOf({tight}), smfOf({full})},
        // Whole chunks after the counted ones are kept as they were, uncounted tracks too.
        {cat({smfOf({kNotes}), uncounted}), cat({smfOf({kNotesRunning}), uncounted})},
        {cat({header(1, 2, 96), chunk("MTrk", kEot), chunk("XFIH", {}), chunk("MTrk", kEot)}), twoTracks, twoTracks},
        {notesXf, notesRunningXf},
        {cat({smfOf({kEot}), chunk("XFKM", {}), chunk("MTrk", {})})},
        {cat({smfOf({kEot}), chunk(" ~~ ", {1})})},
        // What follows them is left out: padding, a second header, a chunk cut short, a type
        // byte out of 0x20-0x7E, a MacBinary file's resource fork after its data padded to 128 bytes.
        {cat({notesXf, Bytes(5, 0)}), notesRunningXf, notesXf},
        {cat({eotXfih, smfOf({kEot})}), eotXfih, eotXfih},
        {cat({eotXfih, bytes("XFKM"), {0, 0, 0, 5, 1, 2, 3, 4}}), eotXfih, eotXfih},
        {cat({eotXfih, bytes("MTrk"), {0, 0, 0}}), eotXfih, eotXfih},
        {cat({smfOf({kEot}), chunk("\x1FXFH", {1})}), smfOf({kEot}), smfOf({kEot})},
        {cat({smfOf({kEot}), chunk("XFI\x7F", {1})}), smfOf({kEot}), smfOf({kEot})},
        {cat({macBinary(), notesXf, Bytes(65, 0), Bytes(200, 'A')}), notesRunningXf, notesXf},
    };
    for (const Accepted& row : rows) {
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

// What the Song leaves out (MacBinary, foreign chunks among the counted ones, running status,
// trailing bytes: an "MTrk" tag without a whole chunk header is only that), the chunks after
// the tracks it keeps, the first few of each named.
TEST(Reader, ReportsWhatTheSongLeavesOutAndKeeps) {
    const Bytes counted = cat({chunk("XFIH", {1, 2}), chunk("MTrk", kNotesRunning), chunk("XFKM", {})});
    const Bytes after =
        cat({chunk("MTrk", {}), chunk("CASM", {1}), chunk("OTSc", {}), chunk("XFIH", {}), chunk("XFKM", {2})});
    const Bytes trailing = cat({bytes("MTrk"), {0, 0, 0}});
    const Bytes input = cat({macBinary(), header(2, 3, 0xE250), counted, after, trailing});
    smf::SmfReader reader;
    smf::Song song;
    ASSERT_TRUE(parse(reader, input, song));
    const smf::ParseSummary& summary = reader.summary();
    EXPECT_EQ(summary.leftOutChunks.count, 2u);
    EXPECT_EQ(names(summary.leftOutChunks), (std::vector<std::string>{"XFIH", "XFKM"}));
    EXPECT_EQ(summary.chunksAfterTracks.count, 5u);
    EXPECT_EQ(names(summary.chunksAfterTracks), (std::vector<std::string>{"MTrk", "CASM", "OTSc", "XFIH"}));
    EXPECT_EQ(contents(song.chunksAfterTracks()), after);
    EXPECT_EQ(summary.bytesAfterChunks, trailing.size());
    EXPECT_EQ(summary.runningStatusEvents, 1u);
    EXPECT_TRUE(summary.macBinary);
    EXPECT_EQ(song.format(), 2);
    EXPECT_EQ(song.division(), 0xE250);
}

// The setters refuse what no file may hold, without a change; reset empties the Song.
TEST(Song, RefusesUnknownValuesAndResetsToEmpty) {
    smf::Song song;
    ASSERT_TRUE(song.setFormat(2));
    ASSERT_TRUE(song.setDivision(0xE250));
    song.appendTrack();
    song.setChunksAfterTracks(kXf.data(), std::uint32_t(kXf.size()));
    EXPECT_FALSE(song.setFormat(3));
    EXPECT_FALSE(song.setDivision(0xE628));
    EXPECT_EQ(song.format(), 2);
    EXPECT_EQ(song.division(), 0xE250);
    song.reset();
    EXPECT_EQ(song.format(), 0);
    EXPECT_EQ(song.division(), 0);
    EXPECT_EQ(song.trackCount(), 0u);
    EXPECT_EQ(song.chunksAfterTracks().capacity(), 0u);
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
        {127, {0x90, 0x3E, 0x40}},
        {128, {0x80, 0x3C, 0x00}},
        {1023, {0xC5, 0x07}},
        {1024, {0xE0, 0x00, 0x7F}},
        {3, {0x90, 0x85, 0x40}},
        {3, {0xB0, 0x07, 0xFF}},
        {0, {0x90, 0x3C}},
        {0, {0x90, 0x3C, 0x40, 0x00}},
        {0, {0x90}},
        {0, {}},
        {0, {0x3C, 0x40}},
        {0xFFFFFFFBu, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}},
        {0x10000000u, {0xF0, 0x02, 0x7E, 0xF7}},
        {0x1234ABCDu, {0xFF, 0x01, 0x00}},
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
            smf::TrackEvent event;
            tick += delta;
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
        EXPECT_EQ(written.size(), kTrackData + track.writtenEventBytes(runningStatus));
        // The last event, the output's last bytes: 0x0FFFFFFF in 4 bytes, D3 11.
        EXPECT_EQ(Bytes(written.end() - 6, written.end()), (Bytes{0xFF, 0xFF, 0xFF, 0x7F, 0xD3, 0x11}));
    }
    // Running status leaves out two statuses a round: the second note-on's, and the
    // 4-byte event's after the 2-byte one with the same status.
    EXPECT_EQ(track.writtenEventBytes(false) - track.writtenEventBytes(true), 2u * kRounds);
    smf::Track moved(std::move(track));
    EXPECT_EQ(eventsOf(moved), expected);
    EXPECT_EQ(track.eventCount(), 0u);
    EXPECT_EQ(track.writtenEventBytes(false), 0u);
    EXPECT_TRUE(eventsOf(track).empty());
    // A song whose only event is empty ends in that event's delta-time.
    smf::Song empty;
    empty.appendTrack().appendEvent(smf::TrackEvent());
    EXPECT_EQ(write(empty, false), cat({header(0, 1, 0), chunk("MTrk", {0x00})}));
}
