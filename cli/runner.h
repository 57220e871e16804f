// quorin-cli as a function: parses the command line, converts or checks every file through
// the given file system, and prints to the given streams. main() only wires it up.
#pragma once

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/platform.h"

namespace cli {

struct Console {
    std::ostream& out;   // one line per file; usage and version texts
    std::ostream& err;   // usage errors and the progress line
    bool errIsTerminal;  // the progress line is shown only on a terminal
    // The clock that paces the progress line (steady_clock when empty).
    std::function<std::chrono::steady_clock::time_point()> now;
};

// Exit status: 0 when every file was converted, unchanged or skipped (with --check: every
// file is valid), 1 when any file failed or was not processed, 2 for a usage error, 128 +
// the signal's number when SIGINT, SIGTERM or SIGHUP stopped the run (the file at hand
// finished or abandoned whole, the rest listed as not processed). args
// excludes the program name. With keepMemoryForExit the memory of the last file's song is
// not given back, for a caller that exits right afterwards (the system takes it back at
// once; giving a big song back piece by piece costs a good part of its conversion time).
int runCli(const std::vector<std::string>& args, engine::FileSystem& fileSystem, Console& console,
           bool keepMemoryForExit = false);

}  // namespace cli
