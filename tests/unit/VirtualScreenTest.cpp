#include <gtest/gtest.h>

#include <array>

#include "platform/VirtualScreen.h"

// The letterbox keeps the aspect in any window, and mouse positions map into
// the virtual screen, clamped.
TEST(VirtualScreen, LetterboxAndMousePositions) {
    const std::array<int, 6> boxes[] = {  // window width, height -> box x, y, width, height
        {1280, 1024, 0, 32, 1280, 960}, {1920, 1080, 240, 0, 1440, 1080}};
    for (const auto& c : boxes) {
        const VirtualScreen::Box b = VirtualScreen::letterbox(c[0], c[1]);
        EXPECT_EQ((std::array<int, 4>{b.x, b.y, b.width, b.height}), (std::array<int, 4>{c[2], c[3], c[4], c[5]})) << c[0];
    }
    const std::array<int, 6> mice[] = {  // window width, height, mouse x, y -> screen x, y
        {1280, 1024, 1279, 512, 639, 240},  // right edge: F1 there gives byte 126
        {1920, 1080, 100, 1079, 0, 479},    // left bar, bottom
        {1920, 1080, -50, 5000, 0, 479},    // outside the window
        {640, 480, 320, 240, 320, 240}};
    for (const auto& c : mice) {
        int x = -1, y = -1;
        VirtualScreen::windowToScreen(c[0], c[1], c[2], c[3], x, y);
        EXPECT_EQ((std::array<int, 2>{x, y}), (std::array<int, 2>{c[4], c[5]})) << c[0] << " " << c[2] << "," << c[3];
    }
}
