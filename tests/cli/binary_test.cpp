// The real quorin-cli binary: exit statuses through main(), and which stream gets which
// lines (no progress line when standard error is not a terminal).
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "test_support.h"

namespace cli::testing {
namespace {

// Runs quorin-cli through the shell with args (paths without spaces or quotes).
Result runBinary(const TempFolder& folder, const std::string& args) {
    const std::string out = folder.file(".out");
    const std::string err = folder.file(".err");
    const int status = std::system((QUORIN_CLI_PATH " " + args + " >" + out + " 2>" + err).c_str());
    const auto take = [](const std::string& path) {
        const Bytes bytes = readFile(path);
        std::filesystem::remove(path);
        return std::string(bytes.begin(), bytes.end());
    };
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, take(out), take(err)};
}

TEST(CliBinary, ExitsWithZeroOneOrTwoAndPrintsEachLineWhereItBelongs) {
    TempFolder folder;
    const std::string song = folder.file("song.mid");
    const std::string bad = folder.file("bad.mid");
    writeFile(song, plainSong());
    writeFile(bad, {'M', 'T', 'h', 'd'});
    const std::pair<std::string, Result> cases[] = {
        {"-r on " + song, {0, song + ": converted, 34 -> 33 bytes\n", ""}},
        {song + " " + bad,
         {1, song + ": unchanged, 33 bytes\n",
          bad + ": error: not a valid Standard MIDI File: header at offset 0x4: The header length is cut off; "
                "left untouched\n"}},
        {"--output " + folder.file("x.mid") + " " + song + " " + bad,
         {2, "", "quorin-cli: --output needs exactly one FILE, 2 given\n"
                 "Try 'quorin-cli --help' for more information.\n"}},
    };
    for (const auto& [args, expected] : cases) {
        const Result result = runBinary(folder, args);
        EXPECT_EQ(result.status, expected.status) << args;
        EXPECT_EQ(result.out, expected.out) << args;
        EXPECT_EQ(result.err, expected.err) << args;
    }
    EXPECT_EQ(readFile(song), runningStatusSong());
    EXPECT_EQ(folder.names(), (std::set<std::string>{"song.mid", "bad.mid"}));
}

}  // namespace
}  // namespace cli::testing
