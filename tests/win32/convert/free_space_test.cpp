// The free-space probe without the extended function: the drive's cluster geometry, and
// the result kept on failure. (The extended function's path runs in the conversion tests.)
#include "convert/free_space.h"

#include <gtest/gtest.h>

namespace {

TEST(FreeSpaceProbe, WithoutExtendedFunctionUsesDriveGeometry) {
    FreeSpaceExFunction = nullptr;
    std::uint64_t freeBytes = 7;
    ASSERT_TRUE(FreeSpaceProbe("C:", freeBytes));
    ULARGE_INTEGER available;
    ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &available, nullptr, nullptr));
    // Both figures of the same volume, a moment apart.
    EXPECT_NEAR(static_cast<double>(freeBytes) / static_cast<double>(available.QuadPart), 1.0, 0.01);

    freeBytes = 7;
    EXPECT_FALSE(FreeSpaceProbe("Q:", freeBytes));  // no such drive
    EXPECT_EQ(freeBytes, 7u);
}

}  // namespace
