// Helpers for the MIDI core's tests: building files from pieces, reading Songs back, and
// the reader/writer invariants that the property tests and the fuzz target share.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
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

inline Bytes chunk(const char* type, const Bytes& data) {
    const std::uint32_t n = std::uint32_t(data.size());
    return cat({Bytes(type, type + 4), {std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)}, data});
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

inline Bytes contents(const smf::ByteBuffer& b) { return Bytes(b.data(), b.data() + b.length()); }

inline Events eventsOf(const smf::Track& track) {
    Events events;
    for (const smf::TrackEvent& e : track.events()) events.emplace_back(e.tick, contents(e.bytes));
    return events;
}

inline Bytes write(const smf::Song& song, bool runningStatus) {
    smf::ByteBuffer out;
    smf::SmfWriter().writeSong(song, out, runningStatus);
    return contents(out);
}

// The invariant checks return an empty string when they hold, else what broke.
// Writer output is one "MThd" of 6 bytes naming trackCount tracks, then trackCount "MTrk"
// chunks whose lengths end exactly at the end of the output, whose length is total.
inline std::string checkChunks(const smf::ByteBuffer& out, std::uint32_t total, std::uint32_t trackCount) {
    if (out.length() != total) return "output length differs from the returned total";
    const std::uint8_t* p = out.data();
    if (total < 14 || std::memcmp(p, "MThd\0\0\0\x06", 8) != 0) return "bad header chunk";
    if (((p[10] << 8) | p[11]) != int(trackCount & 0xFFFF)) return "header track count differs";
    std::uint64_t at = 14;
    for (std::uint32_t i = 0; i < trackCount; ++i) {
        if (at + 8 > total || std::memcmp(p + at, "MTrk", 4) != 0) return "missing track chunk";
        at += 8 + ((std::uint32_t(p[at + 4]) << 24) | (p[at + 5] << 16) | (p[at + 6] << 8) | p[at + 7]);
    }
    return at == total ? "" : "chunk lengths do not add up to the output";
}

// Any input: parse leaves it alone and failure() agrees with the result. Input that
// parses: both writes have exact chunks, and rereading either write and writing it with
// either option gives the direct write with that option.
inline std::string checkRoundTrip(const std::uint8_t* data, std::uint32_t size) {
    const std::vector<std::uint8_t> original(data, data + size);
    smf::SmfReader reader;
    smf::Song song;
    const bool ok = reader.parse(data, size, song, true);
    if (size != 0 && std::memcmp(original.data(), data, size) != 0) return "parse modified its input";
    if (ok != (reader.failure().rule == smf::ParseRule::None)) return "failure() disagrees with parse()";
    if (!ok) return "";

    smf::SmfWriter writer;
    smf::ByteBuffer direct[2];
    for (int rs = 0; rs < 2; ++rs) {
        const std::string chunks = checkChunks(direct[rs], writer.writeSong(song, direct[rs], rs != 0), song.trackCount());
        if (!chunks.empty()) return chunks;
    }
    for (int from = 0; from < 2; ++from) {
        if (!reader.parse(direct[from].data(), direct[from].length(), song, false)) {
            return std::string("writer output does not parse: ") + smf::describeParseRule(reader.failure().rule);
        }
        for (int to = 0; to < 2; ++to) {
            smf::ByteBuffer out;
            writer.writeSong(song, out, to != 0);
            if (out.length() != direct[to].length() || std::memcmp(out.data(), direct[to].data(), out.length()) != 0) {
                return "writing output " + std::to_string(from) + " again with option " + std::to_string(to) +
                       " differs from the direct write";
            }
        }
    }
    return "";
}

}  // namespace smf_test
