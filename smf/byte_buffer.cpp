// ByteBuffer's allocation paths; the common no-allocation cases are inline in the header.
#include "smf/byte_buffer.h"

#include <new>

namespace smf {

ByteBuffer::ByteBuffer(const ByteBuffer& other) {
    const std::uint32_t n = other.length();
    resize(n);
    if (n != 0) std::memcpy(data(), other.data(), n);
}

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept : word_(other.word_) {
    std::memcpy(inline_, other.inline_, kInlineCapacity);
    other.word_ = 0;
}

ByteBuffer& ByteBuffer::operator=(const ByteBuffer& other) {
    if (this != &other) {
        ByteBuffer copy(other);  // may throw; *this is untouched until it succeeded
        *this = static_cast<ByteBuffer&&>(copy);
    }
    return *this;
}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
        if (!isInline()) release();
        std::memcpy(inline_, other.inline_, kInlineCapacity);
        word_ = other.word_;
        other.word_ = 0;
    }
    return *this;
}

void ByteBuffer::throwTooLong() {
    throw std::bad_alloc();  // no buffer can be longer than 2^32 - 1 bytes
}

void ByteBuffer::assignAtSlow(const std::uint8_t* source, std::uint32_t count, std::uint32_t offset) {
    const std::uint32_t end = offset + count;
    if (end < offset) throwTooLong();
    resize(end);
    if (count != 0) std::memcpy(data() + offset, source, count);
}

void ByteBuffer::release() noexcept {
    delete[] reinterpret_cast<unsigned char*>(heap());
}

void ByteBuffer::resizeSlow(std::uint32_t n) {
    if (n == 0) {
        if (!isInline()) release();
        word_ = 0;
        return;
    }
    // Here n > capacity() and n > kInlineCapacity: a new heap block, before anything is freed.
    if (n > 0xFFFFFFFFu - sizeof(HeapHeader)) throwTooLong();
    unsigned char* raw = new unsigned char[sizeof(HeapHeader) + n];
    HeapHeader* block = new (raw) HeapHeader{n, n};
    const std::uint32_t oldLength = length();
    if (oldLength != 0) std::memcpy(block + 1, data(), oldLength);
    if (!isInline()) release();
    std::memcpy(inline_, &block, sizeof block);
    word_ = kOnHeap;
}

}  // namespace smf
