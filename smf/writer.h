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
    // Replaces output's content with the SMF bytes of song and returns the planned total,
    // which equals output.length(). With runningStatus, a channel status byte equal to the
    // previous event's status in the same track is left out, unless the byte after it has
    // bit 7 set (it would then read back as a status).
    //
    // Out of memory: std::bad_alloc propagates; output is then empty or unchanged. A song
    // whose file would not fit in 2^32 - 1 bytes is reported the same way.
    std::uint32_t writeSong(const Song& song, ByteBuffer& output, bool runningStatus);

    // 14 plus the planned size of every track; trackSizes receives one entry per track.
    static std::uint32_t planSongSize(const Song& song, bool runningStatus,
                                      std::vector<std::uint32_t>& trackSizes);
    // 8 plus the planned size of every event of the track.
    static std::uint32_t planTrackSize(const Track& track, bool runningStatus);

private:
    // Places count bytes from source at position with assignAt (output's length becomes
    // position + count, its storage growing to exactly that if smaller) and advances position.
    static void putBytes(ByteBuffer& output, const void* source, std::uint32_t count,
                         std::uint32_t& position);
};

}  // namespace smf
