// The ripple, flow, geodesic and particle genes, and the Waver choosing between them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numeric>
#include <tuple>
#include <vector>

#include "reactor/Random.h"
#include "reactors/RippleGene.h"
#include "reactors/Waver.h"
#include "reactors/Waver3D.h"
#include "reactors/qelFlo.h"
#include "reactors/qelParticles.h"
#include "support/ReactorFixture.h"

namespace {

using Ints = std::vector<int>;
using Floats = std::vector<float>;
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// A w x h block of the plane that held the heights before the last update
// (where drops land), row by row.
Floats stamped(RippleGene& gene, int column, int row, int w, int h) {
    Floats block;
    for (int r = row; r < row + h; ++r)
        for (int c = column; c < column + w; ++c) block.push_back(gene.nextHeights()[r * gene.width + c]);
    return block;
}
float stampedTotal(RippleGene& gene) { return std::accumulate(gene.nextHeights(), gene.nextHeights() + gene.count, 0.0f); }

// Controls that neither differ from their last values nor ask for random drops.
void quietControls(RippleGene& gene) {
    gene.dropXControl = gene.lastDropXControl = 64;
    gene.dropYControl = gene.lastDropYControl = 64;
}

}  // namespace

// The 3 x 3 kernel lands on the scaled cell, clamped to stay off the border (wave step: waver golden).
TEST(RippleGene, ControlledDropsLandClampedWithTheKernelCentreThere) {
    RippleGene gene(120, 80);
    gene.dropXControl = 64;
    gene.dropYControl = 100;
    gene.update();
    EXPECT_EQ(Ints({gene.dropColumn, gene.dropRow, gene.dropPending}), Ints({60, 62, 0}));
    EXPECT_EQ(stamped(gene, 59, 61, 3, 3), Floats({0.3f, 0.5f, 0.3f, 0.5f, 1.0f, 0.5f, 0.3f, 0.5f, 0.3f}));
    EXPECT_NEAR(stampedTotal(gene), 1.0f + 4 * 0.5f + 4 * 0.3f, 1e-5f) << "nothing outside the 3 x 3 block";
    EXPECT_EQ(Floats({gene.heightAt(60, 62), gene.vertices[3 * (62 * 120 + 60) + 2]}), Floats({0.98f, 0.98f}));
    for (const auto& [column, row, clampedC, clampedR] : {std::tuple{0, -7, 1, 1}, {116, 76, 116, 76}, {119, 500, 117, 77}}) {
        gene.setDrop(column, row);
        EXPECT_EQ(Ints({gene.dropColumn, gene.dropRow, gene.dropPending}), Ints({clampedC, clampedR, 1}));
    }
    gene.init();
    gene.setDrop(1000, 1000);
    quietControls(gene);
    gene.update();
    EXPECT_EQ(stamped(gene, 116, 76, 4, 4), Floats({0.3f, 0.5f, 0.3f, 0, 0.5f, 1, 0.5f, 0, 0.3f, 0.5f, 0.3f, 0, 0, 0, 0, 0}));
}

// About one update in twenty drops at random while drop X is below 2; from 2 on, none.
TEST(RippleGene, RandomRainOnlyWhenDropXControlIsBelowTwo) {
    RippleGene gene(120, 80);
    qelSetRandState(1);
    gene.dropXControl = gene.dropYControl = 0;
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

// A grown kernel's drop is clamped again when stamped; a null kernel restores the own one.
TEST(RippleGene, ReplacedKernelsAreClampedAndClippedToTheGrid) {
    RippleGene gene(80, 60, "QWERT");
    gene.setDrop(100, 100);
    std::vector<float> slice(78 * 58, 1.0f);
    gene.setKernel(slice.data(), 78, 58, 0.5f);
    gene.dropXControl = gene.dropYControl = gene.lastDropXControl = gene.lastDropYControl = 1;
    qelSetRandState(1);  // the first draw of this state makes no random drop
    gene.update();
    EXPECT_EQ(Ints({gene.dropColumn, gene.dropRow}), Ints({2, 2}));
    EXPECT_EQ(stamped(gene, 0, 0, 2, 2), Floats({0, 0, 0, 0.5f}));
    EXPECT_EQ(stamped(gene, 78, 58, 2, 2), Floats({0.5f, 0, 0, 0}));
    gene.setKernel(nullptr, 0, 0, 0.0f);
    EXPECT_TRUE(gene.kernel == gene.ownKernel && gene.kernelWidth == 3 && gene.kernelScale == 1.0f);
}

// The phase resets only past its limit; for any motion and grid the pole windows stay inside.
TEST(QelFlo, PhaseResetsOnlyPastTheLimitAndPoleWindowsStayInTheTable) {
    const float cases[][4] = {{0.5f, 5.9f, 1, 0.0f}, {0.0f, 6.283f, 1, 6.283f}, {-1.0f, 0.0f, 10, -10.0f}};
    for (const auto& [speed, start, updates, after] : cases) {
        qelFlo flo(120, 80);
        flo.setMotion(1.0f, speed);
        flo.phase[0] = start;
        for (int k = 0; k < updates; ++k) flo.update();
        EXPECT_FLOAT_EQ(flo.phase[0], after) << start;
    }
    auto expectInside = [](const qelFlo& flo) {
        for (int p = 0; p < 2; ++p)
            ASSERT_TRUE(flo.poleColumnOffset[p] >= 1 && flo.poleColumnOffset[p] + flo.width - 2 <= flo.tableWidth - 1 &&
                        flo.poleRowOffset[p] >= 1 && flo.poleRowOffset[p] + flo.height - 2 <= flo.tableHeight - 1)
                << "pole " << p << " at " << flo.poleColumnOffset[p] << "," << flo.poleRowOffset[p];
    };
    qelFlo edge(120, 80);
    edge.phase[0] = 3.14159f;
    edge.update();
    EXPECT_EQ(edge.poleColumnOffset[0], 1);
    expectInside(edge);
    const float inf = std::numeric_limits<float>::infinity();
    for (int size : {120, 7, 3}) {
        qelFlo flo(size, size * 2 / 3 + 3);
        for (float amplitude : {-1.0f, 0.0f, 1.0f, 3.0f, -3.0f, 1e9f, -1e9f, inf, -inf, kNaN})
            for (float speed : {0.37f, -0.9f, 100.0f, kNaN}) {
                flo.init();
                flo.setMotion(amplitude, speed);
                for (int k = 0; k < 25; ++k) flo.update(), expectInside(flo);
            }
    }
}

// Split edges share one midpoint; only the 12 corners have five neighbours.
TEST(GeodesicMesh, MidpointsAreSharedAndOnlyTheCornersHaveFiveNeighbours) {
    const auto g = std::make_unique<GeodesicWaveGene>();
    ASSERT_EQ(Ints({g->vertexCount, g->midpointCount}), Ints({2562, GeodesicWaveGene::kEdges}));
    std::vector<std::tuple<float, float, float>> points;
    for (int v = 0; v < g->vertexCount; ++v)
        points.emplace_back(g->positions[3 * v], g->positions[3 * v + 1], g->positions[3 * v + 2]);
    std::sort(points.begin(), points.end());
    EXPECT_EQ(std::adjacent_find(points.begin(), points.end()), points.end());
    for (int v = 0; v < 2562; ++v) ASSERT_EQ(g->ring(v)[5] == -1, v < 12) << v;
}

class WaverTest : public ReactorFixture<Waver> {
    std::unique_ptr<Waver> makeReactor() override { return std::make_unique<Waver>(120, 80, 0); }
};

// Controller 22 at 0 or more runs the flow (21/85 its motion); below 0 or NaN, the ripple.
TEST_F(WaverTest, ControllerTwentyTwoChoosesTheGene) {
    for (auto [n, v] : {std::pair{21, 0.5f}, {85, 0.25f}}) setControl(n, v);
    reactor->update();
    EXPECT_EQ(Floats({1.0f * reactor->mode, reactor->flow->amplitude, reactor->flow->phase[0],
                      1.0f * reactor->ripple->lastDropXControl}),
              Floats({1, 0.5f, 0.25f, -1}));
    setControl(22, -0.001f);
    for (auto [n, v] : {std::pair{21, 64}, {85, 100}}) setByte(n, v);
    reactor->update();
    EXPECT_EQ(Floats({1.0f * reactor->mode, 1.0f * reactor->ripple->dropColumn, 1.0f * reactor->ripple->dropRow,
                      reactor->flow->phase[0]}),
              Floats({0, 60, 62, 0.25f}));
    setControl(22, kNaN);
    reactor->update();
    EXPECT_EQ(reactor->mode, 0);
}

TEST(QelParticles, ActiveShareAndLifeControllerAtTheirEdges) {
    qelParticles gene(1280);
    for (const auto& [fraction, active] : {std::pair{0.0f, 1}, {1.0f, 1280}, {7.0f, 1280}, {0.5f, 640}, {0.0009f, 1},
                                           {kNaN, 1}, {-1e30f, 1}}) {
        gene.setActive(fraction);
        EXPECT_EQ(gene.active, active) << fraction;
    }
    // The life controller kills the active particles only below -0.5.
    qelParticles few(10);
    for (int i = 0; i < 10; ++i) few.record(i)[9] = 42.0f;
    few.setActive(0.5f);
    for (const float kill : {-0.5f, -0.51f}) {
        few.setLife(kill, 0.3f);
        for (int i = 0; i < 10; ++i) EXPECT_FLOAT_EQ(few.record(i)[9], i < 5 && kill < -0.5f ? -1.0f : 42.0f) << i;
    }
    qelParticles empty(0);  // a pool below one still has one record to visit
    empty.update();
    EXPECT_EQ(empty.active, 1);
}

// Three draws per particle whose life went below 0 (NaN too), in index order; exactly 0 waits.
TEST(QelParticles, RebirthDrawsThreeNumbersPerDeadParticleInIndexOrder) {
    qelParticles gene(3);
    gene.setSpread(0.5f, 0.25f);  // (3, 1.5, 2.25)
    gene.setCentre(0.1f, 0.2f);   // (0.6, -1.2, 0.03)
    gene.setLife(0.0f, 0.4f);
    const float lives[3] = {0.5f, 1.0f, kNaN};
    for (int i = 0; i < 3; ++i) gene.record(i)[9] = lives[i];
    qelSetRandState(987654321u);
    int draws[6];
    for (int& d : draws) d = qelRand();
    const uint32_t afterSix = qelRandState();
    qelSetRandState(987654321u);
    gene.update();
    EXPECT_EQ(qelRandState(), afterSix) << "none for the survivor";
    for (int k = 0; k < 2; ++k) {
        double u[3];
        for (int a = 0; a < 3; ++a) u[a] = draws[3 * k + a] / 16386.0 - 1.0;
        const double length = std::hypot(u[0], u[1], u[2]);
        EXPECT_NEAR(gene.record(2 * k)[0], u[0] / length * 3.0 + 0.6, 1e-5);
        EXPECT_NEAR(gene.record(2 * k)[1], u[1] / length * 1.5 - 1.2, 1e-5);
    }
    float up[3];
    qelParticles::unitDirection(16386, 16386, 16386, up);
    EXPECT_EQ(Floats(up, up + 3), Floats({0, 1, 0}));
}

