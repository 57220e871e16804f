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

std::string report(OutcomeKind kind, std::uint32_t error = 0, const std::string& location = "C:",
                   bool restored = true) {
    FileOutcome outcome;
    outcome.kind = kind;
    outcome.error = error;
    outcome.location = location;
    outcome.restored = restored;
    return composeReport(outcome, "C:\\midi\\a.mid", fakeText, fakeSystemText);
}

TEST(ComposeReport, FileReportsNamePathThenTextThenSystemText) {
    EXPECT_EQ(report(OutcomeKind::OpenFailed, 32), "'C:\\midi\\a.mid'\n\n<160>\nsys32\r\n");
    EXPECT_EQ(report(OutcomeKind::OpenFailed, 0), "'C:\\midi\\a.mid'\n\n<160>");
    EXPECT_EQ(report(OutcomeKind::NotSmf, 5), "'C:\\midi\\a.mid'\n\n<159>");
    EXPECT_EQ(report(OutcomeKind::ReadFailed, 23), "'C:\\midi\\a.mid'\n\n<169>\nsys23\r\n");
    EXPECT_EQ(report(OutcomeKind::ReadFailed, 0), "'C:\\midi\\a.mid'\n\n<169>");
    EXPECT_EQ(report(OutcomeKind::TooLarge), "'C:\\midi\\a.mid'\n\n<169>");
    EXPECT_EQ(report(OutcomeKind::OutOfMemory), "'C:\\midi\\a.mid'\n\n<170>");
}

TEST(ComposeReport, FailedRewriteSaysWhetherOriginalIsBack) {
    EXPECT_EQ(report(OutcomeKind::WriteFailed, 112), "'C:\\midi\\a.mid'\n\n<168>\nsys112\r\n");
    EXPECT_EQ(report(OutcomeKind::WriteFailed, 112, "C:", false), "'C:\\midi\\a.mid'\n\n<168>\nsys112\r\n<171>");
    EXPECT_EQ(report(OutcomeKind::WriteFailed, 0, "C:", false), "'C:\\midi\\a.mid'\n\n<168><171>");
}

TEST(ComposeReport, FreeSpaceReportsNameLocationAndStop) {
    EXPECT_EQ(report(OutcomeKind::ProbeFailed, 21), "'C:'\n\n<157>\nsys21\r\n<158>");
    EXPECT_EQ(report(OutcomeKind::ProbeFailed, 0, ""), "''\n\n<157><158>");
    EXPECT_EQ(report(OutcomeKind::NotEnoughSpace, 0, "\\\\srv\\share\\"), "'\\\\srv\\share\\'\n\n<156><158>");
}

TEST(ComposeReport, SilentOutcomes) {
    EXPECT_EQ(report(OutcomeKind::Converted), "");
    EXPECT_EQ(report(OutcomeKind::Folder), "");
    EXPECT_EQ(report(OutcomeKind::Missing, 2), "");
}

}  // namespace
}  // namespace convert
