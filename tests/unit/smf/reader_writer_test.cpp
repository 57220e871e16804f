// SmfReader and SmfWriter through whole files: the first rule each invalid file breaks and
// where; the exact bytes each valid file becomes with and without running status. What
// generated files become is checked in property_test.cpp.
#include <gtest/gtest.h>

#include "support.h"

using namespace smf_test;

namespace {

using R = smf::ParseRule;  // offsets: a header chunk takes 14 bytes, so file()'s first track data is at 22
const Bytes kEot = {0x00, 0xFF, 0x2F, 0x00};
const Bytes kMThd = {'M', 'T', 'h', 'd'};
// Two note-ons with one status, written out and with running status (a chunk of 8 + 12 or 11 bytes).
const Bytes kNotes = {0, 0x90, 0x3C, 0x40, 0, 0x90, 0x3E, 0x40, 0, 0xFF, 0x2F, 0};
const Bytes kNotesRunning = {0, 0x90, 0x3C, 0x40, 0, 0x3E, 0x40, 0, 0xFF, 0x2F, 0};
// XF karaoke chunks: song information and lyrics.
const Bytes kXf = cat({chunk("XFIH", {'X', 'F', '0', '2'}), chunk("XFKM", {0, 0xFF, 0x05, 1, 'a', 0, 0xFF, 0x2F, 0})});

// A MacBinary header: first byte, bytes 74 and 82 zero unless given.
Bytes mac(std::uint8_t at74 = 0, std::uint8_t at82 = 0) {
    return cat({{0}, Bytes(73, 0x41), {at74}, Bytes(7, 0x41), {at82}, Bytes(45, 0x41)});
}

// An invalid file, the first rule it breaks and where; or a valid one (rule None) and what
// it becomes with and without running status (empty: the input itself).
struct File {
    std::string name;
    Bytes input;
    R rule;
    std::uint32_t offset = 0, chunkIndex = 0;
    bool allowMacBinary = true;
    Bytes withRunningStatus = {}, withoutRunningStatus = {};
};
void PrintTo(const File& f, std::ostream* os) {
    *os << f.name;
}

std::vector<File> files() {
    std::vector<File> rows = {
        {"empty", {}, R::HeaderTooShort, 0},
        {"MacBinary off", cat({mac(), file({kEot})}), R::MacBinaryNotAllowed, 0, 0, false},
        {"first byte not 0", cat({{'R', 'I', 'F', 'F'}, Bytes(124, 0)}), R::NotMidiFile, 0},
        {"MacBinary byte 74", cat({mac(1, 0), file({kEot})}), R::NotMidiFile, 74},
        {"MacBinary byte 82", cat({mac(0, 1), file({kEot})}), R::NotMidiFile, 82},
        {"MacBinary alone", mac(), R::NotMidiFile, 128},
        {"MacBinary then MThd alone", cat({mac(), kMThd}), R::HeaderLengthMissing, 132},
        {"MacBinary then MTrk", cat({mac(), chunk("MTrk", kEot)}), R::NotMidiFile, 128},
        {"MThd alone", kMThd, R::HeaderLengthMissing, 4},
        {"header length 5", chunk("MThd", {0, 1, 0, 1, 0}), R::HeaderLengthTooSmall, 4},
        {"format cut", cat({kMThd, {0, 0, 0, 6, 0}}), R::HeaderFieldMissing, 8},
        {"format 3", header(3, 1, 96), R::FormatInvalid, 8},
        {"track count cut", cat({kMThd, {0, 0, 0, 6, 0, 1, 0}}), R::HeaderFieldMissing, 10},
        {"division cut", cat({kMThd, {0, 0, 0, 6, 0, 1, 0, 1, 0}}), R::HeaderFieldMissing, 12},
        {"division E6", header(1, 1, 0xE628), R::DivisionInvalid, 12},
        {"header extra cut", cat({kMThd, {0, 0, 0, 10, 0, 1, 0, 0, 0, 96, 1, 2}}), R::HeaderExtraTruncated, 14},
        {"fewer chunks than declared", cat({header(1, 2, 96), chunk("MTrk", kEot)}), R::ChunkHeaderTruncated, 26, 1},
        {"second MThd", cat({header(1, 1, 96), kMThd}), R::SecondHeaderChunk, 14},
        {"foreign chunk cut", cat({header(1, 1, 96), {'X', 'Y', 'Z', 'W', 0, 0, 0, 10, 1, 2, 3, 4}}), R::ChunkTruncated,
         14},
        {"foreign chunk of 2^31 bytes", cat({header(1, 1, 96), {'X', 'Y', 'Z', 'W', 0x80, 0, 0, 0}}), R::ChunkTruncated,
         14},
        {"empty MTrk", cat({header(1, 1, 96), chunk("MTrk", {})}), R::EmptyTrack, 14},
        {"five-byte delta", file({{0x81, 0x80, 0x80, 0x80, 0x00, 0xFF, 0x2F, 0x00}}), R::VarLenTooLong, 22},
        {"SysEx length missing", file({{0x00, 0xF0}}), R::VarLenTruncated, 24},
        {"meta length missing", file({{0x00, 0xFF, 0x01}}), R::VarLenTruncated, 25},
        {"data byte first", file({cat({{0x00, 0x3C, 0x40}, kEot})}), R::MissingRunningStatus, 23},
        {"data byte after SysEx", file({cat({{0, 0x90, 0x3C, 0x40, 0, 0xF0, 0x01, 0xF7, 0, 0x3C, 0}, kEot})}),
         R::MissingRunningStatus, 31},
        {"note cut", file({{0x00, 0x90, 0x3C}}), R::EventTruncated, 23},
        {"delta at the end", file({{0x00, 0x90, 0x3C, 0x40, 0x00}}), R::EventTruncated, 27},
        {"meta type 81", file({cat({{0x00, 0xFF, 0x81, 0x00}, kEot})}), R::MetaTypeInvalid, 24},
        {"byte after End of Track", file({cat({kEot, {0x00}})}), R::EndOfTrackMisplaced, 23},
        {"End of Track past chunk end", cat({header(1, 1, 96), {'M', 'T', 'r', 'k', 0, 0, 0, 1}, kEot}),
         R::EndOfTrackMisplaced, 23},
        {"no End of Track", file({{0x00, 0x90, 0x3C, 0x40}}), R::MissingEndOfTrack, 26},
        {"event crosses chunk end",
         cat({header(1, 1, 96), {'M', 'T', 'r', 'k', 0, 0, 0, 3, 0, 0x90, 0x3C, 0x40}, kEot}), R::MissingEndOfTrack,
         26},
        // A first data byte with bit 7 set would read back as a status, so its status stays;
        // the second event goes through the writer's bulk path, the last ones near the end.
        {"odd data byte",
         file({cat({{0, 0x90, 0x3C, 0x40, 0, 0x90, 0x85, 0x40, 0, 0x90, 0x3C, 0x85, 0, 0x90, 0x85, 0x40}, kEot})}),
         R::None, 0, 0, true,
         file({cat({{0, 0x90, 0x3C, 0x40, 0, 0x90, 0x85, 0x40, 0, 0x3C, 0x85, 0, 0x90, 0x85, 0x40}, kEot})})},
        {"program changes", file({cat({{0, 0xC0, 0x05, 0, 0xC0, 0x07, 0, 0xC0, 0x87}, kEot})}), R::None, 0, 0, true,
         file({cat({{0, 0xC0, 0x05, 0, 0x07, 0, 0xC0, 0x87}, kEot})})},
        // SysEx and meta pairs (meta type 80 the highest allowed), a note after a meta event.
        {"no omission",
         file({cat({{0, 0xF0, 0x01, 0xF7, 0, 0xF0, 0x01, 0xF7, 0, 0xFF, 0x80, 0, 0, 0xFF, 0x80, 0, 0, 0x90, 0x3C, 0x40},
                    {0, 0xFF, 0x01, 0, 0, 0x90, 0x3C, 0},
                    kEot})}),
         R::None},
        {"SMPTE division and no tracks", header(0, 0, 0xE728), R::None},
        {"300 tracks", cat({header(1, 300, 96), repeat(chunk("MTrk", kEot), 300)}), R::None},
        // A chunk length with every byte set: a SysEx event of 0x01020304 bytes.
        {"track over 16 MiB", file({cat({{0, 0xF0, 0x88, 0x88, 0x86, 0x04}, Bytes(0x01020304, 0x55), kEot})}), R::None},
        // A foreign chunk among the declared ones is left out, a non-minimal delta (80 00) shortened,
        // running status in the input undone without it.
        {"foreign chunk",
         cat({header(1, 2, 96), chunk("XFIH", {1}),
              chunk("MTrk", {0x80, 0, 0x80, 0x3C, 0, 0, 0x3E, 0, 0x83, 0, 0xFF, 0x2F, 0})}),
         R::None, 0, 0, true, file({{0, 0x80, 0x3C, 0, 0, 0x3E, 0, 0x83, 0, 0xFF, 0x2F, 0}}),
         file({{0, 0x80, 0x3C, 0, 0, 0x80, 0x3E, 0, 0x83, 0, 0xFF, 0x2F, 0}})},
        // Whole chunks after the declared ones are written after the tracks as they were; the
        // header counts the tracks. Running status inside an uncounted MTrk stays as it was.
        {"uncounted MTrk",
         cat({header(1, 1, 96), chunk("MTrk", kNotes), chunk("MTrk", kNotesRunning), chunk("MTrk", kNotes)}), R::None,
         0, 0, true,
         cat({header(1, 1, 96), chunk("MTrk", kNotesRunning), chunk("MTrk", kNotesRunning), chunk("MTrk", kNotes)})},
        {"uncounted MTrk after a foreign chunk",
         cat({header(1, 2, 96), chunk("MTrk", kEot), chunk("XFIH", {}), chunk("MTrk", kEot)}), R::None, 0, 0, true,
         cat({header(1, 1, 96), chunk("MTrk", kEot), chunk("MTrk", kEot)}),
         cat({header(1, 1, 96), chunk("MTrk", kEot), chunk("MTrk", kEot)})},
        {"XF chunks", cat({file({kNotes}), kXf}), R::None, 0, 0, true, cat({file({kNotesRunning}), kXf})},
        {"XF chunks then padding", cat({file({kNotes}), kXf, Bytes(5, 0)}), R::None, 0, 0, true,
         cat({file({kNotesRunning}), kXf}), cat({file({kNotes}), kXf})},
        {"XF chunk then a second MThd", cat({file({kEot}), chunk("XFIH", {1}), file({kEot})}), R::None, 0, 0, true,
         cat({file({kEot}), chunk("XFIH", {1})}), cat({file({kEot}), chunk("XFIH", {1})})},
        {"chunk one byte short", cat({file({kEot}), chunk("XFIH", {1}), {'X', 'F', 'K', 'M', 0, 0, 0, 5, 1, 2, 3, 4}}),
         R::None, 0, 0, true, cat({file({kEot}), chunk("XFIH", {1})}), cat({file({kEot}), chunk("XFIH", {1})})},
        {"chunk header cut", cat({file({kEot}), chunk("XFIH", {1}), {'M', 'T', 'r', 'k', 0, 0, 0}}), R::None, 0, 0,
         true, cat({file({kEot}), chunk("XFIH", {1})}), cat({file({kEot}), chunk("XFIH", {1})})},
        {"zero-length chunks", cat({file({kEot}), chunk("XFKM", {}), chunk("MTrk", {})}), R::None},
        {"type bytes 0x20 and 0x7E", cat({file({kEot}), chunk(" ~~ ", {1})}), R::None},
        {"first type byte 0x1F", cat({file({kEot}), chunk("\x1FXFH", {1})}), R::None, 0, 0, true, file({kEot}),
         file({kEot})},
        {"last type byte 0x7F", cat({file({kEot}), chunk("XFI\x7F", {1})}), R::None, 0, 0, true, file({kEot}),
         file({kEot})},
        // The data fork (63 bytes) padded with zeros to 128 bytes, then a resource fork.
        {"MacBinary with chunks after its tracks", cat({mac(), file({kNotes}), kXf, Bytes(65, 0), Bytes(200, 0x41)}),
         R::None, 0, 0, true, cat({file({kNotesRunning}), kXf}), cat({file({kNotes}), kXf})},
    };
    // Meta types with a required length, given another; statuses F1-FE but F7 (SysEx), in a second track.
    for (auto [type, n] : {std::pair{0x00, 1}, {0x20, 2}, {0x2F, 1}, {0x51, 4}, {0x54, 4}, {0x58, 5}, {0x59, 3}}) {
        rows.push_back({"meta " + std::to_string(type),
                        file({cat({{0, 0xFF, std::uint8_t(type), std::uint8_t(n)}, Bytes(n, 1), kEot})}),
                        R::MetaLengthInvalid, 25});
    }
    for (int status = 0xF1; status <= 0xFE; status += status == 0xF6 ? 2 : 1)
        rows.push_back(
            {"status " + std::to_string(status), file({kEot, {0, std::uint8_t(status)}}), R::StatusNotAllowed, 35, 1});
    return rows;
}

class Files : public ::testing::TestWithParam<File> {};

}  // namespace

// A write gives its output's old storage back; the plan alone (quorin-cli's --check) gives
// the same size, its list one size per track and nothing it held. Then the same reader and
// Song read a valid file afresh: what the Song leaves out (MacBinary, foreign chunks among
// the declared ones, running status, trailing bytes: an "MTrk" tag without a whole chunk
// header is only that), the chunks after the tracks it keeps, the first few of each named.
// The Song's setters refuse without a change, and reset empties it.
TEST_P(Files, ReadAndWritten) {
    const File& f = GetParam();
    smf::SmfReader reader;
    smf::Song song;
    EXPECT_EQ(reader.parse(f.input.data(), std::uint32_t(f.input.size()), song, f.allowMacBinary), f.rule == R::None);
    EXPECT_STREQ(smf::describeParseRule(reader.failure().rule), smf::describeParseRule(f.rule));
    EXPECT_EQ(reader.failure().offset, f.offset);
    EXPECT_EQ(reader.failure().chunkIndex, f.chunkIndex);
    for (bool runningStatus : {true, false}) {
        if (f.rule != R::None) break;
        const Bytes& given = runningStatus ? f.withRunningStatus : f.withoutRunningStatus;
        const Bytes& expected = given.empty() ? f.input : given;
        smf::ByteBuffer out;
        out.resize(1000);
        EXPECT_EQ(smf::SmfWriter().writeSong(song, out, runningStatus), expected.size());
        EXPECT_EQ(contents(out), expected) << "running status " << runningStatus;
        EXPECT_EQ(out.capacity(), expected.size());
        std::vector<std::uint32_t> sizes(3, 7);
        EXPECT_EQ(smf::SmfWriter::planSongSize(song, runningStatus, sizes), expected.size());
        EXPECT_EQ(sizes.size(), song.trackCount());
    }

    const Bytes after =
        cat({chunk("MTrk", {}), chunk("CASM", {1}), chunk("OTSc", {}), chunk("XFIH", {}), chunk("XFKM", {2})});
    const Bytes good = cat({mac(),
                            header(2, 3, 0xE250),
                            chunk("XFIH", {1, 2}),
                            chunk("MTrk", kNotesRunning),
                            chunk("XFKM", {}),
                            after,
                            {'M', 'T', 'r', 'k', 0, 0, 0}});
    ASSERT_TRUE(reader.parse(good.data(), std::uint32_t(good.size()), song, true));
    const smf::ParseSummary& s = reader.summary();
    using Types = std::array<std::array<char, 4>, smf::ChunkTypes::kNamed>;
    EXPECT_EQ(s.leftOutChunks.count, 2u);
    EXPECT_EQ(s.leftOutChunks.first, (Types{{{'X', 'F', 'I', 'H'}, {'X', 'F', 'K', 'M'}}}));
    EXPECT_EQ(s.chunksAfterTracks.count, 5u);
    EXPECT_EQ(s.chunksAfterTracks.first,
              (Types{{{'M', 'T', 'r', 'k'}, {'C', 'A', 'S', 'M'}, {'O', 'T', 'S', 'c'}, {'X', 'F', 'I', 'H'}}}));
    EXPECT_EQ(contents(song.chunksAfterTracks()), after);
    EXPECT_EQ(std::tie(s.bytesAfterChunks, s.runningStatusEvents, s.macBinary), std::make_tuple(7u, 1u, true));
    EXPECT_FALSE(song.setFormat(3) || song.setDivision(0xE628));
    EXPECT_EQ(std::make_tuple(song.format(), song.division()), std::make_tuple(2, 0xE250));
    song.reset();
    EXPECT_EQ(song.format() + song.division() + song.trackCount() + song.chunksAfterTracks().capacity(), 0u);
}

INSTANTIATE_TEST_SUITE_P(AllRules, Files, ::testing::ValuesIn(files()));

// A track keeps every event it is given as it was given, whatever its size, bytes or tick:
// the common channel events (deltas up to 1023, data bytes below 0x80) and all others,
// ticks that go back (a delta of almost 2^32) or jump by 2^28, an empty event, a SysEx
// larger than the blocks the track grows by, over many blocks. What it plans for a file is
// what the writer writes; moved, it keeps its events and the source has none.
TEST(Track, KeepsEveryEventAsGiven) {
    struct Given {
        std::uint32_t delta;
        Bytes bytes;
    };
    const std::vector<Given> kinds = {
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
    smf::Song song;
    smf::Track& track = song.appendTrack();
    Events expected;
    std::uint32_t tick = 0;
    for (int round = 0; round < 300; ++round) {
        for (const Given& given : kinds) {
            smf::TrackEvent event;
            event.tick = tick += given.delta;
            event.bytes.assignAt(given.bytes.data(), std::uint32_t(given.bytes.size()), 0);
            track.appendEvent(event);
            expected.emplace_back(tick, given.bytes);
        }
    }
    EXPECT_EQ(eventsOf(track), expected);
    EXPECT_EQ(track.eventCount(), expected.size());
    for (bool runningStatus : {true, false}) {
        const Bytes written = write(song, runningStatus);
        EXPECT_EQ(written.size(), 14 + 8 + track.writtenEventBytes(runningStatus))
            << "running status " << runningStatus;
        // The last event, written in the output's last bytes: 0x0FFFFFFF as 4 bytes, D3 11.
        EXPECT_EQ(Bytes(written.end() - 6, written.end()), (Bytes{0xFF, 0xFF, 0xFF, 0x7F, 0xD3, 0x11}));
    }
    // Per round, running status leaves out two statuses: the second note-on's, and the
    // 4-byte event's after the 2-byte one with the same status.
    EXPECT_EQ(track.writtenEventBytes(false) - track.writtenEventBytes(true), 600u);
    // A song whose only event is empty ends in that event's delta-time.
    smf::Song empty;
    empty.appendTrack().appendEvent(smf::TrackEvent());
    EXPECT_EQ(write(empty, false), cat({header(0, 1, 0), chunk("MTrk", {0x00})}));
    smf::Track moved(std::move(track));
    EXPECT_EQ(eventsOf(moved), expected);
    EXPECT_EQ(track.eventCount() + track.writtenEventBytes(false), 0u);
    EXPECT_TRUE(eventsOf(track).empty());
}
