// The in-memory form of one Standard MIDI File: format, division, per track its events in
// file order (each an absolute tick and its complete bytes, status byte first, running
// status undone), and the whole chunks that followed the tracks, as they were.
//
// How a Track stores its events, and why. Files of hundreds of megabytes hold tens of
// millions of events of three or four bytes each, so an object and an allocation per event
// would cost several times the event itself, and a release would walk them all. A track
// therefore packs its events one after the other into a few large blocks, sized from the
// track chunk it is read from: an append is a few stores and a release frees a few blocks.
// An event is one of two kinds of record:
//   - a slot of 4 bytes, a little-endian word, for a channel event of its usual length
//     whose data bytes are below 0x80 and whose delta-time from the event before is below
//     1024 (nearly all events): bits 0-6 the status byte's low bits (the status is 0x80 to
//     0xEF), bit 7 the verdict below, bits 8-14 and 15-21 the data bytes (0 for a missing
//     one), bits 22-31 the delta-time;
//   - any other event: kLongRecord with the verdict in bit 0, its delta-time, the count of
//     its bytes (both variable-length quantities of 1 to 5 bytes, the files' own form up to
//     0x0FFFFFFF), and all its bytes. A slot's first byte is at most 0xEF, below kLongRecord.
// The verdict is EventLayout's on the event when it was appended: 1 when running status
// leaves its status byte out. The track's written sizes count it and the writer writes it,
// so that the rule is applied once per event.
// A fixed size for the common record lets a reader of the track find the next record
// before it has decoded this one. A song read from a file takes about 1.2 times the bytes
// of its tracks in the file. EventCursor reads the records back; nothing else knows their
// form. The tick of an event is the running sum of the delta-times.
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

    std::uint32_t tick = 0;  // absolute ticks from the track's start, modulo 2^32
    ByteBuffer bytes;        // the complete event, status byte first
};

// Whether running status leaves out the status byte of each event of a track, in turn. This
// is the running-status rule, in the one place where it is written: a Track asks it about
// each event as the event is appended, counts the verdict in its written sizes and keeps it
// with the event, and the writer writes the event as the verdict says.
//
// The status byte goes when running status is on, it is a channel status (0x80-0xEF)
// equal to the first byte of the event before (0 before the first event of a track,
// whatever kind that event was), and the byte after it has bit 7 clear: the reader keeps
// channel data bytes as they are, and a status dropped before a byte with bit 7 set would
// read back as that byte.
class EventLayout {
public:
    // 1 when the next event's status byte is left out, else 0. The event is given by its
    // first two bytes (0 for missing ones) and its length.
    std::uint32_t omittedStatus(std::uint8_t status, std::uint8_t second, std::uint32_t length,
                                bool runningStatus) noexcept {
        // Each condition a 0 or 1, combined without branches.
        const std::uint32_t omitted = static_cast<std::uint32_t>(runningStatus) & (length >= 2) &
                                      (status == previousStatus_) & (static_cast<std::uint8_t>(status - 0x80) < 0x70) &
                                      (second < 0x80);
        previousStatus_ = status;
        return omitted;
    }

    // Bytes an event takes in a file: its delta-time and its bytes, less an omitted status.
    static std::uint64_t writtenSize(std::uint32_t delta, std::uint32_t length, std::uint32_t omittedStatus) noexcept {
        return std::uint64_t{varLenSize(delta)} + length - omittedStatus;
    }

    // The first byte of the event before the next one (0 before the first event).
    std::uint8_t previous() const noexcept { return previousStatus_; }

private:
    std::uint8_t previousStatus_ = 0;
};

// One event as a Track holds it, read in place: its first three bytes (0 past its length)
// and, for a longer event, all bytes after the first at rest. Valid until the track changes.
struct EventView {
    std::uint32_t tick;
    std::uint32_t delta;          // from the tick of the event before, modulo 2^32
    std::uint32_t length;         // bytes of the whole event
    std::uint32_t statusOmitted;  // 1 when running status leaves out its status byte (EventLayout)
    std::uint8_t bytes[3];
    const std::uint8_t* rest;  // when length > 3
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
    // the blocks allocated for them from now on are sized to hold them. Allocates nothing.
    void expectEventBytes(std::uint32_t bytes) noexcept { expected_ = std::uint64_t{bytes} * 5 / 4 + 16; }

    // Appends a copy of the event.
    // Out of memory: throws std::bad_alloc and leaves the track as it was.
    void appendEvent(const TrackEvent& event) {
        const ByteBuffer& bytes = event.bytes;
        if (bytes.empty()) {
            appendLong(event.tick, 0, nullptr, 0, false);
        } else {
            appendEvent(event.tick, bytes[0], bytes.data() + 1, bytes.length() - 1);
        }
    }

    // Appends a copy of the event {status, rest[0, restCount)} at tick.
    // Out of memory: throws std::bad_alloc and leaves the track as it was.
    void appendEvent(std::uint32_t tick, std::uint8_t status, const std::uint8_t* rest, std::uint32_t restCount);

    // Appends to the track from a loop: keeps the track's write position and counts in
    // itself (in registers, where the stores of event bytes cannot disturb them) and gives
    // them back to the track on destruction. While it lives, the track is appended to only
    // through it.
    class Appender;

    // The events, each as a TrackEvent copy (for `for (const TrackEvent& e : track.events())`;
    // a copy of a long event may throw std::bad_alloc). EventCursor reads them without copies.
    class EventRange;
    EventRange events() const noexcept;
    std::uint32_t eventCount() const noexcept { return tail_.eventCount; }

    // Bytes of all events as written, deltas included, without the chunk header.
    std::uint64_t writtenEventBytes(bool runningStatus) const noexcept {
        return tail_.writtenWithRunningStatus + (runningStatus ? 0 : tail_.omittedStatuses);
    }

private:
    friend class EventCursor;
    struct Block {
        Block* next;
        std::uint32_t used;      // bytes of records, once a later block follows
        std::uint32_t capacity;  // bytes for records; kReadSlack more follow them
    };
    static constexpr std::uint32_t kSlotSize = 4;
    static constexpr std::uint32_t kSlotDeltaLimit = 1024;
    // The first byte of a long record, with the verdict in bit 0: never a slot's first byte.
    static constexpr std::uint8_t kLongRecord = 0xFE;
    // Bytes past a block's capacity that a reader may load without using (zero, never
    // written with records): room for fixed-size loads of a few bytes.
    static constexpr std::uint32_t kReadSlack = 8;

    // What changes on every append.
    struct Tail {
        std::uint8_t* put = nullptr;  // where the next record goes, in the last block
        std::uint8_t* end = nullptr;  // the end of the last block's capacity
        std::uint32_t previousTick = 0;
        std::uint32_t eventCount = 0;
        std::uint32_t omittedStatuses = 0;  // by running status
        std::uint64_t writtenWithRunningStatus = 0;
        EventLayout layout;  // running status on
    };

    // The data bytes of a channel event of this status (1 or 2); for any other first
    // byte, a count no event has.
    static std::uint32_t channelDataCount(std::uint8_t status) noexcept {
        if (static_cast<std::uint8_t>(status - 0x80) >= 0x70) return 0xFFFFFFFFu;
        return (status & 0xE0) == 0xC0 ? 1 : 2;
    }
    static std::uint8_t* bytesOf(const Block* block) noexcept {
        return reinterpret_cast<std::uint8_t*>(const_cast<Block*>(block) + 1);
    }
    // The stored form of a delta-time or count, 1 to 5 bytes, at out; returns its size.
    static std::uint32_t storeCount(std::uint32_t value, std::uint8_t* out) noexcept;
    // Appends the event (no bytes at all when hasStatus is false) as a long record.
    void appendLong(std::uint32_t tick, std::uint8_t status, const std::uint8_t* rest, std::uint32_t restCount,
                    bool hasStatus);
    // Appends a slot in a new block (the last one is full).
    void appendSlotInNewBlock(std::uint32_t tick, std::uint8_t status, std::uint8_t second, std::uint8_t third,
                              std::uint32_t restCount);
    // Makes room for a record of size bytes at tail_.put, in a new block if need be.
    void reserveRecord(std::uint64_t size);
    // Where the records of block end.
    const std::uint8_t* endOf(const Block* block) const noexcept {
        return block == last_ ? tail_.put : bytesOf(block) + block->used;
    }
    void release() noexcept;

    Block* first_ = nullptr;
    Block* last_ = nullptr;
    Tail tail_;
    std::uint64_t allocated_ = 0;  // capacity of all blocks
    std::uint64_t expected_ = 0;   // bytes still expected (expectEventBytes), for sizing blocks
};

class Track::Appender {
public:
    explicit Appender(Track& track) noexcept : track_(track) { load(); }
    ~Appender() { save(); }
    Appender(const Appender&) = delete;
    Appender& operator=(const Appender&) = delete;

    // As Track::appendEvent.
    void appendEvent(std::uint32_t tick, std::uint8_t status, const std::uint8_t* rest, std::uint32_t restCount) {
        const std::uint32_t delta = tick - previousTick_;
        if (restCount == channelDataCount(status)) {
            const std::uint8_t second = rest[0];
            const std::uint8_t third = restCount == 2 ? rest[1] : 0;
            if (isSlot(delta, second, third)) {
                if (slotRoom() != 0) {
                    appendSlot(delta, status, second, third, restCount);
                } else {
                    save();
                    track_.appendSlotInNewBlock(tick, status, second, third, restCount);
                    load();
                }
                return;
            }
        }
        save();
        track_.appendLong(tick, status, rest, restCount, true);
        load();
    }

    // Whether a channel event of its usual length, with these data bytes (third 0 for an
    // event of one) and delta-time, is kept as a slot.
    static bool isSlot(std::uint32_t delta, std::uint32_t second, std::uint32_t third) noexcept {
        return (delta < kSlotDeltaLimit) & ((second | third) < 0x80);
    }
    // How many slots the last block has room for.
    std::uint32_t slotRoom() const noexcept { return static_cast<std::uint32_t>(end_ - put_) / kSlotSize; }
    // The common case of appendEvent: the channel event {status, second, third} (third 0
    // when dataCount, the data bytes the status has, is 1) delta ticks after the event
    // before, which isSlot; slotRoom() must not be 0.
    void appendSlot(std::uint32_t delta, std::uint8_t status, std::uint32_t second, std::uint32_t third,
                    std::uint32_t dataCount) noexcept {
        const std::uint32_t verdict = count(delta, status, static_cast<std::uint8_t>(second), dataCount + 1);
        storeSlot(delta, status, verdict, second | (third << 8));
    }
    // For appending slots in a loop, with their counts gathered (beginRun, appendSlotInRun,
    // endRun) and the running-status rule asked once per status:
    //
    // The rule's verdict on the next event, given as a slot of status and dataCount data
    // bytes; the rule then takes it as the event before the one after it. An event that has
    // the status of the one before it gets the verdict that a second call gives: the same
    // for every such event, since the rule looks only at the status, the one before, the
    // length and bit 7 of the second byte (clear in a slot).
    std::uint32_t slotVerdict(std::uint8_t status, std::uint32_t dataCount) noexcept {
        return layout_.omittedStatus(status, 0, dataCount + 1, true);
    }
    void beginRun() noexcept {
        runStart_ = put_;
        runWritten_ = 0;
    }
    // appendSlot for an event of the run, given its verdict from slotVerdict; data as for
    // storeSlot.
    void appendSlotInRun(std::uint32_t delta, std::uint8_t status, std::uint32_t data, std::uint32_t dataCount,
                         std::uint32_t verdict) noexcept {
        storeSlot(delta, status, verdict, data);
        omittedStatuses_ += verdict;
        // A run lies in one block of at most 16 MiB of slots (a larger block holds one long
        // record), and a slot's event takes at most 5 bytes in a file: the sum fits in 32 bits.
        runWritten_ +=
            static_cast<std::uint32_t>(EventLayout::writtenSize(delta & (kSlotDeltaLimit - 1), dataCount + 1,
                                                                verdict));  // the same delta, its range known
    }
    // Counts the events of the run in the track's sizes.
    void endRun() noexcept {
        eventCount_ += static_cast<std::uint32_t>(put_ - runStart_) / kSlotSize;
        writtenWithRunningStatus_ += runWritten_;
    }
    // The first byte of the last event appended (0 before the first): for a channel
    // status, the status that a next event under running status has.
    std::uint8_t lastStatus() const noexcept { return layout_.previous(); }
    // The tick of the last event appended.
    std::uint32_t tick() const noexcept { return previousTick_; }

private:
    friend class Track;

    // Stores the slot of the event {status, data bytes} with its verdict: data holds the
    // event's second byte in bits 0-7 and its third in bits 8-15, both below 0x80; the
    // delta-time is below kSlotDeltaLimit.
    void storeSlot(std::uint32_t delta, std::uint8_t status, std::uint32_t verdict, std::uint32_t data) noexcept {
        // data + its low byte, shifted by 7, puts the second byte at bit 8 and the third at 15.
        storeLittleEndian32(put_, (status & 0x7Fu) | (verdict << 7) | ((data + (data & 0xFF)) << 7) | (delta << 22));
        put_ += kSlotSize;
        previousTick_ += delta;
    }
    // Counts an event in the sizes its track takes in a file and returns the running-status
    // rule's verdict on it.
    std::uint32_t count(std::uint32_t delta, std::uint8_t status, std::uint8_t second, std::uint32_t length) noexcept {
        const std::uint32_t verdict = layout_.omittedStatus(status, second, length, true);
        countWith(delta, length, verdict);
        return verdict;
    }
    // The same, given the rule's verdict on it.
    void countWith(std::uint32_t delta, std::uint32_t length, std::uint32_t omitted) noexcept {
        ++eventCount_;
        omittedStatuses_ += omitted;
        writtenWithRunningStatus_ += EventLayout::writtenSize(delta, length, omitted);
    }
    // The track's state to the appender and back, one field at a time.
    void load() noexcept {
        put_ = track_.tail_.put;
        end_ = track_.tail_.end;
        previousTick_ = track_.tail_.previousTick;
        eventCount_ = track_.tail_.eventCount;
        omittedStatuses_ = track_.tail_.omittedStatuses;
        writtenWithRunningStatus_ = track_.tail_.writtenWithRunningStatus;
        layout_ = track_.tail_.layout;
    }
    void save() noexcept {
        track_.tail_.put = put_;
        track_.tail_.end = end_;
        track_.tail_.previousTick = previousTick_;
        track_.tail_.eventCount = eventCount_;
        track_.tail_.omittedStatuses = omittedStatuses_;
        track_.tail_.writtenWithRunningStatus = writtenWithRunningStatus_;
        track_.tail_.layout = layout_;
    }

    Track& track_;
    std::uint8_t* put_;
    std::uint8_t* end_;
    std::uint32_t previousTick_;
    std::uint32_t eventCount_;
    std::uint32_t omittedStatuses_;
    std::uint64_t writtenWithRunningStatus_;
    EventLayout layout_;
    std::uint8_t* runStart_ = nullptr;  // the run's first slot (beginRun)
    std::uint32_t runWritten_ = 0;      // bytes the run's events take in a file, with running status
};

inline void Track::appendEvent(std::uint32_t tick, std::uint8_t status, const std::uint8_t* rest,
                               std::uint32_t restCount) {
    Appender(*this).appendEvent(tick, status, rest, restCount);
}

// Reads a track's events in order, in place. The track must not change meanwhile.
class EventCursor {
public:
    explicit EventCursor(const Track& track) noexcept
        : track_(&track),
          block_(track.first_),
          at_(block_ ? Track::bytesOf(block_) : nullptr),
          end_(block_ ? track.endOf(block_) : nullptr) {}

    // The next event into event; false (event unchanged) after the last.
    bool next(EventView& event) noexcept {
        if (!reachEvent()) return false;
        const std::uint32_t slot = loadLittleEndian32(at_);
        if ((slot & 0xFF) < Track::kLongRecord) {
            const std::uint32_t delta = slot >> 22;
            tick_ += delta;
            event.tick = tick_;
            event.delta = delta;
            event.length = (slot & 0x60) == 0x40 ? 2 : 3;  // status 0xC0 to 0xDF: one data byte
            event.statusOmitted = (slot >> 7) & 1;
            event.bytes[0] = static_cast<std::uint8_t>(slot | 0x80);
            event.bytes[1] = static_cast<std::uint8_t>((slot >> 8) & 0x7F);
            event.bytes[2] = static_cast<std::uint8_t>((slot >> 15) & 0x7F);
            event.rest = nullptr;
            at_ += Track::kSlotSize;
            return true;
        }
        event.statusOmitted = slot & 1;
        ++at_;
        const std::uint32_t delta = loadCount();
        const std::uint32_t length = loadCount();
        tick_ += delta;
        event.tick = tick_;
        event.delta = delta;
        event.length = length;
        event.bytes[0] = length > 0 ? at_[0] : 0;
        event.bytes[1] = length > 1 ? at_[1] : 0;
        event.bytes[2] = length > 2 ? at_[2] : 0;
        event.rest = at_ + 1;
        at_ += length;
        return true;
    }

    // The delta-times of the events that nextSlots gives are below this.
    static constexpr std::uint32_t kSlotDeltaLimit = Track::kSlotDeltaLimit;

    // The next events while they are slots (channel events of 2 or 3 bytes, see the top of
    // this file), at most limit of them: calls sink(delta, bytes, length, statusOmitted) for
    // each, bytes holding its bytes from bit 0 on, status first (0 past its length). Returns
    // how many; 0 when the next event is no slot or there is none (next() then tells which).
    template <class Sink>
    std::uint32_t nextSlots(std::uint32_t limit, Sink&& sink) noexcept {
        if (!reachEvent()) return 0;
        // Slots take 4 bytes each, so the block holds at most this many more.
        const std::uint32_t inBlock = static_cast<std::uint32_t>(end_ - at_) / Track::kSlotSize;
        const std::uint32_t count = limit < inBlock ? limit : inBlock;
        const std::uint8_t* const first = at_;
        const std::uint8_t* const stop = first + count * Track::kSlotSize;
        const std::uint8_t* at = first;
        std::uint32_t tick = tick_;
        while (at != stop) {
            const std::uint32_t slot = loadLittleEndian32(at);
            if ((slot & 0xFF) >= Track::kLongRecord) break;
            const std::uint32_t delta = slot >> 22;
            tick += delta;
            const std::uint32_t bytes = ((slot & 0x7F7F) | 0x80) | ((slot << 1) & 0x7F0000);
            sink(delta, bytes, (slot & 0x60) == 0x40 ? 2u : 3u, (slot >> 7) & 1);
            at += Track::kSlotSize;
        }
        at_ = at;
        tick_ = tick;
        return static_cast<std::uint32_t>(at - first) / Track::kSlotSize;
    }

private:
    // Moves to the next block while this one has no more records; false after the last event.
    bool reachEvent() noexcept {
        while (at_ == end_) {
            if (!block_ || !block_->next) return false;
            block_ = block_->next;
            at_ = Track::bytesOf(block_);
            end_ = track_->endOf(block_);
        }
        return true;
    }

    // A stored delta-time or count: 1 to 4 bytes at once (a record is followed by at least
    // kReadSlack readable bytes), or 5 (above 0x0FFFFFFF: the top 4 bits, then 28 in 4 bytes).
    std::uint32_t loadCount() noexcept {
        std::uint32_t value = 0, size = 0;
        if (decodeVarLenWord(loadBigEndian32(at_), value, size)) {
            at_ += size;
            return value;
        }
        decodeVarLenWord(loadBigEndian32(at_ + 1), value, size);
        value |= std::uint32_t{at_[0]} << 28;
        at_ += 5;
        return value;
    }

    const Track* track_;
    const Track::Block* block_;
    const std::uint8_t* at_;
    const std::uint8_t* end_;
    std::uint32_t tick_ = 0;
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
            return TrackEvent(view_.tick, view_.bytes[0], view_.length > 3 ? view_.rest : view_.bytes + 1,
                              view_.length - 1);
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

    void reset() noexcept;                              // format 0, division 0, no tracks, no chunks after them
    bool setFormat(std::uint16_t format) noexcept;      // false (unchanged) above 2
    bool setDivision(std::uint16_t division) noexcept;  // false (unchanged) when Invalid
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
