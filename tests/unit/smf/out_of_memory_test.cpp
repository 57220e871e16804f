// Out of memory at every allocation of a parse and of a write: std::bad_alloc reaches the
// caller, the Song can still be reset or destroyed, the reader still works, and the
// writer's output is left empty or unchanged.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "support.h"

namespace {
long allocationsLeft = -1;   // -1: no limit
long liveAllocations = 0;    // news not yet deleted
bool oversizedRequest = false;   // a request beyond 32 bits, which a 32-bit program cannot make
}  // namespace

// GCC takes the free() below for a mismatch with new; in a replacement allocator it is not.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
    const bool oversized = (size >> 16 >> 16) != 0;
    oversizedRequest = oversizedRequest || oversized;
    if (allocationsLeft == 0 || oversized) throw std::bad_alloc();
    if (allocationsLeft > 0) --allocationsLeft;
    if (void* p = std::malloc(size ? size : 1)) {
        ++liveAllocations;
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept {
    if (p) --liveAllocations;
    std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

using namespace smf_test;

namespace {

// Events on the heap and inline, and enough of them to need several list blocks.
const Bytes kInput = [] {
    Bytes track;
    for (int i = 0; i < 120; ++i) track = cat({track, {0x01, 0x90, 0x3C, 0x40}});
    track = cat({track, {0x00, 0xF0, 0x0A}, Bytes(10, 0x11), {0x00, 0xFF, 0x2F, 0x00}});
    return file({track, {0x00, 0xFF, 0x03, 0x09, 'T', 'i', 't', 'l', 'e', ' ', 'o', 'n', 'e', 0x00, 0xFF, 0x2F, 0x00}});
}();

bool parse(smf::SmfReader& reader, smf::Song& song) {
    return reader.parse(kInput.data(), std::uint32_t(kInput.size()), song, false);
}

// Runs action with only n allocations allowed; true when it threw std::bad_alloc.
template <class Action>
bool throwsWithin(long n, Action action) {
    allocationsLeft = n;
    bool threw = false;
    try {
        action();
    } catch (const std::bad_alloc&) {
        threw = true;
    }
    allocationsLeft = -1;
    return threw;
}

}  // namespace

TEST(OutOfMemory, ParseFailsCleanlyAtEveryAllocation) {
    smf::SmfReader reader;
    smf::Song song;
    ASSERT_TRUE(parse(reader, song));
    const Bytes expected = write(song, false);
    long n = 0;
    for (; n < 100000; ++n) {
        auto* scratch = new smf::Song;   // a Song destroyed right after the failure, too
        const bool threw = throwsWithin(n, [&] { parse(reader, n % 2 ? song : *scratch); });
        delete scratch;
        song.reset();
        if (!threw) break;
        ASSERT_EQ(reader.failure().rule, smf::ParseRule::OutOfMemory) << "after failing allocation " << n;
        ASSERT_TRUE(parse(reader, song));
        ASSERT_EQ(write(song, false), expected) << "after failing allocation " << n;
    }
    EXPECT_GT(n, 5);
}

TEST(OutOfMemory, WriteLeavesOutputEmptyOrUnchanged) {
    smf::SmfReader reader;
    smf::Song song;
    ASSERT_TRUE(parse(reader, song));
    const Bytes old(12, 0x5A);
    const long live = liveAllocations;
    for (long n = 0, done = 0; !done; ++n) {
        {
            smf::ByteBuffer out;
            out.assignAt(old.data(), 12, 0);
            done = !throwsWithin(n, [&] { smf::SmfWriter().writeSong(song, out, true); });
            EXPECT_TRUE(done ? contents(out) == write(song, true)
                             : contents(out) == old || (out.length() == 0 && out.capacity() == 0)) << "allocation " << n;
        }
        EXPECT_EQ(liveAllocations, live) << "leak at allocation " << n;
    }
}

TEST(OutOfMemory, AppendLeavesTheTrackAsItWas) {
    smf::Track track;
    const Bytes rest(20, 0x01);
    long n = 0;
    for (; throwsWithin(n, [&] { track.appendEvent(5, 0xF0, rest.data(), 20); }); ++n) {
        ASSERT_EQ(track.eventCount(), 0u) << "allocation " << n;
        ASSERT_EQ(track.writtenEventBytes(false), 0u) << "allocation " << n;
    }
    EXPECT_GT(n, 0);
    EXPECT_EQ(eventsOf(track), (Events{{5, cat({{0xF0}, rest})}}));
}

// Sizes that do not fit in 32 bits are refused before memory is asked for.
TEST(OutOfMemory, BufferNeverAsksForMoreThan32Bits) {
    smf::ByteBuffer b;
    const std::uint8_t byte = 1;
    EXPECT_THROW(b.resize(0xFFFFFFFFu), std::bad_alloc);
    EXPECT_THROW(b.assignAt(&byte, 0xFFFFFFFFu, 1), std::bad_alloc);
    EXPECT_FALSE(oversizedRequest);
    EXPECT_EQ(b.length(), 0u);
}
