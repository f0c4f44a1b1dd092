#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "reactors/qelFlo.h"

// The field table is twice the grid; zero at its centre, pointing away from
// it and weakening far out (a quarter table right of the centre: d = 0.5).
TEST(QelFlo, FieldIsZeroAtTheTableCentreAndPointsAway) {
    qelFlo flo(120, 80);
    ASSERT_EQ(flo.tableWidth, 240);
    ASSERT_EQ(flo.tableHeight, 160);
    EXPECT_TRUE(flo.flowX(120, 80) == 0.0f && flo.flowY(120, 80) == 0.0f && flo.flowY(150, 80) == 0.0f);
    EXPECT_NEAR(flo.flowX(150, 80), 0.05f / 0.155f, 1e-5f);
    EXPECT_TRUE(flo.flowX(90, 80) < 0.0f && flo.flowY(120, 100) > 0.0f && flo.flowY(120, 60) < 0.0f);
    EXPECT_GT(std::fabs(flo.flowX(135, 80)), std::fabs(flo.flowX(239, 80))) << "weak far out";
}

// At start the poles sit on opposite sides (240 x 0.75 - 60 and 240 x 0.3 -
// 60) and each displacement is pole 1's field less pole 0's; speed 0 stands still.
TEST(QelFlo, StartMotionPlacesPolesOnOppositeSidesAndSubtractsPoleZero) {
    qelFlo flo(120, 80);
    flo.update();
    EXPECT_EQ(std::vector<int>({flo.poleColumnOffset[0], flo.poleRowOffset[0], flo.poleColumnOffset[1],
                                flo.poleRowOffset[1]}),
              std::vector<int>({120, 40, 12, 40}));
    for (int n : {0, 61 * 120 + 17, 79 * 120 + 119}) {
        const int i = n % 120, j = n / 120;
        EXPECT_FLOAT_EQ(flo.displacement[2 * n], flo.flowX(11 + i, 39 + j) - flo.flowX(119 + i, 39 + j)) << n;
        EXPECT_FLOAT_EQ(flo.displacement[2 * n + 1], flo.flowY(11 + i, 39 + j) - flo.flowY(119 + i, 39 + j)) << n;
    }
    const float before = flo.displacement[2 * 500];
    flo.update();
    EXPECT_EQ(flo.displacement[2 * 500], before);
}

// Past the limit the phase starts again at 0; exactly the limit is kept, and
// a negative speed runs below 0 without limit.
TEST(QelFlo, PhaseResetsToZeroOnlyPastTheLimit) {
    const float cases[][4] = {{0.5f, 5.9f, 1, 0.0f}, {0.0f, 6.283f, 1, 6.283f}, {-1.0f, 0.0f, 10, -10.0f}};
    for (const auto& [speed, start, updates, after] : cases) {
        qelFlo flo(120, 80);
        flo.setMotion(1.0f, speed);
        flo.phase[0] = start;
        for (int k = 0; k < updates; ++k) flo.update();
        EXPECT_FLOAT_EQ(flo.phase[0], after) << start;
    }
}

// Pole 0 at half a turn sits a quarter table left of the centre, where its
// window would begin one cell before the table row; for any motion, any
// grid, the windows stay inside the table.
TEST(QelFlo, PoleWindowsStayInTheTableForAnyMotion) {
    auto expectInside = [](const qelFlo& flo) {
        for (int p = 0; p < 2; ++p) {
            ASSERT_TRUE(flo.poleColumnOffset[p] >= 1 && flo.poleColumnOffset[p] + flo.width - 2 <= flo.tableWidth - 1 &&
                        flo.poleRowOffset[p] >= 1 && flo.poleRowOffset[p] + flo.height - 2 <= flo.tableHeight - 1)
                << "pole " << p << " at " << flo.poleColumnOffset[p] << "," << flo.poleRowOffset[p];
        }
    };
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
