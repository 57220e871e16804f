// SmfWriter: serialises a Song as a Standard MIDI File, with or without running status,
// planning the exact size first so that the output is allocated once.
#pragma once

#include <cstdint>
#include <vector>

#include "smf/byte_buffer.h"
#include "smf/song.h"

namespace smf {

class SmfWriter {
public:
    // Replaces output's content with the SMF bytes of song and returns their count, which
    // equals output.length() and the planned total of planSongSize: the header chunk (its
    // track count the song's number of tracks), the track chunks, then the song's chunks
    // after the tracks unchanged. With runningStatus, status bytes are left out as
    // EventLayout (song.h) says; never inside the chunks after the tracks.
    //
    // Out of memory: std::bad_alloc propagates; output is then empty or unchanged. A song
    // whose file would not fit in 2^32 - 1 bytes is reported the same way.
    std::uint32_t writeSong(const Song& song, ByteBuffer& output, bool runningStatus);

    // 14 plus the planned size of every track chunk (8 plus its events as written) plus the
    // chunks after the tracks; trackSizes receives one entry per track. Throws
    // std::bad_alloc when the total does not fit in 32 bits.
    static std::uint32_t planSongSize(const Song& song, bool runningStatus, std::vector<std::uint32_t>& trackSizes);

private:
    // Places count bytes from source at position with assignAt (output's length becomes
    // position + count, its storage growing to exactly that if smaller) and advances position.
    static void putBytes(ByteBuffer& output, const void* source, std::uint32_t count, std::uint32_t& position);
};

}  // namespace smf
