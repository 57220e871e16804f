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
    // previous event's status in the same track is left out.
    //
    // Out of memory: std::bad_alloc propagates; output is then empty or unchanged.
    std::uint32_t writeSong(const Song& song, ByteBuffer& output, bool runningStatus);

    // 14 plus the planned size of every track; trackSizes receives one entry per track.
    static std::uint32_t planSongSize(const Song& song, bool runningStatus,
                                      std::vector<std::uint32_t>& trackSizes);
    // 8 plus the planned size of every event of the track.
    static std::uint32_t planTrackSize(const Track& track, bool runningStatus);
};

}  // namespace smf
