// SmfReader: the first rule each invalid file breaks, where, and a reader that stays usable.
// What valid files become is checked over generated files in property_test.cpp.
#include <gtest/gtest.h>

#include "support.h"

using namespace smf_test;

namespace {

using R = smf::ParseRule;
const Bytes kEot = {0x00, 0xFF, 0x2F, 0x00};
const Bytes kHead = header(1, 1, 96);   // first chunk at 14, its data at 22
const Bytes kMThd = {'M', 'T', 'h', 'd'};

// A MacBinary header: first byte, bytes 74 and 82 zero unless given.
Bytes mac(std::uint8_t at74 = 0, std::uint8_t at82 = 0) { return cat({{0}, Bytes(73, 0x41), {at74}, Bytes(7, 0x41), {at82}, Bytes(45, 0x41)}); }

struct Rejection { std::string name; Bytes input; R rule; std::uint32_t offset, chunkIndex = 0; bool allowMacBinary = true; };
void PrintTo(const Rejection& r, std::ostream* os) { *os << r.name; }

std::vector<Rejection> rejections() {
    std::vector<Rejection> rows = {
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
        {"division 80", header(1, 1, 0x8000), R::DivisionInvalid, 12},
        {"header extra cut", cat({kMThd, {0, 0, 0, 10, 0, 1, 0, 0, 0, 96, 1, 2}}), R::HeaderExtraTruncated, 14},
        {"fewer chunks than declared", cat({header(1, 2, 96), chunk("MTrk", kEot)}), R::ChunkHeaderTruncated, 26, 1},
        {"second MThd", cat({kHead, kMThd}), R::SecondHeaderChunk, 14},
        {"foreign chunk cut", cat({kHead, {'X', 'Y', 'Z', 'W', 0, 0, 0, 10, 1, 2, 3, 4}}), R::ChunkTruncated, 14},
        {"foreign chunk of 2^31 bytes", cat({kHead, {'X', 'Y', 'Z', 'W', 0x80, 0, 0, 0}}), R::ChunkTruncated, 14},
        {"empty MTrk", cat({kHead, chunk("MTrk", {})}), R::EmptyTrack, 14},
        {"five-byte delta", file({{0x81, 0x80, 0x80, 0x80, 0x00, 0xFF, 0x2F, 0x00}}), R::VarLenTooLong, 22},
        {"SysEx length missing", file({{0x00, 0xF0}}), R::VarLenTruncated, 24},
        {"SysEx length cut", file({{0x00, 0xF0, 0x81}}), R::VarLenTruncated, 24},
        {"meta length missing", file({{0x00, 0xFF, 0x01}}), R::VarLenTruncated, 25},
        {"data byte first", file({cat({{0x00, 0x3C, 0x40}, kEot})}), R::MissingRunningStatus, 23},
        {"data byte after SysEx", file({cat({{0, 0x90, 0x3C, 0x40, 0, 0xF0, 0x01, 0xF7, 0, 0x3C, 0}, kEot})}), R::MissingRunningStatus, 31},
        {"data byte after meta", file({cat({{0, 0x90, 0x3C, 0x40, 0, 0xFF, 0x01, 0x00, 0, 0x3C, 0}, kEot})}), R::MissingRunningStatus, 31},
        {"note cut", file({{0x00, 0x90, 0x3C}}), R::EventTruncated, 23},
        {"delta at the end", file({{0x00, 0x90, 0x3C, 0x40, 0x00}}), R::EventTruncated, 27},
        {"SysEx data cut", file({{0x00, 0xF0, 0x05, 0x01, 0x02}}), R::EventTruncated, 23},
        {"meta type 81", file({cat({{0x00, 0xFF, 0x81, 0x00}, kEot})}), R::MetaTypeInvalid, 24},
        {"byte after End of Track", file({cat({kEot, {0x00}})}), R::EndOfTrackMisplaced, 23},
        {"End of Track past chunk end", cat({kHead, {'M', 'T', 'r', 'k', 0, 0, 0, 1}, kEot}), R::EndOfTrackMisplaced, 23},
        {"no End of Track", file({{0x00, 0x90, 0x3C, 0x40}}), R::MissingEndOfTrack, 26},
        {"event crosses chunk end", cat({kHead, {'M', 'T', 'r', 'k', 0, 0, 0, 3, 0, 0x90, 0x3C, 0x40}, kEot}), R::MissingEndOfTrack, 26},
        {"track after the declared one", cat({kHead, chunk("MTrk", kEot), chunk("MTrk", {})}), R::TrackAfterDeclaredChunks, 26, 1},
        {"track after a foreign chunk took its slot",
         cat({header(1, 2, 96), chunk("MTrk", kEot), chunk("XFIH", Bytes(10, 1)), chunk("MTrk", kEot)}), R::TrackAfterDeclaredChunks, 44, 2},
    };
    // Meta types with a required length, given another; statuses F1-FE but F7, in a second track.
    for (auto [type, length] : {std::pair{0x00, 1}, {0x20, 2}, {0x2F, 1}, {0x51, 4}, {0x54, 4}, {0x58, 5}, {0x59, 3}}) {
        const Bytes event = cat({{0x00, 0xFF, std::uint8_t(type), std::uint8_t(length)}, Bytes(length, 1), kEot});
        rows.push_back({"meta " + std::to_string(type) + " length " + std::to_string(length), file({event}), R::MetaLengthInvalid, 25});
    }
    for (int status = 0xF1; status <= 0xFE; ++status) {
        if (status != 0xF7) rows.push_back({"status " + std::to_string(status), file({kEot, {0, std::uint8_t(status)}}), R::StatusNotAllowed, 35, 1});
    }
    return rows;
}

class ReaderRejects : public ::testing::TestWithParam<Rejection> {};

}  // namespace

// The same reader and Song then read a valid file afresh, with what the Song leaves out
// (MacBinary, foreign chunks, running status, trailing bytes: an "MTrk" tag without a whole
// chunk header is only that); the Song's setters refuse without a change, and reset empties it.
TEST_P(ReaderRejects, WithFirstBrokenRuleAndOffset) {
    const Rejection& r = GetParam();
    smf::SmfReader reader;
    smf::Song song;
    EXPECT_FALSE(reader.parse(r.input.data(), std::uint32_t(r.input.size()), song, r.allowMacBinary));
    EXPECT_STREQ(smf::describeParseRule(reader.failure().rule), smf::describeParseRule(r.rule));
    EXPECT_EQ(reader.failure().offset, r.offset);
    EXPECT_EQ(reader.failure().chunkIndex, r.chunkIndex);

    const Bytes good = cat({mac(), header(2, 3, 0xE250), chunk("XFIH", {1, 2}), chunk("MTrk", {0, 0x90, 0x3C, 0x40, 0, 0x3E, 0x40, 0, 0xFF, 0x2F, 0}),
                            chunk("XFKM", {}), {'M', 'T', 'r', 'k', 0, 0, 0}});
    ASSERT_TRUE(reader.parse(good.data(), std::uint32_t(good.size()), song, true));
    const smf::ParseSummary& s = reader.summary();
    EXPECT_EQ(s.otherChunks, (std::vector<std::array<char, 4>>{{'X', 'F', 'I', 'H'}, {'X', 'F', 'K', 'M'}}));
    EXPECT_EQ(std::tie(s.bytesAfterChunks, s.runningStatusEvents, s.macBinary), std::make_tuple(7u, 1u, true));

    EXPECT_FALSE(song.setFormat(3) || song.setDivision(0xE628));
    EXPECT_EQ(song.format(), 2);
    EXPECT_EQ(song.division(), 0xE250);
    song.reset();
    EXPECT_EQ(song.format() + song.division() + song.trackCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(AllRules, ReaderRejects, ::testing::ValuesIn(rejections()));
