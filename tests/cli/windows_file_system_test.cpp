// quorin-cli's Windows file system under Wine: another program's no-sharing handle refuses
// the file, an output file appears whole through MoveFileExA with no temporary left, and
// system errors read in English whatever the locale.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "cli/cli_file_system.h"
#include "cli/runner.h"
#include "samples.h"

namespace cli::testing {
namespace {

using ::testing::HasSubstr;

class TempFolder {
public:
    TempFolder() {
        char base[MAX_PATH];
        GetTempPathA(sizeof base, base);
        path_ = std::string(base) + "quorin-cli-test-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~TempFolder() {
        for (const std::string& name : names()) DeleteFileA(file(name).c_str());
        RemoveDirectoryA(path_.c_str());
    }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }
    std::set<std::string> names() const {
        std::set<std::string> result;
        WIN32_FIND_DATAA entry;
        const HANDLE search = FindFirstFileA(file("*").c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE) return result;
        do {
            const std::string name = entry.cFileName;
            if (name != "." && name != "..") result.insert(name);
        } while (FindNextFileA(search, &entry));
        FindClose(search);
        return result;
    }

private:
    std::string path_;
};

struct Result {
    int status;
    std::string out;
};

Result run(std::vector<std::string> args) {
    const std::unique_ptr<CliFileSystem> fs = makePlatformFileSystem();
    std::ostringstream out;
    std::ostringstream err;
    Console console{out, err, false, {}};
    const int status = runCli(args, *fs, console);
    return {status, out.str()};
}

TEST(WindowsFileSystem, RefusesAFileAnotherProgramHoldsOpen) {
    TempFolder folder;
    const std::string path = folder.file("held.mid");
    writeFile(path, plainSong());
    const HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(run({path}).out, path + ": error: in use, locked by another process; left untouched\n");
    EXPECT_EQ(run({"-c", path}).out, path + ": error: in use, locked by another process\n");
    CloseHandle(holder);
    EXPECT_EQ(readFile(path), plainSong());
    EXPECT_EQ(run({path}).status, 0);
    EXPECT_EQ(readFile(path), runningStatusSong());
}

TEST(WindowsFileSystem, ReplacesTheOutputWholeAndLeavesNoTemporaryFile) {
    TempFolder folder;
    const std::string input = folder.file("in.mid");
    const std::string output = folder.file("out.mid");
    writeFile(input, plainSong());
    writeFile(output, {'o', 'l', 'd'});
    const Result result = run({"-o", output, input});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, input + ": converted to " + output + ", 34 -> 33 bytes\n");
    EXPECT_EQ(readFile(output), runningStatusSong());
    EXPECT_EQ(readFile(input), plainSong());
    EXPECT_EQ(folder.names(), (std::set<std::string>{"in.mid", "out.mid"}));

    // A folder in the way: the move fails, the temporary file goes, the folder stays.
    CreateDirectoryA(folder.file("taken.mid").c_str(), nullptr);
    EXPECT_THAT(run({"-o", folder.file("taken.mid"), input}).out, HasSubstr(": error: cannot write "));
    RemoveDirectoryA(folder.file("taken.mid").c_str());
    EXPECT_EQ(folder.names(), (std::set<std::string>{"in.mid", "out.mid"}));
}

TEST(WindowsFileSystem, ExplainsErrorsInEnglish) {
    TempFolder folder;
    const std::string missing = folder.file("gone.mid");
    const Result result = run({missing});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, missing + ": error: cannot be found: File not found\n");
}

}  // namespace
}  // namespace cli::testing
