// quorin-cli's Windows file system under Wine, where it differs from the POSIX one: another
// program's no-sharing handle refuses the file, an output appears whole through MoveFileExA
// with no temporary file left, and system errors read in English whatever the locale.
#include <windows.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace cli::testing {
namespace {

TEST(WindowsFileSystem, RefusesAHeldFileAndReplacesAnOutputWhole) {
    TempFolder folder;
    const std::unique_ptr<CliFileSystem> fs = makePlatformFileSystem();
    const std::string in = folder.put("in.mid", kPlain), out = folder.put("out.mid", {'o', 'l', 'd'});
    const HANDLE holder = CreateFileA(in.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(run(*fs, {in}).err, in + ": error: in use, locked by another process; left untouched\n");
    EXPECT_EQ(run(*fs, {"-c", in}).err, in + ": error: in use, locked by another process\n");
    CloseHandle(holder);
    EXPECT_EQ(run(*fs, {folder.file("gone.mid")}).err, folder.file("gone.mid") + ": error: cannot be found: File not found\n");
    EXPECT_EQ(run(*fs, {"-o", out, in}).out, in + ": converted to " + out + ", 34 -> 33 bytes\n");
    EXPECT_EQ(readFile(out), kRunning);
    EXPECT_EQ(readFile(in), kPlain);
    // A folder in the way: the move fails, the temporary file goes, the folder stays.
    CreateDirectoryA(folder.file("taken").c_str(), nullptr);
    EXPECT_EQ(run(*fs, {"-o", folder.file("taken"), in}).status, 1);
    EXPECT_EQ(run(*fs, {in}).status, 0);
    EXPECT_EQ(readFile(in), kRunning);
    EXPECT_EQ(folder.names(), (std::set<std::string>{"in.mid", "out.mid", "taken"}));
}

}  // namespace
}  // namespace cli::testing
