#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "reactors/Wave.h"
#include "support/ReactorFixture.h"

namespace {
using WaveTest = ReactorFixture<Wave>;
int cell(const int* plane, int column, int row) { return plane[row * Wave::kColumns + column]; }
}  // namespace

// Both impulses are stamped every update, at start at columns 78 and 42 of
// row 45, into the plane that was current during the update.
TEST_F(WaveTest, StartControlsStampTheKernelAtColumns78And42) {
    reactor->update();
    EXPECT_FLOAT_EQ(reactor->radius, 63 * 0.3f);
    const int kStamp[4][4] = {{18, 28, 32, 28}, {28, 41, 48, 41}, {32, 48, 64, 48}, {28, 41, 48, 41}};
    const int* stamped = reactor->otherPlaneData();
    int total = 0;
    for (int n = 0; n < Wave::kColumns * 90; ++n) total += stamped[n];
    EXPECT_EQ(total, 2 * 614) << "two stamps and nothing else";
    for (int centre : {78, 42})
        for (int ky = 0; ky < 4; ++ky)
            for (int kx = 0; kx < 4; ++kx)
                EXPECT_EQ(cell(stamped, centre - 2 + kx, 43 + ky), kStamp[ky][kx]) << centre << " " << kx << "," << ky;
}

// The radius is capped; a fast positive speed wraps once past pi; a negative
// one runs below -pi with no wrap, the points still on their circle,
// symmetric about the centre.
TEST_F(WaveTest, RadiusAndAngleFollowTheControls) {
    for (auto [byte, radius] : {std::pair{127, 38.1f}, {200, 43.0f}}) {
        setByte(81, byte);
        reactor->update();
        EXPECT_FLOAT_EQ(reactor->radius, radius);
    }
    setByte(17, 127);
    for (int k = 0; k < 4; ++k) reactor->update();
    EXPECT_NEAR(reactor->angle, 2.56f, 1e-4f);
    reactor->update();
    EXPECT_FLOAT_EQ(reactor->angle, -3.14159f);
    setByte(17, 0);
    setByte(81, 100);
    for (int k = 0; k < 10; ++k) reactor->update();
    EXPECT_LT(reactor->angle, -3.14159f * 3);
    const int dx = static_cast<int>(std::cos(reactor->angle) * 30.0f);
    const int dy = static_cast<int>(std::sin(reactor->angle) * 30.0f);
    EXPECT_EQ(std::vector<int>({reactor->impulseColumn[0], reactor->impulseRow[0], reactor->impulseColumn[1],
                                reactor->impulseRow[1]}),
              std::vector<int>({60 + dx, 45 + dy, 60 - dx, 45 - dy}));
}

// Half the neighbours less a sixteenth (arithmetic shift); heights reach the
// picture through the root table, which wraps; the texture follows z; the
// border never moves, however long the waves run.
TEST_F(WaveTest, StepShiftsDampsWrapsAndKeepsTheBorderStill) {
    setByte(81, 0);  // both impulses at the centre, far from the test cells
    int* current = reactor->currentPlaneData();
    current[10 * 120 + 10] = 100;
    current[20 * 120 + 10] = -100;
    for (int n : {30 * 120 + 99, 30 * 120 + 101, 29 * 120 + 100, 31 * 120 + 100}) current[n] = 300;
    reactor->update();
    const int* next = reactor->currentPlaneData();
    EXPECT_EQ(cell(next, 11, 10), 47);
    EXPECT_EQ(cell(next, 10, 11), 47);
    EXPECT_EQ(cell(next, 9, 20), -46);
    EXPECT_EQ(cell(next, 100, 30), 563);
    const auto z = [&](int column, int row) { return reactor->vertices[3 * (row * 120 + column) + 2]; };
    EXPECT_FLOAT_EQ(z(11, 10), std::sqrt(47.0f / 512.0f));
    EXPECT_FLOAT_EQ(z(9, 20), std::sqrt(45.0f / 512.0f));
    EXPECT_FLOAT_EQ(z(100, 30), std::sqrt(460.0f / 512.0f));  // (563 + 512) & 1023 = 51
    EXPECT_EQ(z(50, 70), 0.0f);
    const int n = 10 * 120 + 11;
    EXPECT_FLOAT_EQ(reactor->texCoords[2 * n], reactor->restTexCoords[2 * n] + 0.3f * z(11, 10));
    EXPECT_FLOAT_EQ(reactor->texCoords[2 * n + 1], reactor->restTexCoords[2 * n + 1] + 0.3f * z(11, 10));

    setByte(17, 90);
    setByte(81, 127);
    for (int k = 0; k < 300; ++k) reactor->update();
    int moving = 0;
    for (int r = 0; r < 90; ++r)
        for (int c = 0; c < 120; ++c) {
            const int m = r * 120 + c;
            if (r == 0 || r == 89 || c == 0 || c == 119) {
                ASSERT_EQ(reactor->vertices[3 * m + 2], 0.0f) << c << "," << r;
                ASSERT_EQ(reactor->texCoords[2 * m], reactor->restTexCoords[2 * m]);
            } else {
                moving += reactor->vertices[3 * m + 2] != 0.0f;
            }
        }
    EXPECT_GT(moving, 5000);  // the waves have spread over most of the grid
}
