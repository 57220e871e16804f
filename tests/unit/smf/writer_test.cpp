// SmfWriter: byte-exact output with and without running status, and its size plan.
#include <gtest/gtest.h>

#include "support.h"

using namespace smf_test;

namespace {

const Bytes kEndOfTrack = {0x00, 0xFF, 0x2F, 0x00};

struct Rewrite {
    const char* name;
    Bytes input;
    Bytes withRunningStatus;
    Bytes withoutRunningStatus;
};

void PrintTo(const Rewrite& r, std::ostream* os) { *os << r.name; }

class WriterRewrites : public ::testing::TestWithParam<Rewrite> {};

// Status bytes that must survive running status: SysEx and meta pairs, a note after a meta
// event, and a second track that begins with the first track's last status.
const Bytes kNoOmission = file({
    {0x00, 0xF0, 0x01, 0xF7, 0x00, 0xF0, 0x01, 0xF7, 0x00, 0xFF, 0x01, 0x00, 0x00, 0xFF, 0x01, 0x00,
     0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x01, 0x00, 0x00, 0x90, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00},
    {0x00, 0x90, 0x3E, 0x40, 0x00, 0xFF, 0x2F, 0x00},
});

// Deltas at every encoding boundary, and a running sum that wraps past 2^32.
Bytes deltaTrack() {
    Bytes track;
    for (const Bytes& delta : std::initializer_list<Bytes>{
             {0x00}, {0x7F}, {0x81, 0x00}, {0xFF, 0x7F}, {0x81, 0x80, 0x00}, {0xFF, 0xFF, 0xFF, 0x7F}}) {
        track = cat({track, delta, {0xFF, 0x01, 0x00}});
    }
    for (int i = 0; i < 16; ++i) track = cat({track, {0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x01, 0x00}});
    return cat({track, {0x20, 0xFF, 0x2F, 0x00}});
}

// A header declaring 3 chunks, one of them foreign; a non-minimal delta (80 00).
const Bytes kMixed = cat({header(1, 3, 0x60), chunk("XFIH", {1, 2, 3, 4}),
                          chunk("MTrk", {0x00, 0x90, 0x3C, 0x64, 0x00, 0x3E, 0x64, 0x83, 0x00, 0x80, 0x3C,
                                         0x00, 0x00, 0xFF, 0x2F, 0x00}),
                          chunk("MTrk", {0x80, 0x00, 0xC0, 0x05, 0x00, 0xFF, 0x2F, 0x00})});

const Rewrite kRewrites[] = {
    {"notes", file({{0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x3E, 0x64, 0x60, 0xFF, 0x2F, 0x00}}),
     file({{0x00, 0x90, 0x3C, 0x64, 0x00, 0x3E, 0x64, 0x60, 0xFF, 0x2F, 0x00}}),
     file({{0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x3E, 0x64, 0x60, 0xFF, 0x2F, 0x00}})},
    // A first data byte with bit 7 set would read back as a status: its status stays.
    {"odd data byte", file({cat({{0x00, 0x90, 0x3C, 0x40, 0x00, 0x90, 0x85, 0x40, 0x00, 0x90, 0x3C, 0x85}, kEndOfTrack})}),
     file({cat({{0x00, 0x90, 0x3C, 0x40, 0x00, 0x90, 0x85, 0x40, 0x00, 0x3C, 0x85}, kEndOfTrack})}),
     file({cat({{0x00, 0x90, 0x3C, 0x40, 0x00, 0x90, 0x85, 0x40, 0x00, 0x90, 0x3C, 0x85}, kEndOfTrack})})},
    {"program changes", file({cat({{0x00, 0xC0, 0x05, 0x00, 0xC0, 0x07}, kEndOfTrack})}),
     file({cat({{0x00, 0xC0, 0x05, 0x00, 0x07}, kEndOfTrack})}),
     file({cat({{0x00, 0xC0, 0x05, 0x00, 0xC0, 0x07}, kEndOfTrack})})},
    {"no omission", kNoOmission, kNoOmission, kNoOmission},
    {"deltas", file({deltaTrack()}), file({deltaTrack()}), file({deltaTrack()})},
    {"SMPTE division and no tracks", header(0, 0, 0xE728), header(0, 0, 0xE728), header(0, 0, 0xE728)},
    {"mixed file", kMixed,
     cat({header(1, 2, 0x60),
          chunk("MTrk", {0x00, 0x90, 0x3C, 0x64, 0x00, 0x3E, 0x64, 0x83, 0x00, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00}),
          chunk("MTrk", {0x00, 0xC0, 0x05, 0x00, 0xFF, 0x2F, 0x00})}),
     cat({header(1, 2, 0x60),
          chunk("MTrk", {0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x3E, 0x64, 0x83, 0x00, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00}),
          chunk("MTrk", {0x00, 0xC0, 0x05, 0x00, 0xFF, 0x2F, 0x00})})},
};

}  // namespace

TEST_P(WriterRewrites, ByteExactWithEitherOption) {
    const Rewrite& r = GetParam();
    smf::SmfReader reader;
    smf::Song song;
    ASSERT_TRUE(reader.parse(r.input.data(), std::uint32_t(r.input.size()), song, false));
    for (bool runningStatus : {true, false}) {
        const Bytes& expected = runningStatus ? r.withRunningStatus : r.withoutRunningStatus;
        smf::ByteBuffer out;
        out.resize(3);   // whatever the output held is replaced
        EXPECT_EQ(smf::SmfWriter().writeSong(song, out, runningStatus), expected.size());
        EXPECT_EQ(Bytes(out.data(), out.data() + out.length()), expected) << "running status " << runningStatus;
        EXPECT_EQ(out.capacity(), expected.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Files, WriterRewrites, ::testing::ValuesIn(kRewrites));

TEST(Writer, PlansTheSizesItWrites) {
    smf::SmfReader reader;
    smf::Song song;
    const Bytes input = file({{0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x3E, 0x64, 0x60, 0xFF, 0x2F, 0x00}, kEndOfTrack});
    ASSERT_TRUE(reader.parse(input.data(), std::uint32_t(input.size()), song, false));
    std::vector<std::uint32_t> sizes{99, 99, 99};
    EXPECT_EQ(smf::SmfWriter::planSongSize(song, true, sizes), 14u + 19u + 12u);
    EXPECT_EQ(sizes, (std::vector<std::uint32_t>{19, 12}));
    EXPECT_EQ(smf::SmfWriter::planSongSize(song, false, sizes), 14u + 20u + 12u);
    EXPECT_EQ(smf::SmfWriter::planTrackSize(song.tracks().front(), false), 20u);
    smf::Song empty;
    EXPECT_EQ(write(empty, true), (Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 0, 0, 0}));
}

// A Song built by hand may hold an event without bytes; the plan and the output still agree.
TEST(Writer, EventWithoutBytesKeepsPlanAndOutputInStep) {
    smf::Song song;
    song.setFormat(1);
    song.setDivision(96);
    smf::Track& track = song.appendTrack();
    const std::uint8_t note[] = {0x3C, 0x40};
    track.appendChannelEvent(0, 0x90, note, 2);
    track.appendEvent(smf::TrackEvent{5, {}});
    track.appendChannelEvent(5, 0x90, note, 2);
    EXPECT_EQ(write(song, true), file({{0x00, 0x90, 0x3C, 0x40, 0x05, 0x00, 0x90, 0x3C, 0x40}}));
}
