// The free-space probe without the extended function: the cluster geometry of the drive's
// root, and the result kept on failure. (The extended function's path runs in the
// conversion tests.)
#include "convert/free_space.h"

#include <gtest/gtest.h>

namespace {

// "C:" alone would name drive C's current folder, which the environment says is gone: the
// probe asks about "C:\". The empty location is the current drive's root.
TEST(FreeSpaceProbe, WithoutExtendedFunctionMeasuresTheDrivesRoot) {
    FreeSpaceExFunction = nullptr;
    char saved[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryA("Z:\\"));
    ASSERT_TRUE(SetEnvironmentVariableA("=C:", "C:\\quorin-no-such-folder"));
    std::uint64_t onC = 7, onCurrent = 7;
    const BOOL okC = FreeSpaceProbe("C:", onC), okCurrent = FreeSpaceProbe("", onCurrent);
    ULARGE_INTEGER c, current;
    ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &c, nullptr, nullptr) && GetDiskFreeSpaceExA("Z:\\", &current, nullptr, nullptr));
    SetEnvironmentVariableA("=C:", nullptr);
    SetCurrentDirectoryA(saved);
    ASSERT_TRUE(okC && okCurrent);
    // The same volumes, a moment apart.
    EXPECT_NEAR(static_cast<double>(onC) / static_cast<double>(c.QuadPart), 1.0, 0.01);
    EXPECT_NEAR(static_cast<double>(onCurrent) / static_cast<double>(current.QuadPart), 1.0, 0.01);

    std::uint64_t freeBytes = 7;
    EXPECT_FALSE(FreeSpaceProbe("Q:", freeBytes));  // no such drive
    SetLastError(0);
    EXPECT_FALSE(FreeSpaceProbe("\\\\quorin-no-such-server\\share\\", freeBytes));  // a share that cannot be mapped
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_EQ(freeBytes, 7u);
}

}  // namespace
