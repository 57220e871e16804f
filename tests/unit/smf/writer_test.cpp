// SmfWriter: byte-exact output with and without running status.
#include <gtest/gtest.h>

#include <numeric>

#include "support.h"

using namespace smf_test;

namespace {

const Bytes kEndOfTrack = {0x00, 0xFF, 0x2F, 0x00};

// An empty expectation means the input's own bytes.
struct Rewrite {
    const char* name;
    Bytes input, withRunningStatus = {}, withoutRunningStatus = {};
};

void PrintTo(const Rewrite& r, std::ostream* os) { *os << r.name; }

class WriterRewrites : public ::testing::TestWithParam<Rewrite> {};

const Bytes kMixedTrack1 = {0x00, 0x90, 0x3C, 0x64, 0x00, 0x3E, 0x64, 0x83, 0x00, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00};

const Rewrite kRewrites[] = {
    {"notes", file({{0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x3E, 0x64, 0x60, 0xFF, 0x2F, 0x00}}),
     file({{0x00, 0x90, 0x3C, 0x64, 0x00, 0x3E, 0x64, 0x60, 0xFF, 0x2F, 0x00}})},
    // A first data byte with bit 7 set would read back as a status: its status stays (the
    // second event is written by the writer's bulk path, the last ones near the output's end).
    {"odd data byte",
     file({cat({{0x00, 0x90, 0x3C, 0x40, 0x00, 0x90, 0x85, 0x40, 0x00, 0x90, 0x3C, 0x85, 0x00, 0x90, 0x85, 0x40}, kEndOfTrack})}),
     file({cat({{0x00, 0x90, 0x3C, 0x40, 0x00, 0x90, 0x85, 0x40, 0x00, 0x3C, 0x85, 0x00, 0x90, 0x85, 0x40}, kEndOfTrack})})},
    {"program changes", file({cat({{0x00, 0xC0, 0x05, 0x00, 0xC0, 0x07}, kEndOfTrack})}),
     file({cat({{0x00, 0xC0, 0x05, 0x00, 0x07}, kEndOfTrack})})},
    // SysEx and meta pairs, a note after a meta event, and a second track that begins with
    // the first track's last status: every status stays.
    {"no omission", file({{0x00, 0xF0, 0x01, 0xF7, 0x00, 0xF0, 0x01, 0xF7, 0x00, 0xFF, 0x01, 0x00, 0x00, 0xFF, 0x01, 0x00,
                           0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x01, 0x00, 0x00, 0x90, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00},
                          {0x00, 0x90, 0x3E, 0x40, 0x00, 0xFF, 0x2F, 0x00}})},
    {"SMPTE division and no tracks", header(0, 0, 0xE728)},
    // A foreign chunk of 0x10100 bytes is skipped whole.
    {"long foreign chunk", cat({header(0, 2, 96), chunk("XFIH", Bytes(0x10100, 0x2F)), chunk("MTrk", kEndOfTrack)}),
     cat({header(0, 1, 96), chunk("MTrk", kEndOfTrack)}), cat({header(0, 1, 96), chunk("MTrk", kEndOfTrack)})},
    // The header's count keeps its high byte.
    {"300 tracks", [] {
         Bytes all = header(1, 300, 96);
         for (int i = 0; i < 300; ++i) all = cat({all, chunk("MTrk", kEndOfTrack)});
         return all;
     }()},
    // A header declaring 3 chunks, one of them foreign; running status and a non-minimal
    // delta (80 00) in the input: 53 bytes with the option on, 54 with it off.
    {"mixed file",
     cat({header(1, 3, 0x60), chunk("XFIH", {1, 2, 3, 4}), chunk("MTrk", kMixedTrack1),
          chunk("MTrk", {0x80, 0x00, 0xC0, 0x05, 0x00, 0xFF, 0x2F, 0x00})}),
     cat({header(1, 2, 0x60), chunk("MTrk", kMixedTrack1), chunk("MTrk", {0x00, 0xC0, 0x05, 0x00, 0xFF, 0x2F, 0x00})}),
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
        const Bytes& given = runningStatus ? r.withRunningStatus : r.withoutRunningStatus;
        const Bytes& expected = given.empty() ? r.input : given;
        smf::ByteBuffer out;
        out.resize(1000);   // whatever the output held is released, not reused
        EXPECT_EQ(smf::SmfWriter().writeSong(song, out, runningStatus), expected.size());
        EXPECT_EQ(contents(out), expected) << "running status " << runningStatus;
        EXPECT_EQ(out.capacity(), expected.size());
        // The plan alone (quorin-cli's --check) replaces whatever the list held.
        std::vector<std::uint32_t> sizes(3, 7);
        EXPECT_EQ(smf::SmfWriter::planSongSize(song, runningStatus, sizes), expected.size());
        EXPECT_EQ(sizes.size(), song.trackCount());
        EXPECT_EQ(std::accumulate(sizes.begin(), sizes.end(), 14u), expected.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Files, WriterRewrites, ::testing::ValuesIn(kRewrites));
