#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <tuple>
#include <vector>

#include "reactor/Random.h"
#include "reactors/RippleGene.h"

namespace {

// The plane that held the heights before the last update (where drops land).
float stampedAt(RippleGene& gene, int column, int row) { return gene.nextHeights()[row * gene.width + column]; }
float stampedTotal(RippleGene& gene) { return std::accumulate(gene.nextHeights(), gene.nextHeights() + gene.count, 0.0f); }

// Controls that neither differ from their last values nor ask for random drops.
void quietControls(RippleGene& gene) {
    gene.dropXControl = gene.lastDropXControl = 64;
    gene.dropYControl = gene.lastDropYControl = 64;
}

}  // namespace

// The 3 x 3 kernel lands centred on the scaled cell; the wave step spreads it
// (the centre's neighbours sum to 2.0). The same controls again make no drop
// and draw no random numbers.
TEST(RippleGene, ControlledDropLandsOnTheScaledCellWithTheKernelCentreThere) {
    RippleGene gene(120, 80);
    gene.dropXControl = 64;
    gene.dropYControl = 100;
    gene.update();
    EXPECT_EQ(std::vector<int>({gene.dropColumn, gene.dropRow, gene.dropPending}), std::vector<int>({60, 62, 0}));
    for (const auto& [c, r, h] : {std::tuple{60, 62, 1.0f}, {59, 61, 0.3f}, {61, 62, 0.5f}, {60, 63, 0.5f}, {61, 63, 0.3f}})
        EXPECT_FLOAT_EQ(stampedAt(gene, c, r), h) << c << "," << r;
    EXPECT_NEAR(stampedTotal(gene), 1.0f + 4 * 0.5f + 4 * 0.3f, 1e-5f) << "nothing outside the 3 x 3 block";
    EXPECT_FLOAT_EQ(gene.heightAt(60, 62), 0.98f);
    EXPECT_FLOAT_EQ(gene.vertices[3 * (62 * 120 + 60) + 2], 0.98f);

    gene.init();
    qelSetRandState(77);
    for (int i = 0; i < 20; ++i) gene.update();
    EXPECT_EQ(qelRandState(), 77u);
    for (int n = 0; n < gene.count; ++n) ASSERT_EQ(gene.currentHeights()[n], 0.0f);
}

// Drops are clamped so the kernel stays on the grid: the far corner drop
// touches the last interior cell and no border cell.
TEST(RippleGene, DropsAreClampedSoTheKernelStaysOnTheGrid) {
    RippleGene gene(120, 80);
    const int cases[][4] = {{0, -7, 1, 1}, {119, 500, 117, 77}, {116, 76, 116, 76}};
    for (const auto& [column, row, clampedColumn, clampedRow] : cases) {
        gene.setDrop(column, row);
        EXPECT_EQ(std::vector<int>({gene.dropColumn, gene.dropRow, gene.dropPending}),
                  std::vector<int>({clampedColumn, clampedRow, 1}));
    }
    gene.setDrop(1000, 1000);
    quietControls(gene);
    gene.update();
    EXPECT_FLOAT_EQ(stampedAt(gene, 118, 78), 0.3f);
    for (int c = 0; c < 120; ++c) EXPECT_EQ(stampedAt(gene, c, 79), 0.0f);
    for (int r = 0; r < 80; ++r) EXPECT_EQ(stampedAt(gene, 119, r), 0.0f);
    gene.dropXControl = 1 << 30;  // extreme control values too
    gene.dropYControl = -(1 << 30);
    gene.update();
    EXPECT_EQ(std::vector<int>({gene.dropColumn, gene.dropRow}), std::vector<int>({117, 1}));
}

// About one update in twenty drops at random while drop X is below 2, inside
// the grid; from 2 on, no random numbers are drawn.
TEST(RippleGene, RandomRainOnlyWhenDropXControlIsBelowTwo) {
    RippleGene gene(120, 80);
    qelSetRandState(1);
    gene.dropXControl = 0;
    gene.dropYControl = 0;
    gene.update();  // controls changed: may or may not drop
    int drops = 0;
    for (int i = 0; i < 2000; ++i) {
        gene.setDrop(1, 1);  // marker position; a random drop moves it
        gene.dropPending = false;
        gene.update();
        drops += gene.dropColumn != 1 || gene.dropRow != 1;
        ASSERT_TRUE(gene.dropColumn >= 1 && gene.dropColumn <= 117 && gene.dropRow >= 1 && gene.dropRow <= 77);
    }
    EXPECT_TRUE(drops > 50 && drops < 170) << drops;
    gene.dropXControl = gene.lastDropXControl = 2;
    gene.dropYControl = gene.lastDropYControl = 0;
    const uint32_t state = qelRandState();
    for (int i = 0; i < 100; ++i) gene.update();
    EXPECT_EQ(qelRandState(), state);
}

TEST(RippleGene, UniformFieldShrinksByTheDampingAndTheBorderStays) {
    RippleGene gene(120, 80);
    quietControls(gene);
    std::fill(gene.heights.begin(), gene.heights.end(), 1.0f);
    gene.update();
    for (int r = 1; r < 79; ++r)
        for (int c = 1; c < 119; ++c) ASSERT_FLOAT_EQ(gene.heightAt(c, r), 0.98f) << c << "," << r;
    EXPECT_FLOAT_EQ(gene.heightAt(0, 40), 1.0f);
    EXPECT_EQ(gene.vertices[3 * (40 * 120) + 2], 0.0f);
    EXPECT_EQ(gene.vertices[3 * (79 * 120 + 5) + 2], 0.0f);
}

// A drop placed for the small kernel is clamped again for a grown one when
// stamped; a kernel as large as the grid dropped at (0, 0) loses its first
// row and column; a null kernel brings back the own 3 x 3 one.
TEST(RippleGene, ReplacedKernelsAreClampedAndClippedToTheGrid) {
    RippleGene gene(80, 60, "QWERT");
    gene.setDrop(100, 100);
    std::vector<float> slice(78 * 58, 1.0f);
    gene.setKernel(slice.data(), 78, 58, 0.5f);
    gene.dropXControl = gene.dropYControl = gene.lastDropXControl = gene.lastDropYControl = 1;
    qelSetRandState(1);  // the first draw of this state makes no random drop
    gene.update();
    EXPECT_EQ(std::vector<int>({gene.dropColumn, gene.dropRow}), std::vector<int>({2, 2}));
    for (const auto& [c, r, h] : {std::tuple{0, 0, 0.0f}, {1, 1, 0.5f}, {78, 58, 0.5f}, {79, 59, 0.0f}})
        EXPECT_FLOAT_EQ(stampedAt(gene, c, r), h) << c << "," << r;
    gene.setKernel(nullptr, 0, 0, 0.0f);
    EXPECT_TRUE(gene.kernel == gene.ownKernel && gene.kernelWidth == 3 && gene.kernelScale == 1.0f);

    RippleGene full(80, 60);
    std::vector<float> ones(80 * 60, 1.0f);
    full.setKernel(ones.data(), 80, 60, 1.0f);
    full.dropPending = true;
    quietControls(full);
    full.update();
    EXPECT_EQ(std::vector<int>({full.dropColumn, full.dropRow}), std::vector<int>({0, 0}));
    EXPECT_FLOAT_EQ(stampedTotal(full), 79.0f * 59.0f);
    EXPECT_EQ(stampedAt(full, 79, 10), 0.0f);
}

// Rings spread evenly from a drop anywhere on the grid: the same heights at
// the same distance left and right, up and down, across the diagonal (up to
// rounding). A neighbour taken from the wrong row or column turns the rings
// into a one-sided smear, which a drop at the centre can hide.
TEST(RippleGene, RingsSpreadEvenlyAroundOffCentreDrops) {
    for (const auto& [c, r] : {std::pair{20, 15}, {90, 60}, {37, 52}}) {
        SCOPED_TRACE(testing::Message() << "drop at " << c << "," << r);
        RippleGene gene(120, 80);
        quietControls(gene);
        gene.setDrop(c, r);
        for (int step = 0; step < 9; ++step) gene.update();
        int reach = 0;
        for (int d = 1; d <= 9; ++d) {
            const float right = gene.heightAt(c + d, r), e = 1e-6f;
            ASSERT_NEAR(gene.heightAt(c - d, r), right, e) << "left and right at " << d;
            ASSERT_NEAR(gene.heightAt(c, r + d), right, e) << "up and right at " << d;
            ASSERT_NEAR(gene.heightAt(c, r - d), right, e) << "down and right at " << d;
            ASSERT_NEAR(gene.heightAt(c + d, r + d), gene.heightAt(c - d, r - d), e) << "diagonal at " << d;
            ASSERT_NEAR(gene.heightAt(c + d, r - 1), gene.heightAt(c - 1, r + d), e) << "transposed at " << d;
            if (right != 0.0f) reach = d;
        }
        EXPECT_GE(reach, 8) << "the rings did not spread";
    }
}
