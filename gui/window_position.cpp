// The main window's opening position, kept on a screen.
#include "gui/window_position.h"

#include <algorithm>

namespace {

using gui::Position;
using gui::Rectangle;

// A rectangle in 64 bits: a stored position near the ends of the 32-bit range plus the
// window's size does not overflow.
struct Box {
    std::int64_t left;
    std::int64_t top;
    std::int64_t right;
    std::int64_t bottom;
};

Box boxOf(const Rectangle& r) {
    return Box{r.left, r.top, r.right, r.bottom};
}

Box windowAt(Position p, std::int32_t width, std::int32_t height) {
    return Box{p.x, p.y, std::int64_t{p.x} + width, std::int64_t{p.y} + height};
}

std::int64_t overlap(std::int64_t low1, std::int64_t high1, std::int64_t low2, std::int64_t high2) {
    return std::max<std::int64_t>(0, std::min(high1, high2) - std::max(low1, low2));
}

std::int64_t overlapArea(const Box& a, const Box& b) {
    return overlap(a.left, a.right, b.left, b.right) * overlap(a.top, a.bottom, b.top, b.bottom);
}

// The first of the monitors that the window overlaps most.
const MonitorArea& mostOverlapped(const Box& window, const std::vector<MonitorArea>& monitors) {
    const MonitorArea* best = &monitors.front();
    for (const MonitorArea& candidate : monitors) {
        const std::int64_t area = overlapArea(window, boxOf(candidate.monitor));
        if (area > overlapArea(window, boxOf(best->monitor))) best = &candidate;
    }
    return *best;
}

// position moved into [low, high) as little as needed; low when size does not fit.
std::int32_t intoRange(std::int32_t position, std::int32_t size, std::int32_t low, std::int32_t high) {
    const std::int64_t highest = std::int64_t{high} - size;
    return static_cast<std::int32_t>(std::max<std::int64_t>(low, std::min<std::int64_t>(position, highest)));
}

}  // namespace

Position onScreenPosition(Position stored, std::int32_t width, std::int32_t height,
                          const std::vector<MonitorArea>& monitors, Position fallback) {
    if (monitors.empty()) return stored;
    const Box window = windowAt(stored, width, height);
    const bool seen = std::any_of(monitors.begin(), monitors.end(), [&window](const MonitorArea& m) {
        return overlapArea(window, boxOf(m.monitor)) > 0;
    });
    Position p = seen ? stored : fallback;
    const Rectangle& work = mostOverlapped(windowAt(p, width, height), monitors).workArea;
    p.x = intoRange(p.x, width, work.left, work.right);
    p.y = intoRange(p.y, height, work.top, work.bottom);
    return p;
}
