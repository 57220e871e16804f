// Helpers for the MIDI core's tests: building files from pieces and reading Songs back.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "smf/reader.h"
#include "smf/writer.h"

namespace smf_test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

inline Bytes be32(std::uint32_t v) {
    return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
}

inline Bytes chunk(const char* type, const Bytes& data) {
    return cat({Bytes(type, type + 4), be32(std::uint32_t(data.size())), data});
}

inline Bytes header(std::uint16_t format, std::uint16_t tracks, std::uint16_t division) {
    return chunk("MThd", {std::uint8_t(format >> 8), std::uint8_t(format), std::uint8_t(tracks >> 8),
                          std::uint8_t(tracks), std::uint8_t(division >> 8), std::uint8_t(division)});
}

// Format 1, division 96, one MTrk chunk per entry.
inline Bytes file(std::initializer_list<Bytes> tracks) {
    Bytes all = header(1, std::uint16_t(tracks.size()), 96);
    for (const Bytes& track : tracks) all = cat({all, chunk("MTrk", track)});
    return all;
}

using Events = std::vector<std::pair<std::uint32_t, Bytes>>;

inline Events eventsOf(const smf::Track& track) {
    Events events;
    for (const smf::TrackEvent& e : track.events()) {
        events.emplace_back(e.tick, Bytes(e.bytes.data(), e.bytes.data() + e.bytes.length()));
    }
    return events;
}

inline Bytes write(const smf::Song& song, bool runningStatus) {
    smf::ByteBuffer out;
    smf::SmfWriter().writeSong(song, out, runningStatus);
    return Bytes(out.data(), out.data() + out.length());
}

}  // namespace smf_test
