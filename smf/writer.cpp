// SmfWriter: size plan, then one pass that fills an output allocated at its final size.
#include "smf/writer.h"

#include <cstring>
#include <new>

#include "smf/byte_order.h"

namespace smf {

namespace {

constexpr std::uint32_t kHeaderChunkSize = 14;
constexpr std::uint32_t kChunkHeaderSize = 8;

// The status an event leaves behind for the next one: its first byte. An event without
// bytes (never produced by the reader) counts as no status, so both passes agree on it.
inline std::uint8_t statusOf(const TrackEvent& event) noexcept {
    return event.bytes.length() != 0 ? event.bytes.data()[0] : 0;
}

// The running-status test: a channel status equal to the previous status is left out,
// but only before a data byte. The reader keeps channel data bytes as they are, bit 7
// included; were the status dropped before such a byte, the next reading would take it
// for a status and the rewritten file would mean something else or not parse at all.
inline bool omitStatus(bool runningStatus, const TrackEvent& event, std::uint8_t status,
                       std::uint8_t previous) noexcept {
    return runningStatus && status == previous && status >= 0x80 && status < 0xF0 &&
           event.bytes.length() >= 2 && event.bytes.data()[1] < 0x80;
}

// Bytes of one track chunk, counted in 64 bits so that a song too large for the file
// format is noticed instead of wrapping.
std::uint64_t planTrack64(const Track& track, bool runningStatus) noexcept {
    std::uint64_t size = kChunkHeaderSize;
    std::uint32_t previousTick = 0;
    std::uint8_t previousStatus = 0;
    for (const TrackEvent& event : track.events()) {
        const std::uint8_t status = statusOf(event);
        size += varLenSize(event.tick - previousTick) + event.bytes.length();
        size -= omitStatus(runningStatus, event, status, previousStatus) ? 1 : 0;
        previousStatus = status;
        previousTick = event.tick;
    }
    return size;
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

    // 4. Track chunks. The plan fixed every byte count, so events are copied straight into
    // the storage: the plan and these copies use the same delta, size and status test.
    std::uint8_t* const out = output.data();
    auto plannedSize = trackSizes.begin();
    for (const Track& track : song.tracks()) {
        putBytes(output, "MTrk", 4, position);
        word = *plannedSize++ - kChunkHeaderSize;
        toBigEndian32(word);
        putBytes(output, &word, 4, position);

        std::uint8_t* p = out + position;
        std::uint32_t previousTick = 0;
        std::uint8_t previousStatus = 0;
        for (const TrackEvent& event : track.events()) {
            p += encodeVarLen(event.tick - previousTick, p);
            const std::uint8_t status = statusOf(event);
            const std::uint32_t skipped = omitStatus(runningStatus, event, status, previousStatus) ? 1 : 0;
            const std::uint32_t count = event.bytes.length() - skipped;
            const std::uint8_t* bytes = event.bytes.data() + skipped;
            std::memcpy(p, bytes, count);
            p += count;
            previousStatus = status;
            previousTick = event.tick;
        }
        position = static_cast<std::uint32_t>(p - out);
        output.resize(position);   // as a put of these bytes would have left it
    }
    // 5. The output's length is the total.
    return total;
}

}  // namespace smf
