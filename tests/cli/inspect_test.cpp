// --check's own figures: which events use running status in the file as it is, and how
// divisions and MacBinary files are described.
#include "cli/inspect.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "cli/report_lines.h"
#include "samples.h"

namespace cli::testing {
namespace {

std::uint64_t countIn(const Bytes& file) {
    return countRunningStatusEvents(file.data(), static_cast<std::uint32_t>(file.size()));
}

Bytes behindMacBinary(const Bytes& file) {
    Bytes result(128 + file.size(), 0);
    result[1] = 5;  // a name length; only bytes 0, 74 and 82 must be 0
    std::copy(file.begin(), file.end(), result.begin() + 128);
    return result;
}

TEST(RunningStatusCount, CountsOnlyEventsWithoutTheirStatusInDeclaredTracks) {
    EXPECT_EQ(countIn(plainSong()), 0u);
    EXPECT_EQ(countIn(runningStatusSong()), 1u);
    EXPECT_EQ(countIn(twoTrackSong()), 2u);
    EXPECT_EQ(countIn(behindMacBinary(runningStatusSong())), 1u);

    // Two declared chunks: a foreign one whose bytes would read as running status, then a
    // track with a program change under running status; a third, undeclared track is not read.
    const Bytes file = bytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0, 0x60,
                              'X', 'Y', 'Z', 'W', 0, 0, 0, 4, 0x00, 0x3C, 0x00, 0x3C,
                              'M', 'T', 'r', 'k', 0, 0, 0, 9, 0x00, 0xC0, 0x05, 0x10, 0x06, 0x00, 0xFF, 0x2F, 0x00,
                              'M', 'T', 'r', 'k', 0, 0, 0, 7, 0x00, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00});
    EXPECT_EQ(countIn(file), 1u);
}

TEST(RunningStatusCount, StatusDoesNotCarryOverSysExOrMetaEvents) {
    // A SysEx whose data bytes look like note data, a meta event, then a channel event that
    // repeats its status and one under running status.
    const Bytes file = bytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60,
                              'M', 'T', 'r', 'k', 0, 0, 0, 23,
                              0x00, 0xF0, 0x03, 0x3C, 0x40, 0xF7,
                              0x00, 0xFF, 0x01, 0x02, 0x3C, 0x40,
                              0x00, 0xE0, 0x00, 0x40, 0x10, 0x7F, 0x7F,
                              0x00, 0xFF, 0x2F, 0x00});
    EXPECT_EQ(countIn(file), 1u);
}

TEST(CheckFigures, DescribeSmpteDivisions) {
    EXPECT_EQ(divisionText(1), "1 tick per quarter note");
    EXPECT_EQ(divisionText(0xE728), "SMPTE 25 frames per second, 40 ticks per frame");
    EXPECT_EQ(divisionText(0xE250), "SMPTE 30 frames per second, 80 ticks per frame");
}

}  // namespace
}  // namespace cli::testing
