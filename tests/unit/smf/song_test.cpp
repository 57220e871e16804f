// ByteBuffer's growth rules and the Song model's checks.
#include <gtest/gtest.h>

#include "smf/song.h"
#include "support.h"

using smf_test::Bytes;

namespace {
Bytes contents(const smf::ByteBuffer& b) { return Bytes(b.data(), b.data() + b.length()); }
const std::uint8_t kSample[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
}  // namespace

TEST(ByteBuffer, GrowsExactlyKeepsOldBytesAndNeverShrinksUntilEmptied) {
    smf::ByteBuffer b;
    b.assignAt(kSample, 3, 0);
    EXPECT_EQ(b.capacity(), 3u);
    b.resize(6);   // still within the inline bytes
    b.resize(2);
    EXPECT_EQ(b.capacity(), 6u);
    b.resize(3);
    b.resize(10);  // onto the heap
    EXPECT_EQ(b.capacity(), 10u);
    EXPECT_EQ(Bytes(b.data(), b.data() + 3), (Bytes{1, 2, 3}));
    b.assignAt(kSample, 10, 0);
    const std::uint8_t* storage = b.data();
    b.resize(4);
    EXPECT_EQ(b.capacity(), 10u);
    EXPECT_EQ(b.data(), storage);
    b.resize(16);  // heap to bigger heap copies the length, not the capacity
    EXPECT_EQ(b.capacity(), 16u);
    EXPECT_EQ(Bytes(b.data(), b.data() + 4), (Bytes{1, 2, 3, 4}));
    b.resize(0);
    EXPECT_EQ(b.capacity(), 0u);
    EXPECT_EQ(b.length(), 0u);
    b.assignAt(kSample + 4, 2, 1);   // a status byte goes in front afterwards
    EXPECT_EQ(b.length(), 3u);
    EXPECT_EQ(b[1], 5);
}

TEST(ByteBuffer, CopiesAreExactFitAndIndependent) {
    for (std::uint32_t length : {5u, 20u}) {
        smf::ByteBuffer source;
        source.assignAt(kSample, 20, 0);
        source.resize(length);
        smf::TrackEvent event{7, source};
        EXPECT_EQ(event.bytes.capacity(), length);
        smf::TrackEvent copy = event;
        smf::TrackEvent assigned;
        assigned = event;
        event.bytes.data()[0] = 99;
        event = smf::TrackEvent{};
        EXPECT_EQ(copy.tick, 7u);
        EXPECT_EQ(contents(copy.bytes), Bytes(kSample, kSample + length));
        EXPECT_EQ(contents(assigned.bytes), Bytes(kSample, kSample + length));
        smf::ByteBuffer moved(std::move(copy.bytes));
        EXPECT_EQ(contents(moved), Bytes(kSample, kSample + length));
        EXPECT_EQ(copy.bytes.capacity(), 0u);
    }
    smf::ByteBuffer empty, copy(empty);
    EXPECT_EQ(copy.capacity(), 0u);
}

TEST(Song, FormatAndDivisionChecks) {
    smf::Song song;
    EXPECT_TRUE(song.setFormat(2));
    EXPECT_FALSE(song.setFormat(3));
    EXPECT_EQ(song.format(), 2);
    for (std::uint16_t good : {0x0000, 0x7FFF, 0xE728, 0xE300, 0xE8FF, 0xE250}) {
        EXPECT_TRUE(song.setDivision(good)) << std::hex << good;
        EXPECT_EQ(song.division(), good);
    }
    for (std::uint16_t bad : {0xE628, 0x8000, 0xE900, 0xFF00, 0xE100}) {
        EXPECT_FALSE(song.setDivision(bad)) << std::hex << bad;
    }
    EXPECT_EQ(song.division(), 0xE250);
    EXPECT_EQ(smf::divisionKind(0xE728), smf::DivisionKind::Smpte25);
    EXPECT_EQ(smf::divisionKind(0xE300), smf::DivisionKind::Smpte29);
    EXPECT_EQ(smf::divisionKind(0xE800), smf::DivisionKind::Smpte24);
    EXPECT_EQ(smf::divisionKind(0xE200), smf::DivisionKind::Smpte30);
}
