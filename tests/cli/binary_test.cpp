// The real quorin-cli binary through the shell: exit statuses through main(), which stream
// gets which lines (no progress line when standard error is not a terminal), "-" pipes in
// and out, and a report that cannot be written.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

#include "test_support.h"

namespace cli::testing {
namespace {

TEST(CliBinary, ExitsWithItsStatusAndPrintsEachLineWhereItBelongs) {
    TempFolder folder;
    const std::string song = folder.put("song.mid", plainSong());
    const std::string bad = folder.put("bad.mid", {'M', 'T', 'h', 'd'});
    const std::string cli = QUORIN_CLI_PATH " ";
    const std::string usage = "Try 'quorin-cli --help' for more information.\n";
    const std::tuple<std::string, int, std::string, std::string> cases[] = {
        {"-r on " + song, 0, song + ": converted, 34 -> 33 bytes\n", ""},
        {song + " " + bad, 1, song + ": unchanged, 33 bytes\n",
         bad + ": error: not a valid Standard MIDI File: header at offset 0x4: The header length is cut off; left "
               "untouched\n"},
        {"--output " + folder.file("x.mid") + " " + song + " " + bad, 2, "",
         "quorin-cli: --output needs exactly one FILE, 2 given\n" + usage},
        {"--bogus " + song, 2, "", "quorin-cli: unrecognized option '--bogus'\n" + usage},
        {"- < " + song + " | " + cli + "-r off -o - - | cmp - " + folder.put("plain.mid", plainSong()), 0, "",
         "standard input: copied unchanged to standard output, 33 bytes\n"
         "standard input: converted to standard output, 33 -> 34 bytes\n"},
        {"-r off -o " + folder.file("out.mid") + " " + song + " > /dev/full", 1, "",
         "quorin-cli: write error: No space left on device\n"},
    };
    for (const auto& [args, status, out, err] : cases) {
        const std::string outPath = folder.file(".out");
        const std::string errPath = folder.file(".err");
        const int result = std::system(("{ " + cli + args + "; } >" + outPath + " 2>" + errPath).c_str());
        EXPECT_EQ(WIFEXITED(result) ? WEXITSTATUS(result) : -1, status) << args;
        const Bytes outBytes = readFile(outPath);
        const Bytes errBytes = readFile(errPath);
        EXPECT_EQ(std::string(outBytes.begin(), outBytes.end()), out) << args;
        EXPECT_EQ(std::string(errBytes.begin(), errBytes.end()), err) << args;
        std::filesystem::remove(outPath);
        std::filesystem::remove(errPath);
    }
    EXPECT_EQ(readFile(folder.file("out.mid")), plainSong());
    EXPECT_EQ(folder.names(), (std::set<std::string>{"song.mid", "bad.mid", "plain.mid", "out.mid"}));
}

}  // namespace
}  // namespace cli::testing
