// Parsing quorin-cli's command line with getopt_long.
#include "cli/options.h"

#include <getopt.h>

#include <cstddef>
#include <cstring>

namespace cli {

namespace {

// Values above any character, so that a long option is told apart from its short form
// when getopt_long reports a problem with it.
enum : int { kRunningStatus = 0x100, kCheck, kOutput, kQuiet, kVerbose, kHelp, kVersion };

// The leading ':' keeps getopt_long quiet (messages are composed here, for the caller to
// print) and reports a missing value as ':'.
constexpr char kShortOptions[] = ":r:co:qvh";

const option kLongOptions[] = {
    {"running-status", required_argument, nullptr, kRunningStatus},
    {"check", no_argument, nullptr, kCheck},
    {"output", required_argument, nullptr, kOutput},
    {"quiet", no_argument, nullptr, kQuiet},
    {"verbose", no_argument, nullptr, kVerbose},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

ParsedCommandLine usageError(std::string error) {
    ParsedCommandLine parsed;
    parsed.command = Command::UsageError;
    parsed.error = std::move(error);
    return parsed;
}

// getopt_long's complaints, worded as GNU getopt words them: getopt_long itself is kept
// quiet, since its words differ from system to system and they must reach the run's error
// stream. %s is the option: as typed, by its long name, or by its letter.
enum Complaint { kUnrecognized, kAmbiguous, kInvalidLetter, kLetterNeedsArgument, kNeedsArgument, kTakesNoArgument };
constexpr const char* kComplaints[] = {
    "unrecognized option '%s'",
    "option '%s' is ambiguous; possibilities:",
    "invalid option -- '%s'",
    "option requires an argument -- '%s'",
    "option '--%s' requires an argument",
    "option '--%s' doesn't allow an argument",
};

std::string complaint(Complaint which, const std::string& option) {
    std::string text = kComplaints[which];
    return text.replace(text.find("%s"), 2, option);
}

// The complaint for getopt_long's ':' or '?' (result), after it stepped past argument.
std::string complaintFor(int result, const char* argument) {
    if (optopt > 0xFF) {  // a long option by its value: a value missing, or one it takes none of
        const option* known = kLongOptions;
        while (known->val != optopt) ++known;
        return complaint(known->has_arg == no_argument ? kTakesNoArgument : kNeedsArgument, known->name);
    }
    const std::string letter(1, static_cast<char>(optopt));
    if (optopt != 0) return complaint(result == ':' ? kLetterNeedsArgument : kInvalidLetter, letter);
    // A long option that matches none, or more than one.
    const std::string typed = argument;
    const std::string name = typed.substr(2, typed.find('=') - 2);
    std::string possibilities;
    int matches = 0;
    for (const option* candidate = kLongOptions; candidate->name; ++candidate) {
        if (std::strncmp(candidate->name, name.c_str(), name.size()) != 0) continue;
        possibilities += std::string(" '--") + candidate->name + "'";
        ++matches;
    }
    return matches > 1 ? complaint(kAmbiguous, typed) + possibilities : complaint(kUnrecognized, typed);
}

// The checks that need the whole command line.
ParsedCommandLine finish(ParsedCommandLine parsed, bool quietSeen, bool verboseSeen) {
    const CliOptions& options = parsed.options;
    if (quietSeen && verboseSeen) return usageError("--quiet and --verbose cannot be combined");
    if (options.files.empty()) return usageError("no FILE given");
    if (options.hasOutput && options.check) return usageError("--output cannot be combined with --check");
    std::string countError = fileCountError(options);
    if (!countError.empty()) return usageError(std::move(countError));
    return parsed;
}

// "/?", the help request of Windows programs; it names no file there ("?" is no character
// of a name).
bool asksForWindowsHelp(const std::vector<std::string>& args) {
#ifdef _WIN32
    for (const std::string& arg : args) {
        if (arg == "--") return false;
        if (arg == "/?") return true;
    }
#else
    static_cast<void>(args);
#endif
    return false;
}

}  // namespace

std::string fileCountError(const CliOptions& options) {
    if (!options.hasOutput || options.files.size() == 1) return std::string();
    return "--output needs exactly one FILE, " + std::to_string(options.files.size()) + " given";
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
    if (asksForWindowsHelp(args)) return ParsedCommandLine{Command::Help, {}, {}};
    // getopt_long permutes its argv: give it copies, program name first.
    std::vector<std::string> copies{"quorin-cli"};
    copies.insert(copies.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& copy : copies) argv.push_back(copy.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(copies.size());

    ParsedCommandLine parsed;
    CliOptions& options = parsed.options;
    bool quietSeen = false;
    bool verboseSeen = false;
    optind = 0;  // a full restart of getopt's scan, on glibc and MinGW-w64 alike
    for (;;) {
        const int val = getopt_long(argc, argv.data(), kShortOptions, kLongOptions, nullptr);
        if (val == -1) break;
        switch (val) {
        case 'r':
        case kRunningStatus:
            if (std::strcmp(optarg, "on") == 0) {
                options.runningStatus = true;
            } else if (std::strcmp(optarg, "off") == 0) {
                options.runningStatus = false;
            } else {
                return usageError(std::string("invalid argument '") + optarg +
                                  "' for '--running-status'; valid arguments are 'on' and 'off'");
            }
            break;
        case 'c':
        case kCheck: options.check = true; break;
        case 'o':
        case kOutput:
            if (*optarg == '\0') return usageError("--output needs a path");
            options.hasOutput = true;
            options.output = optarg;
            break;
        case 'q':
        case kQuiet:
            quietSeen = true;
            options.verbosity = Verbosity::Quiet;
            break;
        case 'v':
        case kVerbose:
            verboseSeen = true;
            options.verbosity = Verbosity::Verbose;
            break;
        case 'h':
        case kHelp: return ParsedCommandLine{Command::Help, {}, {}};
        case kVersion: return ParsedCommandLine{Command::Version, {}, {}};
        default:  // ':' or '?'; an unplaced long option is a whole argument, which getopt_long stepped past
            return usageError(complaintFor(val, argv[optind - 1]));
        }
    }
    for (int i = optind; i < argc; ++i) options.files.emplace_back(argv[i]);
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
#ifdef _WIN32
           "Folders are skipped. While a file is converted no other program can open it; a\n"
           "file in use by another program, a file with the read-only attribute, and one\n"
           "that you may not write are reported and left alone. A file that needs no change\n"
           "is not written, and never stops a run for want of space.\n"
           "\n"
           "A FILE with * or ? in its name is a pattern: it stands for the names it matches\n"
           "in its folder, in name order. A pattern that matches nothing is an error. Names\n"
           "are taken whole, whatever their characters.\n"
           "\n"
           "How a file is replaced: the result goes to NAME.quorin-new.tmp beside it, is\n"
           "flushed to disk and put in its place by ReplaceFileW, which keeps its\n"
           "attributes, ACL and streams; until then its former bytes may sit under\n"
           "NAME.quorin-old.tmp. (For a name that the ANSI code page cannot spell, NAME is\n"
           "its best-fit spelling and a tag follows: Fur Elise.mid.quorin-new-TAG.tmp.)\n"
           "An interruption at any moment leaves the old file or the new one, whole; the\n"
           "next conversion of the file removes the two names if a killed run left them. A\n"
           "file with more than one hard link, in a folder that takes no new file, or whose\n"
           "temporary name would not fit in MAX_PATH, is written in place instead (written,\n"
           "cut to its new end, flushed, its former bytes written back if that fails):\n"
           "Ctrl+C lets it finish, but a crash or a forced end of the program during that\n"
           "write can damage it. --output PATH is replaced whole: the result goes to a new\n"
           "file in the same folder, is flushed to disk and is moved over PATH in one step.\n"
           "\n"
           "A FILE of - is standard input; its result goes to standard output unless --output\n"
           "names a path. When a result goes to standard output, the lines go to standard\n"
           "error. Ctrl+C lets the file at hand finish, names the rest \"not processed\" and\n"
           "ends the run.\n"
#else
           "Folders are skipped. While a file is converted it is locked; a file locked by\n"
           "another process (flock, fcntl or lockf) is reported and left alone. A file that\n"
           "needs no change is not written, and never stops a run for want of space.\n"
           "\n"
           "How a file is replaced: the result goes to a hidden temporary file in the same\n"
           "folder, is flushed to disk and renamed over the file, so that an interruption at\n"
           "any moment leaves the old file or the new one, whole. The file keeps its mode,\n"
           "owner, group and extended attributes (ACLs included); a symbolic link stays a link\n"
           "and its target is replaced. A file with more than one hard link, or whose owner,\n"
           "group or attributes a new file cannot be given (another user's file that you may\n"
           "write, say), is written through in place instead, since a new file would break\n"
           "its links or change hands: Ctrl+C and the other stop signals then wait until it\n"
           "is complete and on disk, but a crash or SIGKILL during that write damages it.\n"
           "\n"
           "Symbolic links are followed, and the line names where they led\n"
           "(\"song.mid -> /srv/midi/song.mid: converted, ...\"), except in a sticky folder that\n"
           "anyone may write (such as /tmp): there only a link of your own or of the folder's\n"
           "owner is followed, as the kernel's protected_symlinks rule has it. Anything but a\n"
           "regular file is refused before it is opened, and a name or folder swapped while a\n"
           "file is converted leaves that file untouched. To convert a tree, give quorin-cli\n"
           "its regular files only: find DIR -type f -name '*.mid' -exec quorin-cli {} +\n"
           "\n"
           "A FILE of - is standard input; its result goes to standard output unless --output\n"
           "names a path. When a result goes to standard output, the lines go to standard\n"
           "error. SIGINT (Ctrl+C), SIGTERM and SIGHUP let the file at hand finish, name the\n"
           "rest \"not processed\" and end the run.\n"
#endif
           "\n"
           "The result holds the header chunk, the track chunks and, after them, the chunks\n"
           "that followed the tracks in the file (XF karaoke, style data, a settings track\n"
           "that the header does not count), unchanged and in their order: nobody asked to\n"
           "change them. Left out are chunks of other types among those the header counts,\n"
           "and whatever follows the last whole chunk (padding, a second header, a chunk cut\n"
           "off by the end of the file). The file's line names both, the first four chunks\n"
           "and then how many more: \"(kept after the tracks: chunk XFIH, chunk XFKM)\",\n"
           "\"(left out: 2 bytes after the last chunk)\". Keep a copy of files whose left-out\n"
           "data matters.\n"
           "\n"
           "Options:\n"
           "  -r, --running-status on|off  write with running status (on, the default) or\n"
           "                               without it (off)\n"
           "  -c, --check                  change nothing; for each FILE tell whether it is a\n"
           "                               valid Standard MIDI File and, if so, its format,\n"
           "                               division, tracks, events, whether it uses running\n"
           "                               status now, its size with and without it, and\n"
           "                               what a rewrite would leave out\n"
           "  -o, --output PATH            with exactly one FILE: write the result to PATH and\n"
#ifdef _WIN32
           "                               leave FILE as it is; PATH is replaced only once\n"
           "                               the result is complete; a device (NUL) is written\n"
           "                               to, a folder refused; - is standard output\n"
#else
           "                               leave FILE as it is; PATH is replaced as a FILE is\n"
           "                               (only once the result is complete); a link is\n"
           "                               followed as above but never to create a file, a\n"
           "                               pipe or device written to, a folder refused, and\n"
           "                               so is, for root, another user's file in a folder\n"
           "                               that others may write; - is standard output\n"
#endif
           "  -q, --quiet                  print only the lines of files that failed\n"
           "  -v, --verbose                also print the free space checked for each file and\n"
           "                               a summary at the end\n"
#ifdef _WIN32
           "  -h, --help, /?               print this help and exit\n"
#else
           "  -h, --help                   print this help and exit\n"
#endif
           "      --version                print the version and exit\n"
           "\n"
           "One line per FILE: converted (with the old and new size and what was left out),\n"
           "unchanged or skipped folder on standard output; what went wrong on standard\n"
#ifdef _WIN32
           "error. Names are written as they are (in UTF-8 to a file or pipe, as their\n"
           "characters to a console), except that one holding characters that reorder or\n"
           "hide text (U+202E, U+200B, ...) is quoted as for a POSIX shell, those characters\n"
           "byte by byte in octal. A progress line is shown on standard error while many\n"
           "files are worked through, when it is a console.\n"
#else
           "error. A name holding control characters (C0, C1), bytes that are not UTF-8 or\n"
           "characters that reorder or hide text (U+202E, U+200B, ...) is quoted as for the\n"
           "shell ('two'$'\\n''lines.mid'). A progress line is shown on standard error while\n"
           "many files are worked through, when it is a terminal. A converted file whose\n"
           "folder could not be synced is whole, but its line says that a crash soon after\n"
           "could bring back its former content, and the exit status is 1.\n"
#endif
           "\n"
           "Exit status:\n"
           "  0  every FILE was converted or skipped (with --check: every FILE is valid)\n"
           "  1  at least one FILE failed, or standard output could not be written\n"
           "  2  the command line is wrong (unknown option, --output with several files, no FILE)\n"
#ifdef _WIN32
           "  130  Ctrl+C stopped the run\n"
#else
           "  128+N  signal N stopped the run (130 for Ctrl+C)\n"
#endif
           "\n"
           "Examples:\n"
           "  quorin-cli song.mid                   write song.mid with running status\n"
           "  quorin-cli -r off *.mid               write every .mid file here without it\n"
           "  quorin-cli --check song.mid           look at song.mid, change nothing\n"
           "  quorin-cli -r off -o plain.mid song.mid\n"
           "                                        write song.mid without running status to\n"
           "                                        plain.mid, leaving song.mid as it is\n"
           "  quorin-cli -r off - < in.mid > out.mid\n"
           "                                        the same through a pipe\n"
#ifdef _WIN32
           "  for /r midi %f in (*.mid) do @quorin-cli -q \"%f\"\n"
           "                                        convert a whole tree, naming only failures\n"
           "                                        (in a batch file, write %%f)\n";
#else
           "  find midi -type f -name '*.mid' -exec quorin-cli -q {} +\n"
           "                                        convert a whole tree, naming only failures\n";
#endif
}

const char* versionText() noexcept {
    return "quorin-cli 1.00\n";
}

}  // namespace cli
