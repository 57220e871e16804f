// Parsing quorin-cli's command line.
#include "cli/options.h"

#include <cstddef>

namespace cli {

namespace {

enum class Option { RunningStatus, Check, Output, Quiet, Verbose, Help, Version, Unknown };

struct OptionName {
    char shortName;  // 0 when the option has no short form
    const char* longName;
    Option option;
    bool takesValue;
};

constexpr OptionName kOptions[] = {
    {'r', "running-status", Option::RunningStatus, true},
    {'c', "check", Option::Check, false},
    {'o', "output", Option::Output, true},
    {'q', "quiet", Option::Quiet, false},
    {'v', "verbose", Option::Verbose, false},
    {'h', "help", Option::Help, false},
    {0, "version", Option::Version, false},
};

const OptionName* findShort(char name) {
    for (const OptionName& candidate : kOptions)
        if (candidate.shortName != 0 && candidate.shortName == name) return &candidate;
    return nullptr;
}

const OptionName* findLong(const std::string& name) {
    for (const OptionName& candidate : kOptions)
        if (name == candidate.longName) return &candidate;
    return nullptr;
}

ParsedCommandLine usageError(std::string error) {
    ParsedCommandLine parsed;
    parsed.command = Command::UsageError;
    parsed.error = std::move(error);
    return parsed;
}

// Applies one option; false (and error) when its value is not acceptable.
bool apply(const OptionName& option, const std::string& value, CliOptions& options, std::string& error) {
    switch (option.option) {
    case Option::RunningStatus:
        if (value == "on") {
            options.runningStatus = true;
        } else if (value == "off") {
            options.runningStatus = false;
        } else {
            error = "--running-status takes 'on' or 'off', not '" + value + "'";
            return false;
        }
        return true;
    case Option::Check:
        options.check = true;
        return true;
    case Option::Output:
        if (value.empty()) {
            error = "--output needs a path";
            return false;
        }
        options.hasOutput = true;
        options.output = value;
        return true;
    case Option::Quiet:
        options.verbosity = Verbosity::Quiet;
        return true;
    case Option::Verbose:
        options.verbosity = Verbosity::Verbose;
        return true;
    case Option::Help:
    case Option::Version:
    case Option::Unknown:
        break;
    }
    return true;
}

// The checks that need the whole command line.
ParsedCommandLine finish(ParsedCommandLine parsed, bool quietSeen, bool verboseSeen) {
    const CliOptions& options = parsed.options;
    if (quietSeen && verboseSeen) return usageError("--quiet and --verbose cannot be combined");
    if (options.files.empty()) return usageError("no FILE given");
    if (options.hasOutput && options.check) return usageError("--output cannot be combined with --check");
    if (options.hasOutput && options.files.size() != 1)
        return usageError("--output needs exactly one FILE, " + std::to_string(options.files.size()) + " given");
    return parsed;
}

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
    ParsedCommandLine parsed;
    CliOptions& options = parsed.options;
    bool quietSeen = false;
    bool verboseSeen = false;
    bool optionsEnded = false;
    std::string error;

    // Applies option with its value (fetched from the next argument when not attached).
    auto take = [&](const OptionName& option, bool hasAttached, const std::string& attached, std::size_t& i,
                    const std::string& spelling) -> bool {
        if (option.option == Option::Quiet) quietSeen = true;
        if (option.option == Option::Verbose) verboseSeen = true;
        std::string value = attached;
        if (option.takesValue && !hasAttached) {
            if (i + 1 >= args.size()) {
                error = spelling + " needs a value";
                return false;
            }
            value = args[++i];
        }
        return apply(option, value, options, error);
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg[1] == '-') {
            const std::size_t equals = arg.find('=');
            const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            const OptionName* option = findLong(name);
            if (!option) return usageError("unknown option '--" + name + "'");
            if (option->option == Option::Help) return ParsedCommandLine{Command::Help, {}, {}};
            if (option->option == Option::Version) return ParsedCommandLine{Command::Version, {}, {}};
            const bool hasAttached = equals != std::string::npos;
            if (hasAttached && !option->takesValue) return usageError("--" + name + " takes no value");
            if (!take(*option, hasAttached, hasAttached ? arg.substr(equals + 1) : std::string(), i, "--" + name))
                return usageError(error);
            continue;
        }
        // One or more short options; one that takes a value consumes the rest of the argument.
        for (std::size_t j = 1; j < arg.size(); ++j) {
            const OptionName* option = findShort(arg[j]);
            if (!option) return usageError(std::string("unknown option '-") + arg[j] + "'");
            if (option->option == Option::Help) return ParsedCommandLine{Command::Help, {}, {}};
            const bool hasAttached = option->takesValue && j + 1 < arg.size();
            if (!take(*option, hasAttached, hasAttached ? arg.substr(j + 1) : std::string(), i,
                      std::string("-") + arg[j]))
                return usageError(error);
            if (option->takesValue) break;
        }
    }
    return finish(std::move(parsed), quietSeen, verboseSeen);
}

const char* usageText() noexcept {
    return "Usage: quorin-cli [OPTIONS] FILE...\n"
           "\n"
           "Rewrites Standard MIDI Files in place so that their tracks use running status, or\n"
           "do not. Each FILE is read whole and validated strictly; a file that is not a valid\n"
           "Standard MIDI File (format 0, 1 or 2, optionally behind a 128-byte MacBinary header)\n"
           "is reported with the reason and left untouched. A file is rewritten only when its\n"
           "volume has more than twice its new size free; if it has not, the run stops there.\n"
           "Folders are skipped. While a file is converted it is locked; a file locked by\n"
           "another process is reported and left alone.\n"
           "\n"
           "Options:\n"
           "  -r, --running-status on|off  write with running status (on, the default) or\n"
           "                               without it (off)\n"
           "  -c, --check                  change nothing; for each FILE tell whether it is a\n"
           "                               valid Standard MIDI File and, if so, its format,\n"
           "                               division, tracks, events, whether it uses running\n"
           "                               status now, and its size with and without it\n"
           "  -o, --output PATH            with exactly one FILE: write the result to PATH and\n"
           "                               leave FILE as it is; PATH is replaced only once the\n"
           "                               result is complete\n"
           "  -q, --quiet                  print only the lines of files that failed\n"
           "  -v, --verbose                also print the free space checked for each file and\n"
           "                               a summary at the end\n"
           "  -h, --help                   print this help and exit\n"
           "      --version                print the version and exit\n"
           "\n"
           "One line per FILE is printed on standard output: converted (with the old and new\n"
           "size), unchanged, skipped folder, or what went wrong. A progress line is shown on\n"
           "standard error while many files are worked through, when it is a terminal.\n"
           "\n"
           "Exit status:\n"
           "  0  every FILE was converted or skipped (with --check: every FILE is valid)\n"
           "  1  at least one FILE failed\n"
           "  2  the command line is wrong (unknown option, --output with several files, no FILE)\n"
           "\n"
           "Examples:\n"
           "  quorin-cli song.mid                   write song.mid with running status\n"
           "  quorin-cli -r off *.mid               write every .mid file here without it\n"
           "  quorin-cli --check song.mid           look at song.mid, change nothing\n"
           "  quorin-cli -r off -o plain.mid song.mid\n"
           "                                        write song.mid without running status to\n"
           "                                        plain.mid, leaving song.mid as it is\n"
           "  find midi -name '*.mid' -exec quorin-cli -q {} +\n"
           "                                        convert a whole tree, naming only failures\n";
}

const char* versionText() noexcept {
    return "quorin-cli 1.00\n";
}

}  // namespace cli
