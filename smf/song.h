// The in-memory form of one Standard MIDI File: format, division, and per track its events
// as absolute ticks plus complete event bytes (status byte first, running status undone).
#pragma once

#include <cstdint>
#include <deque>

#include "smf/byte_buffer.h"
#include "smf/byte_order.h"

namespace smf {

struct TrackEvent {
    std::uint32_t tick = 0;   // absolute ticks from the track's start, modulo 2^32
    ByteBuffer bytes;         // the complete event, status byte first
};

// The running-status test of the writer: with runningStatus, an event's status byte is
// left out when it is a channel status equal to the previous event's status (previous:
// the first byte of the event before it in the track, 0 before the first). It is kept
// before a first data byte with bit 7 set: the reader keeps channel data bytes as they
// are, and a status dropped before such a byte would read back as that byte.
inline bool omitsStatus(bool runningStatus, const TrackEvent& event, std::uint8_t previous) noexcept {
    const ByteBuffer& b = event.bytes;
    return runningStatus && b.length() >= 2 && b[0] == previous && previous >= 0x80 &&
           previous < 0xF0 && b[1] < 0x80;
}

// The status an event leaves behind for the next one: its first byte (0 for no bytes).
inline std::uint8_t statusOf(const TrackEvent& event) noexcept {
    return event.bytes.length() != 0 ? event.bytes[0] : 0;
}

// Events in file order, held by value. A deque never moves its elements as it grows, so a
// track of millions of events costs no reallocation copies and no doubling overshoot.
//
// The track also keeps the bytes its events take in a file, with and without running
// status (delta-times from consecutive ticks, minimal encodings), updated on every
// append, so that the writer plans a file's size without a pass over its events.
class Track {
public:
    using Events = std::deque<TrackEvent>;

    // Appends a copy of the event (its bytes an exact-fit copy). Throws std::bad_alloc and
    // then leaves the track as it was.
    void appendEvent(const TrackEvent& event) {
        events_.push_back(event);
        account(events_.back());
    }

    // Appends the channel message {status, data[0, dataCount)} at tick; status 0x80-0xEF,
    // dataCount 1 or 2. Only the track's own list can run out of memory (and then the
    // track is left as it was).
    void appendChannelEvent(std::uint32_t tick, std::uint8_t status, const std::uint8_t* data,
                            std::uint32_t dataCount) {
        TrackEvent& event = events_.emplace_back();
        event.tick = tick;
        event.bytes.assignChannelMessage(status, data, dataCount);
        // As account() would: the status goes when it repeats before a true data byte.
        const std::uint32_t size = varLenSize(tick - lastTick_) + 1 + dataCount;
        bytesWithoutRunningStatus_ += size;
        bytesWithRunningStatus_ += size - (status == lastStatus_ && data[0] < 0x80 ? 1 : 0);
        lastTick_ = tick;
        lastStatus_ = status;
    }

    const Events& events() const noexcept { return events_; }
    std::uint32_t eventCount() const noexcept { return static_cast<std::uint32_t>(events_.size()); }

    // Bytes of all events as written, deltas included, without the chunk header.
    std::uint64_t writtenEventBytes(bool runningStatus) const noexcept {
        return runningStatus ? bytesWithRunningStatus_ : bytesWithoutRunningStatus_;
    }

private:
    void account(const TrackEvent& event) noexcept {
        const std::uint32_t delta = event.tick - lastTick_;
        const std::uint32_t size = varLenSize(delta) + event.bytes.length();
        bytesWithoutRunningStatus_ += size;
        bytesWithRunningStatus_ += size - (omitsStatus(true, event, lastStatus_) ? 1 : 0);
        lastTick_ = event.tick;
        lastStatus_ = statusOf(event);
    }

    Events events_;
    std::uint64_t bytesWithRunningStatus_ = 0;
    std::uint64_t bytesWithoutRunningStatus_ = 0;
    std::uint32_t lastTick_ = 0;
    std::uint8_t lastStatus_ = 0;
};

enum class DivisionKind : std::uint8_t {
    Metrical = 0,  // bit 15 clear: ticks per quarter note
    Smpte24 = 1,   // upper byte 0xE8 (-24)
    Smpte25 = 2,   // upper byte 0xE7 (-25)
    Smpte29 = 3,   // upper byte 0xE3 (-29)
    Smpte30 = 4,   // upper byte 0xE2 (-30)
    Invalid = 5,   // any other upper byte 0x80-0xFF
};

DivisionKind divisionKind(std::uint16_t division) noexcept;

// Owns its tracks by value. After a failed parse only reset() or destruction may be used.
// Out of memory: appendTrack() throws std::bad_alloc; the Song stays safe to reset or destroy.
class Song {
public:
    using Tracks = std::deque<Track>;

    Song() = default;
    Song(const Song&) = delete;
    Song& operator=(const Song&) = delete;

    void reset() noexcept;                      // format 0, division 0, no tracks
    bool setFormat(std::uint16_t format) noexcept;       // false (unchanged) above 2
    bool setDivision(std::uint16_t division) noexcept;   // false (unchanged) when Invalid
    Track& appendTrack();

    std::uint16_t format() const noexcept { return format_; }
    std::uint16_t division() const noexcept { return division_; }
    std::uint32_t trackCount() const noexcept { return static_cast<std::uint32_t>(tracks_.size()); }
    const Tracks& tracks() const noexcept { return tracks_; }

private:
    std::uint16_t format_ = 0;
    std::uint16_t division_ = 0;
    Tracks tracks_;
};

}  // namespace smf
