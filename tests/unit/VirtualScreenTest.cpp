#include <gtest/gtest.h>

#include <array>

#include "platform/VirtualScreen.h"

// What the end-to-end run (1280x1024) does not show: a wide window pillarboxed, a mouse outside clamped.
TEST(VirtualScreen, PillarboxAndClampedMouse) {
    const VirtualScreen::Box b = VirtualScreen::letterbox(1920, 1080);
    EXPECT_EQ((std::array<int, 4>{b.x, b.y, b.width, b.height}), (std::array<int, 4>{240, 0, 1440, 1080}));
    const std::array<int, 4> mice[] = {{100, 1079, 0, 479}, {-50, 5000, 0, 479}, {1919, -3, 639, 0}};  // in the bar, outside
    for (const auto& [wx, wy, sx, sy] : mice) {
        int x = -1, y = -1;
        VirtualScreen::windowToScreen(1920, 1080, wx, wy, x, y);
        EXPECT_EQ((std::array<int, 2>{x, y}), (std::array<int, 2>{sx, sy})) << wx << "," << wy;
    }
}
