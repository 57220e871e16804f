// SmfWriter: size plan, then one pass that fills an output allocated at its final size.
// The plan comes from the sizes each Track keeps as it grows; the pass leaves out the status
// bytes that those sizes left out, by the verdict the track keeps with each event (song.h),
// so they count the same bytes.
#include "smf/writer.h"

#include <cstring>
#include <new>

#include "smf/byte_order.h"

namespace smf {

namespace {

constexpr std::uint32_t kHeaderChunkSize = 14;
constexpr std::uint32_t kChunkHeaderSize = 8;
constexpr std::uint32_t kMaxVarLen = 4;
constexpr std::uint32_t kShortEvent = 3;
// A slot's event written: at most 2 bytes of delta-time (below 1024) and 3 of event; its
// fixed-size stores reach 6 bytes from where it begins (2 for the delta-time, then 4).
constexpr std::uint32_t kLongestSlot = 5;
constexpr std::uint32_t kSlotReach = 6;

// The variable-length quantity of each delta-time that a slot holds: its 1 or 2 bytes from
// bit 0 on, first byte first, and their count in bits 16-23.
struct ShortVarLenTable {
    constexpr ShortVarLenTable() : entries() {
        for (std::uint32_t value = 0; value < EventCursor::kSlotDeltaLimit; ++value) {
            entries[value] = value < 0x80 ? value | 1u << 16 : (0x80 | value >> 7) | (value & 0x7F) << 8 | 2u << 16;
        }
    }
    std::uint32_t entries[EventCursor::kSlotDeltaLimit];
};
constexpr ShortVarLenTable kShortVarLen;

// Bytes of one track chunk, in 64 bits so that a song too large for the file format is
// noticed instead of wrapping.
std::uint64_t plannedChunkSize(const Track& track, bool runningStatus) noexcept {
    return kChunkHeaderSize + track.writtenEventBytes(runningStatus);
}

// The total of every chunk, those after the tracks included; throws std::bad_alloc when it
// does not fit in 32 bits.
std::uint32_t plannedTotal(const Song& song, bool runningStatus, std::vector<std::uint32_t>* trackSizes) {
    std::uint64_t total = kHeaderChunkSize;
    for (const Track& track : song.tracks()) {
        const std::uint64_t size = plannedChunkSize(track, runningStatus);
        total += size;
        if (total > 0xFFFFFFFFu) throw std::bad_alloc();
        if (trackSizes) trackSizes->push_back(static_cast<std::uint32_t>(size));
    }
    total += song.chunksAfterTracks().length();
    if (total > 0xFFFFFFFFu) throw std::bad_alloc();
    return static_cast<std::uint32_t>(total);
}

}  // namespace

void SmfWriter::putBytes(ByteBuffer& output, const void* source, std::uint32_t count, std::uint32_t& position) {
    output.assignAt(static_cast<const std::uint8_t*>(source), count, position);
    position += count;
}

std::uint32_t SmfWriter::planSongSize(const Song& song, bool runningStatus, std::vector<std::uint32_t>& trackSizes) {
    trackSizes.clear();
    trackSizes.reserve(song.trackCount());
    return plannedTotal(song, runningStatus, &trackSizes);
}

// The event loop inlines everything it calls, the reading of the track's records included.
#if defined(__GNUC__)
__attribute__((flatten))
#endif
std::uint32_t
SmfWriter::writeSong(const Song& song, ByteBuffer& output, bool runningStatus) {
    // 1. Plan the total (output is untouched if this throws).
    const std::uint32_t total = plannedTotal(song, runningStatus, nullptr);

    // 2. Storage of exactly the total.
    output.resize(0);
    output.resize(total);

    // 3. Header chunk; the track count has its 16 bits because the reader never makes more.
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

    // 4. Track chunks, each length field filled in from the bytes its events took. With
    // room to spare, events go straight into the storage: slots, nearly all events, in a loop
    // of their own with fixed-size stores; other events one at a time, the delta-time with
    // one fixed-size store. The last few go through putBytes, which would also grow the
    // storage if the plan were short.
    std::uint8_t* out = output.data();
    std::uint32_t capacity = output.capacity();
    const std::uint32_t keepOmitted = runningStatus ? 1 : 0;  // status bytes left out as their events say
    for (const Track& track : song.tracks()) {
        const std::uint32_t chunkAt = position;
        putBytes(output, "MTrk\0\0\0\0", 8, position);
        EventCursor cursor(track);
        for (;;) {
            // Slots, as many as surely fit: each takes at most kLongestSlot bytes, and its
            // stores reach kSlotReach bytes from where it begins.
            const std::uint32_t room = capacity - position;
            if (room >= kSlotReach) {
                std::uint8_t* p = out + position;
                const std::uint32_t limit = (room - kSlotReach) / kLongestSlot + 1;
                const auto writeSlot = [&](std::uint32_t delta, std::uint32_t bytes, std::uint32_t length,
                                           std::uint32_t statusOmitted) {
                    const std::uint32_t omitted = statusOmitted & keepOmitted;
                    const std::uint32_t varLen = kShortVarLen.entries[delta];
                    storeLittleEndian16(p, static_cast<std::uint16_t>(varLen));
                    p += varLen >> 16;
                    storeLittleEndian32(p, bytes >> (8 * omitted));
                    p += length - omitted;
                };
                const std::uint32_t written = cursor.nextSlots(limit, writeSlot);
                position = static_cast<std::uint32_t>(p - out);
                if (written != 0) continue;
            }
            // Then one event, whatever it is.
            EventView event;
            if (!cursor.next(event)) break;
            const std::uint32_t length = event.length;
            const std::uint32_t omitted = event.statusOmitted & keepOmitted;
            if (room >= kMaxVarLen && room - kMaxVarLen >= length) {
                std::uint8_t* p = out + position;
                p += encodeVarLenPadded(event.delta, p);
                if (length != 0) {
                    p[0] = event.bytes[0];
                    p += 1 - omitted;
                    if (length > kShortEvent) {
                        std::memcpy(p, event.rest, length - 1);
                    } else {
                        for (std::uint32_t i = 1; i < length; ++i) p[i - 1] = event.bytes[i];
                    }
                    p += length - 1;
                }
                position = static_cast<std::uint32_t>(p - out);
            } else {
                std::uint8_t delta[kMaxVarLen];
                putBytes(output, delta, encodeVarLen(event.delta, delta), position);
                if (length != 0) {
                    const std::uint8_t bytes[3] = {event.bytes[0], event.bytes[1], event.bytes[2]};
                    if (!omitted) putBytes(output, bytes, 1, position);
                    putBytes(output, length > kShortEvent ? event.rest : bytes + 1, length - 1, position);
                }
                out = output.data();
                capacity = output.capacity();
            }
        }
        storeBigEndian32(out + chunkAt + 4, position - chunkAt - kChunkHeaderSize);
    }
    // 5. The chunks that followed the tracks, as they were.
    const ByteBuffer& after = song.chunksAfterTracks();
    putBytes(output, after.data(), after.length(), position);
    // 6. The output's length is the count of bytes written.
    output.resize(position);
    return position;
}

}  // namespace smf
