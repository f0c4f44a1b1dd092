#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "reactors/qelFlo.h"

TEST(QelFlo, FieldIsZeroAtTheTableCentreAndPointsAway) {
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
    EXPECT_GT(std::fabs(flo.flowX(135, 80)), std::fabs(flo.flowX(239, 80))) << "weak far out";
}

TEST(QelFlo, StartMotionPlacesPolesOnOppositeSidesAndSubtractsPoleZero) {
    qelFlo flo(120, 80);
    flo.update();
    EXPECT_EQ(flo.poleColumnOffset[0], 120);  // 240 x 0.75 - 60
    EXPECT_EQ(flo.poleRowOffset[0], 40);
    EXPECT_EQ(flo.poleColumnOffset[1], 12);  // 240 x 0.3 - 60
    EXPECT_EQ(flo.poleRowOffset[1], 40);
    for (int n : {0, 61 * 120 + 17, 79 * 120 + 119}) {
        const int i = n % 120, j = n / 120;
        EXPECT_FLOAT_EQ(flo.displacement[2 * n], flo.flowX(11 + i, 39 + j) - flo.flowX(119 + i, 39 + j)) << n;
        EXPECT_FLOAT_EQ(flo.displacement[2 * n + 1], flo.flowY(11 + i, 39 + j) - flo.flowY(119 + i, 39 + j)) << n;
    }
    // Speed 0: the pattern stands still.
    const float before = flo.displacement[2 * 500];
    flo.update();
    EXPECT_EQ(flo.displacement[2 * 500], before);
}

TEST(QelFlo, PhaseResetsToZeroOnlyPastTheLimit) {
    qelFlo flo(120, 80);
    flo.setMotion(1.0f, 0.5f);
    flo.phase[0] = 5.9f;
    flo.update();
    EXPECT_EQ(flo.phase[0], 0.0f);
    flo.setMotion(1.0f, 0.0f);
    flo.phase[0] = 6.283f;  // exactly the limit is kept
    flo.update();
    EXPECT_EQ(flo.phase[0], 6.283f);
    flo.setMotion(1.0f, -1.0f);
    flo.phase[0] = 0.0f;
    for (int k = 0; k < 10; ++k) flo.update();
    EXPECT_FLOAT_EQ(flo.phase[0], -10.0f);
}

TEST(QelFlo, PoleWindowsStayInTheTableForAnyMotion) {
    auto expectInside = [](const qelFlo& flo) {
        for (int p = 0; p < 2; ++p) {
            ASSERT_GE(flo.poleColumnOffset[p] - 1, 0) << "pole " << p;
            ASSERT_LE(flo.poleColumnOffset[p] + flo.width - 2, flo.tableWidth - 1) << "pole " << p;
            ASSERT_GE(flo.poleRowOffset[p] - 1, 0) << "pole " << p;
            ASSERT_LE(flo.poleRowOffset[p] + flo.height - 2, flo.tableHeight - 1) << "pole " << p;
        }
    };
    // Pole 0 at half a turn sits a quarter table left of the centre: its
    // window would begin one cell before the table row.
    qelFlo edge(120, 80);
    edge.phase[0] = 3.14159f;
    edge.update();
    EXPECT_EQ(edge.poleColumnOffset[0], 1);
    expectInside(edge);

    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    for (int size : {120, 7, 3}) {
        qelFlo flo(size, size * 2 / 3 + 3);
        for (float amplitude : {-1.0f, 0.0f, 1.0f, 3.0f, -3.0f, 1e9f, -1e9f, inf, -inf, nan})
            for (float speed : {0.37f, -0.9f, 100.0f, nan}) {
                flo.init();
                flo.setMotion(amplitude, speed);
                for (int k = 0; k < 25; ++k) {
                    flo.update();
                    expectInside(flo);
                }
            }
    }
}
