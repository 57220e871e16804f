// Generated valid files must read back to the events the generator meant, and every file
// that parses, generated or mutated, must survive rewriting with either option.
#include <gtest/gtest.h>

#include "round_trip_check.h"
#include "support.h"

using namespace smf_test;

namespace {

// Deterministic on every platform (the standard distributions are not).
class Rng {
public:
    explicit Rng(std::uint32_t seed) : state_(seed * 2654435761u + 1) {}
    std::uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    std::uint32_t below(std::uint32_t n) { return next() % n; }
    bool chance(std::uint32_t percent) { return below(100) < percent; }

private:
    std::uint32_t state_;
};

// A quantity of value, sometimes with redundant leading 0x80 bytes (still at most 4).
Bytes varLen(Rng& rng, std::uint32_t value) {
    std::uint8_t minimal[4];
    const std::uint32_t size = smf::encodeVarLen(value, minimal);
    Bytes bytes(rng.chance(10) ? rng.below(5 - size) : 0, 0x80);
    return cat({bytes, Bytes(minimal, minimal + size)});
}

std::uint32_t randomDelta(Rng& rng) {
    switch (rng.below(8)) {
    case 0: return 0;
    case 1: return rng.next() & 0x0FFFFFFF;
    case 2: return 0x0FFFFFF0 + rng.below(16);
    default: return rng.below(rng.chance(70) ? 128 : 20000);
    }
}

Bytes randomData(Rng& rng, std::uint32_t count) {
    Bytes data(count);
    for (auto& b : data) b = std::uint8_t(rng.next());
    return data;
}

// One track's chunk data, and the events the reader must produce from it.
Bytes generateTrack(Rng& rng, Events& expected) {
    Bytes track;
    std::uint32_t tick = 0;
    std::uint8_t running = 0;
    const std::uint32_t count = rng.below(40);
    for (std::uint32_t i = 0; i <= count; ++i) {
        const std::uint32_t delta = randomDelta(rng);
        tick += delta;
        track = cat({track, varLen(rng, delta)});
        Bytes event;
        if (i == count) {
            event = cat({{0xFF, 0x2F}, varLen(rng, 0)});
        } else if (rng.chance(75)) {
            const std::uint8_t status = rng.chance(50) && running ? running : std::uint8_t(0x80 + rng.below(0x70));
            const std::uint32_t dataCount = (status & 0xE0) == 0xC0 ? 1 : 2;
            const bool omitted = status == running && rng.chance(60);
            Bytes data = randomData(rng, dataCount);
            if (omitted || rng.chance(80)) data[0] &= 0x7F;   // else it would read as a status
            event = cat({{status}, data});
            track = cat({track, omitted ? data : event});
            expected.emplace_back(tick, event);
            running = status;
            continue;
        } else if (rng.chance(40)) {
            const Bytes data = randomData(rng, rng.below(rng.chance(90) ? 12 : 300));
            event = cat({{std::uint8_t(rng.chance(50) ? 0xF0 : 0xF7)}, varLen(rng, std::uint32_t(data.size())), data});
        } else {
            const std::uint8_t fixed[][2] = {{0x00, 2}, {0x20, 1}, {0x51, 3}, {0x54, 5}, {0x58, 4}, {0x59, 2}};
            std::uint8_t type = std::uint8_t(rng.below(0x81));
            std::uint32_t length = rng.below(20);
            for (const auto& f : fixed) {
                if (rng.chance(8)) type = f[0];
                if (type == f[0]) length = f[1];
            }
            if (type == 0x2F) type = 0x01;
            event = cat({{0xFF, type}, varLen(rng, length), randomData(rng, length)});
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
    const Bytes extra = randomData(rng, rng.chance(20) ? rng.below(6) : 0);
    Bytes out = cat({header(std::uint16_t(rng.below(3)), std::uint16_t(chunks), divisions[rng.below(8)]), extra});
    out[7] = std::uint8_t(6 + extra.size());
    if (rng.chance(15)) {
        Bytes mac = randomData(rng, 128);
        mac[0] = mac[74] = mac[82] = 0;
        out = cat({mac, out});
    }
    for (std::uint32_t i = 0; i < chunks; ++i) {
        if (rng.chance(15)) {
            out = cat({out, chunk(rng.chance(50) ? "XFIH" : "MTRK", randomData(rng, rng.below(10)))});
            continue;
        }
        expected.emplace_back();
        out = cat({out, chunk("MTrk", generateTrack(rng, expected.back()))});
    }
    return cat({out, randomData(rng, rng.chance(20) ? rng.below(8) : 0)});
}

void mutate(Rng& rng, Bytes& file) {
    for (std::uint32_t n = 1 + rng.below(3); n > 0 && !file.empty(); --n) {
        const std::uint32_t at = rng.below(std::uint32_t(file.size()));
        const std::uint8_t interesting[] = {0x00, 0x2F, 0x7F, 0x80, 0x90, 0xC0, 0xF0, 0xF7, 0xFF};
        switch (rng.below(5)) {
        case 0: file[at] ^= std::uint8_t(1u << rng.below(8)); break;
        case 1: file[at] = interesting[rng.below(9)]; break;
        case 2: file.resize(at); break;
        case 3: file.insert(file.begin() + at, std::uint8_t(rng.next())); break;
        default: file.erase(file.begin() + at); break;
        }
    }
}

}  // namespace

TEST(Property, GeneratedFilesReadBackAndRoundTrip) {
    Rng rng(1);
    for (int i = 0; i < 1500; ++i) {
        std::vector<Events> expected;
        const Bytes input = generateFile(rng, expected);
        smf::SmfReader reader;
        smf::Song song;
        ASSERT_TRUE(reader.parse(input.data(), std::uint32_t(input.size()), song, true))
            << "case " << i << ": " << smf::describeParseRule(reader.failure().rule) << " at "
            << reader.failure().offset;
        ASSERT_EQ(song.trackCount(), expected.size()) << "case " << i;
        for (std::uint32_t t = 0; t < song.trackCount(); ++t) {
            ASSERT_EQ(eventsOf(song.tracks()[t]), expected[t]) << "case " << i << " track " << t;
        }
        ASSERT_EQ(checkRoundTrip(input.data(), std::uint32_t(input.size())), "") << "case " << i;
    }
}

TEST(Property, MutatedFilesThatParseRoundTrip) {
    Rng rng(2);
    int parsed = 0;
    for (int i = 0; i < 4000; ++i) {
        std::vector<Events> unused;
        Bytes input = generateFile(rng, unused);
        mutate(rng, input);
        ASSERT_EQ(checkRoundTrip(input.data(), std::uint32_t(input.size())), "") << "case " << i;
        smf::SmfReader reader;
        smf::Song song;
        parsed += reader.parse(input.data(), std::uint32_t(input.size()), song, true);
    }
    EXPECT_GT(parsed, 400);   // the mutations must leave enough valid files to mean something
}
