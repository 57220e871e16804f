// ByteBuffer's allocation paths; the common no-allocation cases are inline in the header.
#include "smf/byte_buffer.h"

#include <new>

namespace smf {

ByteBuffer::ByteBuffer(const ByteBuffer& other) {
    resize(other.length_);
    if (length_ != 0) std::memcpy(data(), other.data(), length_);
}

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : length_(other.length_), capacity_(other.capacity_) {
    std::memcpy(inline_, other.inline_, kInlineCapacity);
    other.length_ = 0;
    other.capacity_ = 0;
}

ByteBuffer& ByteBuffer::operator=(const ByteBuffer& other) {
    if (this != &other) {
        ByteBuffer copy(other);   // may throw; *this is untouched until it succeeded
        *this = static_cast<ByteBuffer&&>(copy);
    }
    return *this;
}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
        release();
        std::memcpy(inline_, other.inline_, kInlineCapacity);
        length_ = other.length_;
        capacity_ = other.capacity_;
        other.length_ = 0;
        other.capacity_ = 0;
    }
    return *this;
}

std::uint32_t ByteBuffer::checkedSum(std::uint32_t offset, std::uint32_t count) {
    const std::uint32_t sum = offset + count;
    if (sum < offset) throw std::bad_alloc();   // no buffer can be that long
    return sum;
}

void ByteBuffer::resizeSlow(std::uint32_t n) {
    if (n == 0) {
        release();
        length_ = 0;
        capacity_ = 0;
        return;
    }
    // Here n > capacity_. Up to kInlineCapacity the bytes already lie where they belong.
    if (n > kInlineCapacity) {
        std::uint8_t* fresh = new std::uint8_t[n];   // before anything is freed
        if (length_ != 0) std::memcpy(fresh, data(), length_);
        release();
        setHeapPointer(fresh);
    }
    capacity_ = n;
    length_ = n;
}

}  // namespace smf
