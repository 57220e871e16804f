// SmfWriter: byte-exact output with and without running status, and the size plan alone.
#include <gtest/gtest.h>

#include "support.h"

using namespace smf_test;

namespace {

const Bytes kEot = {0x00, 0xFF, 0x2F, 0x00};
const Bytes kNotes = {0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x3E, 0x64, 0x83, 0x00, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00};
const Bytes kNotesRunning = {0x00, 0x90, 0x3C, 0x64, 0x00, 0x3E, 0x64, 0x83, 0x00, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00};

// An input, then what it becomes with and without running status (empty: the input itself).
struct Rewrite { const char* name; Bytes input, withRunningStatus = {}, withoutRunningStatus = {}; };
void PrintTo(const Rewrite& r, std::ostream* os) { *os << r.name; }

const Rewrite kRewrites[] = {
    // A first data byte with bit 7 set would read back as a status, so its status stays;
    // the second event goes through the writer's bulk path, the last ones near the end.
    {"odd data byte", file({cat({{0, 0x90, 0x3C, 0x40, 0, 0x90, 0x85, 0x40, 0, 0x90, 0x3C, 0x85, 0, 0x90, 0x85, 0x40}, kEot})}),
     file({cat({{0, 0x90, 0x3C, 0x40, 0, 0x90, 0x85, 0x40, 0, 0x3C, 0x85, 0, 0x90, 0x85, 0x40}, kEot})})},
    {"program changes", file({cat({{0, 0xC0, 0x05, 0, 0xC0, 0x07, 0, 0xC0, 0x87}, kEot})}), file({cat({{0, 0xC0, 0x05, 0, 0x07, 0, 0xC0, 0x87}, kEot})})},
    // SysEx and meta pairs (meta type 80 the highest allowed), a note after a meta event.
    {"no omission", file({cat({{0, 0xF0, 0x01, 0xF7, 0, 0xF0, 0x01, 0xF7, 0, 0xFF, 0x80, 0, 0, 0xFF, 0x80, 0, 0, 0x90, 0x3C, 0x40},
                               {0, 0xFF, 0x01, 0, 0, 0x90, 0x3C, 0}, kEot})})},
    {"SMPTE division and no tracks", header(0, 0, 0xE728)},
    {"300 tracks", cat({header(1, 300, 96), repeat(chunk("MTrk", kEot), 300)})},
    // A chunk length with every byte set: a SysEx event of 0x01020304 bytes.
    {"track over 16 MiB", file({cat({{0, 0xF0, 0x88, 0x88, 0x86, 0x04}, Bytes(0x01020304, 0x55), kEot})})},
    // A foreign chunk among the declared ones is left out; a non-minimal delta (80 00) is not kept.
    {"foreign chunk", cat({header(1, 3, 0x60), chunk("XFIH", {1, 2, 3, 4}), chunk("MTrk", kNotesRunning), chunk("MTrk", {0x80, 0, 0xC0, 5, 0, 0xFF, 0x2F, 0})}),
     cat({header(1, 2, 0x60), chunk("MTrk", kNotesRunning), chunk("MTrk", {0, 0xC0, 5, 0, 0xFF, 0x2F, 0})}),
     cat({header(1, 2, 0x60), chunk("MTrk", kNotes), chunk("MTrk", {0, 0xC0, 5, 0, 0xFF, 0x2F, 0})})},
};

class WriterRewrites : public ::testing::TestWithParam<Rewrite> {};

}  // namespace

// The output's old storage is given back, not reused. The plan alone (quorin-cli's --check)
// gives the same size, its list holding one size per track and nothing it held before.
TEST_P(WriterRewrites, ByteExactWithEitherOption) {
    const Rewrite& r = GetParam();
    smf::SmfReader reader;
    smf::Song song;
    ASSERT_TRUE(reader.parse(r.input.data(), std::uint32_t(r.input.size()), song, false));
    for (bool runningStatus : {true, false}) {
        const Bytes& given = runningStatus ? r.withRunningStatus : r.withoutRunningStatus;
        const Bytes& expected = given.empty() ? r.input : given;
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

INSTANTIATE_TEST_SUITE_P(Files, WriterRewrites, ::testing::ValuesIn(kRewrites));
