// Generated Songs, written with and without running status, must read back as themselves,
// the chunks after their tracks included. (What damaged files become is the fuzz target's.)
#include <gtest/gtest.h>

#include "tests/support/round_trip.h"

using namespace quorin_test;

namespace {

// The Song of seed: up to 4 tracks of a few events or of thousands, mostly channel events,
// their status repeated or changed, now and then a data byte with bit 7 set; SysEx and text
// events; deltas of 1 to 4 bytes, the ticks passing 2^32 now and then. Then up to 3 whole
// chunks after the tracks, an uncounted track last.
void generateSong(std::uint32_t seed, smf::Song& song) {
    // A linear congruential generator: the same numbers on every platform (the standard
    // distributions are not).
    const auto below = [&seed](std::uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    const std::uint8_t statuses[] = {0x90, 0x91, 0x80, 0xB3, 0xE0, 0xC2, 0xD1, 0xA5};
    const std::uint32_t deltaBits[] = {7, 7, 7, 10, 10, 14, 28};
    const std::uint8_t endOfTrack[] = {0x2F, 0x00};
    for (std::uint32_t tracks = below(5); tracks > 0; --tracks) {
        smf::Track& track = song.appendTrack();
        std::uint32_t tick = 0;
        std::uint8_t running = 0;
        for (std::uint32_t i = below(100) < 15 ? 5000 : below(40); i > 0; --i) {
            Bytes event;
            if (below(100) < 92) {
                running = running && below(4) != 0 ? running : statuses[below(8)];
                event = {running, std::uint8_t(below(256)), std::uint8_t(below(256))};
                event.resize((running & 0xE0) == 0xC0 ? 2 : 3);
                for (std::size_t b = 1; b < event.size(); ++b) event[b] &= below(20) != 0 ? 0x7F : 0xFF;
            } else {
                running = 0;
                const std::uint8_t length = std::uint8_t(below(0x80));
                event = cat({below(2) ? Bytes{0xF0} : Bytes{0xFF, 0x01}, {length}, Bytes(length, 0x55)});
            }
            tick += below(1u << deltaBits[below(7)]);
            track.appendEvent(tick, event[0], event.data() + 1, std::uint32_t(event.size() - 1));
        }
        track.appendEvent(tick, 0xFF, endOfTrack, 2);
    }
    Bytes after;
    for (auto n = below(4); n > 0; --n) after = cat({after, chunk(n == 1 ? "MTrk" : "XFKM", Bytes(n, 0x55))});
    song.setChunksAfterTracks(after.data(), std::uint32_t(after.size()));
}

}  // namespace

// Each Song is written with and without running status; each file reads back as the Song,
// its running-status events counted, and rewrites as the Song does either way, planned to
// the byte.
TEST(Property, GeneratedSongsReadBackAsWritten) {
    for (std::uint32_t seed = 0; seed < 300; ++seed) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        smf::Song source;
        generateSong(seed, source);
        std::uint64_t omitted = 0;
        for (const smf::Track& t : source.tracks()) omitted += t.writtenEventBytes(false) - t.writtenEventBytes(true);
        for (bool runningStatus : {true, false}) {
            const Bytes input = write(source, runningStatus);
            smf::SmfReader reader;
            smf::Song song;
            ASSERT_TRUE(reader.parse(input.data(), std::uint32_t(input.size()), song, false));
            EXPECT_EQ(reader.summary().runningStatusEvents, runningStatus ? omitted : 0);
            for (auto t = 0u; t < song.trackCount(); ++t)
                EXPECT_EQ(eventsOf(song.tracks()[t]), eventsOf(source.tracks()[t]));
            for (bool option : {true, false}) EXPECT_EQ(write(song, option), write(source, option));
            std::vector<std::uint32_t> sizes(3, 7);
            EXPECT_EQ(smf::SmfWriter::planSongSize(song, runningStatus, sizes), input.size());
            EXPECT_EQ(sizes.size(), song.trackCount());
        }
    }
}
