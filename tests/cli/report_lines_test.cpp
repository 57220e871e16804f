// quorin-cli's lines where runs on real files do not reach the case: names quoted for the
// shell, SMPTE divisions, failures inside chunks and tracks, what a result leaves out.
#include "cli/report_lines.h"

#include <gtest/gtest.h>

namespace cli {
namespace {

using smf::ParseRule;

TEST(ReportLines, QuoteNamesWithControlCharactersAsGnuLsDoes) {
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

TEST(ReportLines, DescribeWhatRunsOnRealFilesDoNotReach) {
    EXPECT_EQ(divisionText(0xE728), "SMPTE 25 frames per second, 40 ticks per frame");
    EXPECT_EQ(divisionText(0xE201), "SMPTE 30 frames per second, 1 tick per frame");
    const std::pair<smf::ParseFailure, std::string> failures[] = {
        {{ParseRule::ChunkTruncated, 0x1F, 1}, "chunk 2 at offset 0x1F: "},
        {{ParseRule::EventTruncated, 0xABCDEF, 2}, "track 3 at offset 0xABCDEF: "},
        {{ParseRule::TrackAfterDeclaredChunks, 0x1A, 1}, "chunk 2 at offset 0x1A: A track chunk follows the 1 chunk "
                                                         "the header declares"},
    };
    for (const auto& [failure, text] : failures) {
        const bool own = failure.rule == ParseRule::TrackAfterDeclaredChunks;
        EXPECT_EQ(describeParseFailure(failure), text + (own ? "" : smf::describeParseRule(failure.rule)));
    }
    const std::pair<smf::ParseSummary, std::string> summaries[] = {
        {{{{'\0', '\\', '~', '\x7F'}, {' ', '\x1B', '\x80', 'z'}}, 1, 0, false},
         " (left out: chunk \\x00\\x5C~\\x7F, chunk  \\x1B\\x80z, 1 byte after the last chunk)"},
        {{{}, 12, 0, false}, " (left out: 12 bytes after the last chunk)"},
    };
    for (const auto& [summary, text] : summaries) EXPECT_EQ(leftOutText(summary), text);
}

}  // namespace
}  // namespace cli
