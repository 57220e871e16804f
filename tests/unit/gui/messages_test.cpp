// The portable rules of messages and reports: where the centring hook puts a window, the
// string loader's growth, the caption by icon, the reports of the conversion run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "gui/centring.h"
#include "gui/message_text.h"
#include "gui/report.h"

namespace gui::testing {

using engine::FileOutcome;
using engine::OutcomeKind;

// A top-level window goes over its owner only when that is visible and not minimised, and
// stays inside the work area (one correction per axis, left/top first); a child goes into
// its parent's client area.
TEST(PlaceWindow, OverOwnerWorkAreaOrParent) {
    const Rectangle screen{0, 0, 1000, 700}, small{0, 0, 200, 100}, none{}, w{500, 500, 600, 550},
        big{500, 500, 800, 700};
    // A top-level window: the window, its owner (exists, visible, minimised, rectangle) and the work area.
    const auto top = [&](Rectangle w, bool o, bool v, bool m, Rectangle r, Rectangle a) {
        return CentringScene{w, false, none, o, v, m, r, a};
    };
    const std::tuple<CentringScene, std::int32_t, std::int32_t> rows[] = {
        {top(w, false, true, false, small, screen), 450, 325},
        {top(w, true, false, false, small, screen), 450, 325},
        {top(w, true, true, true, small, screen), 450, 325},
        {top(w, true, true, false, {100, 100, 500, 400}, screen), 250, 225},
        {top(big, true, true, false, {0, 0, 100, 100}, screen), 0, 0},
        {top(big, true, true, false, {900, 600, 1000, 700}, screen), 700, 500},
        {top(big, true, true, false, {150, 60, 250, 140}, small), -100, -100},
        {{w, true, small, false, false, false, none, none}, 50, 25}};  // a child: its parent's client area
    for (const auto& [scene, x, y] : rows)
        EXPECT_EQ(std::make_pair(placeWindow(scene).x, placeWindow(scene).y), std::make_pair(x, y))
            << &scene - &std::get<0>(rows[0]);
}

// The caption by the icon bits; the loader, fed as LoadStringA feeds it (at most capacity - 1
// bytes and a NUL, the count returned, 0 for a missing entry), grows while fewer than 3 bytes are left.
TEST(MessageText, CaptionLoaderAndReports) {
    for (const auto& [style, id] :
         {std::pair<std::uint32_t, std::uint32_t>{0x10, 164}, {0x24, 165}, {0x134, 166}, {0x40, 167}, {0x50, 0}})
        EXPECT_EQ(captionIdForStyle(style), id) << style;
    for (const auto& [length, grown] : {std::pair<int, int>{0, 0}, {1, 0}, {253, 0}, {254, 1}, {510, 2}}) {
        const std::string text(static_cast<std::size_t>(length), '\x82');
        std::string loaded = "old", capacities;
        const bool found = loadTextGrowing(loaded, [&, length = length](char* buffer, int capacity) {
            const int n = std::min(length, capacity - 1);
            capacities += std::to_string(capacity) + " ";
            return std::memcpy(buffer, text.c_str(), static_cast<std::size_t>(n) + 1), n;
        });
        EXPECT_EQ(std::make_tuple(found, loaded, capacities),
                  std::make_tuple(length != 0, text, std::string("256 512 768 ").substr(0, 4 * grown + 4)))
            << length;
    }
    // Reports: quoted path, blank line, text, the system's text on a line of its own, whether
    // the original is back. The fallback report: the problem after a failed rewrite's texts,
    // in the room reserved up front; a path too long for that room left out.
    using K = OutcomeKind;
    const auto text = [](std::uint32_t id) { return "<" + std::to_string(id) + ">"; };
    const auto systemText = [](std::string& line, std::uint32_t code) { return code != 0 && (line = "sys\r\n", true); };
    FileOutcome outcome;
    outcome.kind = K::WriteFailed, outcome.error = 5, outcome.restored = false;
    EXPECT_EQ(composeReport(outcome, "C:\\a.mid", text, systemText), "'C:\\a.mid'\n\n<168>\nsys\r\n<171>");
    FallbackReport fallback(text);
    for (const auto& [given, kind, restored, outOfMemory, expected] :
         {std::tuple<bool, K, bool, bool, const char*>{false, K::WriteFailed, true, true, "<170>"},
          {true, K::NotSmf, true, false, "<154>"},
          {true, K::WriteFailed, true, true, "<168>\n<170>"},
          {true, K::WriteFailed, false, false, "<168><171>\n<154>"}}) {
        outcome.kind = kind, outcome.restored = restored;
        EXPECT_EQ(fallback.compose("C:\\a.mid", outOfMemory, given ? &outcome : nullptr),
                  std::string("'C:\\a.mid'\n\n") + expected);
    }
    const std::string longest(FallbackReport::kLongestPath, 'x');
    const char* const room = fallback.compose("", true, nullptr).data();
    EXPECT_EQ(fallback.compose(longest, false, &outcome), "'" + longest + "'\n\n<168><171>\n<154>");
    EXPECT_EQ(fallback.compose(longest, false, &outcome).data(), room);
    EXPECT_EQ(fallback.compose(longest + "y", true, &outcome), "''\n\n<168><171>\n<170>");
}

}  // namespace gui::testing
