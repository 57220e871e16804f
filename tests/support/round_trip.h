// What the reader and writer must agree on for any input; the property pass and the fuzz
// target share it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "smf/reader.h"
#include "smf/writer.h"
#include "tests/support/samples.h"

namespace quorin_test {

using Events = std::vector<std::pair<std::uint32_t, Bytes>>;

inline Bytes contents(const smf::ByteBuffer& buffer) {
    return Bytes(buffer.data(), buffer.data() + buffer.length());
}

// The bytes song is written as; empty when the writer fails.
inline Bytes write(const smf::Song& song, bool runningStatus) {
    smf::ByteBuffer out;
    return smf::SmfWriter().writeSong(song, out, runningStatus) == out.length() ? contents(out) : Bytes{};
}

inline Events eventsOf(const smf::Track& track) {
    Events events;
    for (const smf::TrackEvent& e : track.events()) events.emplace_back(e.tick, contents(e.bytes));
    return events;
}

// Empty when all holds. Any input: failure() agrees with parse(). Input that parses: each
// write reads back as a plain file (no MacBinary, nothing left out) with the same chunks after
// its tracks, and the Song read back writes the same bytes with either option as the Song it
// came from.
inline std::string checkRoundTrip(const std::uint8_t* data, std::uint32_t size) {
    smf::SmfReader reader;
    smf::Song song;
    const bool ok = reader.parse(data, size, song, true);
    if (ok != (reader.failure().rule == smf::ParseRule::None)) return "failure() disagrees with parse()";
    const std::uint32_t kept = reader.summary().chunksAfterTracks.count;
    const Bytes direct[2] = {ok ? write(song, false) : Bytes{}, ok ? write(song, true) : Bytes{}};
    for (int from = 0; ok && from < 2; ++from) {
        const smf::ParseSummary& s = reader.summary();
        if (!reader.parse(direct[from].data(), std::uint32_t(direct[from].size()), song, false) || s.macBinary ||
            s.leftOutChunks.count != 0 || s.bytesAfterChunks != 0 || s.chunksAfterTracks.count != kept) {
            return "output " + std::to_string(from) + " does not read back as written";
        }
        if (write(song, false) != direct[0] || write(song, true) != direct[1])
            return "output " + std::to_string(from) + " rewrites otherwise";
    }
    return "";
}

}  // namespace quorin_test
