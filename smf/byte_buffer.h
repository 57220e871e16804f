// ByteBuffer: the exact-fit byte array that holds one event's bytes and the writer's output.
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
class ByteBuffer {
public:
    static constexpr std::uint32_t kInlineCapacity = 8;

    ByteBuffer() noexcept {}
    ByteBuffer(const ByteBuffer& other);             // capacity == other.length()
    ByteBuffer(ByteBuffer&& other) noexcept;
    ByteBuffer& operator=(const ByteBuffer& other);
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;
    ~ByteBuffer() { release(); }

    // Sets the length to n. n == 0 frees the storage. Without storage, exactly n bytes are
    // obtained. With capacity >= n nothing moves (never shrinks). Otherwise new storage of
    // exactly n bytes receives the first length() bytes. Bytes past the old length are
    // uninitialised.
    void resize(std::uint32_t n) {
        if (n != 0 && n <= capacity_) {
            length_ = n;
            return;
        }
        resizeSlow(n);
    }

    // resize(offset + count), then copies count bytes from source to position offset.
    void assignAt(const std::uint8_t* source, std::uint32_t count, std::uint32_t offset) {
        resize(checkedSum(offset, count));
        if (count != 0) std::memcpy(data() + offset, source, count);
    }

    std::uint8_t* data() noexcept { return isInline() ? inline_ : heapPointer(); }
    const std::uint8_t* data() const noexcept { return isInline() ? inline_ : heapPointer(); }
    std::uint32_t length() const noexcept { return length_; }
    std::uint32_t capacity() const noexcept { return capacity_; }
    bool empty() const noexcept { return length_ == 0; }
    std::uint8_t operator[](std::uint32_t i) const noexcept { return data()[i]; }

private:
    bool isInline() const noexcept { return capacity_ <= kInlineCapacity; }
    // The heap pointer is kept in the inline bytes, so the object needs only 4-byte
    // alignment and a TrackEvent stays at 20 bytes on 64-bit hosts too.
    std::uint8_t* heapPointer() const noexcept {
        std::uint8_t* p;
        std::memcpy(&p, inline_, sizeof p);
        return p;
    }
    void setHeapPointer(std::uint8_t* p) noexcept { std::memcpy(inline_, &p, sizeof p); }
    static std::uint32_t checkedSum(std::uint32_t offset, std::uint32_t count);
    void resizeSlow(std::uint32_t n);
    void release() noexcept {
        if (!isInline()) delete[] heapPointer();
    }

    static_assert(sizeof(std::uint8_t*) <= kInlineCapacity, "a heap pointer must fit inline");
    std::uint8_t inline_[kInlineCapacity];
    std::uint32_t length_ = 0;
    std::uint32_t capacity_ = 0;
};

}  // namespace smf
