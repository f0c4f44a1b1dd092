// The output mapping: the homography, the mapping file and the editor (the warp on a window is e2e.cornerpin's).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <string>

#include "TempStage.h"
#include "projection/CornerPin.h"
#include "projection/Homography.h"
#include "projection/PinEditor.h"

namespace {

using Quad = std::array<PinPoint, 4>;

// Where the diagonals of a quadrilateral cross: the picture's centre lands there under any projective map.
PinPoint diagonalsCross(const Quad& q) {
    const double d1x = q[2].x - q[0].x, d1y = q[2].y - q[0].y, d2x = q[3].x - q[1].x, d2y = q[3].y - q[1].y;
    const double t = ((q[1].x - q[0].x) * d2y - (q[1].y - q[0].y) * d2x) / (d1x * d2y - d1y * d2x);
    return {q[0].x + t * d1x, q[0].y + t * d1y};
}

TEST(Homography, CornersExactlyCentreOnTheDiagonalsAndTheGlMatrixAgrees) {
    const Quad quads[] = {{{{0, 0}, {1, 0}, {1, 1}, {0, 1}}},
                          {{{0.1, 0.05}, {0.8, 0.2}, {0.95, 0.9}, {0.05, 0.7}}},
                          {{{-0.5, -0.9}, {0.9, -0.6}, {0.4, 0.8}, {-0.7, 0.3}}},
                          {{{0, 0}, {0, 1}, {1, 1}, {1, 0}}}};  // mirrored (clockwise): still one piece
    for (const Quad& q : quads) {
        Homography h;
        ASSERT_TRUE(h.fromSquare(q.data()));
        const PinPoint square[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (int i = 0; i < 4; ++i) {
            const PinPoint p = h.apply(square[i].x, square[i].y);
            EXPECT_NEAR(p.x, q[i].x, 1e-12);
            EXPECT_NEAR(p.y, q[i].y, 1e-12);
        }
        const PinPoint centre = h.apply(0.5, 0.5), cross = diagonalsCross(q);
        EXPECT_NEAR(centre.x, cross.x, 1e-12);
        EXPECT_NEAR(centre.y, cross.y, 1e-12);
        double m[16];
        h.glMatrix(m);
        for (const auto& [u, v] : {std::pair{0.25, 0.75}, {1.0, 0.0}}) {
            const double x = m[0] * u + m[4] * v + m[12], y = m[1] * u + m[5] * v + m[13], w = m[3] * u + m[7] * v + m[15];
            EXPECT_GT(w, 0.0);  // OpenGL clips w <= 0
            EXPECT_NEAR(x / w, h.apply(u, v).x, 1e-12);
            EXPECT_NEAR(y / w, h.apply(u, v).y, 1e-12);
        }
    }
    const Quad folded[] = {{{{0, 0}, {1, 0}, {0, 1}, {1, 1}}},   // crossed
                           {{{0, 0}, {1, 0}, {0.2, 0.2}, {0, 1}}},  // a dent
                           {{{0, 0}, {0.5, 0}, {1, 0}, {0, 1}}}};   // three in a line
    for (const Quad& q : folded) {
        Homography h;
        EXPECT_FALSE(h.fromSquare(q.data()));
        EXPECT_EQ(h.apply(0.3, 0.6).x, 0.3);  // the identity kept
    }
}

// The identity lands on the letterbox: the texture's top-left (0, 1) on the box's top-left in GL's window units.
TEST(Homography, IdentityPinMapsTheTextureOntoTheLetterbox) {
    Homography h;
    ASSERT_TRUE(CornerPin{}.windowMap(160, 0, 960, 720, 1280, 720, h));
    const PinPoint topLeft = h.apply(0, 1), bottomRight = h.apply(1, 0);
    EXPECT_NEAR(topLeft.x, 160.0 / 640 - 1, 1e-12);
    EXPECT_NEAR(topLeft.y, 1.0, 1e-12);
    EXPECT_NEAR(bottomRight.x, 1120.0 / 640 - 1, 1e-12);
    EXPECT_NEAR(bottomRight.y, -1.0, 1e-12);
}

TEST(PinTable, RoundTripAndEveryBadFileGivesOneLineAndNoMapping) {
    PinTable table;
    CornerPin pin;
    pin.corners[1] = {0.875, -0.125};
    pin.corners[3] = {0.1, 1.9};
    ASSERT_TRUE(table.put("HDMI-1", pin));
    ASSERT_TRUE(table.put("default", CornerPin{}));
    ASSERT_TRUE(table.put("HDMI-1", pin));  // replaced, not added
    PinTable back;
    std::string error;
    ASSERT_TRUE(back.parse(table.format(), error)) << error;
    ASSERT_EQ(back.count, 2);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(back.find("HDMI-1")->corners[i].x, pin.corners[i].x);
        EXPECT_EQ(back.find("HDMI-1")->corners[i].y, pin.corners[i].y);
    }
    EXPECT_TRUE(back.find("default")->isIdentity());
    EXPECT_EQ(back.find("DP-2"), nullptr);

    const char* bad[] = {
        "\x01\x7f garbage \xff\n", "default 0 0 1 0 1 1 0\n", "default 0 0 1 0 1 1 0 1 0\n",
        "default nan 0 1 0 1 1 0 1\n", "default 0 inf 1 0 1 1 0 1\n", "default 0 0 1e999 0 1 1 0 1\n",
        "default 0 0 1e300 0 1 1 0 1\n", "default 0 0 1 0 0 1 1 1\n", "a 0 0 1 0 1 1 0 1\na 0 0 1 0 1 1 0 1\n",
        "0123456789012345678901234567890123456789012345678901234567890123456789 0 0 1 0 1 1 0 1\n",
    };
    TempStage stage("pin");
    for (const char* text : bad) {
        stage.write(PinTable::kFileName, text);
        PinTable t;
        const std::string err = captureStderr([&] { loadPinTable(PinTable::kFileName, t); });
        EXPECT_EQ(countOf(err, "\n"), 1) << text;
        EXPECT_NE(err.find("output mapping off"), std::string::npos) << err;
        EXPECT_EQ(t.count, 0) << text;
    }
    std::string many;
    for (int i = 0; i <= PinTable::kMaxOutputs; ++i) many += "out" + std::to_string(i) + " 0 0 1 0 1 1 0 1\n";
    EXPECT_FALSE(PinTable().parse(many, error));
    ::unlink(PinTable::kFileName);
    ASSERT_EQ(::mkfifo(PinTable::kFileName, 0600), 0);  // a reader of a FIFO would wait for ever
    PinTable t;
    EXPECT_EQ(countOf(captureStderr([&] { loadPinTable(PinTable::kFileName, t); }), "\n"), 1);
    EXPECT_EQ(t.count, 0);
    ::unlink(PinTable::kFileName);
    EXPECT_EQ(captureStderr([&] { loadPinTable(PinTable::kFileName, t); }), "");  // no file: no mapping, no line
}

TEST(PinEditor, NudgeResetDragAndRefusedFolds) {
    PinEditor e;
    e.select(2);
    EXPECT_TRUE(e.nudge(-3, 2, 800, 600));
    EXPECT_DOUBLE_EQ(e.pin().corners[2].x, 1 - 3.0 / 800);
    EXPECT_DOUBLE_EQ(e.pin().corners[2].y, 1 + 2.0 / 600);
    e.selectNext();
    EXPECT_EQ(e.selected(), 3);
    EXPECT_FALSE(e.nudge(0, -600, 800, 600));  // bottom-left onto the top-left: refused, unchanged
    EXPECT_EQ(e.pin().corners[3].y, 1.0);
    EXPECT_FALSE(e.setCorner(0, -1.5, 0));  // out of range
    EXPECT_FALSE(e.setCorner(0, 1.2, 1.2));  // past the opposite corner: folded
    // Pressed near the top-right it is grabbed where the mouse is; the drag keeps that offset.
    e.press(0.95, 0.02);
    EXPECT_EQ(e.selected(), 1);
    EXPECT_TRUE(e.drag(0.85, 0.12));
    EXPECT_NEAR(e.pin().corners[1].x, 0.9, 1e-12);
    EXPECT_NEAR(e.pin().corners[1].y, 0.1, 1e-12);
    e.release();
    EXPECT_FALSE(e.drag(0.5, 0.5));
    const uint64_t changes = e.changes();
    EXPECT_EQ(changes, 2u);
    EXPECT_TRUE(e.reset());
    EXPECT_TRUE(e.pin().isIdentity());
    EXPECT_FALSE(e.reset());
    EXPECT_EQ(e.changes(), changes + 1);
}

}  // namespace
