// quorin-cli's lines where a whole run cannot reach the case or would hide the cause: names
// quoted for the shell, parse failures, what a result leaves out, every outcome's line.
#include "cli/report_lines.h"

#include <gtest/gtest.h>

namespace cli {
namespace {

using convert::FileOutcome;
using convert::OutcomeKind;

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

TEST(ReportLines, DescribeDivisionsParseFailuresAndWhatAResultLeavesOut) {
    EXPECT_EQ(divisionText(1), "1 tick per quarter note");
    EXPECT_EQ(divisionText(0xE728), "SMPTE 25 frames per second, 40 ticks per frame");
    EXPECT_EQ(divisionText(0xE201), "SMPTE 30 frames per second, 1 tick per frame");

    using smf::ParseRule;
    const std::pair<smf::ParseFailure, std::string> failures[] = {
        {{ParseRule::HeaderExtraTruncated, 0x8A, 0}, "header at offset 0x8A: "},
        {{ParseRule::ChunkTruncated, 0x1F, 1}, "chunk 2 at offset 0x1F: "},
        {{ParseRule::EventTruncated, 0xABCDEF, 2}, "track 3 at offset 0xABCDEF: "},
        {{ParseRule::TrackAfterDeclaredChunks, 0x2C, 2},
         "chunk 3 at offset 0x2C: A track chunk follows the 2 chunks the header declares"},
        {{ParseRule::TrackAfterDeclaredChunks, 0x1A, 1},
         "chunk 2 at offset 0x1A: A track chunk follows the 1 chunk the header declares"},
    };
    for (const auto& [failure, text] : failures) {
        const std::string rule = failure.rule == ParseRule::TrackAfterDeclaredChunks
                                     ? std::string()
                                     : smf::describeParseRule(failure.rule);
        EXPECT_EQ(describeParseFailure(failure), text + rule);
    }

    const std::pair<smf::ParseSummary, std::string> summaries[] = {
        {{{}, 0, 5, true}, ""},
        {{{{'X', 'F', 'I', 'H'}, {'X', 'F', 'K', 'M'}}, 0, 0, false}, " (left out: chunk XFIH, chunk XFKM)"},
        {{{{'\0', '\\', '~', '\x7F'}, {' ', '\x1B', '\x80', 'z'}}, 1, 0, false},
         " (left out: chunk \\x00\\x5C~\\x7F, chunk  \\x1B\\x80z, 1 byte after the last chunk)"},
        {{{}, 12, 0, false}, " (left out: 12 bytes after the last chunk)"},
    };
    for (const auto& [summary, text] : summaries) EXPECT_EQ(leftOutText(summary), text);
}

// The outcomes, and the contexts of each, that runs on real files do not reach.
TEST(ReportLines, NameEveryOutcomeAndWhatBecameOfTheFile) {
    const std::string out = "o\nut.mid";
    enum Context { None = 0, Lock = 1, Unchanged = 2, ToOutput = 4, Verbose = 8, Check = 16 };
    struct Row {
        OutcomeKind kind;
        const char* systemText;
        int context;
        bool restored;
        std::string line;
    };
    const Row rows[] = {
        {OutcomeKind::Converted, "", Verbose, true,
         "converted, 40 -> 30 bytes (left out: chunk XFIH) (1 byte free in 'd'$'\\t')"},
        {OutcomeKind::Converted, "", Unchanged | ToOutput, true, "copied unchanged to 'o'$'\\n''ut.mid', 30 bytes"},
        {OutcomeKind::Converted, "", ToOutput, true,
         "converted to 'o'$'\\n''ut.mid', 40 -> 30 bytes (left out: chunk XFIH)"},
        {OutcomeKind::Missing, "gone", None, true, "error: cannot be found: gone"},
        {OutcomeKind::OpenFailed, "held", Lock | Check, true, "error: in use, locked by another process"},
        {OutcomeKind::OpenFailed, "denied", None, true, "error: cannot be opened: denied"},
        {OutcomeKind::ReadFailed, "", None, true, "error: not enough memory to read its 40 bytes"},
        {OutcomeKind::ReadFailed, "eio", None, true, "error: cannot be read: eio"},
        {OutcomeKind::TooLarge, "", None, true, "error: too large (40 bytes; at most 4294967295 can be read)"},
        {OutcomeKind::NotSmf, "", Check, true,
         "error: not a valid Standard MIDI File: header at offset 0x0: " +
             std::string(smf::describeParseRule(smf::ParseRule::HeaderTooShort))},
        {OutcomeKind::OutOfMemory, "", None, true, "error: not enough memory to convert it; left untouched"},
        {OutcomeKind::ProbeFailed, "eio", None, true,
         "error: the free space in 'd'$'\\t' cannot be obtained: eio; left untouched, stopping"},
        {OutcomeKind::NotEnoughSpace, "", None, true,
         "error: not enough free space in 'd'$'\\t' (1 byte free, more than 60 bytes needed); left untouched, "
         "stopping"},
        {OutcomeKind::WriteFailed, "", None, false,
         "error: cannot be written; its original content could NOT be put back, the file is damaged"},
        {OutcomeKind::WriteFailed, "full", ToOutput, true,
         "error: cannot write 'o'$'\\n''ut.mid': full; 'o'$'\\n''ut.mid' was left as it was"},
    };
    for (const Row& row : rows) {
        FileOutcome outcome;
        outcome.kind = row.kind;
        outcome.error = *row.systemText ? 5 : 0;
        outcome.restored = row.restored;
        outcome.oldSize = 40;
        outcome.newSize = 30;
        outcome.freeBytes = 1;
        outcome.location = "d\t";
        outcome.parseFailure = {smf::ParseRule::HeaderTooShort, 0, 0};
        if (!(row.context & Unchanged)) outcome.summary.otherChunks = {{'X', 'F', 'I', 'H'}};
        LineContext context;
        context.systemText = row.systemText;
        context.lockConflict = row.context & Lock;
        context.unchanged = row.context & Unchanged;
        context.output = row.context & ToOutput ? &out : nullptr;
        context.verbose = row.context & Verbose;
        context.check = row.context & Check;
        EXPECT_EQ(conversionLine("s.mid", outcome, context), "s.mid: " + row.line);
        EXPECT_EQ(isFailure(outcome), row.kind != OutcomeKind::Converted && row.kind != OutcomeKind::Folder);
    }
}

}  // namespace
}  // namespace cli
