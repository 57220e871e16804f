// The in-memory form of one Standard MIDI File: format, division, per track its events in
// file order (each an absolute tick and its complete bytes, status byte first, running
// status undone), and the whole chunks that followed the tracks, as they were.
//
// How a Track stores its events, and why. Files of hundreds of megabytes hold tens of
// millions of events of three or four bytes each, so an object and an allocation per event
// would cost several times the event itself and a release that walks them all. A track
// therefore packs its events one after the other into a few large blocks, sized from the
// track chunk it is read from: an event costs about the bytes it took in the file, an
// append is a few stores, and a release frees a few blocks. Each event is one record:
//   - its delta-time from the event before (the tick is the running sum), then
//   - a channel event of its usual length: its status byte and data bytes, the status
//     byte left out where running status leaves it out (EventLayout below, the rule the
//     writer follows), so the record is the event as written with running status;
//   - any other event (SysEx, meta, or anything built by hand): kWholeEvent, the count of
//     its bytes, and all its bytes.
// Deltas and counts are variable-length quantities of 1 to 5 bytes (the files' own form up
// to 0x0FFFFFFF). EventCursor reads the records back; nothing else knows their form.
#pragma once

#include <cstdint>
#include <deque>

#include "smf/byte_buffer.h"
#include "smf/byte_order.h"

namespace smf {

// One event with its own copy of its bytes: what a caller appends, or reads back.
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
// the one place where it is written: a Track stores and plans its events through it as they
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

// One event as a Track holds it, read in place: {status, rest[0, length - 1)}, or no bytes
// at all when length is 0. Valid until the track changes.
struct EventView {
    std::uint32_t tick;
    std::uint32_t length;       // bytes of the whole event
    std::uint8_t status;        // its first byte; 0 when length is 0
    const std::uint8_t* rest;   // the bytes after the first
};

class EventCursor;

// A track's events in file order, packed into blocks as described at the top of this file.
//
// The track also keeps the bytes its events take in a file, with and without running
// status, updated on every append, so that the writer plans a file's size without a pass
// over its events.
class Track {
public:
    Track() noexcept = default;
    Track(Track&& other) noexcept;
    Track& operator=(Track&& other) noexcept;
    Track(const Track&) = delete;
    Track& operator=(const Track&) = delete;
    ~Track() { release(); }

    // The events to come take about this many bytes in a file (a track chunk's length):
    // the blocks allocated for them from now on are sized to hold that much. Allocates nothing.
    void expectEventBytes(std::uint32_t bytes) noexcept { expected_ = bytes + bytes / 32 + 16; }

    // Appends a copy of the event.
    // Out of memory: throws std::bad_alloc and leaves the track as it was.
    void appendEvent(const TrackEvent& event) {
        const ByteBuffer& bytes = event.bytes;
        if (bytes.empty()) {
            appendSlow(event.tick, 0, nullptr, 0, false);
        } else {
            appendEvent(event.tick, bytes[0], bytes.data() + 1, bytes.length() - 1);
        }
    }

    // Appends a copy of the event {status, rest[0, restCount)} at tick.
    // Out of memory: throws std::bad_alloc and leaves the track as it was.
    void appendEvent(std::uint32_t tick, std::uint8_t status, const std::uint8_t* rest, std::uint32_t restCount) {
        if (restCount == channelDataCount(status) && end_ - put_ >= kLongestChannelRecord) {
            appendChannel(tick, status, rest, restCount);
        } else {
            appendSlow(tick, status, rest, restCount, true);
        }
    }

    // The events, each as a TrackEvent copy (for `for (const TrackEvent& e : track.events())`;
    // a copy of a long event may throw std::bad_alloc). EventCursor reads them without copies.
    class EventRange;
    EventRange events() const noexcept;
    std::uint32_t eventCount() const noexcept { return eventCount_; }

    // Bytes of all events as written, deltas included, without the chunk header.
    std::uint64_t writtenEventBytes(bool runningStatus) const noexcept {
        return runningStatus ? bytesWithRunningStatus_ : bytesWithoutRunningStatus_;
    }

private:
    friend class EventCursor;
    struct Block {
        Block* next;
        std::uint32_t used;       // bytes of records, once a later block follows
        std::uint32_t capacity;   // bytes for records; kReadSlack more follow them
    };
    // Bytes past a block's capacity that a reader may load without using (never written
    // with records), so that short events are copied with fixed-size moves.
    static constexpr std::uint32_t kReadSlack = 8;
    // The longest channel record: a 5-byte delta, the status and two data bytes.
    static constexpr std::ptrdiff_t kLongestChannelRecord = 8;
    // The head of a record that holds a whole event: never a channel status or data byte.
    static constexpr std::uint8_t kWholeEvent = 0xFF;

    // The data bytes of a channel event of this status (1 or 2); for any other first
    // byte, a count no event has.
    static std::uint32_t channelDataCount(std::uint8_t status) noexcept {
        if (static_cast<std::uint8_t>(status - 0x80) >= 0x70) return 0xFFFFFFFFu;
        return (status & 0xE0) == 0xC0 ? 1 : 2;
    }
    static std::uint8_t* bytesOf(const Block* block) noexcept {
        return reinterpret_cast<std::uint8_t*>(const_cast<Block*>(block) + 1);
    }
    // The stored form of a delta-time or count (1 to 5 bytes) at out; returns its size.
    static std::uint32_t storeCount(std::uint32_t value, std::uint8_t* out) noexcept {
        if (value <= 0x0FFFFFFFu) return encodeVarLenPadded(value, out);
        return storeLongCount(value, out);
    }
    static std::uint32_t storeLongCount(std::uint32_t value, std::uint8_t* out) noexcept;

    // Appends a channel event of its usual length; the caller made room for
    // kLongestChannelRecord bytes at put_.
    void appendChannel(std::uint32_t tick, std::uint8_t status, const std::uint8_t* rest, std::uint32_t restCount) noexcept {
        const EventLayout::Step step = layout_.next(tick, status, rest[0], restCount + 1, true);
        std::uint8_t* p = put_;
        p += storeCount(step.delta, p);
        *p = status;
        p += 1 - step.omittedStatus;
        p[0] = rest[0];
        if (restCount == 2) p[1] = rest[1];
        put_ = p + restCount;
        account(step, restCount + 1);
    }
    // Any event (no bytes at all when hasStatus is false), after making room for it.
    void appendSlow(std::uint32_t tick, std::uint8_t status, const std::uint8_t* rest, std::uint32_t restCount,
                    bool hasStatus);
    // Makes room for a record of size bytes at put_, in a new block if need be.
    void reserveRecord(std::uint64_t size);
    void account(const EventLayout::Step& step, std::uint32_t length) noexcept {
        ++eventCount_;
        bytesWithRunningStatus_ += EventLayout::writtenSize(step, length);
        bytesWithoutRunningStatus_ += EventLayout::writtenSize({step.delta, 0}, length);
    }
    // Where the records of block end.
    const std::uint8_t* endOf(const Block* block) const noexcept {
        return block == last_ ? put_ : bytesOf(block) + block->used;
    }
    void release() noexcept;

    Block* first_ = nullptr;
    Block* last_ = nullptr;
    std::uint8_t* put_ = nullptr;   // where the next record goes, in last_
    std::uint8_t* end_ = nullptr;   // the end of last_'s capacity
    std::uint64_t allocated_ = 0;   // capacity of all blocks
    std::uint64_t expected_ = 0;    // bytes still expected (expectEventBytes), for sizing blocks
    std::uint32_t eventCount_ = 0;
    EventLayout layout_;
    std::uint64_t bytesWithRunningStatus_ = 0;
    std::uint64_t bytesWithoutRunningStatus_ = 0;
};

// Reads a track's events in order, in place. The track must not change meanwhile.
class EventCursor {
public:
    explicit EventCursor(const Track& track) noexcept
        : track_(&track), block_(track.first_), at_(block_ ? Track::bytesOf(block_) : nullptr),
          end_(block_ ? track.endOf(block_) : nullptr) {}

    // The next event into event; false (event unchanged) after the last.
    bool next(EventView& event) noexcept {
        while (at_ == end_) {
            if (!block_ || !block_->next) return false;
            block_ = block_->next;
            at_ = Track::bytesOf(block_);
            end_ = track_->endOf(block_);
        }
        tick_ += loadCount();
        const std::uint8_t head = *at_;
        if (head != Track::kWholeEvent) {
            // A channel event: its status byte, or the previous event's where it was left out.
            const std::uint8_t status = head >= 0x80 ? head : previousStatus_;
            at_ += head >= 0x80;
            const std::uint32_t count = Track::channelDataCount(status);
            event = {tick_, count + 1, status, at_};
            at_ += count;
            previousStatus_ = status;
        } else {
            ++at_;
            const std::uint32_t length = loadCount();
            const std::uint8_t status = length != 0 ? at_[0] : 0;
            event = {tick_, length, status, at_ + 1};
            at_ += length;
            previousStatus_ = status;
        }
        return true;
    }

private:
    // A stored delta-time or count, 1 to 5 bytes.
    std::uint32_t loadCount() noexcept {
        std::uint32_t value = *at_++;
        if (value < 0x80) return value;
        value &= 0x7F;
        for (;;) {
            const std::uint32_t byte = *at_++;
            value = (value << 7) | (byte & 0x7F);
            if (byte < 0x80) return value;
        }
    }

    const Track* track_;
    const Track::Block* block_;
    const std::uint8_t* at_;
    const std::uint8_t* end_;
    std::uint32_t tick_ = 0;
    std::uint8_t previousStatus_ = 0;
};

class Track::EventRange {
public:
    class Iterator {
    public:
        Iterator(const Track& track, bool atEnd) noexcept : cursor_(track), valid_(!atEnd && cursor_.next(view_)) {}
        // A copy of the event. Out of memory: throws std::bad_alloc.
        TrackEvent operator*() const {
            if (view_.length == 0) {
                TrackEvent empty;
                empty.tick = view_.tick;
                return empty;
            }
            return TrackEvent(view_.tick, view_.status, view_.rest, view_.length - 1);
        }
        Iterator& operator++() noexcept {
            valid_ = cursor_.next(view_);
            return *this;
        }
        // Only a comparison with the end means anything.
        bool operator==(const Iterator& other) const noexcept { return valid_ == other.valid_; }
        bool operator!=(const Iterator& other) const noexcept { return valid_ != other.valid_; }

    private:
        EventCursor cursor_;
        EventView view_{};
        bool valid_;
    };

    explicit EventRange(const Track& track) noexcept : track_(track) {}
    Iterator begin() const noexcept { return Iterator(track_, false); }
    Iterator end() const noexcept { return Iterator(track_, true); }

private:
    const Track& track_;
};

inline Track::EventRange Track::events() const noexcept {
    return EventRange(*this);
}

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
