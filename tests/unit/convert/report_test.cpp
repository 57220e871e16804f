// Report texts of the conversion run, composed from stand-in table texts.
#include "convert/report.h"

#include <gtest/gtest.h>

namespace convert {
namespace {

std::string fakeText(std::uint32_t id) { return "<" + std::to_string(id) + ">"; }

bool fakeSystemText(std::string& text, std::uint32_t code) {
    if (code == 0) return false;
    text = "sys" + std::to_string(code) + "\r\n";
    return true;
}

// A file's report: quoted path, blank line, text, the system's text on a line of its own;
// a failed rewrite adds whether the original is back. A free-space report names the
// location and says the run stops. Skipped and converted files report nothing.
TEST(ComposeReport, EveryOutcome) {
    struct Case {
        OutcomeKind kind;
        std::uint32_t error;
        const char* location;
        bool restored;
        const char* expected;
    };
    const Case cases[] = {
        {OutcomeKind::OpenFailed, 32, "C:", true, "'C:\\midi\\a.mid'\n\n<160>\nsys32\r\n"},
        {OutcomeKind::OpenFailed, 0, "C:", true, "'C:\\midi\\a.mid'\n\n<160>"},
        {OutcomeKind::NotSmf, 5, "C:", true, "'C:\\midi\\a.mid'\n\n<159>"},
        {OutcomeKind::ReadFailed, 23, "C:", true, "'C:\\midi\\a.mid'\n\n<169>\nsys23\r\n"},
        {OutcomeKind::ReadFailed, 0, "C:", true, "'C:\\midi\\a.mid'\n\n<169>"},
        {OutcomeKind::TooLarge, 0, "C:", true, "'C:\\midi\\a.mid'\n\n<169>"},
        {OutcomeKind::OutOfMemory, 0, "C:", true, "'C:\\midi\\a.mid'\n\n<170>"},
        {OutcomeKind::WriteFailed, 112, "C:", true, "'C:\\midi\\a.mid'\n\n<168>\nsys112\r\n"},
        {OutcomeKind::WriteFailed, 112, "C:", false, "'C:\\midi\\a.mid'\n\n<168>\nsys112\r\n<171>"},
        {OutcomeKind::WriteFailed, 0, "C:", false, "'C:\\midi\\a.mid'\n\n<168><171>"},
        {OutcomeKind::ProbeFailed, 21, "C:", true, "'C:'\n\n<157>\nsys21\r\n<158>"},
        {OutcomeKind::ProbeFailed, 0, "", true, "''\n\n<157><158>"},
        {OutcomeKind::NotEnoughSpace, 0, "\\\\srv\\share\\", true, "'\\\\srv\\share\\'\n\n<156><158>"},
        {OutcomeKind::Converted, 0, "C:", true, ""},
        {OutcomeKind::Folder, 0, "", true, ""},
        {OutcomeKind::Missing, 2, "", true, ""},
    };
    for (const Case& c : cases) {
        FileOutcome outcome;
        outcome.kind = c.kind;
        outcome.error = c.error;
        outcome.location = c.location;
        outcome.restored = c.restored;
        EXPECT_EQ(composeReport(outcome, "C:\\midi\\a.mid", fakeText, fakeSystemText), c.expected)
            << static_cast<int>(c.kind) << " " << c.error;
    }
}

// The report shown when a file's work or report failed on the way: the problem's text,
// after the rewrite's texts when the rewrite failed; made in the room reserved up front.
TEST(FallbackReport, NamesTheProblemAfterAFailedRewriteWithoutAllocating) {
    struct Case {
        bool hasOutcome;
        OutcomeKind kind;
        bool restored;
        bool outOfMemory;
        const char* expected;
    };
    const Case cases[] = {
        {false, OutcomeKind::Converted, true, true, "'C:\\a.mid'\n\n<170>"},
        {false, OutcomeKind::Converted, true, false, "'C:\\a.mid'\n\n<154>"},
        {true, OutcomeKind::NotSmf, true, true, "'C:\\a.mid'\n\n<170>"},
        {true, OutcomeKind::WriteFailed, true, true, "'C:\\a.mid'\n\n<168>\n<170>"},
        {true, OutcomeKind::WriteFailed, false, true, "'C:\\a.mid'\n\n<168><171>\n<170>"},
        {true, OutcomeKind::WriteFailed, false, false, "'C:\\a.mid'\n\n<168><171>\n<154>"},
    };
    FallbackReport fallback(fakeText);
    EXPECT_EQ(fallback.errorCaption(), "<164>");
    for (const Case& c : cases) {
        FileOutcome outcome;
        outcome.kind = c.kind;
        outcome.restored = c.restored;
        EXPECT_EQ(fallback.compose("C:\\a.mid", c.outOfMemory, c.hasOutcome ? &outcome : nullptr), c.expected)
            << static_cast<int>(c.kind) << " " << c.restored << " " << c.outOfMemory;
    }

    // The longest report fits the room reserved at the start; a longer path is left out.
    FileOutcome unrestored;
    unrestored.kind = OutcomeKind::WriteFailed;
    unrestored.restored = false;
    const std::string longest(FallbackReport::kLongestPath, 'x');
    const std::string& first = fallback.compose("", true, nullptr);
    const char* const room = first.data();
    const std::size_t capacity = first.capacity();
    const std::string& report = fallback.compose(longest, false, &unrestored);
    EXPECT_EQ(report, "'" + longest + "'\n\n<168><171>\n<154>");
    EXPECT_EQ(report.data(), room);
    EXPECT_EQ(report.capacity(), capacity);
    EXPECT_EQ(fallback.compose(longest + "y", true, &unrestored), "''\n\n<168><171>\n<170>");
}

}  // namespace
}  // namespace convert
