// SmfReader: the first rule each invalid file breaks, where, and a reader that stays usable.
// What valid files become is checked over generated files in property_test.cpp.
#include <gtest/gtest.h>

#include "support.h"

using namespace smf_test;

namespace {

const Bytes kEndOfTrack = {0x00, 0xFF, 0x2F, 0x00};
const Bytes kHead = header(1, 1, 96);   // first chunk at 14, its data at 22

Bytes macBinary(std::uint8_t at74, std::uint8_t at82) {
    Bytes mac(128, 0x41);
    mac[0] = 0;
    mac[74] = at74;
    mac[82] = at82;
    return mac;
}

struct Rejection {
    const char* name;
    Bytes input;
    smf::ParseRule rule;
    std::uint32_t offset;
    std::uint32_t chunkIndex = 0;
    bool allowMacBinary = true;
};

void PrintTo(const Rejection& r, std::ostream* os) { *os << r.name; }

class ReaderRejects : public ::testing::TestWithParam<Rejection> {};

using R = smf::ParseRule;
const Rejection kRejections[] = {
    {"empty", {}, R::HeaderTooShort, 0},
    {"no MThd, MacBinary off", cat({macBinary(0, 0), file({kEndOfTrack})}), R::MacBinaryNotAllowed, 0, 0, false},
    {"no MThd, first byte not 0", Bytes{'R', 'I', 'F', 'F', 0, 0}, R::NotMidiFile, 0},
    {"MacBinary cut off", Bytes(127, 0), R::NotMidiFile, 0},
    {"MacBinary byte 74", cat({macBinary(1, 0), file({kEndOfTrack})}), R::NotMidiFile, 74},
    {"MacBinary byte 82", cat({macBinary(0, 1), file({kEndOfTrack})}), R::NotMidiFile, 82},
    {"MacBinary then 3 bytes", cat({macBinary(0, 0), {'M', 'T', 'h'}}), R::NotMidiFile, 128},
    {"MacBinary then MThd alone", cat({macBinary(0, 0), {'M', 'T', 'h', 'd'}}), R::HeaderLengthMissing, 132},
    {"MacBinary then MTrk", cat({macBinary(0, 0), chunk("MTrk", kEndOfTrack)}), R::NotMidiFile, 128},
    {"header length cut", {'M', 'T', 'h', 'd', 0, 0}, R::HeaderLengthMissing, 4},
    {"header length 5", chunk("MThd", {0, 1, 0, 1, 0}), R::HeaderLengthTooSmall, 4},
    {"format cut", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0}, R::HeaderFieldMissing, 8},
    {"format 3", header(3, 1, 96), R::FormatInvalid, 8},
    {"division cut", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 0}, R::HeaderFieldMissing, 12},
    {"division E6", header(1, 1, 0xE628), R::DivisionInvalid, 12},
    {"division E1", header(1, 1, 0xE118), R::DivisionInvalid, 12},
    {"division E9", header(1, 1, 0xE918), R::DivisionInvalid, 12},
    {"division 80", header(1, 1, 0x8000), R::DivisionInvalid, 12},
    {"header extra cut", {'M', 'T', 'h', 'd', 0, 0, 0, 10, 0, 1, 0, 0, 0, 96, 1, 2}, R::HeaderExtraTruncated, 14},
    {"fewer chunks than declared", cat({header(1, 2, 96), chunk("MTrk", kEndOfTrack)}), R::ChunkHeaderTruncated, 26, 1},
    {"second MThd", cat({kHead, header(1, 1, 96)}), R::SecondHeaderChunk, 14},
    {"foreign chunk cut", cat({kHead, {'X', 'Y', 'Z', 'W', 0, 0, 0, 10, 1, 2, 3, 4}}), R::ChunkTruncated, 14},
    {"foreign chunk of 2^31 bytes", cat({kHead, {'X', 'Y', 'Z', 'W', 0x80, 0, 0, 0}}), R::ChunkTruncated, 14},
    {"empty MTrk", cat({kHead, chunk("MTrk", {})}), R::EmptyTrack, 14},
    {"five-byte delta", file({{0x81, 0x80, 0x80, 0x80, 0x00, 0xFF, 0x2F, 0x00}}), R::VarLenTooLong, 22},
    {"SysEx length cut", file({{0x00, 0xF0, 0x81}}), R::VarLenTruncated, 24},
    {"data byte first", file({cat({{0x00, 0x3C, 0x40}, kEndOfTrack})}), R::MissingRunningStatus, 23},
    {"data byte after SysEx",
     file({cat({{0x00, 0x90, 0x3C, 0x40, 0x00, 0xF0, 0x01, 0xF7, 0x00, 0x3C, 0x00}, kEndOfTrack})}),
     R::MissingRunningStatus, 31},
    {"data byte after meta",
     file({cat({{0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x01, 0x00, 0x00, 0x3C, 0x00}, kEndOfTrack})}),
     R::MissingRunningStatus, 31},
    {"note cut", file({{0x00, 0x90, 0x3C}}), R::EventTruncated, 23},
    {"delta at the end", file({{0x00, 0x90, 0x3C, 0x40, 0x00}}), R::EventTruncated, 27},
    {"SysEx data cut", file({{0x00, 0xF0, 0x05, 0x01, 0x02}}), R::EventTruncated, 23},
    {"meta type 81", file({cat({{0x00, 0xFF, 0x81, 0x00}, kEndOfTrack})}), R::MetaTypeInvalid, 24},
    {"tempo length 4", file({cat({{0x00, 0xFF, 0x51, 0x04, 1, 2, 3, 4}, kEndOfTrack})}), R::MetaLengthInvalid, 25},
    {"End of Track length 1", file({{0x00, 0xFF, 0x2F, 0x01, 0x00}}), R::MetaLengthInvalid, 25},
    {"meta 00 length 1", file({cat({{0x00, 0xFF, 0x00, 0x01, 1}, kEndOfTrack})}), R::MetaLengthInvalid, 25},
    {"meta 20 length 2", file({cat({{0x00, 0xFF, 0x20, 0x02, 1, 2}, kEndOfTrack})}), R::MetaLengthInvalid, 25},
    {"meta 54 length 4", file({cat({{0x00, 0xFF, 0x54, 0x04, 1, 2, 3, 4}, kEndOfTrack})}), R::MetaLengthInvalid, 25},
    {"meta 58 length 5", file({cat({{0x00, 0xFF, 0x58, 0x05, 1, 2, 3, 4, 5}, kEndOfTrack})}), R::MetaLengthInvalid, 25},
    {"meta 59 length 3", file({cat({{0x00, 0xFF, 0x59, 0x03, 1, 2, 3}, kEndOfTrack})}), R::MetaLengthInvalid, 25},
    {"byte after End of Track", file({cat({kEndOfTrack, {0x00}})}), R::EndOfTrackMisplaced, 23},
    {"End of Track past chunk end", cat({kHead, {'M', 'T', 'r', 'k', 0, 0, 0, 3}, kEndOfTrack}), R::EndOfTrackMisplaced, 23},
    {"no End of Track", file({{0x00, 0x90, 0x3C, 0x40}}), R::MissingEndOfTrack, 26},
    {"event crosses chunk end", cat({kHead, {'M', 'T', 'r', 'k', 0, 0, 0, 3}, {0x00, 0x90, 0x3C, 0x40}, kEndOfTrack}),
     R::MissingEndOfTrack, 26},
    {"track after the declared one", cat({kHead, chunk("MTrk", kEndOfTrack), chunk("MTrk", kEndOfTrack)}),
     R::TrackAfterDeclaredChunks, 26, 1},
    {"track after a foreign chunk took its slot",
     cat({header(1, 2, 96), chunk("MTrk", kEndOfTrack), chunk("XFIH", Bytes(10, 1)), chunk("MTrk", kEndOfTrack)}),
     R::TrackAfterDeclaredChunks, 44, 2},
    {"second track bad", file({kEndOfTrack, {0x00, 0xF9}}), R::StatusNotAllowed, 35, 1},
};

}  // namespace

// The same reader and Song then read a valid file afresh: nothing of the failure remains.
TEST_P(ReaderRejects, WithFirstBrokenRuleAndOffset) {
    const Rejection& r = GetParam();
    smf::SmfReader reader;
    smf::Song song;
    EXPECT_FALSE(reader.parse(r.input.data(), std::uint32_t(r.input.size()), song, r.allowMacBinary));
    EXPECT_STREQ(smf::describeParseRule(reader.failure().rule), smf::describeParseRule(r.rule));
    EXPECT_EQ(reader.failure().offset, r.offset);
    EXPECT_EQ(reader.failure().chunkIndex, r.chunkIndex);

    const Bytes good = cat({header(0, 1, 0xE250), chunk("MTrk", kEndOfTrack)});
    ASSERT_TRUE(reader.parse(good.data(), std::uint32_t(good.size()), song, false));
    EXPECT_EQ(reader.failure().rule, smf::ParseRule::None);
    EXPECT_EQ(song.format(), 0);
    EXPECT_EQ(song.division(), 0xE250);
    ASSERT_EQ(song.trackCount(), 1u);
    EXPECT_EQ(eventsOf(song.tracks()[0]), (Events{{0, {0xFF, 0x2F, 0x00}}}));
}

INSTANTIATE_TEST_SUITE_P(AllRules, ReaderRejects, ::testing::ValuesIn(kRejections));

// What the Song does not hold: MacBinary, foreign chunks, running status, trailing bytes
// (an "MTrk" tag without a whole chunk header after the chunks is only trailing bytes).
TEST(Reader, SummarisesWhatTheSongLeavesOut) {
    const Bytes withAll = cat({macBinary(0, 0), header(1, 3, 96), chunk("XFIH", {1, 2}),
                               chunk("MTrk", {0x00, 0x90, 0x3C, 0x40, 0x00, 0x3E, 0x40, 0x00, 0x3F, 0x40, 0x00, 0xFF, 0x2F, 0x00}),
                               chunk("XFKM", {}), {'M', 'T', 'r', 'k', 0, 0, 0}});
    smf::SmfReader reader;
    smf::Song song;
    ASSERT_TRUE(reader.parse(withAll.data(), std::uint32_t(withAll.size()), song, true));
    const smf::ParseSummary& summary = reader.summary();
    EXPECT_EQ(summary.otherChunks, (std::vector<std::array<char, 4>>{{'X', 'F', 'I', 'H'}, {'X', 'F', 'K', 'M'}}));
    EXPECT_EQ(summary.bytesAfterChunks, 7u);
    EXPECT_EQ(summary.runningStatusEvents, 2u);
    EXPECT_TRUE(summary.macBinary);

    const Bytes plain = file({kEndOfTrack});
    ASSERT_TRUE(reader.parse(plain.data(), std::uint32_t(plain.size()), song, true));
    EXPECT_TRUE(reader.summary().otherChunks.empty());
    EXPECT_EQ(reader.summary().bytesAfterChunks, 0u);
    EXPECT_EQ(reader.summary().runningStatusEvents, 0u);
    EXPECT_FALSE(reader.summary().macBinary);
}

// Every status byte from F1 to FE other than F7 (system common and real-time) is refused.
TEST(Reader, RefusesSystemCommonAndRealTimeStatuses) {
    Bytes input = file({cat({{0x00, 0xF1, 0x00}, kEndOfTrack})});
    for (int status = 0xF1; status <= 0xFE; ++status) {
        if (status == 0xF7) continue;
        input[23] = std::uint8_t(status);
        smf::SmfReader reader;
        smf::Song song;
        EXPECT_FALSE(reader.parse(input.data(), std::uint32_t(input.size()), song, false)) << status;
        EXPECT_EQ(reader.failure().rule, smf::ParseRule::StatusNotAllowed) << status;
    }
}

// The Song's checked setters refuse without changing the value; reset empties it.
TEST(Song, SettersRefuseWithoutChangeAndResetEmpties) {
    smf::Song song;
    EXPECT_TRUE(song.setFormat(2));
    EXPECT_FALSE(song.setFormat(3));
    EXPECT_EQ(song.format(), 2);
    EXPECT_TRUE(song.setDivision(0xE728));
    for (std::uint16_t bad : {0xE628, 0x8000, 0xE1FF, 0xE9FF}) EXPECT_FALSE(song.setDivision(bad)) << bad;
    EXPECT_EQ(song.division(), 0xE728);
    for (std::uint16_t good : {0x0000, 0x7FFF, 0xE800, 0xE300, 0xE250}) EXPECT_TRUE(song.setDivision(good)) << good;
    song.appendTrack();
    song.reset();
    EXPECT_EQ(song.format(), 0);
    EXPECT_EQ(song.division(), 0);
    EXPECT_EQ(song.trackCount(), 0u);
}
