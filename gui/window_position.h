// Where the main window opens: the stored position, kept on a screen. Plain geometry on the
// monitors' rectangles, so that it is testable without a windowing system.
#pragma once

#include <cstdint>
#include <vector>

#include "gui/centring.h"

struct MonitorArea {
    gui::Rectangle monitor;   // the whole monitor (screen coordinates)
    gui::Rectangle workArea;  // the monitor less its task bars
};

// The top-left corner for a window of width x height stored at stored:
// 1. stored, when the window there overlaps some monitor; else fallback (a stored position
//    that a removed monitor left behind), which must lie on a monitor ((0, 0) is on the
//    primary one);
// 2. then moved into the work area of the monitor it overlaps most (the first of them on a
//    tie), as little as needed; a window larger than that area keeps its top-left corner
//    inside it.
// With no monitors at all, stored as it is.
gui::Position onScreenPosition(gui::Position stored, std::int32_t width, std::int32_t height,
                               const std::vector<MonitorArea>& monitors, gui::Position fallback);
