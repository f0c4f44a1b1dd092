#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>

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

// Other picture sizes: a 16:9 picture letterboxed into a 4:3 window and
// filling a 16:9 one; the mouse stays in the 640x480 space across it.
TEST(VirtualScreen, OtherSizesLetterboxAndMouse) {
    const struct {
        int windowW, windowH, width, height;
        std::array<int, 4> box;
        std::array<int, 4> mouse;  // window x, y -> 640x480 space x, y
    } cases[] = {
        {1024, 768, 1280, 720, {0, 96, 1024, 576}, {512, 384, 320, 240}},    // bars above and below
        {1024, 768, 1280, 720, {0, 96, 1024, 576}, {1023, 96 + 575, 639, 479}},
        {1024, 768, 1280, 720, {0, 96, 1024, 576}, {0, 20, 0, 0}},            // in the top bar
        {1920, 1080, 1280, 720, {0, 0, 1920, 1080}, {960, 270, 320, 120}},    // 16:9 fills 16:9
        {1280, 960, 1280, 960, {0, 0, 1280, 960}, {640, 720, 320, 360}},      // 4:3 at twice the size
        {800, 800, 3840, 2160, {0, 175, 800, 450}, {400, 400, 320, 240}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " in " + std::to_string(c.windowW) +
                     "x" + std::to_string(c.windowH));
        const VirtualScreen::Box b = VirtualScreen::letterbox(c.windowW, c.windowH, c.width, c.height);
        EXPECT_EQ((std::array<int, 4>{b.x, b.y, b.width, b.height}), c.box);
        int x = -1, y = -1;
        VirtualScreen::windowToScreen(c.windowW, c.windowH, c.mouse[0], c.mouse[1], x, y, c.width, c.height);
        EXPECT_EQ((std::array<int, 2>{x, y}), (std::array<int, 2>{c.mouse[2], c.mouse[3]}));
    }
}

TEST(VirtualScreen, SizeAndSampleSpellings) {
    const struct {
        const char* text;
        bool good;
        int width = 0, height = 0;
    } sizes[] = {{"1280x720", true, 1280, 720}, {"160X120", true, 160, 120}, {"7680x4320", true, 7680, 4320},
                 {"159x120", false}, {"160x119", false}, {"7681x4320", false}, {"1280x", false}, {"x720", false},
                 {"1280*720", false}, {"1280x720x1", false}, {"-640x480", false}, {"", false}, {nullptr, false}};
    for (const auto& s : sizes) {
        int w = 1, h = 2;
        EXPECT_EQ(parseScreenSize(s.text, w, h), s.good) << (s.text ? s.text : "null");
        EXPECT_EQ((std::array<int, 2>{w, h}), s.good ? (std::array<int, 2>{s.width, s.height}) : (std::array<int, 2>{1, 2}));
    }
    for (const char* good : {"2", "4", "8", "16"}) {
        int n = 0;
        EXPECT_TRUE(parseSampleCount(good, n) && n == std::atoi(good)) << good;
    }
    for (const char* bad : {"0", "1", "3", "6", "32", "4x", "", "-4"}) {
        int n = 0;
        EXPECT_FALSE(parseSampleCount(bad, n)) << bad;
        EXPECT_EQ(n, 0);
    }
}
