// Memory: std::bad_alloc at any allocation reaches the caller and leaves everything usable
// and as it was; ByteBuffer's storage rules. The global allocator is replaced to fail on demand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "support.h"

static long allocationsLeft = -1;      // -1: no limit
static long liveAllocations = 0;       // news not yet deleted
static bool oversizedRequest = false;  // a request beyond 32 bits, which a 32-bit program cannot make

// GCC takes the free() below for a mismatch with new; in a replacement allocator it is not.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

// Every form, since a sanitizer's runtime does not route the array forms through these.
void* operator new(std::size_t size) {
    const bool oversized = (size >> 16 >> 16) != 0;
    oversizedRequest = oversizedRequest || oversized;
    void* p = allocationsLeft == 0 || oversized ? nullptr : std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    allocationsLeft -= allocationsLeft > 0;
    return ++liveAllocations, p;
}
void operator delete(void* p) noexcept {
    liveAllocations -= p != nullptr, std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete[](void* p) noexcept {
    operator delete(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    operator delete(p);
}

using namespace smf_test;

// Runs action with only n allocations allowed; true when it threw std::bad_alloc.
template <class Action>
static bool throwsWithin(long n, Action action) {
    bool threw = false;
    allocationsLeft = n;
    try {
        action();
    } catch (const std::bad_alloc&) {
        threw = true;
    }
    allocationsLeft = -1;
    return threw;
}

// Each allocation of a parse fails in turn (eight tracks, so that the Song's list of tracks
// grows, and the chunks after the tracks included); the reader then reads afresh into the same Song. A write fails with
// no allocation, leaving its output empty or as it was, and succeeds with one: the output is allocated once, at its
// final size. An append that fails leaves the track as it was.
TEST(OutOfMemory, FailsCleanlyAtEveryAllocation) {
    const Bytes old(12, 0x5A),
        events = cat({repeat({0x01, 0x90, 0x3C, 0x40}, 120), {0x00, 0xF0, 0x0C}, old, {0x00, 0xFF, 0x2F, 0x00}});
    const Bytes input = cat({file({events, events, events, events, events, events, events, events}), chunk("XFIH", old),
                             chunk("XFKM", {})});
    smf::SmfReader reader;
    smf::Song song;
    const auto parse = [&] { return reader.parse(input.data(), std::uint32_t(input.size()), song, false); };
    const Bytes expected = parse() ? write(song, true) : Bytes{};
    EXPECT_EQ(contents(song.chunksAfterTracks()), cat({chunk("XFIH", old), chunk("XFKM", {})}));
    long n = 0;
    for (bool threw = true; threw; ++n) {
        threw = throwsWithin(n, parse);
        ASSERT_EQ(reader.failure().rule, threw ? smf::ParseRule::OutOfMemory : smf::ParseRule::None)
            << "allocation " << n;
        ASSERT_TRUE(parse() && write(song, true) == expected) << "allocation " << n;
    }
    EXPECT_GT(n, 5);
    smf::ByteBuffer out;
    out.assignAt(old.data(), 12, 0);
    EXPECT_TRUE(throwsWithin(0, [&] { smf::SmfWriter().writeSong(song, out, true); }) &&
                (out.length() == 0 || contents(out) == old));
    EXPECT_TRUE(!throwsWithin(1, [&] { smf::SmfWriter().writeSong(song, out, true); }) && contents(out) == expected);
    smf::Track track;
    for (n = 0; throwsWithin(n, [&] { track.appendEvent(5, 0xF0, old.data(), 12); }); ++n) {
        ASSERT_EQ(track.eventCount() + track.writtenEventBytes(false), 0u) << "allocation " << n;
    }
    EXPECT_EQ(eventsOf(track), (Events{{5, cat({{0xF0}, old})}}));
}

// Sizes beyond 32 bits are refused before memory is asked for; an empty copy past the end
// only sets the length. Emptying asks for nothing and gives the storage back. Grown storage keeps its bytes;
// copies fit exactly and outlive their source; moves leave the source empty. Inline and
// on the heap.
TEST(ByteBuffer, KeepsItsBytesInExactFitStorage) {
    const std::uint8_t sample[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    smf::ByteBuffer b;
    EXPECT_THROW(b.resize(0xFFFFFFFFu), std::bad_alloc);
    EXPECT_FALSE(oversizedRequest);
    b.assignAt(sample, 0, 20);  // nothing to copy: only the length grows
    const long live = liveAllocations;
    EXPECT_FALSE(throwsWithin(0, [&] { b.resize(0); }));
    EXPECT_EQ(liveAllocations + long(b.length()), live - 1);
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
        EXPECT_EQ(moved.capacity() + assigned.length() + copy.length(), length);
    }
}
