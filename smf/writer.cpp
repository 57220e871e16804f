// SmfWriter: size plan, then one pass that fills an output allocated at its final size.
// The plan comes from the sizes each Track keeps as it grows (see song.h).
#include "smf/writer.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "smf/byte_order.h"

namespace smf {

namespace {

constexpr std::uint32_t kHeaderChunkSize = 14;
constexpr std::uint32_t kChunkHeaderSize = 8;

// Bytes of one track chunk, in 64 bits so that a song too large for the file format is
// noticed instead of wrapping. The track keeps its event bytes up to date as it grows.
std::uint64_t planTrack64(const Track& track, bool runningStatus) noexcept {
    return kChunkHeaderSize + track.writtenEventBytes(runningStatus);
}

}  // namespace

void SmfWriter::putBytes(ByteBuffer& output, const void* source, std::uint32_t count,
                         std::uint32_t& position) {
    output.assignAt(static_cast<const std::uint8_t*>(source), count, position);
    position += count;
}

std::uint32_t SmfWriter::planTrackSize(const Track& track, bool runningStatus) {
    return static_cast<std::uint32_t>(planTrack64(track, runningStatus));
}

std::uint32_t SmfWriter::planSongSize(const Song& song, bool runningStatus,
                                      std::vector<std::uint32_t>& trackSizes) {
    trackSizes.clear();
    trackSizes.reserve(song.trackCount());
    std::uint64_t total = kHeaderChunkSize;
    for (const Track& track : song.tracks()) {
        const std::uint64_t size = planTrack64(track, runningStatus);
        total += size;
        if (total > 0xFFFFFFFFu) throw std::bad_alloc();
        trackSizes.push_back(static_cast<std::uint32_t>(size));
    }
    return static_cast<std::uint32_t>(total);
}

std::uint32_t SmfWriter::writeSong(const Song& song, ByteBuffer& output, bool runningStatus) {
    // 1. Plan every chunk (output is untouched if this throws).
    std::vector<std::uint32_t> trackSizes;
    const std::uint32_t total = planSongSize(song, runningStatus, trackSizes);

    // 2. Storage of exactly the total.
    output.resize(0);
    output.resize(total);

    // 3. Header chunk.
    std::uint32_t position = 0;
    putBytes(output, "MThd", 4, position);
    std::uint32_t word = 6;
    toBigEndian32(word);
    putBytes(output, &word, 4, position);
    std::uint16_t half = song.format();
    toBigEndian16(half);
    putBytes(output, &half, 2, position);
    half = static_cast<std::uint16_t>(song.trackCount());
    toBigEndian16(half);
    putBytes(output, &half, 2, position);
    half = song.division();
    toBigEndian16(half);
    putBytes(output, &half, 2, position);

    // 4. Track chunks. Events are copied straight into the storage; each track stays
    // within its planned size, or the program stops rather than write a corrupt file.
    std::uint8_t* const out = output.data();
    const std::uint8_t* const outEnd = out + total;
    auto plannedSize = trackSizes.begin();
    for (const Track& track : song.tracks()) {
        const std::uint32_t eventBytes = *plannedSize++ - kChunkHeaderSize;
        putBytes(output, "MTrk", 4, position);
        word = eventBytes;
        toBigEndian32(word);
        putBytes(output, &word, 4, position);

        std::uint8_t* p = out + position;
        std::uint8_t* const trackEnd = p + eventBytes;
        std::uint32_t previousTick = 0;
        std::uint8_t previousStatus = 0;
        for (const TrackEvent& event : track.events()) {
            const ByteBuffer& bytes = event.bytes;
            const std::uint32_t delta = event.tick - previousTick;
            previousTick = event.tick;
            const std::size_t room = static_cast<std::size_t>(trackEnd - p);
            if (bytes.isInline() && static_cast<std::size_t>(outEnd - p) >= 4 + ByteBuffer::kInlineCapacity) {
                // omitsStatus() and statusOf() spelt out without branches, then fixed-size
                // stores; the bytes past this event's end are overwritten next.
                const std::uint32_t length = bytes.inlineLength();
                const std::uint8_t first = bytes.inlineByte(0);
                const std::uint32_t skipped = static_cast<std::uint32_t>(runningStatus) & (length >= 2) &
                                              (first == previousStatus) &
                                              (static_cast<std::uint8_t>(first - 0x80) < 0x70) &
                                              (bytes.inlineByte(1) < 0x80);
                const std::uint32_t count = length - skipped;
                if (count + 4 > room && count + varLenSize(delta) > room) std::abort();
                p += encodeVarLenPadded(delta, p);
                bytes.copyInlinePadded(p, skipped);
                p += count;
                previousStatus = length != 0 ? first : 0;
            } else {
                const std::uint32_t skipped = omitsStatus(runningStatus, event, previousStatus) ? 1 : 0;
                const std::uint32_t count = bytes.length() - skipped;
                if (count > room || varLenSize(delta) > room - count) std::abort();
                p += encodeVarLen(delta, p);
                std::memcpy(p, bytes.data() + skipped, count);
                p += count;
                previousStatus = statusOf(event);
            }
        }
        if (p != trackEnd) std::abort();
        position += eventBytes;
        output.resize(position);   // as a put of these bytes would have left it
    }
    // 5. The output's length is the total.
    return total;
}

}  // namespace smf
