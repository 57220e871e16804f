// ByteBuffer's growth and copy rules.
#include <gtest/gtest.h>

#include "smf/song.h"
#include "support.h"

using smf_test::Bytes;
using smf_test::contents;

namespace {
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
    b.assignAt(kSample, 0, 12);   // nothing to copy, only a new length
    EXPECT_EQ(b.length(), 12u);
    b.resize(0);
    EXPECT_EQ(b.capacity(), 0u);
    EXPECT_EQ(b.length(), 0u);
    b.assignAt(kSample + 4, 2, 1);   // a status byte goes in front afterwards
    EXPECT_EQ(b.length(), 3u);
    EXPECT_EQ(b[1], 5);
}

// Inline and heap contents: copies fit exactly, whatever the source's spare room, and
// outlive their source.
TEST(ByteBuffer, CopiesAreExactFitAndIndependent) {
    for (std::uint32_t length : {0u, 1u, 5u, 20u}) {
        smf::TrackEvent event{7, {}};
        event.bytes.assignAt(kSample, 20, 0);
        event.bytes.resize(length);
        smf::TrackEvent copy = event, assigned;
        assigned = event;
        if (length) event.bytes.data()[0] = 99;
        event = smf::TrackEvent{};
        const smf::ByteBuffer moved(std::move(assigned.bytes));
        EXPECT_EQ(copy.tick, 7u);
        EXPECT_EQ(copy.bytes.capacity(), length);
        EXPECT_EQ(contents(copy.bytes), Bytes(kSample, kSample + length));
        EXPECT_EQ(contents(moved), Bytes(kSample, kSample + length));
        EXPECT_EQ(assigned.bytes.capacity(), 0u);
        EXPECT_EQ(assigned.bytes.length(), 0u);
        smf::ByteBuffer target;
        target = std::move(copy.bytes);
        EXPECT_EQ(contents(target), Bytes(kSample, kSample + length));
        EXPECT_EQ(copy.bytes.length(), 0u);
    }
}

// A single byte survives the move from inline storage to the heap.
TEST(ByteBuffer, GrowingOneByteOntoTheHeapKeepsIt) {
    smf::ByteBuffer b;
    b.assignAt(kSample, 1, 0);
    b.resize(9);
    EXPECT_EQ(b[0], 1);
}
