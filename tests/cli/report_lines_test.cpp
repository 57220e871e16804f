// quorin-cli's lines where a whole run would hide the cause: names quoted for the shell.
#include "cli/report_lines.h"

#include <gtest/gtest.h>

namespace cli {
namespace {

TEST(QuoteName, QuotesOnlyNamesWithControlCharactersAsGnuLsDoes) {
    const std::pair<std::string, std::string> cases[] = {
        {"song.mid", "song.mid"},
        {"it's ~ $x \\ \x80\xFF.mid", "it's ~ $x \\ \x80\xFF.mid"},
        {"two\nlines.mid", "'two'$'\\n''lines.mid'"},
        {std::string("\x1B[31m\a\b\t\v\f\r", 11) + "x", "$'\\033''[31m'$'\\a\\b\\t\\v\\f\\r''x'"},
        {"it's\x7F", "'it'\\''s'$'\\177'"},
        {std::string("\x1F\0", 2), "$'\\037\\000'"},
        {"\n", "$'\\n'"},
    };
    for (const auto& [name, quoted] : cases) EXPECT_EQ(quoteName(name), quoted) << quoted;
}

}  // namespace
}  // namespace cli
