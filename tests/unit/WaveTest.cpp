#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "reactors/Wave.h"
#include "support/ReactorFixture.h"

namespace {
using WaveTest = ReactorFixture<Wave>;
int cell(const int* plane, int column, int row) { return plane[row * Wave::kColumns + column]; }
}  // namespace

TEST_F(WaveTest, StartControlsStampTheKernelAtColumns78And42) {
    reactor->update();
    EXPECT_FLOAT_EQ(reactor->radius, 63 * 0.3f);
    EXPECT_EQ(reactor->impulseColumn[0], 78);
    EXPECT_EQ(reactor->impulseColumn[1], 42);
    EXPECT_EQ(reactor->impulseRow[0], 45);
    EXPECT_EQ(reactor->impulseRow[1], 45);
    // The stamps stay in the plane that was current during the update.
    const int kStamp[4][4] = {{18, 28, 32, 28}, {28, 41, 48, 41}, {32, 48, 64, 48}, {28, 41, 48, 41}};
    const int* stamped = reactor->otherPlaneData();
    for (int centre : {78, 42})
        for (int ky = 0; ky < 4; ++ky)
            for (int kx = 0; kx < 4; ++kx)
                EXPECT_EQ(cell(stamped, centre - 2 + kx, 43 + ky), kStamp[ky][kx]) << centre << " " << kx << "," << ky;
    EXPECT_EQ(cell(stamped, 60, 45), 0);
    EXPECT_EQ(cell(stamped, 80, 45), 0);
}

TEST_F(WaveTest, RadiusAndAngleFollowTheControls) {
    setByte(81, 127);
    reactor->update();
    EXPECT_FLOAT_EQ(reactor->radius, 38.1f);
    setByte(81, 200);  // beyond the usual byte range: the cap applies
    reactor->update();
    EXPECT_FLOAT_EQ(reactor->radius, 43.0f);

    // Fast positive speed wraps once past pi.
    setByte(17, 127);
    for (int k = 0; k < 4; ++k) reactor->update();
    EXPECT_NEAR(reactor->angle, 2.56f, 1e-4f);
    reactor->update();
    EXPECT_FLOAT_EQ(reactor->angle, -3.14159f);

    // Negative speed runs below -pi with no wrap; the points still sit on
    // their circle, symmetric about the centre.
    setByte(17, 0);
    setByte(81, 100);
    for (int k = 0; k < 10; ++k) reactor->update();
    EXPECT_LT(reactor->angle, -3.14159f * 3);
    const int dx = static_cast<int>(std::cos(reactor->angle) * 30.0f);
    const int dy = static_cast<int>(std::sin(reactor->angle) * 30.0f);
    EXPECT_EQ(reactor->impulseColumn[0], 60 + dx);
    EXPECT_EQ(reactor->impulseRow[0], 45 + dy);
    EXPECT_EQ(reactor->impulseColumn[1], 60 - dx);
    EXPECT_EQ(reactor->impulseRow[1], 45 - dy);
}

TEST_F(WaveTest, StepShiftsDampsAndTheRootTableWrapsHeights) {
    setByte(81, 0);  // both impulses at the centre, far from the test cells
    int* current = reactor->currentPlaneData();
    current[10 * 120 + 10] = 100;
    current[20 * 120 + 10] = -100;
    for (int n : {30 * 120 + 99, 30 * 120 + 101, 29 * 120 + 100, 31 * 120 + 100}) current[n] = 300;
    reactor->update();
    const int* next = reactor->currentPlaneData();
    EXPECT_EQ(cell(next, 11, 10), 47);   // 100 / 2 = 50, less a sixteenth (3)
    EXPECT_EQ(cell(next, 10, 11), 47);
    EXPECT_EQ(cell(next, 9, 20), -46);   // -50 less an arithmetic sixteenth (-4)
    EXPECT_EQ(cell(next, 100, 30), 563);  // four neighbours of 300: 600 - 37

    const auto z = [&](int column, int row) { return reactor->vertices[3 * (row * 120 + column) + 2]; };
    EXPECT_FLOAT_EQ(z(11, 10), std::sqrt(47.0f / 512.0f));
    EXPECT_FLOAT_EQ(z(9, 20), std::sqrt(45.0f / 512.0f));
    EXPECT_FLOAT_EQ(z(100, 30), std::sqrt(460.0f / 512.0f));  // (563 + 512) & 1023 = 51
    EXPECT_EQ(z(50, 70), 0.0f);
    const int n = 10 * 120 + 11;
    EXPECT_FLOAT_EQ(reactor->texCoords[2 * n], reactor->restTexCoords[2 * n] + 0.3f * z(11, 10));
    EXPECT_FLOAT_EQ(reactor->texCoords[2 * n + 1], reactor->restTexCoords[2 * n + 1] + 0.3f * z(11, 10));
}

TEST_F(WaveTest, BorderNeverMovesUnderLongRunning) {
    setByte(17, 90);
    setByte(81, 127);
    for (int k = 0; k < 300; ++k) reactor->update();
    int moving = 0;
    for (int r = 0; r < 90; ++r)
        for (int c = 0; c < 120; ++c) {
            const int n = r * 120 + c;
            if (r == 0 || r == 89 || c == 0 || c == 119) {
                ASSERT_EQ(reactor->vertices[3 * n + 2], 0.0f) << c << "," << r;
                ASSERT_EQ(reactor->texCoords[2 * n], reactor->restTexCoords[2 * n]);
            } else {
                moving += reactor->vertices[3 * n + 2] != 0.0f;
            }
        }
    EXPECT_GT(moving, 5000);  // the waves have spread over most of the grid
}
