// Where dialogs, boxes and the main window go; the string loader; the reports of a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "gui/centring.h"
#include "gui/message_text.h"
#include "gui/report.h"
#include "gui/window_position.h"
#include "res/resource.h"

namespace gui {
namespace {

using engine::FileOutcome;
using engine::OutcomeKind;

std::pair<std::int32_t, std::int32_t> xy(Position p) {
    return {p.x, p.y};
}

enum Owner { kNoOwner, kHiddenOwner, kMinimisedOwner, kShownOwner };

const Rectangle kScreen{0, 0, 1000, 700};
const Rectangle kSmall{0, 0, 200, 100};
const Rectangle kBig{500, 500, 800, 700};

// A top-level window (by default 100 x 50) with its owner over ownerArea, in workArea.
CentringScene topLevel(Owner owner, Rectangle ownerArea, Rectangle window = {500, 500, 600, 550},
                       Rectangle workArea = kScreen) {
    CentringScene scene;
    scene.window = window;
    scene.hasOwner = owner != kNoOwner;
    scene.ownerVisible = owner != kHiddenOwner;
    scene.ownerMinimised = owner == kMinimisedOwner;
    scene.owner = ownerArea;
    scene.workArea = workArea;
    return scene;
}

// A top-level window goes over its owner only when that is shown and not minimised, else
// over the work area, and stays inside the work area: one correction per axis, the left and
// top edges first, so a window larger than the area overhangs it. A child goes into its
// parent's client area.
TEST(PlaceWindow, OverTheOwnerInsideTheWorkArea) {
    const std::pair<CentringScene, Position> rows[] = {
        {topLevel(kNoOwner, kSmall), {450, 325}},
        {topLevel(kHiddenOwner, kSmall), {450, 325}},
        {topLevel(kMinimisedOwner, kSmall), {450, 325}},
        {topLevel(kShownOwner, {100, 100, 500, 400}), {250, 225}},
        {topLevel(kShownOwner, {0, 0, 100, 100}, kBig), {0, 0}},
        {topLevel(kShownOwner, {900, 600, 1000, 700}, kBig), {700, 500}},
        {topLevel(kShownOwner, {150, 60, 250, 140}, kBig, kSmall), {-100, -100}},
    };
    for (const auto& [scene, expected] : rows) EXPECT_EQ(xy(placeWindow(scene)), xy(expected));
    CentringScene child;
    child.window = kBig;
    child.child = true;
    child.parentClient = {0, 0, 400, 300};
    EXPECT_EQ(xy(placeWindow(child)), xy({50, 50}));
}

// A primary monitor with a task bar along its foot, and a second one to its right that
// starts higher; a window of 300 x 150. A position from which the window would be seen on no
// monitor gives way to (0, 0); a window partly off its monitor's work area moves into the
// work area of the monitor it overlaps most, as little as needed.
TEST(OpeningPosition, EndsInsideAWorkArea) {
    const std::vector<MonitorArea> monitors = {
        {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}},
        {{1920, -200, 3200, 824}, {1920, -200, 3200, 824}},
    };
    const std::int32_t width = 300;
    const std::int32_t height = 150;
    const Position fallback{0, 0};
    struct Row {
        const char* what;
        Position stored;
        Position expected;
    };
    const Row rows[] = {
        {"inside the second", {2000, -150}, {2000, -150}},
        {"right of every monitor", {5000, 100}, {0, 0}},
        {"above the second, right of the primary", {1950, -400}, {0, 0}},
        {"far outside, past the 32-bit range", {2147483600, -2147483600}, {0, 0}},
        {"partly under the task bar", {100, 1000}, {100, 890}},
        {"partly off the left edge", {-100, 300}, {0, 300}},
        {"one pixel on the second's lower right corner", {3199, 823}, {2900, 674}},
        {"across both, mostly on the second", {1800, 500}, {1920, 500}},
        {"across both, half on each: the first monitor", {1770, 500}, {1620, 500}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(xy(onScreenPosition(row.stored, width, height, monitors, fallback)), xy(row.expected)) << row.what;
    EXPECT_EQ(xy(onScreenPosition({5000, -3000}, width, height, {}, fallback)), xy({5000, -3000}));
}

// The loader is fed as LoadStringA feeds it: at most capacity - 1 bytes and a NUL, the count
// returned, 0 for a missing entry. It asks again, with more room, until 3 bytes are left.
TEST(MessageText, TheLoaderGrowsUntilTheTextIsWhole) {
    struct Row {
        int length;
        int loads;
    };
    const Row rows[] = {{0, 1}, {1, 1}, {253, 1}, {254, 2}, {510, 3}};
    for (const Row& row : rows) {
        const std::string stored(static_cast<std::size_t>(row.length), '\x82');
        int loads = 0;
        const auto load = [&](char* buffer, int capacity) {
            ++loads;
            const int copied = std::min(row.length, capacity - 1);
            std::memcpy(buffer, stored.c_str(), static_cast<std::size_t>(copied) + 1);
            return copied;
        };
        std::string text = "old";
        EXPECT_EQ(loadTextGrowing(text, load), row.length > 0) << row.length;
        EXPECT_EQ(text, stored) << row.length;
        EXPECT_EQ(loads, row.loads) << row.length;
    }
}

// The caption of a message box follows its icon; without one, it has none.
TEST(MessageText, TheCaptionFollowsTheIcon) {
    const std::uint32_t iconError = 0x10;
    const std::uint32_t taskModal = 0x2000;
    EXPECT_EQ(captionIdForStyle(iconError | taskModal), std::uint32_t{IDS_CAPTION_ERROR});
    EXPECT_EQ(captionIdForStyle(taskModal), 0u);
}

std::string text(std::uint32_t id) {
    return "<" + std::to_string(id) + ">";
}

// The system's text of a code, as SystemErrorText gives it.
bool systemText(std::string& line, std::uint32_t code) {
    if (code == 0) return false;
    line = "reason " + std::to_string(code) + "\r\n";
    return true;
}

FileOutcome outcome(OutcomeKind kind, bool restored = true) {
    FileOutcome outcome;
    outcome.kind = kind;
    outcome.error = 5;
    outcome.restored = restored;
    return outcome;
}

// The report of a failed rewrite: the file, what failed, the system's reason on a line of
// its own, and, when the original is not back, that too. A converted file shows nothing.
TEST(Report, AFailedRewriteSaysWhetherTheOriginalIsBack) {
    const std::string failed = "'C:\\a.mid'\n\n" + text(IDS_WRITE_FAILED) + "\nreason 5\r\n";
    EXPECT_EQ(composeReport(outcome(OutcomeKind::WriteFailed), "C:\\a.mid", text, systemText), failed);
    EXPECT_EQ(composeReport(outcome(OutcomeKind::WriteFailed, false), "C:\\a.mid", text, systemText),
              failed + text(IDS_RESTORE_FAILED));
    EXPECT_EQ(composeReport(outcome(OutcomeKind::Converted), "C:\\a.mid", text, systemText), "");
}

// The report shown when memory ran out or something unexpected was thrown: the state of a
// failed rewrite first, then the problem; in the room reserved when the run began, where the
// longest path fits and a longer one is left out.
TEST(Report, TheFallbackReportNeedsNoMemory) {
    FallbackReport fallback(text);
    const FileOutcome notSmf = outcome(OutcomeKind::NotSmf);
    const FileOutcome restored = outcome(OutcomeKind::WriteFailed);
    const FileOutcome lost = outcome(OutcomeKind::WriteFailed, false);
    struct Row {
        const FileOutcome* outcome;
        bool outOfMemory;
        std::string problem;
    };
    const Row rows[] = {
        {nullptr, true, text(IDS_OUT_OF_MEMORY)},
        {&notSmf, false, text(IDS_UNEXPECTED_ERROR)},
        {&restored, true, text(IDS_WRITE_FAILED) + "\n" + text(IDS_OUT_OF_MEMORY)},
        {&lost, false, text(IDS_WRITE_FAILED) + text(IDS_RESTORE_FAILED) + "\n" + text(IDS_UNEXPECTED_ERROR)},
    };
    for (const Row& row : rows)
        EXPECT_EQ(fallback.compose("C:\\a.mid", row.outOfMemory, row.outcome), "'C:\\a.mid'\n\n" + row.problem);
    const std::string longest(FallbackReport::kLongestPath, 'x');
    const char* const room = fallback.compose("", true, nullptr).data();
    const std::string& report = fallback.compose(longest, false, &lost);
    EXPECT_EQ(report, "'" + longest + "'\n\n" + rows[3].problem);
    EXPECT_EQ(report.data(), room);
    EXPECT_EQ(fallback.compose(longest + "y", true, nullptr), "''\n\n" + text(IDS_OUT_OF_MEMORY));
}

}  // namespace
}  // namespace gui
