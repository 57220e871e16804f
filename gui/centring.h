// Where the centring hook puts a dialog or message box: plain geometry on rectangles, so
// that it is testable without a windowing system.
#pragma once

#include <cstdint>

namespace gui {

struct Rectangle {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

struct Position {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// What CentreWindow reads from the system about one window.
struct CentringScene {
    Rectangle window;             // the window's rectangle (screen coordinates)
    bool child = false;           // WS_CHILD: centred in its parent's client area
    Rectangle parentClient;       // child only: the parent's client rectangle
    bool hasOwner = false;        // top-level only: an owner window exists
    bool ownerVisible = false;    // ... has WS_VISIBLE
    bool ownerMinimised = false;  // ... has WS_MINIMIZE
    Rectangle owner;              // ... its rectangle (screen coordinates)
    Rectangle workArea;           // the primary display's work area
};

// Centre of the reference minus half the window's size (integer division truncating toward
// zero), then clamped into area: per axis at most one correction, the left (top) edge tested
// first, so a window larger than the area may still overhang it.
Position centredPosition(const Rectangle& window, const Rectangle& reference, const Rectangle& area) noexcept;

// The whole placement: a child is centred in its parent's client area (in client
// coordinates); a top-level window over its owner when the owner is visible and not
// minimised, else over the work area, and always kept inside the work area.
Position placeWindow(const CentringScene& scene) noexcept;

}  // namespace gui
