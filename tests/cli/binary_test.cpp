// The real quorin-cli binary: exit statuses, and where its lines go (no progress line when
// standard error is not a terminal).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "posix_test_support.h"
#include "samples.h"

extern char** environ;

namespace cli::testing {
namespace {

using ::testing::HasSubstr;

struct Process {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readText(const std::string& path) {
    const std::vector<std::uint8_t> bytes = readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// Runs quorin-cli with args; stdout and stderr go to files.
Process runBinary(const TempFolder& folder, std::vector<std::string> args) {
    const std::string outPath = folder.path() + "/.stdout";
    const std::string errPath = folder.path() + "/.stderr";
    args.insert(args.begin(), QUORIN_CLI_PATH);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Process process;
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        process.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    process.out = readText(outPath);
    process.err = readText(errPath);
    ::unlink(outPath.c_str());
    ::unlink(errPath.c_str());
    return process;
}

TEST(CliBinary, ExitsWithZeroOneOrTwo) {
    TempFolder folder;
    const std::string song = folder.file("song.mid");
    const std::string bad = folder.file("bad.mid");
    writeFile(song, plainSong());
    writeFile(bad, {'M', 'T', 'h', 'd'});

    Process process = runBinary(folder, {"-r", "on", song});
    EXPECT_EQ(process.status, 0);
    EXPECT_EQ(process.out, song + ": converted, 34 -> 33 bytes\n");
    EXPECT_EQ(process.err, "");
    EXPECT_EQ(readFile(song), runningStatusSong());

    process = runBinary(folder, {song, bad});
    EXPECT_EQ(process.status, 1);
    EXPECT_EQ(process.out, song + ": unchanged, 33 bytes\n" + bad +
                               ": error: not a valid Standard MIDI File: header at offset 0x4: "
                               "The header length is cut off; left untouched\n");
    EXPECT_EQ(process.err, "") << "no progress line when stderr is not a terminal";

    process = runBinary(folder, {"--output", folder.file("x.mid"), song, bad});
    EXPECT_EQ(process.status, 2);
    EXPECT_EQ(process.out, "");
    EXPECT_THAT(process.err, HasSubstr("quorin-cli: --output needs exactly one FILE, 2 given\n"));
    EXPECT_EQ(folder.names(), (std::set<std::string>{"song.mid", "bad.mid"}));

    process = runBinary(folder, {"--version"});
    EXPECT_EQ(process.status, 0);
    EXPECT_EQ(process.out, "quorin-cli 1.00\n");
    process = runBinary(folder, {"-q", "--help"});
    EXPECT_EQ(process.status, 0);
    EXPECT_THAT(process.out, HasSubstr("Usage: quorin-cli [OPTIONS] FILE...\n"));
}

}  // namespace
}  // namespace cli::testing
