// quorin-cli's command-line parsing: the spellings of each option and what is refused.
#include "cli/options.h"

#include <gtest/gtest.h>

namespace cli {
namespace {

TEST(CommandLine, AcceptsEverySpellingOfTheOptions) {
    ParsedCommandLine parsed = parseCommandLine({"a.mid"});
    ASSERT_EQ(parsed.command, Command::Run);
    EXPECT_TRUE(parsed.options.runningStatus);
    EXPECT_FALSE(parsed.options.check);
    EXPECT_FALSE(parsed.options.hasOutput);
    EXPECT_EQ(parsed.options.verbosity, Verbosity::Normal);

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-r", "off", "-o", "x.mid", "a.mid"},
             {"-roff", "-ox.mid", "a.mid"},
             {"--running-status=off", "--output=x.mid", "a.mid"},
             {"--running-status", "off", "a.mid", "--output", "x.mid"}}) {
        parsed = parseCommandLine(args);
        ASSERT_EQ(parsed.command, Command::Run) << parsed.error;
        EXPECT_FALSE(parsed.options.runningStatus);
        EXPECT_EQ(parsed.options.output, "x.mid");
        EXPECT_EQ(parsed.options.files, std::vector<std::string>{"a.mid"});
    }

    parsed = parseCommandLine({"-cv", "a.mid", "--", "-q", "-"});
    ASSERT_EQ(parsed.command, Command::Run) << parsed.error;
    EXPECT_TRUE(parsed.options.check);
    EXPECT_EQ(parsed.options.verbosity, Verbosity::Verbose);
    EXPECT_EQ(parsed.options.files, (std::vector<std::string>{"a.mid", "-q", "-"}));
}

TEST(CommandLine, RefusesWhatCannotBeMeant) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "no FILE given"},
        {{"-x", "a.mid"}, "unknown option '-x'"},
        {{"--running", "on", "a.mid"}, "unknown option '--running'"},
        {{"-r"}, "-r needs a value"},
        {{"-r", "yes", "a.mid"}, "--running-status takes 'on' or 'off', not 'yes'"},
        {{"--check=1", "a.mid"}, "--check takes no value"},
        {{"-o", "", "a.mid"}, "--output needs a path"},
        {{"-o", "x.mid", "a.mid", "b.mid"}, "--output needs exactly one FILE, 2 given"},
        {{"-o", "x.mid"}, "no FILE given"},
        {{"-c", "-o", "x.mid", "a.mid"}, "--output cannot be combined with --check"},
        {{"-q", "-v", "a.mid"}, "--quiet and --verbose cannot be combined"},
    };
    for (const auto& [args, error] : cases) {
        const ParsedCommandLine parsed = parseCommandLine(args);
        EXPECT_EQ(parsed.command, Command::UsageError) << error;
        EXPECT_EQ(parsed.error, error);
    }
}

TEST(CommandLine, HelpAndVersionWinWhereverTheyStand) {
    EXPECT_EQ(parseCommandLine({"-q", "-v", "--help"}).command, Command::Help);
    EXPECT_EQ(parseCommandLine({"-ch"}).command, Command::Help);
    EXPECT_EQ(parseCommandLine({"a.mid", "--version", "b.mid"}).command, Command::Version);
    EXPECT_EQ(parseCommandLine({"--bogus", "--help"}).command, Command::UsageError);
}

}  // namespace
}  // namespace cli
