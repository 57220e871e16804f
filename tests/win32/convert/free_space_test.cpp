// The free-space probe on the real system: the extended function when present (its failure
// passed on), else the drive's cluster geometry; the result is kept on failure.
#include "convert/free_space.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string askedLocation;

BOOL WINAPI failingFreeSpace(LPCSTR location, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER) {
    askedLocation = location;
    SetLastError(ERROR_NOT_READY);
    return FALSE;
}

TEST(FreeSpaceProbe, ExtendedFunctionGetsLocationAsIsAndItsFailureStands) {
    FreeSpaceExFunction = failingFreeSpace;
    std::uint64_t freeBytes = 7;
    EXPECT_FALSE(FreeSpaceProbe("C:", freeBytes));  // no fall back to the geometry
    EXPECT_EQ(askedLocation, "C:");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
    EXPECT_EQ(freeBytes, 7u);
}

TEST(FreeSpaceProbe, WithoutExtendedFunctionUsesDriveGeometry) {
    FreeSpaceExFunction = nullptr;
    std::uint64_t freeBytes = 7;
    ASSERT_TRUE(FreeSpaceProbe("C:", freeBytes));
    ULARGE_INTEGER available;
    ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &available, nullptr, nullptr));
    // Both figures of the same volume, a moment apart.
    const double ratio = static_cast<double>(freeBytes) / static_cast<double>(available.QuadPart);
    EXPECT_NEAR(ratio, 1.0, 0.01);

    freeBytes = 7;
    EXPECT_FALSE(FreeSpaceProbe("Q:", freeBytes));  // no such drive
    EXPECT_EQ(freeBytes, 7u);
}

}  // namespace
