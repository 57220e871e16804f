// Generated valid files must read back as the events they were made of, and write and read
// back alike with and without running status, the chunks after their tracks kept; whatever
// still parses after random damage must survive rewriting too.
#include <gtest/gtest.h>

#include "tests/support/round_trip.h"

using namespace quorin_test;

namespace {

// xorshift: the same numbers on every platform (the standard distributions are not).
struct Rng {
    std::uint32_t state;

    std::uint32_t below(std::uint32_t n) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state % n;
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

// A track's chunk data, the events the reader must make of it, and how many channel events
// in it go without their status byte.
struct Track {
    Bytes data;
    Events events;
    std::uint64_t withoutStatus = 0;
};

// count events, then End of Track (its delta one zero byte). Mostly channel events, their
// status repeated, changed or left out, a data byte now and then with bit 7 set; SysEx and
// text events; deltas of 1 to 4 bytes, the ticks passing 2^32 now and then.
Track generateTrack(Rng& rng, std::uint32_t count) {
    const std::uint8_t statuses[] = {0x90, 0x91, 0x80, 0xB3, 0xE0, 0xC2, 0xD1, 0xA5};
    const std::uint32_t deltaBits[] = {7, 7, 7, 10, 10, 14, 28};
    Track track;
    std::uint32_t tick = 0;
    std::uint8_t running = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t delta = rng.below(1u << deltaBits[rng.below(7)]);
        const std::uint32_t kind = rng.below(100);
        Bytes event;
        if (kind < 90) {
            const std::uint8_t status = running && rng.chance(75) ? running : statuses[rng.below(8)];
            event = cat({{status}, rng.bytes((status & 0xE0) == 0xC0 ? 1 : 2)});
            for (std::size_t b = 1; b < event.size(); ++b) event[b] &= rng.chance(95) ? 0x7F : 0xFF;
        } else if (kind < 95) {
            const Bytes data = rng.bytes(rng.below(rng.chance(90) ? 12 : 300));
            event = cat({{rng.chance(50) ? std::uint8_t(0xF0) : std::uint8_t(0xF7)}, rng.varLen(data.size()), data});
        } else {
            const Bytes text = rng.bytes(rng.below(20));
            event = cat({{0xFF, std::uint8_t(1 + rng.below(15))}, rng.varLen(text.size()), text});
        }
        // A first data byte with bit 7 set would read as a status: that status stays.
        const bool omitted = event[0] == running && event[1] < 0x80 && rng.chance(70);
        running = event[0] < 0xF0 ? event[0] : 0;
        tick += delta;
        const Bytes written = cat({rng.varLen(delta), Bytes(event.begin() + omitted, event.end())});
        track.data.insert(track.data.end(), written.begin(), written.end());
        track.events.emplace_back(tick, event);
        track.withoutStatus += omitted;
    }
    track.data = cat({track.data, {0x00, 0xFF, 0x2F, 0x00}});
    track.events.emplace_back(tick, Bytes{0xFF, 0x2F, 0x00});
    return track;
}

// A whole valid file: up to 4 tracks of a few events or of thousands, maybe extra header
// bytes, maybe whole chunks after the counted ones (after), then maybe bytes that begin no chunk.
struct File {
    Bytes input;
    std::vector<Track> tracks;
    Bytes after;
};

File generateFile(Rng& rng) {
    const std::uint16_t divisions[] = {96, 480, 0, 0x7FFF, 0xE728, 0xE300, 0xE850, 0xE264};
    const char* const types[] = {"MTrk", "XFIH", "XFKM", "CASM", " ~~ "};
    File file;
    file.tracks.resize(rng.below(5));
    for (Track& track : file.tracks) track = generateTrack(rng, rng.chance(15) ? 5000 : rng.below(40));
    const Bytes extra = rng.bytes(rng.chance(20) ? rng.below(6) : 0);
    const Bytes fields =
        cat({bigEndian(rng.below(3), 2), bigEndian(file.tracks.size(), 2), bigEndian(divisions[rng.below(8)], 2)});
    file.input = chunk("MThd", cat({fields, extra}));
    for (const Track& track : file.tracks) file.input = cat({file.input, chunk("MTrk", track.data)});
    for (std::uint32_t n = rng.chance(30) ? rng.below(4) : 0; n > 0; --n)
        file.after = cat({file.after, chunk(types[rng.below(5)], rng.bytes(rng.below(20)))});
    const Bytes trailing = rng.chance(20) ? cat({{std::uint8_t(rng.below(0x20))}, rng.bytes(rng.below(12))}) : Bytes{};
    file.input = cat({file.input, file.after, trailing});
    return file;
}

bool parse(smf::SmfReader& reader, const Bytes& input, smf::Song& song) {
    return reader.parse(input.data(), std::uint32_t(input.size()), song, false);
}

}  // namespace

// Each file reads as its events, as when they are appended one by one: the reader takes
// runs of channel events at once, and must count and write them alike. What it writes reads
// back as the same events. Then the file is damaged (bit flips, insertions, deletions, cuts).
TEST(Property, GeneratedFilesReadAsTheirEventsAndRoundTrip) {
    Rng rng{7};
    for (int i = 0; i < 400; ++i) {
        SCOPED_TRACE(testing::Message() << "file " << i);
        File file = generateFile(rng);
        smf::SmfReader reader;
        smf::Song song;
        ASSERT_TRUE(parse(reader, file.input, song)) << smf::describeParseRule(reader.failure().rule);
        ASSERT_EQ(song.trackCount(), file.tracks.size());
        smf::Song appended;
        ASSERT_TRUE(appended.setFormat(song.format()));
        ASSERT_TRUE(appended.setDivision(song.division()));
        appended.setChunksAfterTracks(file.after.data(), std::uint32_t(file.after.size()));
        std::uint64_t withoutStatus = 0;
        for (std::uint32_t t = 0; t < song.trackCount(); ++t) {
            EXPECT_EQ(eventsOf(song.tracks()[t]), file.tracks[t].events);
            smf::Track& track = appended.appendTrack();
            for (const auto& [tick, bytes] : file.tracks[t].events)
                track.appendEvent(tick, bytes[0], bytes.data() + 1, std::uint32_t(bytes.size() - 1));
            withoutStatus += file.tracks[t].withoutStatus;
        }
        EXPECT_EQ(reader.summary().runningStatusEvents, withoutStatus);
        EXPECT_EQ(contents(song.chunksAfterTracks()), file.after);
        for (bool runningStatus : {true, false}) {
            const Bytes written = write(song, runningStatus);
            std::vector<std::uint32_t> sizes;
            EXPECT_EQ(smf::SmfWriter::planSongSize(song, runningStatus, sizes), written.size());
            EXPECT_EQ(write(appended, runningStatus), written);
            smf::Song again;
            ASSERT_TRUE(parse(reader, written, again));
            for (std::uint32_t t = 0; t < again.trackCount(); ++t)
                EXPECT_EQ(eventsOf(again.tracks()[t]), file.tracks[t].events);
        }
        EXPECT_EQ(checkRoundTrip(file.input.data(), std::uint32_t(file.input.size())), "");
        Bytes& damaged = file.input;
        for (std::uint32_t n = 1 + rng.below(3); n > 0 && !damaged.empty(); --n) {
            const std::uint32_t at = rng.below(std::uint32_t(damaged.size()));
            const std::uint32_t kind = rng.below(3);
            if (kind == 0) damaged[at] ^= std::uint8_t(1u << rng.below(8));
            if (kind == 1) damaged.insert(damaged.begin() + at, std::uint8_t(rng.below(256)));
            if (kind == 2)
                damaged.erase(damaged.begin() + at, rng.chance(50) ? damaged.end() : damaged.begin() + at + 1);
        }
        EXPECT_EQ(checkRoundTrip(damaged.data(), std::uint32_t(damaged.size())), "") << "damaged";
    }
}

// An invalid ending in place of End of Track, after a long valid stretch, is found where it is.
TEST(Property, BrokenEndingAfterALongTrackIsFoundWhereItIs) {
    const Bytes meta = {0x00, 0xFF, 0x01, 0x00};
    const Bytes eot = {0x00, 0xFF, 0x2F, 0x00};
    const struct {
        Bytes ending;
        smf::ParseRule rule;
        std::uint32_t offset;  // from the ending's start
    } endings[] = {
        {cat({meta, {0x00, 0x3C, 0x40}, eot}), smf::ParseRule::MissingRunningStatus, 5},
        {cat({{0x00, 0xF4}, eot}), smf::ParseRule::StatusNotAllowed, 1},
        {cat({{0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x40}, eot}), smf::ParseRule::VarLenTooLong, 0},
        {{0x00, 0x90, 0x3C}, smf::ParseRule::EventTruncated, 1},
        {{0x00, 0x90, 0x3C, 0x40}, smf::ParseRule::MissingEndOfTrack, 4},
    };
    // Where the second track's data begins: after the header chunk, the first track, the second's type and length.
    constexpr std::uint32_t kSecondTrackData = 14 + 12 + 8;
    Rng rng{3};
    for (const auto& e : endings) {
        const Track track = generateTrack(rng, 5000);
        const Bytes data = cat({Bytes(track.data.begin(), track.data.end() - eot.size()), e.ending});
        smf::SmfReader reader;
        smf::Song song;
        EXPECT_FALSE(parse(reader, smfOf({eot, data}), song));
        EXPECT_EQ(reader.failure().rule, e.rule) << smf::describeParseRule(e.rule);
        EXPECT_EQ(reader.failure().offset, kSecondTrackData + data.size() - e.ending.size() + e.offset);
        EXPECT_EQ(reader.failure().chunkIndex, 1u);
    }
}
