#include <gtest/gtest.h>

#include "app/VirtualScreen.h"

TEST(VirtualScreen, LetterboxKeepsTheAspectInAnyWindow) {
    const VirtualScreen::Box same = VirtualScreen::letterbox(640, 480);
    EXPECT_EQ(same.x, 0);
    EXPECT_EQ(same.y, 0);
    EXPECT_EQ(same.width, 640);
    EXPECT_EQ(same.height, 480);
    const VirtualScreen::Box tall = VirtualScreen::letterbox(1280, 1024);  // bars above and below
    EXPECT_EQ(tall.width, 1280);
    EXPECT_EQ(tall.height, 960);
    EXPECT_EQ(tall.y, 32);
    const VirtualScreen::Box wide = VirtualScreen::letterbox(1920, 1080);  // bars left and right
    EXPECT_EQ(wide.height, 1080);
    EXPECT_EQ(wide.width, 1440);
    EXPECT_EQ(wide.x, 240);
}

TEST(VirtualScreen, MousePositionsMapIntoTheVirtualScreen) {
    int x = 0, y = 0;
    VirtualScreen::windowToScreen(1280, 1024, 1279, 512, x, y);
    EXPECT_EQ(x, 639);  // right edge: F1 there gives byte 126
    EXPECT_EQ(static_cast<int>(x / 640.0f * 127), 126);
    EXPECT_EQ(y, 240);
    VirtualScreen::windowToScreen(1280, 1024, 0, 0, x, y);  // in the top bar
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    VirtualScreen::windowToScreen(1920, 1080, 100, 1079, x, y);  // left bar, bottom
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 479);
    VirtualScreen::windowToScreen(1920, 1080, -50, 5000, x, y);  // outside the window
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 479);
    VirtualScreen::windowToScreen(640, 480, 320, 240, x, y);
    EXPECT_EQ(x, 320);
    EXPECT_EQ(y, 240);
}
