// Peak memory from getrusage (ru_maxrss is in kilobytes on Linux).
#include "peak_memory.h"

#include <sys/resource.h>

namespace bench {

PeakMemory peakMemory() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    PeakMemory peak;
    peak.residentBytes = static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
    return peak;
}

}  // namespace bench
