// The Win32 file system's handles and the free-space probe, with the real calls under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/file_system_win.h"
#include "engine/free_space.h"

namespace engine::testing {
namespace {

// A handle's flush fails as the system refuses it (no write access).
TEST(Win32File, FlushFailsAsTheSystemRefusesIt) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("quorin-flush-" + std::to_string(GetCurrentProcessId()))).string();
    std::ofstream(path, std::ios::binary) << "x";
    FileError error;
    EXPECT_FALSE(openWin32File(path, GENERIC_READ, 0, error)->flush(error));
    EXPECT_EQ(error, SystemError{ERROR_ACCESS_DENIED});
    std::filesystem::remove(path);
}

// Without the extended function the probe measures the drive's root: "C:\", since "C:" alone
// would name drive C's current folder, here one that is gone. A failure leaves the result
// alone and says why.
TEST(FreeSpaceProbe, MeasuresTheDrivesRootAndLeavesTheResultAloneOnFailure) {
    FreeSpaceExFunction = nullptr;
    ASSERT_TRUE(SetEnvironmentVariableA("=C:", "C:\\quorin-no-such-folder"));
    std::uint64_t onC = 7, failed = 7;
    const BOOL ok = FreeSpaceProbe("C:", onC);
    SetEnvironmentVariableA("=C:", nullptr);
    ULARGE_INTEGER c{};
    ASSERT_TRUE(ok && GetDiskFreeSpaceExA("C:\\", &c, nullptr, nullptr));
    EXPECT_NEAR(static_cast<double>(onC) / static_cast<double>(c.QuadPart), 1.0, 0.01);
    SetLastError(0);
    EXPECT_FALSE(FreeSpaceProbe("Q:", failed) || FreeSpaceProbe("\\\\quorin-no-such-server\\share\\", failed));
    EXPECT_EQ(std::make_pair(failed, GetLastError() != 0), std::make_pair(std::uint64_t{7}, true));
}

}  // namespace
}  // namespace engine::testing
