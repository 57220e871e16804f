// Generated valid files must read as the Song they were made from, written and read back
// alike with and without running status, the chunks after their tracks kept; whatever still
// parses after random damage must survive rewriting too.
#include <gtest/gtest.h>

#include "tests/support/round_trip.h"

using namespace quorin_test;

namespace {

// A linear congruential generator: the same numbers on every platform (the standard
// distributions are not).
struct Rng {
    std::uint32_t state;

    std::uint32_t below(std::uint32_t n) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % n;
    }
    bool chance(std::uint32_t percent) { return below(100) < percent; }
    Bytes bytes(std::uint32_t count) {
        Bytes out(count);
        for (std::uint8_t& byte : out) byte = std::uint8_t(below(256));
        return out;
    }
    // value's minimal encoding, now and then after redundant 0x80 bytes (at most 4 in all).
    Bytes varLen(std::uint32_t value) {
        std::uint8_t minimal[4];
        const std::uint32_t size = smf::encodeVarLen(value, minimal);
        return cat({Bytes(chance(10) ? below(5 - size) : 0, 0x80), Bytes(minimal, minimal + size)});
    }
};

// The data of a track chunk of a few events or of thousands, appended to expected as they
// are meant: mostly channel events, their status repeated, changed or left out (counted in
// withoutStatus), a data byte now and then with bit 7 set; SysEx and text events; deltas of
// 1 to 4 bytes, the ticks passing 2^32 now and then.
Bytes generateTrack(Rng& rng, smf::Track& expected, std::uint64_t& withoutStatus) {
    const std::uint8_t statuses[] = {0x90, 0x91, 0x80, 0xB3, 0xE0, 0xC2, 0xD1, 0xA5};
    const std::uint32_t deltaBits[] = {7, 7, 7, 10, 10, 14, 28};
    Bytes data;
    std::uint32_t tick = 0;
    std::uint8_t running = 0;
    for (std::uint32_t i = rng.chance(15) ? 5000 : rng.below(40); i > 0; --i) {
        Bytes event;
        if (rng.chance(90)) {
            const std::uint8_t status = running && rng.chance(75) ? running : statuses[rng.below(8)];
            event = cat({{status}, rng.bytes((status & 0xE0) == 0xC0 ? 1 : 2)});
            for (std::size_t b = 1; b < event.size(); ++b) event[b] &= rng.chance(95) ? 0x7F : 0xFF;
        } else {
            const Bytes kind = rng.chance(50) ? Bytes{0xF0} : Bytes{0xFF, 0x01};
            const Bytes bytes = rng.bytes(rng.below(rng.chance(90) ? 12 : 300));
            event = cat({kind, rng.varLen(std::uint32_t(bytes.size())), bytes});
        }
        // A first data byte with bit 7 set would read as a status: that status stays.
        const bool omitted = event[0] == running && event[1] < 0x80 && rng.chance(70);
        const std::uint32_t delta = rng.below(1u << deltaBits[rng.below(7)]);
        const Bytes written = cat({rng.varLen(delta), Bytes(event.begin() + omitted, event.end())});
        data.insert(data.end(), written.begin(), written.end());
        tick += delta;
        expected.appendEvent(tick, event[0], event.data() + 1, std::uint32_t(event.size() - 1));
        running = event[0] < 0xF0 ? event[0] : 0;
        withoutStatus += omitted;
    }
    const std::uint8_t endOfTrack[] = {0x2F, 0x00};
    expected.appendEvent(tick, 0xFF, endOfTrack, 2);
    return cat({data, {0x00, 0xFF, 0x2F, 0x00}});
}

// A whole valid file and the Song it holds: up to 4 tracks, maybe extra header bytes, maybe
// whole chunks after the counted ones, then maybe bytes that begin no chunk.
Bytes generateFile(Rng& rng, smf::Song& expected, std::uint64_t& withoutStatus) {
    const std::uint16_t divisions[] = {96, 0, 0x7FFF, 0xE728, 0xE250};
    const char* const types[] = {"MTrk", "XFKM", " ~~ "};
    const std::uint32_t tracks = rng.below(5);
    expected.setFormat(std::uint16_t(rng.below(3)));
    expected.setDivision(divisions[rng.below(5)]);
    const Bytes fields =
        cat({bigEndian(expected.format(), 2), bigEndian(tracks, 2), bigEndian(expected.division(), 2)});
    Bytes input = chunk("MThd", cat({fields, rng.bytes(rng.chance(20) ? rng.below(6) : 0)}));
    for (std::uint32_t t = 0; t < tracks; ++t)
        input = cat({input, chunk("MTrk", generateTrack(rng, expected.appendTrack(), withoutStatus))});
    Bytes after;
    for (std::uint32_t n = rng.chance(30) ? rng.below(4) : 0; n > 0; --n)
        after = cat({after, chunk(types[rng.below(3)], rng.bytes(rng.below(20)))});
    expected.setChunksAfterTracks(after.data(), std::uint32_t(after.size()));
    const Bytes trailing = rng.chance(20) ? cat({{std::uint8_t(rng.below(0x20))}, rng.bytes(rng.below(12))}) : Bytes{};
    return cat({input, after, trailing});
}

}  // namespace

// Each file reads as the Song it was made from, whose tracks were appended one event at a
// time: the reader takes runs of channel events at once, and must count and keep them alike.
// What it writes reads back and rewrites the same. Then the file is damaged (bit flips,
// insertions, deletions, cuts).
TEST(Property, GeneratedFilesReadAsTheirSongAndRoundTrip) {
    Rng rng{7};
    for (int i = 0; i < 400; ++i) {
        SCOPED_TRACE(testing::Message() << "file " << i);
        smf::Song expected;
        std::uint64_t withoutStatus = 0;
        Bytes input = generateFile(rng, expected, withoutStatus);
        smf::SmfReader reader;
        smf::Song song;
        ASSERT_TRUE(reader.parse(input.data(), std::uint32_t(input.size()), song, false))
            << smf::describeParseRule(reader.failure().rule);
        EXPECT_EQ(reader.summary().runningStatusEvents, withoutStatus);
        for (bool runningStatus : {true, false}) {
            const Bytes written = write(song, runningStatus);
            EXPECT_EQ(written, write(expected, runningStatus));
            std::vector<std::uint32_t> sizes;
            EXPECT_EQ(smf::SmfWriter::planSongSize(song, runningStatus, sizes), written.size());
        }
        EXPECT_EQ(checkRoundTrip(input.data(), std::uint32_t(input.size())), "");
        for (std::uint32_t n = 1 + rng.below(3); n > 0 && !input.empty(); --n) {
            const std::uint32_t at = rng.below(std::uint32_t(input.size()));
            const std::uint32_t kind = rng.below(3);
            if (kind == 0) input[at] ^= std::uint8_t(1u << rng.below(8));
            if (kind == 1) input.insert(input.begin() + at, std::uint8_t(rng.below(256)));
            if (kind == 2) input.erase(input.begin() + at, rng.chance(50) ? input.end() : input.begin() + at + 1);
        }
        EXPECT_EQ(checkRoundTrip(input.data(), std::uint32_t(input.size())), "") << "damaged";
    }
}
