// Placement of dialogs and boxes by the centring hook, at the work area's edges.
#include "convert/centring.h"

#include <gtest/gtest.h>

namespace convert {
namespace {

constexpr Rectangle kScreen{0, 0, 1024, 768};

Rectangle sized(std::int32_t width, std::int32_t height) {
    return Rectangle{500, 500, 500 + width, 500 + height};  // where it was does not matter
}

void expectAt(const Position& p, std::int32_t x, std::int32_t y) {
    EXPECT_EQ(p.x, x);
    EXPECT_EQ(p.y, y);
}

TEST(CentredPosition, CentresOverReference) {
    expectAt(centredPosition(sized(100, 50), Rectangle{100, 100, 500, 400}, kScreen), 250, 225);
    // Odd sizes and negative coordinates: every division truncates toward zero.
    expectAt(centredPosition(sized(101, 51), Rectangle{-301, -101, 0, 0}, Rectangle{-2000, -2000, 0, 0}), -200, -75);
}

TEST(CentredPosition, PushesBackInsideEachEdge) {
    expectAt(centredPosition(sized(300, 200), Rectangle{0, 0, 100, 100}, kScreen), 0, 0);
    expectAt(centredPosition(sized(300, 200), Rectangle{924, 668, 1024, 768}, kScreen), 724, 568);
    // Exactly touching an edge is inside.
    expectAt(centredPosition(sized(200, 100), Rectangle{824, 668, 1024, 768}, kScreen), 824, 668);
}

TEST(CentredPosition, LargerThanAreaCorrectsOnlyOnce) {
    const Rectangle area{0, 0, 200, 100};
    // Centred on the area: left/top edge wins, the window overhangs right and bottom.
    expectAt(centredPosition(sized(300, 160), area, area), 0, 0);
    // Pushed back from the right/bottom edge, it then starts before the left/top edge.
    expectAt(centredPosition(sized(300, 160), Rectangle{150, 60, 250, 140}, area), -100, -60);
}

// A top-level window goes over its owner only when that is visible and not minimised; a
// child goes into its parent's client area, whatever the work area.
TEST(PlaceWindow, ChoosesOwnerWorkAreaOrParent) {
    CentringScene scene;
    scene.window = sized(100, 50);
    scene.workArea = Rectangle{0, 0, 1000, 700};
    scene.owner = Rectangle{0, 0, 200, 100};
    expectAt(placeWindow(scene), 450, 325);  // no owner
    scene.hasOwner = true;
    expectAt(placeWindow(scene), 450, 325);  // hidden owner
    scene.ownerVisible = true;
    expectAt(placeWindow(scene), 50, 25);
    scene.ownerMinimised = true;
    expectAt(placeWindow(scene), 450, 325);

    scene.child = true;
    scene.parentClient = Rectangle{0, 0, 200, 100};
    scene.workArea = Rectangle{300, 300, 400, 400};
    scene.window = sized(50, 20);
    expectAt(placeWindow(scene), 75, 40);
    scene.window = sized(300, 20);
    expectAt(placeWindow(scene), 0, 40);
}

}  // namespace
}  // namespace convert
