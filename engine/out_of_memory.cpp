// Start-up preparation for out-of-memory reports.
#include "engine/out_of_memory.h"

namespace engine {

void prepareForOutOfMemory() noexcept {
    try {
        throw 0;
    } catch (int) {
    }
}

}  // namespace engine
