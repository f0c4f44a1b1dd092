#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "reactors/qelFlo.h"

namespace {

// The window of vertex reads of pole p must lie inside the flow table.
void expectPoleWindowsInsideTable(const qelFlo& flo) {
    for (int p = 0; p < 2; ++p) {
        ASSERT_GE(flo.poleColumnOffset[p] - 1, 0) << "pole " << p;
        ASSERT_LE(flo.poleColumnOffset[p] + flo.width - 2, flo.tableWidth - 1) << "pole " << p;
        ASSERT_GE(flo.poleRowOffset[p] - 1, 0) << "pole " << p;
        ASSERT_LE(flo.poleRowOffset[p] + flo.height - 2, flo.tableHeight - 1) << "pole " << p;
    }
}

}  // namespace

TEST(QelFloTable, FieldIsZeroAtTheCentreAndPointsAway) {
    qelFlo flo(120, 80);
    ASSERT_EQ(flo.tableWidth, 240);
    ASSERT_EQ(flo.tableHeight, 160);
    EXPECT_EQ(flo.flowX(120, 80), 0.0f);
    EXPECT_EQ(flo.flowY(120, 80), 0.0f);
    // A quarter of the table width right of the centre: x = 0.5, d = 0.5.
    EXPECT_NEAR(flo.flowX(150, 80), 0.05f / 0.155f, 1e-5f);
    EXPECT_EQ(flo.flowY(150, 80), 0.0f);
    EXPECT_LT(flo.flowX(90, 80), 0.0f);
    EXPECT_GT(flo.flowY(120, 100), 0.0f);
    EXPECT_LT(flo.flowY(120, 60), 0.0f);
    // Strongest near the centre's ring, weak far out.
    EXPECT_GT(std::fabs(flo.flowX(135, 80)), std::fabs(flo.flowX(239, 80)));
}

TEST(QelFloPoles, StartMotionPlacesPolesOnOppositeSidesAndSubtractsPoleZero) {
    qelFlo flo(120, 80);
    flo.update();
    EXPECT_EQ(flo.phase[0], 0.0f);
    EXPECT_EQ(flo.poleColumnOffset[0], 120);  // 240 * 0.75 - 60
    EXPECT_EQ(flo.poleRowOffset[0], 40);
    EXPECT_EQ(flo.poleColumnOffset[1], 12);  // 240 * 0.3 - 60
    EXPECT_EQ(flo.poleRowOffset[1], 40);
    for (int n : {0, 61 * 120 + 17, 79 * 120 + 119}) {
        const int i = n % 120, j = n / 120;
        const float dx = flo.flowX(12 + i - 1, 40 + j - 1) - flo.flowX(120 + i - 1, 40 + j - 1);
        const float dy = flo.flowY(12 + i - 1, 40 + j - 1) - flo.flowY(120 + i - 1, 40 + j - 1);
        EXPECT_FLOAT_EQ(flo.displacement[2 * n], dx) << n;
        EXPECT_FLOAT_EQ(flo.displacement[2 * n + 1], dy) << n;
    }
    // Speed 0: the pattern stands still.
    const float before = flo.displacement[2 * 500];
    flo.update();
    EXPECT_EQ(flo.displacement[2 * 500], before);
}

TEST(QelFloPoles, PhaseResetsToZeroOnlyPastTheLimit) {
    qelFlo flo(120, 80);
    flo.setMotion(1.0f, 0.5f);
    flo.phase[0] = 5.9f;
    flo.update();
    EXPECT_EQ(flo.phase[0], 0.0f);

    flo.setMotion(1.0f, 0.0f);
    flo.phase[0] = 6.283f;
    flo.update();
    EXPECT_EQ(flo.phase[0], 6.283f);

    flo.setMotion(1.0f, -1.0f);
    flo.phase[0] = 0.0f;
    for (int k = 0; k < 10; ++k) flo.update();
    EXPECT_FLOAT_EQ(flo.phase[0], -10.0f);

    flo.init();
    EXPECT_EQ(flo.phase[0], 0.0f);
    EXPECT_EQ(flo.poleColumnOffset[0], 0);
}

TEST(QelFloPoles, PoleAtTheTableEdgeIsHeldInside) {
    qelFlo flo(120, 80);
    // Pole 0 at half a turn sits a quarter table left of the centre: its
    // window would begin one cell before the table row.
    flo.phase[0] = 3.14159f;
    flo.update();
    EXPECT_EQ(flo.poleColumnOffset[0], 1);
    expectPoleWindowsInsideTable(flo);
}

TEST(QelFloPoles, ReadsStayInTheTableForExtremeMotion) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int size : {120, 7, 3}) {
        qelFlo flo(size, size * 2 / 3 + 3);
        for (float amplitude : {-1.0f, 0.0f, 1.0f, 3.0f, -3.0f, 1e9f, -1e9f, inf, -inf, nan}) {
            for (float speed : {0.37f, -0.9f, 100.0f, nan}) {
                flo.init();
                flo.setMotion(amplitude, speed);
                for (int k = 0; k < 25; ++k) {
                    flo.update();
                    expectPoleWindowsInsideTable(flo);
                }
            }
        }
    }
}
