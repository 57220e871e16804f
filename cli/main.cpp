// quorin-cli: converts Standard MIDI Files to and from running status from the command line.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_file_system.h"
#include "cli/runner.h"

namespace {

// The first exception a process throws makes the unwinder build its tables on the heap
// (MinGW's 32-bit DWARF unwinder among others). Done here, while memory is plentiful, so
// that a std::bad_alloc thrown when memory runs out can be caught instead of aborting.
void prepareUnwinder() {
    try {
        throw 0;
    } catch (int) {
    }
}

}  // namespace

int main(int argc, char** argv) {
    prepareUnwinder();
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    const std::unique_ptr<cli::CliFileSystem> fileSystem = cli::makePlatformFileSystem();
    cli::Console console{std::cout, std::cerr, cli::standardErrorIsTerminal(), {}};
    return cli::runCli(args, *fileSystem, console, true);
}
