// Centring geometry of the centring hook.
#include "gui/centring.h"

namespace gui {

namespace {

std::int32_t clampAxis(std::int32_t position, std::int32_t size, std::int32_t low, std::int32_t high) noexcept {
    if (position < low) return low;
    if (position + size > high) return high - size;
    return position;
}

}  // namespace

Position centredPosition(const Rectangle& window, const Rectangle& reference, const Rectangle& area) noexcept {
    const std::int32_t width = window.right - window.left;
    const std::int32_t height = window.bottom - window.top;
    Position p;
    p.x = (reference.left + reference.right) / 2 - width / 2;
    p.y = (reference.top + reference.bottom) / 2 - height / 2;
    p.x = clampAxis(p.x, width, area.left, area.right);
    p.y = clampAxis(p.y, height, area.top, area.bottom);
    return p;
}

Position placeWindow(const CentringScene& scene) noexcept {
    if (scene.child) return centredPosition(scene.window, scene.parentClient, scene.parentClient);
    const bool useOwner = scene.hasOwner && scene.ownerVisible && !scene.ownerMinimised;
    return centredPosition(scene.window, useOwner ? scene.owner : scene.workArea, scene.workArea);
}

}  // namespace gui
