// A replacement of every form of new and delete that counts the blocks it hands out and can
// be told to fail. A test program links it (quorin_test_allocator) to make allocations fail
// on demand; the program's every allocation then goes through it.
#pragma once

#include <new>

namespace quorin_test {

// Allocations that may still succeed (-1: any number).
extern long allocationsLeft;
// Blocks handed out and not yet freed.
extern long liveBlocks;
// Set when a request of 4 GiB or more came, which a 32-bit program could never make.
extern bool oversizedRequest;

// Runs action with only n allocations allowed; true when it threw std::bad_alloc.
template <class Action>
bool throwsWithin(long n, Action action) {
    bool threw = false;
    allocationsLeft = n;
    try {
        action();
    } catch (const std::bad_alloc&) {
        threw = true;
    }
    allocationsLeft = -1;
    return threw;
}

}  // namespace quorin_test
