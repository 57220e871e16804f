// The process's peak memory so far, in bytes, from the operating system.
#pragma once

#include <cstdint>

namespace bench {

struct PeakMemory {
    std::uint64_t residentBytes = 0;   // peak resident set / working set
    std::uint64_t committedBytes = 0;  // peak committed private bytes (0 where unknown)
};

PeakMemory peakMemory();

}  // namespace bench
