// The reader/writer invariants shared by the property tests and the fuzz target. Returns
// an empty string when they hold, else what broke.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "smf/reader.h"
#include "smf/writer.h"

namespace smf_test {

// Walks the chunks of writer output: one "MThd" of 6 bytes naming trackCount tracks, then
// trackCount "MTrk" chunks whose lengths end exactly at the end of the output.
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

// For input that parses: both writes have exact chunk lengths; rereading either write and
// writing with either option gives the direct write with that option; parse leaves the
// input alone. Input that does not parse only has to leave the input alone.
inline std::string checkRoundTrip(const std::uint8_t* data, std::uint32_t size) {
    const std::vector<std::uint8_t> original(data, data + size);
    smf::SmfReader reader;
    smf::SmfWriter writer;
    smf::Song song;
    const bool ok = reader.parse(data, size, song, true);
    if (size != 0 && std::memcmp(original.data(), data, size) != 0) return "parse modified its input";
    if (ok != (reader.failure().rule == smf::ParseRule::None)) return "failure() disagrees with parse()";
    if (!ok) return "";

    smf::ByteBuffer direct[2];
    for (int rs = 0; rs < 2; ++rs) {
        const std::uint32_t total = writer.writeSong(song, direct[rs], rs != 0);
        const std::string chunks = checkChunks(direct[rs], total, song.trackCount());
        if (!chunks.empty()) return chunks;
    }
    for (int from = 0; from < 2; ++from) {
        smf::Song again;
        if (!reader.parse(direct[from].data(), direct[from].length(), again, false)) {
            return std::string("writer output does not parse: ") + smf::describeParseRule(reader.failure().rule);
        }
        for (int to = 0; to < 2; ++to) {
            smf::ByteBuffer out;
            writer.writeSong(again, out, to != 0);
            if (out.length() != direct[to].length() ||
                std::memcmp(out.data(), direct[to].data(), out.length()) != 0) {
                return "rewriting output with option " + std::to_string(from) + " then " +
                       std::to_string(to) + " differs from the direct write";
            }
        }
    }
    return "";
}

}  // namespace smf_test
