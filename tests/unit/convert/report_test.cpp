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

}  // namespace
}  // namespace convert
