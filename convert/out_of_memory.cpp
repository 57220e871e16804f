// Start-up preparation for out-of-memory reports.
#include "convert/out_of_memory.h"

namespace convert {

void prepareForOutOfMemory() noexcept {
    try {
        throw 0;
    } catch (int) {
    }
}

}  // namespace convert
