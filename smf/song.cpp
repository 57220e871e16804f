// Song model: division classification and the Song's checked setters.
#include "smf/song.h"

namespace smf {

DivisionKind divisionKind(std::uint16_t division) noexcept {
    switch (division >> 8) {
    case 0xE8: return DivisionKind::Smpte24;
    case 0xE7: return DivisionKind::Smpte25;
    case 0xE3: return DivisionKind::Smpte29;
    case 0xE2: return DivisionKind::Smpte30;
    default: return (division & 0x8000) ? DivisionKind::Invalid : DivisionKind::Metrical;
    }
}

void Song::reset() noexcept {
    format_ = 0;
    division_ = 0;
    tracks_.clear();
    chunksAfterTracks_ = ByteBuffer();
}

bool Song::setFormat(std::uint16_t format) noexcept {
    if (format > 2) return false;
    format_ = format;
    return true;
}

bool Song::setDivision(std::uint16_t division) noexcept {
    if (divisionKind(division) == DivisionKind::Invalid) return false;
    division_ = division;
    return true;
}

Track& Song::appendTrack() {
    return tracks_.emplace_back();
}

}  // namespace smf
