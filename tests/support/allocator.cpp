#include "tests/support/allocator.h"

#include <cstdint>
#include <cstdlib>

namespace quorin_test {
long allocationsLeft = -1;
long liveBlocks = 0;
bool oversizedRequest = false;
}  // namespace quorin_test

using quorin_test::allocationsLeft;

namespace {

void* allocate(std::size_t size) noexcept {
    const bool oversized = (static_cast<std::uint64_t>(size) >> 32) != 0;
    quorin_test::oversizedRequest = quorin_test::oversizedRequest || oversized;
    if (allocationsLeft == 0 || oversized) return nullptr;
    void* block = std::malloc(size ? size : 1);
    if (!block) return nullptr;
    if (allocationsLeft > 0) --allocationsLeft;
    ++quorin_test::liveBlocks;
    return block;
}

void release(void* block) noexcept {
    if (block) --quorin_test::liveBlocks;
    std::free(block);
}

}  // namespace

// GCC takes the free() in release for a mismatch with new; in a replacement allocator it is not.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

// Every form, since a sanitizer's runtime does not route the array and nothrow forms through
// the plain ones.
void* operator new(std::size_t size) {
    void* block = allocate(size);
    if (!block) throw std::bad_alloc();
    return block;
}
void* operator new[](std::size_t size) {
    return ::operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void operator delete(void* block) noexcept {
    release(block);
}
void operator delete[](void* block) noexcept {
    release(block);
}
void operator delete(void* block, std::size_t) noexcept {
    release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    release(block);
}
