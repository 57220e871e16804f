// Helpers for the MIDI core's tests: files built from pieces, Songs read back, and the
// reader/writer invariants that the property pass and the fuzz target share.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "smf/reader.h"
#include "smf/writer.h"

namespace smf_test {

using Bytes = std::vector<std::uint8_t>;
using Events = std::vector<std::pair<std::uint32_t, Bytes>>;

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}
inline Bytes repeat(const Bytes& part, int n) {
    return n ? cat({part, repeat(part, n - 1)}) : Bytes{};
}
inline Bytes be(std::uint32_t value, int n) {
    return n ? cat({be(value >> 8, n - 1), {std::uint8_t(value)}}) : Bytes{};
}
inline Bytes chunk(const char* type, const Bytes& data) {
    return cat({Bytes(type, type + 4), be(std::uint32_t(data.size()), 4), data});
}
inline Bytes header(int format, int tracks, int division) {
    return chunk("MThd", cat({be(format, 2), be(tracks, 2), be(division, 2)}));
}
// Format 1, division 96, one MTrk chunk per entry.
inline Bytes file(std::initializer_list<Bytes> tracks) {
    Bytes all = header(1, std::uint16_t(tracks.size()), 96);
    for (const Bytes& track : tracks) all = cat({all, chunk("MTrk", track)});
    return all;
}

inline Bytes contents(const smf::ByteBuffer& b) {
    return Bytes(b.data(), b.data() + b.length());
}
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

}  // namespace smf_test
