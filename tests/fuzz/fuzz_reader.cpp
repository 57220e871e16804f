// libFuzzer target: any input is read safely, and whatever parses survives rewriting with
// either running-status option (the same invariants as the property tests).
#include <cstdio>
#include <cstdlib>

#include "tests/support/round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0xFFFFFFFFu) return 0;
    const std::string broken = quorin_test::checkRoundTrip(data, static_cast<std::uint32_t>(size));
    if (!broken.empty()) {
        std::fprintf(stderr, "invariant broken: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
