#include <gtest/gtest.h>

#include <vector>

#include "reactor/Random.h"
#include "reactors/RippleGene.h"

namespace {

// The plane that held the heights before the last update (where drops land).
const float* previousPlane(RippleGene& gene) { return gene.nextHeights(); }

float at(const float* plane, const RippleGene& gene, int column, int row) { return plane[row * gene.width + column]; }

// Controls that neither differ from their last values nor ask for random drops.
void quietControls(RippleGene& gene) {
    gene.dropXControl = gene.lastDropXControl = 64;
    gene.dropYControl = gene.lastDropYControl = 64;
}

}  // namespace

TEST(RippleGeneDrop, ControlledDropLandsOnTheScaledCellWithTheKernelCentreThere) {
    RippleGene gene(120, 80);
    gene.dropXControl = 64;
    gene.dropYControl = 100;
    gene.update();
    EXPECT_EQ(gene.dropColumn, 60);
    EXPECT_EQ(gene.dropRow, 62);
    EXPECT_FALSE(gene.dropPending);

    const float* stamped = previousPlane(gene);
    EXPECT_FLOAT_EQ(at(stamped, gene, 60, 62), 1.0f);
    EXPECT_FLOAT_EQ(at(stamped, gene, 59, 61), 0.3f);
    EXPECT_FLOAT_EQ(at(stamped, gene, 61, 62), 0.5f);
    EXPECT_FLOAT_EQ(at(stamped, gene, 60, 63), 0.5f);
    EXPECT_FLOAT_EQ(at(stamped, gene, 61, 63), 0.3f);
    // Nothing outside the 3 x 3 block.
    float total = 0.0f;
    for (int n = 0; n < gene.count; ++n) total += stamped[n];
    EXPECT_NEAR(total, 1.0f + 4 * 0.5f + 4 * 0.3f, 1e-5f);

    // The wave step spreads it: the centre cell's neighbours sum to 2.0.
    EXPECT_FLOAT_EQ(gene.heightAt(60, 62), 0.98f);
    EXPECT_FLOAT_EQ(gene.vertices[3 * (62 * 120 + 60) + 2], 0.98f);
}

TEST(RippleGeneDrop, SameControlsAgainMakeNoDropAndDrawNoRandomNumbers) {
    RippleGene gene(120, 80);
    gene.dropXControl = 64;
    gene.dropYControl = 100;
    gene.update();
    gene.init();  // flat again
    qelSetRandState(77);
    for (int i = 0; i < 20; ++i) gene.update();
    EXPECT_EQ(qelRandState(), 77u);
    for (int n = 0; n < gene.count; ++n) ASSERT_EQ(gene.currentHeights()[n], 0.0f);
}

TEST(RippleGeneDrop, SetDropClampsSoTheKernelStaysOnTheGrid) {
    RippleGene gene(120, 80);
    gene.setDrop(0, -7);
    EXPECT_EQ(gene.dropColumn, 1);
    EXPECT_EQ(gene.dropRow, 1);
    EXPECT_TRUE(gene.dropPending);
    gene.setDrop(119, 500);
    EXPECT_EQ(gene.dropColumn, 117);  // width - kernel width
    EXPECT_EQ(gene.dropRow, 77);
    gene.setDrop(116, 76);
    EXPECT_EQ(gene.dropColumn, 116);
    EXPECT_EQ(gene.dropRow, 76);

    // The far corner drop touches the last interior cell and no border cell.
    gene.setDrop(1000, 1000);
    quietControls(gene);
    gene.update();
    const float* stamped = previousPlane(gene);
    EXPECT_FLOAT_EQ(at(stamped, gene, 118, 78), 0.3f);
    for (int c = 0; c < 120; ++c) EXPECT_EQ(at(stamped, gene, c, 79), 0.0f);
    for (int r = 0; r < 80; ++r) EXPECT_EQ(at(stamped, gene, 119, r), 0.0f);
}

TEST(RippleGeneDrop, ExtremeControlValuesStayOnTheGrid) {
    RippleGene gene(120, 80);
    gene.dropXControl = 1 << 30;
    gene.dropYControl = -(1 << 30);
    gene.update();
    EXPECT_EQ(gene.dropColumn, 117);
    EXPECT_EQ(gene.dropRow, 1);
}

TEST(RippleGeneDrop, RandomRainWhenDropXControlIsLow) {
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
        if (gene.dropColumn != 1 || gene.dropRow != 1) ++drops;
        ASSERT_GE(gene.dropColumn, 1);
        ASSERT_LE(gene.dropColumn, 117);
        ASSERT_GE(gene.dropRow, 1);
        ASSERT_LE(gene.dropRow, 77);
    }
    // About one update in twenty drops.
    EXPECT_GT(drops, 50);
    EXPECT_LT(drops, 170);

    // Controls at 2 or above never rain.
    gene.dropXControl = gene.lastDropXControl = 2;
    gene.dropYControl = gene.lastDropYControl = 0;
    const uint32_t state = qelRandState();
    for (int i = 0; i < 100; ++i) gene.update();
    EXPECT_EQ(qelRandState(), state);
}

TEST(RippleGeneWave, UniformFieldShrinksByTheDamping) {
    RippleGene gene(120, 80);
    quietControls(gene);
    for (float& h : gene.heights) h = 1.0f;
    gene.update();
    for (int r = 1; r < 79; ++r)
        for (int c = 1; c < 119; ++c) ASSERT_FLOAT_EQ(gene.heightAt(c, r), 0.98f) << c << "," << r;
    // Border cells and their vertices never move.
    EXPECT_FLOAT_EQ(gene.heightAt(0, 40), 1.0f);
    EXPECT_EQ(gene.vertices[3 * (40 * 120) + 2], 0.0f);
    EXPECT_EQ(gene.vertices[3 * (79 * 120 + 5) + 2], 0.0f);
}

TEST(RippleGeneKernel, LargeReplacedKernelCoversTheGridFromTheCorner) {
    RippleGene gene(80, 60, "QWERT");
    // A drop placed for the small kernel, then the kernel grows: the drop is
    // clamped again for the new size when it is stamped.
    gene.setDrop(100, 100);
    std::vector<float> slice(78 * 58, 1.0f);
    gene.setKernel(slice.data(), 78, 58, 0.5f);
    gene.dropXControl = gene.dropYControl = 1;
    gene.lastDropXControl = gene.lastDropYControl = 1;
    qelSetRandState(1);  // the first draw of this state makes no random drop
    gene.update();
    EXPECT_EQ(gene.dropColumn, 2);
    EXPECT_EQ(gene.dropRow, 2);
    const float* stamped = previousPlane(gene);
    EXPECT_EQ(at(stamped, gene, 0, 0), 0.0f);
    EXPECT_FLOAT_EQ(at(stamped, gene, 1, 1), 0.5f);
    EXPECT_FLOAT_EQ(at(stamped, gene, 78, 58), 0.5f);
    EXPECT_EQ(at(stamped, gene, 79, 59), 0.0f);

    // Back to the own 3 x 3 kernel.
    gene.setKernel(nullptr, 0, 0, 0.0f);
    EXPECT_EQ(gene.kernel, gene.ownKernel);
    EXPECT_EQ(gene.kernelWidth, 3);
    EXPECT_FLOAT_EQ(gene.kernelScale, 1.0f);
}

TEST(RippleGeneKernel, KernelAsLargeAsTheGridIsClippedAtTheEdges) {
    RippleGene gene(80, 60);
    std::vector<float> full(80 * 60, 1.0f);
    gene.setKernel(full.data(), 80, 60, 1.0f);
    gene.dropPending = true;
    quietControls(gene);
    gene.update();
    // Drop cell (0, 0): the kernel's first row and column fall off the grid.
    EXPECT_EQ(gene.dropColumn, 0);
    EXPECT_EQ(gene.dropRow, 0);
    const float* stamped = previousPlane(gene);
    float total = 0.0f;
    for (int n = 0; n < gene.count; ++n) total += stamped[n];
    EXPECT_FLOAT_EQ(total, 79.0f * 59.0f);
    EXPECT_EQ(at(stamped, gene, 79, 10), 0.0f);
}
