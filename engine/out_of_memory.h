// Making sure that running out of memory is reported rather than ending the process.
#pragma once

namespace engine {

// The first exception a process throws makes the unwinder build its tables on the heap
// (MinGW's 32-bit DWARF unwinder among others). Called first thing at start-up, while
// memory is plentiful, so that a std::bad_alloc thrown when memory runs out can be caught
// and reported instead of aborting the process.
void prepareForOutOfMemory() noexcept;

}  // namespace engine
