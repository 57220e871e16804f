// ByteBuffer: the exact-fit byte array that holds a TrackEvent's bytes, a Song's chunks after
// its tracks and the writer's output.
#pragma once

#include <cstdint>
#include <cstring>

namespace smf {

// Owns its storage. Grows to exactly the length asked for and gives memory back only on
// resize(0) or destruction. Short contents (up to kInlineCapacity bytes, the size of most
// MIDI events) live inside the object itself; capacity() reports the same exact-fit figure
// either way.
//
// Out of memory: resize(), assignAt() and the copy operations throw std::bad_alloc and
// leave the buffer as it was.
//
// Layout (12 bytes): eight bytes that hold either the
// contents or a pointer to a heap block, and one word. Inline, the word is
// capacity * 256 + length; on the heap it is kOnHeap, and the block starts with the
// capacity and the length, followed by the bytes.
class ByteBuffer {
public:
    static constexpr std::uint32_t kInlineCapacity = 8;

    ByteBuffer() noexcept {}
    // The contents are first followed by count bytes from source (an event's status byte
    // and the rest of it). Never allocates while they fit in kInlineCapacity.
    ByteBuffer(std::uint8_t first, const std::uint8_t* source, std::uint32_t count) {
        if (count < kInlineCapacity) {
            word_ = (count + 1) << 8 | (count + 1);
            inline_[0] = first;
            copyBytes(inline_ + 1, source, count);
        } else {
            assignAtSlow(source, count, 1);
            data()[0] = first;
        }
    }
    ByteBuffer(const ByteBuffer& other);  // capacity == other.length()
    ByteBuffer(ByteBuffer&& other) noexcept;
    ByteBuffer& operator=(const ByteBuffer& other);
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;
    ~ByteBuffer() {
        if (!isInline()) release();
    }

    // Sets the length to n. n == 0 frees the storage. Without storage, exactly n bytes are
    // obtained. With capacity >= n nothing moves (never shrinks). Otherwise new storage of
    // exactly n bytes receives the first length() bytes. Bytes past the old length are
    // uninitialised.
    void resize(std::uint32_t n) {
        if (isInline() && n != 0 && n <= kInlineCapacity) {
            const std::uint32_t capacity = word_ >> 8;
            word_ = (n <= capacity ? capacity : n) << 8 | n;  // the bytes are already in place
        } else if (!isInline() && n != 0 && n <= heap()->capacity) {
            heap()->length = n;
        } else {
            resizeSlow(n);
        }
    }

    // resize(offset + count), then copies count bytes from source to position offset.
    void assignAt(const std::uint8_t* source, std::uint32_t count, std::uint32_t offset) {
        const std::uint32_t end = offset + count;
        if (isInline() && end >= offset && end != 0 && end <= kInlineCapacity) {
            const std::uint32_t capacity = word_ >> 8;
            word_ = (end <= capacity ? capacity : end) << 8 | end;
            copyBytes(inline_ + offset, source, count);
        } else {
            assignAtSlow(source, count, offset);
        }
    }

    std::uint8_t* data() noexcept { return isInline() ? inline_ : heapBytes(); }
    const std::uint8_t* data() const noexcept { return isInline() ? inline_ : heapBytes(); }
    std::uint32_t length() const noexcept { return isInline() ? (word_ & 0xFF) : heap()->length; }
    std::uint32_t capacity() const noexcept { return isInline() ? (word_ >> 8) : heap()->capacity; }
    bool empty() const noexcept { return length() == 0; }
    std::uint8_t operator[](std::uint32_t i) const noexcept { return data()[i]; }

private:
    static constexpr std::uint32_t kOnHeap = 0xFFFFFFFFu;

    // True while the bytes live inside the object (capacity up to kInlineCapacity).
    bool isInline() const noexcept { return word_ != kOnHeap; }
    // memcpy, without a library call for the few bytes of a typical event.
    static void copyBytes(std::uint8_t* to, const std::uint8_t* from, std::uint32_t count) noexcept {
        switch (count) {
        case 0: return;
        case 1: to[0] = from[0]; return;
        case 2: std::memcpy(to, from, 2); return;
        case 3:
            std::memcpy(to, from, 2);
            to[2] = from[2];
            return;
        default: std::memcpy(to, from, count); return;
        }
    }

    struct HeapHeader {
        std::uint32_t capacity;
        std::uint32_t length;
    };

    HeapHeader* heap() const noexcept {
        HeapHeader* block;
        std::memcpy(&block, inline_, sizeof block);
        return block;
    }
    std::uint8_t* heapBytes() const noexcept { return reinterpret_cast<std::uint8_t*>(heap() + 1); }
    [[noreturn]] static void throwTooLong();
    void resizeSlow(std::uint32_t n);
    void assignAtSlow(const std::uint8_t* source, std::uint32_t count, std::uint32_t offset);
    void release() noexcept;  // frees the heap block; the caller resets word_

    static_assert(sizeof(HeapHeader*) <= kInlineCapacity, "a heap pointer must fit inline");
    std::uint8_t inline_[kInlineCapacity] = {};
    std::uint32_t word_ = 0;
};

}  // namespace smf
