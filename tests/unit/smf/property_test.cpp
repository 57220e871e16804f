// Generated valid files must read back to the events the generator meant, and every file
// that parses, generated or mutated, must survive rewriting with either option.
#include <gtest/gtest.h>

#include "support.h"

using namespace smf_test;

namespace {

// xorshift: deterministic on every platform (the standard distributions are not).
struct Rng {
    std::uint32_t state;
    std::uint32_t below(std::uint32_t n) {
        return state ^= state << 13, state ^= state >> 17, (state ^= state << 5) % n;
    }
    bool chance(std::uint32_t percent) { return below(100) < percent; }
    Bytes bytes(std::uint32_t count) { return count ? cat({{std::uint8_t(below(256))}, bytes(count - 1)}) : Bytes{}; }
    Bytes varLen(std::uint32_t value) {  // sometimes with redundant leading 0x80 bytes (still at most 4)
        std::uint8_t minimal[4];
        const std::uint32_t size = smf::encodeVarLen(value, minimal);
        return cat({Bytes(chance(10) ? below(5 - size) : 0, 0x80), Bytes(minimal, minimal + size)});
    }
};

// One track's chunk data, and the events the reader must produce from it: channel events
// (their status maybe left out), SysEx, meta events; deltas of every size, ticks passing 2^32 now and then.
Bytes generateTrack(Rng& rng, Events& expected) {
    const std::pair<std::uint8_t, std::uint32_t> fixed[] = {{0x00, 2}, {0x20, 1}, {0x51, 3},
                                                            {0x54, 5}, {0x58, 4}, {0x59, 2}};
    Bytes track;
    for (std::uint32_t i = 0, count = rng.below(40), tick = 0, running = 0; i <= count; ++i) {
        const std::uint32_t delta = rng.chance(30) ? 0x0FFFFFFF - rng.below(16) : rng.below(128) << 7 * rng.below(4);
        const std::uint32_t kind = i == count ? 8 : rng.below(8),
                            status = rng.chance(50) && running ? running : 0x80 + rng.below(0x70);
        const bool omitted = kind < 6 && status == running && rng.chance(60);
        Bytes event = cat({{0xFF, 0x2F}, rng.varLen(0)});
        if (kind < 6) {  // a channel event; a first data byte with bit 7 set would read as a status
            event = cat({{std::uint8_t(status)}, rng.bytes((status & 0xE0) == 0xC0 ? 1 : 2)});
            if (omitted || rng.chance(80)) event[1] &= 0x7F;
        } else if (kind == 6) {
            const Bytes data = rng.bytes(rng.below(rng.chance(90) ? 12 : 300));
            event = cat({{std::uint8_t(rng.chance(50) ? 0xF0 : 0xF7)}, rng.varLen(std::uint32_t(data.size())), data});
        } else if (kind == 7) {  // a type with a required length, or any other but End of Track
            auto [type, length] =
                rng.chance(30) ? fixed[rng.below(6)] : std::pair{std::uint8_t(rng.below(0x81)), rng.below(20)};
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
    Bytes out =
        chunk("MThd",
              cat({be(rng.below(3), 2), be(std::uint32_t(expected.size()), 2), be(divisions[rng.below(8)], 2), extra}));
    for (Events& events : expected) out = cat({out, chunk("MTrk", generateTrack(rng, events))});
    after.clear();
    for (std::uint32_t n = rng.chance(30) ? rng.below(4) : 0; n > 0; --n)
        after = cat({after, chunk(types[rng.below(5)], rng.bytes(rng.below(20)))});
    const Bytes trailing = rng.chance(20) ? cat({{std::uint8_t(rng.below(0x20))}, rng.bytes(rng.below(12))}) : Bytes{};
    return cat({out, after, trailing});
}

// A long track of what the reader takes in runs, and of what ends a run: deltas of one
// byte, of two below and above 1024 (some of them not minimal), of three; statuses left out,
// repeated and changed (to one of as many data bytes or of another count); data bytes with
// bit 7 set after a status byte; SysEx and meta events. withoutStatus counts the channel
// events under running status.
Bytes generateLongTrack(Rng& rng, Events& expected, std::uint64_t& withoutStatus) {
    const std::uint8_t statuses[] = {0x90, 0x91, 0x80, 0xB3, 0xE0, 0xC2, 0xD1, 0xA5};
    Bytes track;
    std::uint32_t tick = 0, running = 0;
    for (std::uint32_t i = 0, count = 5000 + rng.below(5000); i <= count; ++i) {
        const std::uint32_t pick = rng.below(100);
        const std::uint32_t delta = i == count  ? 0
                                    : pick < 45 ? rng.below(128)
                                    : pick < 80 ? 128 + rng.below(896)
                                    : pick < 90 ? 1024 + rng.below(15360)
                                    : pick < 93 ? 16384 + rng.below(100000)
                                                : 0;
        Bytes event = {0xFF, 0x2F, 0x00};
        bool omitted = false;
        if (i < count && rng.chance(97)) {
            const std::uint32_t status = running && rng.chance(75) ? running : statuses[rng.below(8)];
            event = cat({{std::uint8_t(status)}, rng.bytes((status & 0xE0) == 0xC0 ? 1 : 2)});
            omitted = status == running && rng.chance(70);
            for (std::size_t b = 1; b < event.size(); ++b) {
                if (omitted || b == event.size() - 1 ? rng.chance(90) : rng.chance(95)) event[b] &= 0x7F;
            }
            if (omitted) event[1] &= 0x7F;  // else it would read as a status
            running = status;
        } else if (i < count) {
            event = rng.chance(50) ? cat({{0xF0, 0x03}, rng.bytes(3)}) : Bytes{0xFF, 0x01, 0x02, 'l', 'a'};
            running = 0;
        }
        withoutStatus += omitted ? 1 : 0;
        // End of Track as 00 FF 2F 00, for the broken endings below.
        track = cat({track, i == count ? Bytes{0} : rng.varLen(delta), Bytes(event.begin() + omitted, event.end())});
        expected.emplace_back(tick += delta, event);
    }
    return track;
}

}  // namespace

// Long tracks go through the reader's fast path, which asks the running-status rule once per
// status; appending the same events one by one asks it for each. Both must read and write
// alike, and what they write must read back as the events. Then an invalid event after a
// long valid stretch is found where it is.
TEST(Property, LongTracksReadAsTheirEventsAppendedOneByOne) {
    Rng rng{7};
    for (int i = 0; i < 12; ++i) {
        std::vector<Events> expected(1 + rng.below(3));
        std::uint64_t withoutStatus = 0;
        std::vector<Bytes> tracks;
        for (Events& events : expected) tracks.push_back(generateLongTrack(rng, events, withoutStatus));
        Bytes input = header(1, int(tracks.size()), 96);
        for (const Bytes& track : tracks) input = cat({input, chunk("MTrk", track)});
        smf::SmfReader reader;
        smf::Song song;
        ASSERT_TRUE(reader.parse(input.data(), std::uint32_t(input.size()), song, false))
            << smf::describeParseRule(reader.failure().rule);
        EXPECT_EQ(reader.summary().runningStatusEvents, withoutStatus) << "case " << i;
        smf::Song appended;
        ASSERT_TRUE(appended.setDivision(96) && appended.setFormat(1));
        for (std::uint32_t t = 0; t < song.trackCount(); ++t) {
            ASSERT_EQ(eventsOf(song.tracks()[t]), expected[t]) << "case " << i;
            smf::Track& track = appended.appendTrack();
            for (const auto& [tick, bytes] : expected[t]) {
                smf::TrackEvent event;
                event.tick = tick;
                event.bytes.assignAt(bytes.data(), std::uint32_t(bytes.size()), 0);
                track.appendEvent(event);
            }
            for (bool runningStatus : {true, false}) {
                EXPECT_EQ(song.tracks()[t].writtenEventBytes(runningStatus), track.writtenEventBytes(runningStatus))
                    << "case " << i;
            }
        }
        // What is written reads back as the same events, with and without running status.
        for (bool runningStatus : {true, false}) {
            const Bytes written = write(song, runningStatus);
            EXPECT_EQ(written, write(appended, runningStatus)) << "case " << i;
            smf::Song again;
            ASSERT_TRUE(reader.parse(written.data(), std::uint32_t(written.size()), again, false)) << "case " << i;
            for (std::uint32_t t = 0; t < again.trackCount(); ++t)
                EXPECT_EQ(eventsOf(again.tracks()[t]), expected[t]) << "case " << i;
        }

        // The last track's End of Track becomes, in turn: a data byte after a meta event, a
        // status not allowed, a five-byte delta-time, an event past the end of the file, and
        // an event past the end of its chunk.
        const std::uint32_t eot = std::uint32_t(input.size()) - 4;
        const Bytes meta = {0x00, 0xFF, 0x01, 0x00};
        const struct {
            Bytes ending;
            std::uint32_t chunkGrowth;
            smf::ParseRule rule;
            std::uint32_t offset;
        } broken[] = {
            {cat({meta, {0x00, 0x3C, 0x40}}), 7, smf::ParseRule::MissingRunningStatus, eot + 5},
            {{0x00, 0xF4, 0x00, 0xFF, 0x2F, 0x00}, 2, smf::ParseRule::StatusNotAllowed, eot + 1},
            {{0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x40}, 4, smf::ParseRule::VarLenTooLong, eot},
            {{0x00, 0x90, 0x3C}, 0, smf::ParseRule::EventTruncated, eot + 1},
            {{0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00}, 0, smf::ParseRule::MissingEndOfTrack, eot + 4},
        };
        for (const auto& b : broken) {
            Bytes bad = cat({Bytes(input.begin(), input.end() - 4), b.ending});
            const Bytes length = be(std::uint32_t(tracks.back().size()) + b.chunkGrowth, 4);
            std::copy(length.begin(), length.end(), bad.begin() + (input.size() - tracks.back().size() - 4));
            EXPECT_FALSE(reader.parse(bad.data(), std::uint32_t(bad.size()), song, false));
            EXPECT_EQ(reader.failure().rule, b.rule) << "case " << i << ": " << smf::describeParseRule(b.rule);
            EXPECT_EQ(reader.failure().offset, b.offset) << "case " << i << ": " << smf::describeParseRule(b.rule);
            EXPECT_EQ(reader.failure().chunkIndex, song.trackCount() - 1) << "case " << i;
        }
    }
}

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
        ASSERT_TRUE(reader.parse(input.data(), std::uint32_t(input.size()), song, true))
            << smf::describeParseRule(reader.failure().rule);
        ASSERT_EQ(song.trackCount(), expected.size()) << "case " << i;
        for (std::uint32_t t = 0; t < song.trackCount(); ++t)
            ASSERT_EQ(eventsOf(song.tracks()[t]), expected[t]) << "case " << i;
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
