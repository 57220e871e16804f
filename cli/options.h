// The command line of quorin-cli: options, their parsing, the usage and version texts.
#pragma once

#include <string>
#include <vector>

namespace cli {

enum class Verbosity { Quiet, Normal, Verbose };

struct CliOptions {
    bool runningStatus = true;  // -r on|off; on like the program's first start
    bool check = false;         // -c: report, change nothing
    bool hasOutput = false;     // -o PATH given
    std::string output;         // the PATH of -o
    Verbosity verbosity = Verbosity::Normal;
    std::vector<std::string> files;
};

enum class Command {
    Run,         // options are complete and valid
    Help,        // -h: print usageText(), exit 0
    Version,     // --version: print versionText(), exit 0
    UsageError,  // error says why; exit 2
};

struct ParsedCommandLine {
    Command command = Command::Run;
    CliOptions options;
    std::string error;  // UsageError only: one English line without the program name
};

// args excludes the program name. Parsed by getopt_long: long options may be shortened to
// any unique prefix ("--runn off") and take their value as "--opt=value" or as the next
// argument; short ones as "-rvalue" or the next argument; flags may be bundled ("-cq");
// options may follow the files; "--" ends the options and "-" is a FILE. -h and --version
// win as soon as they are met; errors read as the GNU tools' ("unrecognized option
// '--bogus'"). Resets getopt's state, so it may be called any number of times.
// On Windows, "/?" anywhere before "--" is -h.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

// "--output needs exactly one FILE, N given" when --output is given with another number of
// files than one, else "". Checked again once Windows patterns are expanded.
std::string fileCountError(const CliOptions& options);

// The complete usage text with examples, ending with a line feed.
const char* usageText() noexcept;
// "quorin-cli 1.00" and a line feed.
const char* versionText() noexcept;

}  // namespace cli
