// quorin-cli's Windows file system under Wine, where it differs from the POSIX one: another
// program's no-sharing handle refuses the file, an output file appears whole through
// MoveFileExA with no temporary file left, and system errors read in English whatever the
// locale.
#include <windows.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace cli::testing {
namespace {

TEST(WindowsFileSystem, RefusesAFileAnotherProgramHoldsOpenAndExplainsErrorsInEnglish) {
    TempFolder folder;
    const std::unique_ptr<CliFileSystem> fs = makePlatformFileSystem();
    const std::string path = folder.file("held.mid");
    writeFile(path, plainSong());
    const HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(run(*fs, {path}).err, path + ": error: in use, locked by another process; left untouched\n");
    EXPECT_EQ(run(*fs, {"-c", path}).err, path + ": error: in use, locked by another process\n");
    CloseHandle(holder);
    EXPECT_EQ(readFile(path), plainSong());
    EXPECT_EQ(run(*fs, {path}).status, 0);
    EXPECT_EQ(readFile(path), runningStatusSong());

    const std::string missing = folder.file("gone.mid");
    EXPECT_EQ(run(*fs, {missing}).err, missing + ": error: cannot be found: File not found\n");
}

TEST(WindowsFileSystem, ReplacesTheOutputWholeAndLeavesNoTemporaryFile) {
    TempFolder folder;
    const std::unique_ptr<CliFileSystem> fs = makePlatformFileSystem();
    const std::string input = folder.file("in.mid");
    const std::string output = folder.file("out.mid");
    writeFile(input, plainSong());
    writeFile(output, {'o', 'l', 'd'});
    const Result result = run(*fs, {"-o", output, input});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, input + ": converted to " + output + ", 34 -> 33 bytes\n");
    EXPECT_EQ(readFile(output), runningStatusSong());
    EXPECT_EQ(readFile(input), plainSong());
    EXPECT_EQ(folder.names(), (std::set<std::string>{"in.mid", "out.mid"}));

    // A folder in the way: the move fails, the temporary file goes, the folder stays.
    const std::string taken = folder.file("taken.mid");
    CreateDirectoryA(taken.c_str(), nullptr);
    EXPECT_EQ(run(*fs, {"-o", taken, input}).status, 1);
    EXPECT_EQ(folder.names(), (std::set<std::string>{"in.mid", "out.mid", "taken.mid"}));
}

}  // namespace
}  // namespace cli::testing
