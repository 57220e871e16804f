// The in-memory form of one Standard MIDI File: format, division, per track its events as
// absolute ticks plus complete event bytes (status byte first, running status undone), and
// the whole chunks that followed the tracks, as they were.
#pragma once

#include <cstdint>
#include <deque>

#include "smf/byte_buffer.h"
#include "smf/byte_order.h"

namespace smf {

struct TrackEvent {
    TrackEvent() = default;
    // The event {status, rest[0, restCount)} at eventTick. Out of memory: throws std::bad_alloc.
    TrackEvent(std::uint32_t eventTick, std::uint8_t status, const std::uint8_t* rest, std::uint32_t restCount)
        : tick(eventTick), bytes(status, rest, restCount) {}

    std::uint32_t tick = 0;   // absolute ticks from the track's start, modulo 2^32
    ByteBuffer bytes;         // the complete event, status byte first
};

// How one event of a track is written after the events before it: its delta-time, and
// whether running status leaves its status byte out. This is the running-status rule, in
// the one place where it is written: a Track plans its written size through it as events
// are appended, and the writer writes each event through it.
//
// The status byte goes when running status is on, it is a channel status (0x80-0xEF)
// equal to the first byte of the event before (0 before the first event of a track,
// whatever kind that event was), and the byte after it has bit 7 clear: the reader keeps
// channel data bytes as they are, and a status dropped before a byte with bit 7 set would
// read back as that byte.
class EventLayout {
public:
    struct Step {
        std::uint32_t delta;          // from the previous event's tick, modulo 2^32
        std::uint32_t omittedStatus;  // 1 when the status byte is left out, else 0
    };

    // The next event of the track: its tick, its first two bytes (0 for missing ones) and
    // its length.
    Step next(std::uint32_t tick, std::uint8_t status, std::uint8_t second, std::uint32_t length,
              bool runningStatus) noexcept {
        const bool omitted = runningStatus && length >= 2 && status == previousStatus_ &&
                             static_cast<std::uint8_t>(status - 0x80) < 0x70 && second < 0x80;
        const Step step{tick - previousTick_, omitted ? 1u : 0u};
        previousTick_ = tick;
        previousStatus_ = status;
        return step;
    }

    // Bytes the event of this step takes in the file: its delta-time and its bytes.
    static std::uint32_t writtenSize(const Step& step, std::uint32_t length) noexcept {
        return varLenSize(step.delta) + length - step.omittedStatus;
    }

private:
    std::uint32_t previousTick_ = 0;
    std::uint8_t previousStatus_ = 0;
};

// Events in file order, held by value. A deque never moves its elements as it grows, so a
// track of millions of events costs no reallocation copies and no doubling overshoot.
//
// The track also keeps the bytes its events take in a file, with and without running
// status, updated on every append, so that the writer plans a file's size without a pass
// over its events.
class Track {
public:
    using Events = std::deque<TrackEvent>;

    // Appends a copy of the event (its bytes an exact-fit copy).
    // Out of memory: throws std::bad_alloc and leaves the track as it was.
    void appendEvent(const TrackEvent& event) {
        events_.push_back(event);
        const ByteBuffer& bytes = event.bytes;
        const std::uint32_t length = bytes.length();
        account(event.tick, length != 0 ? bytes[0] : 0, length >= 2 ? bytes[1] : 0, length);
    }

    // Appends the event {status, rest[0, restCount)} at tick, its bytes an exact-fit copy.
    // Out of memory: throws std::bad_alloc and leaves the track as it was.
    void appendEvent(std::uint32_t tick, std::uint8_t status, const std::uint8_t* rest, std::uint32_t restCount) {
        events_.emplace_back(tick, status, rest, restCount);   // built in place: a throw adds nothing
        account(tick, status, restCount != 0 ? rest[0] : 0, restCount + 1);
    }

    const Events& events() const noexcept { return events_; }
    std::uint32_t eventCount() const noexcept { return static_cast<std::uint32_t>(events_.size()); }

    // Bytes of all events as written, deltas included, without the chunk header.
    std::uint64_t writtenEventBytes(bool runningStatus) const noexcept {
        return runningStatus ? bytesWithRunningStatus_ : bytesWithoutRunningStatus_;
    }

private:
    void account(std::uint32_t tick, std::uint8_t status, std::uint8_t second, std::uint32_t length) noexcept {
        const EventLayout::Step step = layout_.next(tick, status, second, length, true);
        const std::uint32_t size = EventLayout::writtenSize({step.delta, 0}, length);
        bytesWithoutRunningStatus_ += size;
        bytesWithRunningStatus_ += size - step.omittedStatus;
    }

    Events events_;
    EventLayout layout_;
    std::uint64_t bytesWithRunningStatus_ = 0;
    std::uint64_t bytesWithoutRunningStatus_ = 0;
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

// Owns its tracks by value, and the chunks after them as one block of bytes: the whole
// chunks that followed the chunks the header declared (XF karaoke data, a sequencer's
// settings track left out of the count, ...), in file order, written back after the tracks
// unchanged. After a failed parse only reset() or destruction may be used.
// Out of memory: appendTrack() and setChunksAfterTracks() throw std::bad_alloc; the Song
// stays safe to reset or destroy.
class Song {
public:
    using Tracks = std::deque<Track>;

    Song() = default;
    Song(const Song&) = delete;
    Song& operator=(const Song&) = delete;

    void reset() noexcept;                      // format 0, division 0, no tracks, no chunks after them
    bool setFormat(std::uint16_t format) noexcept;       // false (unchanged) above 2
    bool setDivision(std::uint16_t division) noexcept;   // false (unchanged) when Invalid
    Track& appendTrack();
    // The chunks after the tracks become an exact-fit copy of bytes[0, count) (a throw
    // leaves them as they were).
    void setChunksAfterTracks(const std::uint8_t* bytes, std::uint32_t count) {
        ByteBuffer copy;
        copy.assignAt(bytes, count, 0);
        chunksAfterTracks_ = static_cast<ByteBuffer&&>(copy);
    }

    std::uint16_t format() const noexcept { return format_; }
    std::uint16_t division() const noexcept { return division_; }
    std::uint32_t trackCount() const noexcept { return static_cast<std::uint32_t>(tracks_.size()); }
    const Tracks& tracks() const noexcept { return tracks_; }
    const ByteBuffer& chunksAfterTracks() const noexcept { return chunksAfterTracks_; }

private:
    std::uint16_t format_ = 0;
    std::uint16_t division_ = 0;
    Tracks tracks_;
    ByteBuffer chunksAfterTracks_;
};

}  // namespace smf
