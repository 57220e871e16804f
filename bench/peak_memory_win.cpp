// Peak memory from GetProcessMemoryInfo.
#include "peak_memory.h"

#include <windows.h>
#include <psapi.h>

namespace bench {

PeakMemory peakMemory() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    PeakMemory peak;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        peak.residentBytes = counters.PeakWorkingSetSize;
        peak.committedBytes = counters.PeakPagefileUsage;
    }
    return peak;
}

}  // namespace bench
