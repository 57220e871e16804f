// The conversion run's plain rules: where the centring hook puts a window, the room rule,
// the string loader's buffer growth, the caption by icon, and the report texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "convert/centring.h"
#include "convert/free_space.h"
#include "convert/message_text.h"
#include "convert/report.h"

namespace convert {
namespace {

// A top-level window goes over its owner only when that is visible and not minimised, and
// stays inside the work area (one correction per axis, left/top first); a child goes into
// its parent's client area. Every division truncates toward zero.
TEST(PlaceWindow, OverOwnerWorkAreaOrParent) {
    const Rectangle screen{0, 0, 1000, 700}, small{0, 0, 200, 100}, none{}, cell{300, 300, 400, 400};
    const auto sized = [](std::int32_t width, std::int32_t height) { return Rectangle{500, 500, 500 + width, 500 + height}; };
    // Window, child, parent's client area, owner: exists, visible, minimised, rectangle; work area; x, y.
    const std::tuple<CentringScene, std::int32_t, std::int32_t> cases[] = {
        {{sized(100, 50), false, none, false, true, false, small, screen}, 450, 325},  // no owner
        {{sized(100, 50), false, none, true, false, false, small, screen}, 450, 325},  // hidden owner
        {{sized(100, 50), false, none, true, true, true, small, screen}, 450, 325},    // minimised owner
        {{sized(100, 50), false, none, true, true, false, {100, 100, 500, 400}, screen}, 250, 225},
        {{sized(101, 51), false, none, true, true, false, {-301, -101, 0, 0}, {-2000, -2000, 0, 0}}, -200, -75},
        {{sized(300, 200), false, none, true, true, false, {0, 0, 100, 100}, screen}, 0, 0},
        {{sized(300, 200), false, none, true, true, false, {900, 600, 1000, 700}, screen}, 700, 500},
        {{sized(300, 160), false, none, false, false, false, none, small}, 0, 0},  // larger than the area
        {{sized(300, 160), false, none, true, true, false, {150, 60, 250, 140}, small}, -100, -60},
        {{sized(50, 20), true, small, false, false, false, none, cell}, 75, 40},
        {{sized(300, 20), true, small, false, false, false, none, cell}, 0, 40},
    };
    for (const auto& row : cases) {
        const Position p = placeWindow(std::get<0>(row));
        EXPECT_EQ(std::make_pair(p.x, p.y), std::make_pair(std::get<1>(row), std::get<2>(row))) << "row " << &row - cases;
    }
}

// Strictly more than twice the new size, in 64 bits.
TEST(EnoughSpace, NeedsStrictlyMoreThanTwiceTheNewSize) {
    const std::tuple<std::uint64_t, std::uint32_t, bool> cases[] = {
        {0, 0, false}, {1, 0, true}, {0x1FFFFFFFEull, 0xFFFFFFFFu, false}, {0x1FFFFFFFFull, 0xFFFFFFFFu, true},
        {0xFFFFFFFFull, 0x80000000u, false}, {0x100000000ull, 0x7FFFFFFFu, true}};
    for (const auto& [freeBytes, newSize, enough] : cases) EXPECT_EQ(enoughSpace(freeBytes, newSize), enough) << freeBytes;
}

// The loader behaves as LoadStringA does: it copies at most capacity - 1 bytes and a NUL and
// returns the count copied; length 0 stands for a missing entry.
TEST(LoadTextGrowing, GrowsWhileFewerThanThreeBytesAreLeft) {
    const std::pair<std::size_t, std::vector<int>> cases[] = {{0, {256}}, {1, {256}}, {253, {256}}, {254, {256, 512}},
                                                              {509, {256, 512}}, {510, {256, 512, 768}}};
    for (const auto& [length, expected] : cases) {
        const std::string text(length, '\x82');
        std::vector<int> capacities;
        std::string loaded = "old";
        const bool found = loadTextGrowing(loaded, [&](char* buffer, int capacity) {
            capacities.push_back(capacity);
            const int n = std::min(static_cast<int>(text.size()), capacity - 1);
            std::memcpy(buffer, text.data(), static_cast<std::size_t>(n));
            buffer[n] = '\0';
            return n;
        });
        EXPECT_EQ(std::make_tuple(found, loaded, capacities), std::make_tuple(length != 0, text, expected)) << length;
    }
}

TEST(CaptionIdForStyle, FollowsTheIconBitsOnly) {
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {{0x10, 164}, {0x24, 165}, {0x134, 166}, {0x40, 167},
                                                             {0x00, 0},   {0x50, 0},   {0xF0, 0}};
    for (const auto& [style, id] : cases) EXPECT_EQ(captionIdForStyle(style), id) << style;
}

// Quoted path, blank line, text, the system's text on a line of its own; a failed rewrite
// adds whether the original is back; skipped and converted files report nothing. (The
// other reports are checked with the real string table under Wine.)
TEST(ComposeReport, Outcomes) {
    using K = OutcomeKind;
    const std::tuple<K, std::uint32_t, bool, const char*> cases[] = {
        {K::ReadFailed, 23, true, "'C:\\a.mid'\n\n<169>\nsys23\r\n"}, {K::TooLarge, 0, true, "'C:\\a.mid'\n\n<169>"},
        {K::OutOfMemory, 0, true, "'C:\\a.mid'\n\n<170>"}, {K::WriteFailed, 112, true, "'C:\\a.mid'\n\n<168>\nsys112\r\n"},
        {K::WriteFailed, 112, false, "'C:\\a.mid'\n\n<168>\nsys112\r\n<171>"},
        {K::WriteFailed, 0, false, "'C:\\a.mid'\n\n<168><171>"},
        {K::Converted, 0, true, ""}, {K::Folder, 0, true, ""}, {K::Missing, 2, true, ""}};
    const auto text = [](std::uint32_t id) { return "<" + std::to_string(id) + ">"; };
    const auto systemText = [](std::string& line, std::uint32_t code) {
        if (code != 0) line = "sys" + std::to_string(code) + "\r\n";
        return code != 0;
    };
    for (const auto& [kind, error, restored, expected] : cases) {
        FileOutcome outcome;
        outcome.kind = kind;
        outcome.error = error;
        outcome.restored = restored;
        EXPECT_EQ(composeReport(outcome, "C:\\a.mid", text, systemText), expected);
    }
}

// The report of a file whose work or report failed on the way: the problem's text, after
// the rewrite's texts when the rewrite failed, made in the room reserved up front; a path
// too long for that room is left out.
TEST(FallbackReport, NamesTheProblemAfterAFailedRewriteWithoutAllocating) {
    using K = OutcomeKind;
    const auto text = [](std::uint32_t id) { return "<" + std::to_string(id) + ">"; };
    const std::tuple<bool, K, bool, bool, const char*> cases[] = {  // outcome given, kind, restored, out of memory
        {false, K::Converted, true, true, "<170>"}, {false, K::Converted, true, false, "<154>"},
        {true, K::NotSmf, true, true, "<170>"}, {true, K::WriteFailed, true, true, "<168>\n<170>"},
        {true, K::WriteFailed, false, true, "<168><171>\n<170>"}, {true, K::WriteFailed, false, false, "<168><171>\n<154>"}};
    FallbackReport fallback(text);
    EXPECT_EQ(fallback.errorCaption(), "<164>");
    FileOutcome outcome;
    for (const auto& [given, kind, restored, outOfMemory, expected] : cases) {
        outcome.kind = kind;
        outcome.restored = restored;
        EXPECT_EQ(fallback.compose("C:\\a.mid", outOfMemory, given ? &outcome : nullptr), std::string("'C:\\a.mid'\n\n") + expected);
    }
    const std::string longest(FallbackReport::kLongestPath, 'x');
    const char* const room = fallback.compose("", true, nullptr).data();
    const std::string& report = fallback.compose(longest, false, &outcome);
    EXPECT_EQ(report, "'" + longest + "'\n\n<168><171>\n<154>");
    EXPECT_EQ(report.data(), room);
    EXPECT_EQ(fallback.compose(longest + "y", true, &outcome), "''\n\n<168><171>\n<170>");
}

}  // namespace
}  // namespace convert
