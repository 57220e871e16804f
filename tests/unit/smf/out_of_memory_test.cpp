// Memory: std::bad_alloc at any allocation reaches the caller and leaves the reader, the
// Song, the output and the track usable and as they were; ByteBuffer's storage rules. This
// program's allocator fails on demand (quorin_test_allocator).
#include <gtest/gtest.h>

#include "tests/support/allocator.h"
#include "tests/support/round_trip.h"

using namespace quorin_test;

// Each allocation of a parse fails in turn; the reader then reads afresh into the same Song.
// Eight tracks, so that the Song's list of tracks grows, each stored in one block sized from
// its chunk; the chunks after the tracks are copied once.
TEST(OutOfMemory, ParseFailsCleanlyAtEveryAllocation) {
    constexpr int kTracks = 8;
    const Bytes sysex(12, 0x5A);
    const Bytes events =
        cat({repeat({0x01, 0x90, 0x3C, 0x40}, 120), {0x00, 0xF0, 0x0C}, sysex, {0x00, 0xFF, 0x2F, 0x00}});
    const Bytes after = cat({chunk("XFIH", sysex), chunk("XFKM", {})});
    const Bytes input = cat({header(1, kTracks, 96), repeat(chunk("MTrk", events), kTracks), after});
    smf::SmfReader reader;
    smf::Song song;
    const auto parse = [&] { return reader.parse(input.data(), std::uint32_t(input.size()), song, false); };
    ASSERT_TRUE(parse());
    EXPECT_EQ(contents(song.chunksAfterTracks()), after);
    const Bytes expected = write(song, true);
    long allocations = 0;
    while (throwsWithin(allocations, parse)) {
        EXPECT_EQ(reader.failure().rule, smf::ParseRule::OutOfMemory) << "allocation " << allocations;
        ASSERT_TRUE(parse()) << "allocation " << allocations;
        ASSERT_EQ(write(song, true), expected) << "allocation " << allocations;
        ++allocations;
    }
    EXPECT_EQ(reader.failure().rule, smf::ParseRule::None);
    EXPECT_GT(allocations, kTracks);
    EXPECT_LT(allocations, 2 * kTracks);
}

// A write asks for its output once, at its final size: without that allocation it throws
// and leaves the output empty or as it was. An append that fails leaves the track as it was.
TEST(OutOfMemory, WriteAndAppendFailCleanly) {
    const Bytes sysex(12, 0x5A);
    smf::SmfReader reader;
    smf::Song song;
    const Bytes input = plainSmf();
    ASSERT_TRUE(reader.parse(input.data(), std::uint32_t(input.size()), song, false));
    smf::ByteBuffer out;
    out.assignAt(sysex.data(), std::uint32_t(sysex.size()), 0);
    EXPECT_TRUE(throwsWithin(0, [&] { smf::SmfWriter().writeSong(song, out, true); }));
    EXPECT_TRUE(out.empty() || contents(out) == sysex);
    EXPECT_FALSE(throwsWithin(1, [&] { smf::SmfWriter().writeSong(song, out, true); }));
    EXPECT_EQ(contents(out), runningStatusSmf());
    smf::Track track;
    long allocations = 0;
    while (throwsWithin(allocations, [&] { track.appendEvent(5, 0xF0, sysex.data(), 12); })) {
        ASSERT_EQ(track.eventCount(), 0u) << "allocation " << allocations;
        ASSERT_EQ(track.writtenEventBytes(false), 0u) << "allocation " << allocations;
        ++allocations;
    }
    EXPECT_EQ(eventsOf(track), (Events{{5, cat({{0xF0}, sysex})}}));
}

// Sizes beyond 32 bits are refused before memory is asked for; an empty copy past the end
// only sets the length. Emptying asks for nothing and gives the storage back. Grown storage
// keeps its bytes; copies fit exactly and outlive their source; moves leave the source
// empty. Inline and on the heap.
TEST(ByteBuffer, KeepsItsBytesInExactFitStorage) {
    const std::uint8_t sample[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    smf::ByteBuffer b;
    EXPECT_THROW(b.resize(0xFFFFFFFFu), std::bad_alloc);
    EXPECT_FALSE(oversizedRequest);
    b.assignAt(sample, 0, 20);
    EXPECT_EQ(b.length(), 20u);
    const long live = liveBlocks;
    EXPECT_FALSE(throwsWithin(0, [&] { b.resize(0); }));
    EXPECT_EQ(b.length(), 0u);
    EXPECT_EQ(liveBlocks, live - 1);
    for (std::uint32_t length : {1u, 5u, 12u}) {
        smf::ByteBuffer source, assigned, target;
        source.assignAt(sample, length, 0);
        source.resize(length + 9);  // onto the heap, or onto a bigger block
        source.resize(length);
        smf::ByteBuffer copy(source);
        target.assignAt(sample + 4, 3, 0);  // inline bytes, no heap block to give back
        assigned = source;
        target = std::move(assigned);
        const smf::ByteBuffer moved(std::move(copy));
        EXPECT_EQ(contents(target), Bytes(sample, sample + length));
        EXPECT_EQ(contents(moved), Bytes(sample, sample + length));
        EXPECT_EQ(moved.capacity(), length);
        EXPECT_EQ(assigned.length(), 0u);
        EXPECT_EQ(copy.length(), 0u);
    }
}
