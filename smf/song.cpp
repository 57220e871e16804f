// Song model: division classification, the Song's checked setters, and the Track's
// allocating paths (its common appends are inline in the header).
#include "smf/song.h"

#include <cstring>
#include <new>

namespace smf {

namespace {

// Block sizes: a block holds at most kLargestBlock bytes of records unless one record
// needs more (so that a file of a gigabyte needs no single block of that size), and
// blocks grown without an expected size hold at least kSmallestBlock.
constexpr std::uint64_t kLargestBlock = 16u << 20;
constexpr std::uint64_t kSmallestBlock = 256;

}  // namespace

Track::Track(Track&& other) noexcept
    : first_(other.first_),
      last_(other.last_),
      tail_(other.tail_),
      allocated_(other.allocated_),
      expected_(other.expected_) {
    other.first_ = other.last_ = nullptr;
    other.tail_ = Tail();
    other.allocated_ = other.expected_ = 0;
}

Track& Track::operator=(Track&& other) noexcept {
    if (this != &other) {
        release();
        new (this) Track(static_cast<Track&&>(other));
    }
    return *this;
}

void Track::release() noexcept {
    for (Block* block = first_; block;) {
        Block* const next = block->next;
        delete[] reinterpret_cast<unsigned char*>(block);
        block = next;
    }
    first_ = last_ = nullptr;
    tail_.put = tail_.end = nullptr;
}

std::uint32_t Track::storeCount(std::uint32_t value, std::uint8_t* out) noexcept {
    if (value <= 0x0FFFFFFFu) return encodeVarLenPadded(value, out);
    out[0] = static_cast<std::uint8_t>(0x80 | (value >> 28));  // then the low 28 bits in 4 bytes
    out[1] = static_cast<std::uint8_t>(0x80 | ((value >> 21) & 0x7F));
    out[2] = static_cast<std::uint8_t>(0x80 | ((value >> 14) & 0x7F));
    out[3] = static_cast<std::uint8_t>(0x80 | ((value >> 7) & 0x7F));
    out[4] = static_cast<std::uint8_t>(value & 0x7F);
    return 5;
}

void Track::reserveRecord(std::uint64_t size) {
    if (size <= static_cast<std::uint64_t>(tail_.end - tail_.put)) return;
    // 1. The size of the new block: what is still expected of the track chunk, or an eighth
    // of what the track holds; within the bounds above; never less than the record.
    std::uint64_t capacity = expected_ != 0 ? expected_ : allocated_ / 8;
    capacity = capacity < kSmallestBlock ? kSmallestBlock : capacity > kLargestBlock ? kLargestBlock : capacity;
    if (capacity < size) capacity = size;
    const std::uint64_t bytes = sizeof(Block) + capacity + kReadSlack;
    if (capacity > 0xFFFFFFFFu || bytes > static_cast<std::size_t>(-1)) throw std::bad_alloc();
    // 2. The block, before anything changes; the bytes a reader may load past it are zero.
    unsigned char* raw = new unsigned char[static_cast<std::size_t>(bytes)];
    Block* block = new (raw) Block{nullptr, 0, static_cast<std::uint32_t>(capacity)};
    std::memset(bytesOf(block) + capacity, 0, kReadSlack);
    // 3. It follows the last block, whose records end where they are.
    if (last_) {
        last_->used = static_cast<std::uint32_t>(tail_.put - bytesOf(last_));
        last_->next = block;
    } else {
        first_ = block;
    }
    last_ = block;
    tail_.put = bytesOf(block);
    tail_.end = tail_.put + capacity;
    allocated_ += capacity;
    expected_ -= expected_ < capacity ? expected_ : capacity;
}

void Track::appendSlotInNewBlock(std::uint32_t tick, std::uint8_t status, std::uint8_t second, std::uint8_t third,
                                 std::uint32_t restCount) {
    reserveRecord(kSlotSize);  // may throw: nothing has changed yet
    const std::uint8_t rest[2] = {second, third};
    Appender(*this).appendEvent(tick, status, rest, restCount);
}

void Track::appendLong(std::uint32_t tick, std::uint8_t status, const std::uint8_t* rest, std::uint32_t restCount,
                       bool hasStatus) {
    const std::uint64_t length = hasStatus ? std::uint64_t{restCount} + 1 : 0;
    if (length > 0xFFFFFFFFu) throw std::bad_alloc();
    // kLongRecord, the delta-time, the length, the bytes.
    const std::uint32_t delta = tick - tail_.previousTick;
    std::uint8_t deltaBytes[8], countBytes[8];
    const std::uint32_t deltaSize = storeCount(delta, deltaBytes);
    const std::uint32_t countSize = storeCount(static_cast<std::uint32_t>(length), countBytes);
    reserveRecord(1 + deltaSize + countSize + length);  // may throw: nothing has changed yet
    const std::uint32_t verdict = Appender(*this).count(delta, hasStatus ? status : 0, restCount != 0 ? rest[0] : 0,
                                                        static_cast<std::uint32_t>(length));
    std::uint8_t* p = tail_.put;
    *p++ = static_cast<std::uint8_t>(kLongRecord | verdict);
    std::memcpy(p, deltaBytes, deltaSize);
    p += deltaSize;
    std::memcpy(p, countBytes, countSize);
    p += countSize;
    if (hasStatus) {
        *p++ = status;
        if (restCount != 0) std::memcpy(p, rest, restCount);
        p += restCount;
    }
    tail_.put = p;
    tail_.previousTick = tick;
}

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
