// Memory: std::bad_alloc at any allocation reaches the caller and leaves the reader, the
// Song, the output and a track usable and as they were; ByteBuffer's storage rules. This
// program's allocator fails on demand (quorin_test_allocator).
#include <gtest/gtest.h>

#include "tests/support/allocator.h"
#include "tests/support/round_trip.h"

using namespace quorin_test;

// Each allocation of a parse fails in turn; the reader then reads afresh into the same Song.
// Eight tracks, so that the Song's list of tracks grows, each stored in one block sized from
// its chunk; the chunks after the tracks copied once. A write asks for its output once, at
// its final size: without that it throws and leaves the output empty or as it was. An
// append that fails leaves the track as it was.
TEST(OutOfMemory, ParseWriteAndAppendFailCleanlyAtEveryAllocation) {
    constexpr int kTracks = 8;
    const Bytes sysex(12, 0x5A);
    const Bytes events = cat({repeat({0x01, 0x90, 0x3C, 0x40}, 120), {0, 0xF0, 12}, sysex, {0, 0xFF, 0x2F, 0}});
    const Bytes input = cat({header(1, kTracks, 96), repeat(chunk("MTrk", events), kTracks), chunk("XFIH", sysex)});
    smf::SmfReader reader;
    smf::Song song;
    const auto parse = [&] { return reader.parse(input.data(), std::uint32_t(input.size()), song, false); };
    ASSERT_TRUE(parse());
    const Bytes expected = write(song, true);
    long allocations = 0;
    while (throwsWithin(allocations, parse)) {
        EXPECT_EQ(reader.failure().rule, smf::ParseRule::OutOfMemory) << "allocation " << allocations;
        ASSERT_TRUE(parse()) << "allocation " << allocations;
        ASSERT_EQ(write(song, true), expected) << "allocation " << allocations;
        ++allocations;
    }
    EXPECT_LT(allocations, 2 * kTracks);
    smf::ByteBuffer out;
    out.assignAt(sysex.data(), std::uint32_t(sysex.size()), 0);
    EXPECT_TRUE(throwsWithin(0, [&] { smf::SmfWriter().writeSong(song, out, true); }));
    EXPECT_TRUE(out.empty() || contents(out) == sysex);
    EXPECT_FALSE(throwsWithin(1, [&] { smf::SmfWriter().writeSong(song, out, true); }));
    EXPECT_EQ(contents(out), expected);
    EXPECT_EQ(out.capacity(), out.length());
    smf::Track track;
    for (long n = 0; throwsWithin(n, [&] { track.appendEvent(5, 0xF0, sysex.data(), 12); }); ++n) {
        ASSERT_EQ(track.eventCount(), 0u);
        ASSERT_EQ(track.writtenEventBytes(false), 0u);
    }
    EXPECT_EQ(eventsOf(track), (Events{{5, cat({{0xF0}, sysex})}}));
}

// A size beyond 32 bits is refused before memory is asked for (a 32-bit program would ask for
// a few bytes). Copies fit exactly, moves leave their source empty, inline and on the heap.
TEST(ByteBuffer, KeepsItsBytesInExactFitStorage) {
    const Bytes sample = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    smf::ByteBuffer buffer;
    EXPECT_THROW(buffer.resize(0xFFFFFFFFu), std::bad_alloc);
    EXPECT_FALSE(oversizedRequest);
    for (std::uint32_t length : {1u, 12u}) {
        // Storage larger than the bytes, grown with the first byte in it; a target with inline
        // bytes, no heap block to give back.
        buffer.assignAt(sample.data(), 1, 0);
        buffer.resize(20);
        buffer.assignAt(sample.data() + 1, length - 1, 1);
        smf::ByteBuffer copy(buffer);
        smf::ByteBuffer assigned(0x7F, sample.data(), 2);
        assigned = copy;
        const smf::ByteBuffer moved(std::move(copy));
        EXPECT_EQ(contents(moved), Bytes(sample.begin(), sample.begin() + length));
        EXPECT_EQ(contents(assigned), contents(moved));
        EXPECT_EQ(moved.capacity(), length);
        EXPECT_TRUE(copy.empty());
    }
}
