// --check's own figures where a whole run would hide the cause: which events use running
// status in the file as it is, and how SMPTE divisions are described.
#include "cli/inspect.h"

#include <gtest/gtest.h>

#include <vector>

namespace cli {
namespace {

std::uint64_t countIn(const std::vector<std::uint8_t>& file) {
    return countRunningStatusEvents(file.data(), static_cast<std::uint32_t>(file.size()));
}

TEST(RunningStatusCount, CountsOnlyInTheDeclaredTrackChunks) {
    // Two declared chunks: a foreign one whose bytes would read as running status, then a
    // track with a program change under running status; a third, undeclared track is not read.
    EXPECT_EQ(countIn({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0, 0x60,
                       'X', 'Y', 'Z', 'W', 0, 0, 0, 4, 0x00, 0x3C, 0x00, 0x3C,
                       'M', 'T', 'r', 'k', 0, 0, 0, 9, 0x00, 0xC0, 0x05, 0x10, 0x06, 0x00, 0xFF, 0x2F, 0x00,
                       'M', 'T', 'r', 'k', 0, 0, 0, 7, 0x00, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00}),
              1u);
}

TEST(CheckFigures, DescribeDivisions) {
    EXPECT_EQ(divisionText(1), "1 tick per quarter note");
    EXPECT_EQ(divisionText(0xE728), "SMPTE 25 frames per second, 40 ticks per frame");
    EXPECT_EQ(divisionText(0xE250), "SMPTE 30 frames per second, 80 ticks per frame");
}

}  // namespace
}  // namespace cli
