// Generated valid files must read back to the events the generator meant, and every file
// that parses, generated or mutated, must survive rewriting with either option.
#include <gtest/gtest.h>

#include "support.h"

using namespace smf_test;

namespace {

// xorshift: deterministic on every platform (the standard distributions are not).
struct Rng {
    std::uint32_t state;
    std::uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        return state ^= state << 5;
    }
    std::uint32_t below(std::uint32_t n) { return next() % n; }
    bool chance(std::uint32_t percent) { return below(100) < percent; }
    Bytes bytes(std::uint32_t count) {
        Bytes data(count);
        for (auto& b : data) b = std::uint8_t(next());
        return data;
    }
    // A quantity of value, sometimes with redundant leading 0x80 bytes (still at most 4).
    Bytes varLen(std::uint32_t value) {
        std::uint8_t minimal[4];
        const std::uint32_t size = smf::encodeVarLen(value, minimal);
        return cat({Bytes(chance(10) ? below(5 - size) : 0, 0x80), Bytes(minimal, minimal + size)});
    }
};

// One track's chunk data, and the events the reader must produce from it.
Bytes generateTrack(Rng& rng, Events& expected) {
    Bytes track;
    std::uint32_t tick = 0;
    std::uint8_t running = 0;
    const std::uint32_t count = rng.below(40);
    const bool wraps = rng.chance(10);   // huge deltas: from 17 events on, ticks pass 2^32
    for (std::uint32_t i = 0; i <= count; ++i) {
        const std::uint32_t kind = wraps ? 2 : rng.below(8);
        const std::uint32_t delta = kind == 0 ? 0 : kind == 1 ? rng.next() & 0x0FFFFFFF
                                  : kind == 2 ? 0x0FFFFFF0 + rng.below(16) : rng.below(rng.chance(70) ? 128 : 20000);
        tick += delta;
        track = cat({track, rng.varLen(delta)});
        Bytes event;
        if (i == count) {
            event = cat({{0xFF, 0x2F}, rng.varLen(0)});
        } else if (rng.chance(75)) {
            const std::uint8_t status = rng.chance(50) && running ? running : std::uint8_t(0x80 + rng.below(0x70));
            const bool omitted = status == running && rng.chance(60);
            Bytes data = rng.bytes((status & 0xE0) == 0xC0 ? 1 : 2);
            if (omitted || rng.chance(80)) data[0] &= 0x7F;   // else it would read as a status
            event = cat({{status}, data});
            track = cat({track, omitted ? data : event});
            expected.emplace_back(tick, event);
            running = status;
            continue;
        } else if (rng.chance(40)) {
            const Bytes data = rng.bytes(rng.below(rng.chance(90) ? 12 : 300));
            event = cat({{std::uint8_t(rng.chance(50) ? 0xF0 : 0xF7)}, rng.varLen(std::uint32_t(data.size())), data});
        } else {
            const std::uint8_t fixedLength[] = {0x00, 0x20, 0x51, 0x54, 0x58, 0x59};
            std::uint8_t type = rng.chance(30) ? fixedLength[rng.below(6)] : std::uint8_t(rng.below(0x81));
            if (type == 0x2F) type = 0x01;
            const std::uint32_t length = type == 0x00 || type == 0x59 ? 2 : type == 0x20 ? 1 : type == 0x51 ? 3
                                       : type == 0x54 ? 5 : type == 0x58 ? 4 : rng.below(20);
            event = cat({{0xFF, type}, rng.varLen(length), rng.bytes(length)});
        }
        track = cat({track, event});
        expected.emplace_back(tick, event);
        running = 0;
    }
    return track;
}

// A whole valid file: maybe MacBinary, maybe extra header bytes, foreign chunks counted
// among the tracks, bytes after the last counted chunk.
Bytes generateFile(Rng& rng, std::vector<Events>& expected) {
    const std::uint16_t divisions[] = {96, 480, 0, 0x7FFF, 0xE728, 0xE300, 0xE850, 0xE264};
    const std::uint32_t chunks = rng.below(5);
    const Bytes extra = rng.bytes(rng.chance(20) ? rng.below(6) : 0);
    Bytes out = cat({header(std::uint16_t(rng.below(3)), std::uint16_t(chunks), divisions[rng.below(8)]), extra});
    out[7] = std::uint8_t(6 + extra.size());
    if (rng.chance(15)) {
        Bytes mac = rng.bytes(128);
        mac[0] = mac[74] = mac[82] = 0;
        out = cat({mac, out});
    }
    for (std::uint32_t i = 0; i < chunks; ++i) {
        if (rng.chance(15)) {
            out = cat({out, chunk(rng.chance(50) ? "XFIH" : "MTRK", rng.bytes(rng.below(10)))});
        } else {
            expected.emplace_back();
            out = cat({out, chunk("MTrk", generateTrack(rng, expected.back()))});
        }
    }
    return cat({out, rng.bytes(rng.chance(20) ? rng.below(8) : 0)});
}

}  // namespace

// Each generated file is also mutated (bit flips, interesting bytes, cuts, insertions,
// deletions); whatever still parses must round-trip too.
TEST(Property, GeneratedAndMutatedFilesReadBackAndRoundTrip) {
    Rng rng{1};
    int parsed = 0;
    for (int i = 0; i < 1000; ++i) {
        std::vector<Events> expected;
        Bytes input = generateFile(rng, expected);
        smf::SmfReader reader;
        smf::Song song;
        ASSERT_TRUE(reader.parse(input.data(), std::uint32_t(input.size()), song, true))
            << "case " << i << ": " << smf::describeParseRule(reader.failure().rule) << " at " << reader.failure().offset;
        ASSERT_EQ(song.trackCount(), expected.size()) << "case " << i;
        for (std::uint32_t t = 0; t < song.trackCount(); ++t) {
            ASSERT_EQ(eventsOf(song.tracks()[t]), expected[t]) << "case " << i << " track " << t;
        }
        ASSERT_EQ(checkRoundTrip(input.data(), std::uint32_t(input.size())), "") << "case " << i;

        for (std::uint32_t n = 1 + rng.below(3); n > 0 && !input.empty(); --n) {
            const std::uint32_t at = rng.below(std::uint32_t(input.size()));
            const std::uint8_t interesting[] = {0x00, 0x2F, 0x7F, 0x80, 0x90, 0xC0, 0xF0, 0xF7, 0xFF};
            switch (rng.below(5)) {
            case 0: input[at] ^= std::uint8_t(1u << rng.below(8)); break;
            case 1: input[at] = interesting[rng.below(9)]; break;
            case 2: input.resize(at); break;
            case 3: input.insert(input.begin() + at, std::uint8_t(rng.next())); break;
            default: input.erase(input.begin() + at); break;
            }
        }
        ASSERT_EQ(checkRoundTrip(input.data(), std::uint32_t(input.size())), "") << "mutated case " << i;
        parsed += reader.parse(input.data(), std::uint32_t(input.size()), song, true);
    }
    EXPECT_GT(parsed, 100);   // the mutations must leave enough valid files to mean something
}
