// libFuzzer target: any input is read safely, and whatever parses survives rewriting with
// either running-status option (the same invariants as the property tests).
#include <cstdio>
#include <cstdlib>

#include "tests/support/round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string broken = size > 0xFFFFFFFFu ? "" : quorin_test::checkRoundTrip(data, std::uint32_t(size));
    if (!broken.empty()) std::fprintf(stderr, "invariant broken: %s\n", broken.c_str());
    if (!broken.empty()) std::abort();
    return 0;
}
