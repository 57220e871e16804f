// quorin-cli: converts Standard MIDI Files to and from running status from the command line.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_file_system.h"
#include "cli/runner.h"
#include "convert/out_of_memory.h"

int main(int argc, char** argv) {
    convert::prepareForOutOfMemory();
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    const std::unique_ptr<cli::CliFileSystem> fileSystem = cli::makePlatformFileSystem();
    cli::Console console{std::cout, std::cerr, cli::standardErrorIsTerminal(), {}};
    return cli::runCli(args, *fileSystem, console, true);
}
