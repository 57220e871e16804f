// Generated valid files must read back to the events the generator meant, and every file
// that parses, generated or mutated, must survive rewriting with either option.
#include <gtest/gtest.h>

#include "support.h"

using namespace smf_test;

namespace {

// xorshift: deterministic on every platform (the standard distributions are not).
struct Rng {
    std::uint32_t state;
    std::uint32_t below(std::uint32_t n) { return state ^= state << 13, state ^= state >> 17, (state ^= state << 5) % n; }
    bool chance(std::uint32_t percent) { return below(100) < percent; }
    Bytes bytes(std::uint32_t count) { return count ? cat({{std::uint8_t(below(256))}, bytes(count - 1)}) : Bytes{}; }
    Bytes varLen(std::uint32_t value) {   // sometimes with redundant leading 0x80 bytes (still at most 4)
        std::uint8_t minimal[4];
        const std::uint32_t size = smf::encodeVarLen(value, minimal);
        return cat({Bytes(chance(10) ? below(5 - size) : 0, 0x80), Bytes(minimal, minimal + size)});
    }
};

// One track's chunk data, and the events the reader must produce from it: channel events
// (their status maybe left out), SysEx, meta events; deltas of every size, ticks passing 2^32 now and then.
Bytes generateTrack(Rng& rng, Events& expected) {
    const std::pair<std::uint8_t, std::uint32_t> fixed[] = {{0x00, 2}, {0x20, 1}, {0x51, 3}, {0x54, 5}, {0x58, 4}, {0x59, 2}};
    Bytes track;
    for (std::uint32_t i = 0, count = rng.below(40), tick = 0, running = 0; i <= count; ++i) {
        const std::uint32_t delta = rng.chance(30) ? 0x0FFFFFFF - rng.below(16) : rng.below(128) << 7 * rng.below(4);
        const std::uint32_t kind = i == count ? 8 : rng.below(8), status = rng.chance(50) && running ? running : 0x80 + rng.below(0x70);
        const bool omitted = kind < 6 && status == running && rng.chance(60);
        Bytes event = cat({{0xFF, 0x2F}, rng.varLen(0)});
        if (kind < 6) {   // a channel event; a first data byte with bit 7 set would read as a status
            event = cat({{std::uint8_t(status)}, rng.bytes((status & 0xE0) == 0xC0 ? 1 : 2)});
            if (omitted || rng.chance(80)) event[1] &= 0x7F;
        } else if (kind == 6) {
            const Bytes data = rng.bytes(rng.below(rng.chance(90) ? 12 : 300));
            event = cat({{std::uint8_t(rng.chance(50) ? 0xF0 : 0xF7)}, rng.varLen(std::uint32_t(data.size())), data});
        } else if (kind == 7) {   // a type with a required length, or any other but End of Track
            auto [type, length] = rng.chance(30) ? fixed[rng.below(6)] : std::pair{std::uint8_t(rng.below(0x81)), rng.below(20)};
            for (const auto& [t, n] : fixed) length = type == t ? n : length;
            event = cat({{0xFF, type == 0x2F ? std::uint8_t(0x01) : type}, rng.varLen(length), rng.bytes(length)});
        }
        running = kind < 6 ? status : 0;
        track = cat({track, rng.varLen(delta), Bytes(event.begin() + omitted, event.end())});
        expected.emplace_back(tick += delta, event);
    }
    return track;
}

// A whole valid file: maybe extra header bytes, maybe whole chunks after the counted ones
// (after: what the Song must keep of them), then maybe bytes that begin no chunk.
Bytes generateFile(Rng& rng, std::vector<Events>& expected, Bytes& after) {
    const std::uint16_t divisions[] = {96, 480, 0, 0x7FFF, 0xE728, 0xE300, 0xE850, 0xE264};
    const char* const types[] = {"MTrk", "XFIH", "XFKM", "CASM", " ~~ "};
    const Bytes extra = rng.bytes(rng.chance(20) ? rng.below(6) : 0);
    expected.resize(rng.below(5));
    Bytes out = chunk("MThd", cat({be(rng.below(3), 2), be(std::uint32_t(expected.size()), 2), be(divisions[rng.below(8)], 2), extra}));
    for (Events& events : expected) out = cat({out, chunk("MTrk", generateTrack(rng, events))});
    after.clear();
    for (std::uint32_t n = rng.chance(30) ? rng.below(4) : 0; n > 0; --n) after = cat({after, chunk(types[rng.below(5)], rng.bytes(rng.below(20)))});
    const Bytes trailing = rng.chance(20) ? cat({{std::uint8_t(rng.below(0x20))}, rng.bytes(rng.below(12))}) : Bytes{};
    return cat({out, after, trailing});
}

}  // namespace

// Each generated file is then mutated (bit flips, insertions, deletions, cuts); whatever
// still parses must round-trip too.
TEST(Property, GeneratedAndMutatedFilesReadBackAndRoundTrip) {
    Rng rng{1};
    for (int i = 0; i < 1000; ++i) {
        std::vector<Events> expected;
        Bytes after;
        Bytes input = generateFile(rng, expected, after);
        smf::SmfReader reader;
        smf::Song song;
        ASSERT_TRUE(reader.parse(input.data(), std::uint32_t(input.size()), song, true)) << smf::describeParseRule(reader.failure().rule);
        ASSERT_EQ(song.trackCount(), expected.size()) << "case " << i;
        for (std::uint32_t t = 0; t < song.trackCount(); ++t) ASSERT_EQ(eventsOf(song.tracks()[t]), expected[t]) << "case " << i;
        ASSERT_EQ(contents(song.chunksAfterTracks()), after) << "case " << i;
        ASSERT_EQ(checkRoundTrip(input.data(), std::uint32_t(input.size())), "") << "case " << i;
        for (std::uint32_t n = 1 + rng.below(3), at, kind; n > 0 && !input.empty(); --n) {
            at = rng.below(std::uint32_t(input.size())), kind = rng.below(3);
            if (kind == 0) input[at] ^= std::uint8_t(1u << rng.below(8));
            if (kind == 1) input.insert(input.begin() + at, std::uint8_t(rng.below(256)));
            if (kind == 2) input.erase(input.begin() + at, rng.chance(50) ? input.end() : input.begin() + at + 1);
        }
        ASSERT_EQ(checkRoundTrip(input.data(), std::uint32_t(input.size())), "") << "mutated case " << i;
    }
}
