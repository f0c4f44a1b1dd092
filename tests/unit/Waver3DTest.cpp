// The Waver and Waver 3D reactors and the genes of Waver 3D.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <tuple>
#include <vector>

#include "reactor/Random.h"
#include "reactors/Waver.h"
#include "reactors/Waver3D.h"
#include "support/ReactorFixture.h"

namespace {

// A generator state whose next draw is 41: no random drop on the next update.
void noDropNext() { qelSetRandState(1); }

}  // namespace

// Every split edge gets one midpoint, shared by the faces on both sides (no
// two vertices coincide); each level's ring of a vertex lists the other
// corners of the first six faces holding it, in face and corner order.
TEST(GeodesicMesh, MidpointsAreSharedAndRingsFollowTheFaceOrder) {
    const auto g = std::make_unique<GeodesicWaveGene>();
    ASSERT_EQ(g->vertexCount, 2562);
    std::vector<std::tuple<float, float, float>> points;
    for (int v = 0; v < g->vertexCount; ++v)
        points.emplace_back(g->positions[3 * v], g->positions[3 * v + 1], g->positions[3 * v + 2]);
    std::sort(points.begin(), points.end());
    EXPECT_EQ(std::adjacent_find(points.begin(), points.end()), points.end());
    EXPECT_EQ(g->midpointCount, GeodesicWaveGene::kEdges);
    for (int level = 0; level < GeodesicWaveGene::kLevels; ++level) {
        for (int v = 0; v < g->levelVertexCount[level]; ++v) {
            std::vector<int> expected;
            int faces = 0;
            for (int f = g->levelStart[level]; f < g->levelEnd[level] && faces < 6; ++f) {
                const int* corner = &g->faces[3 * f];
                if (corner[0] != v && corner[1] != v && corner[2] != v) continue;
                ++faces;
                for (int i = 0; i < 3; ++i)
                    if (corner[i] != v && std::find(expected.begin(), expected.end(), corner[i]) == expected.end())
                        expected.push_back(corner[i]);
            }
            expected.resize(6, -1);
            const int* ring = g->rings[level].data() + 6 * v;
            ASSERT_EQ(std::vector<int>(ring, ring + 6), expected) << "level " << level << " vertex " << v;
        }
    }
    for (int v = 0; v < 2562; ++v) ASSERT_EQ(g->ring(v)[5] == -1, v < 12) << "only the 12 corners have five neighbours";
}

// A uniform field shrinks by the damping (corners, with five neighbours, keep
// -1.22 of the old value); a drop reaches the third ring within three steps
// and dies away; drops outside the mesh are ignored.
TEST(GeodesicWave, UniformFieldShrinksAndDropsSpreadAndDieAway) {
    GeodesicWaveGene g;
    std::fill(g.heights.begin(), g.heights.end(), 1.0f);
    noDropNext();
    g.update();
    const float* h = g.currentHeights();
    for (int v = 0; v < 2562; ++v) ASSERT_NEAR(h[v], v < 12 ? (1.0f - 0.37f) * 0.72f : 0.72f, 1e-5f) << v;
    GeodesicWaveGene d;
    const int v = 1000, far = d.ring(d.ring(d.ring(v)[0])[0])[0];
    d.dropAt(v);
    for (int step = 0; step < 203; ++step) {
        noDropNext();
        d.update();
        EXPECT_TRUE(step != 2 || d.currentHeights()[far] != 0.0f) << "the third ring is still";
    }
    EXPECT_LT(*std::max_element(d.currentHeights(), d.currentHeights() + 2562,
                                [](float a, float b) { return std::fabs(a) < std::fabs(b); }),
              1e-3f);
    d.dropAt(-1);
    d.dropAt(2562);
}

// Drops and wave steps wrap around the torus both ways; random drops land
// inside the grid, on about 7 % of updates.
TEST(TorusRipple, DropsAndWaveStepsWrapAroundBothWays) {
    TorusRippleGene t;
    t.dropAt(10, 35);  // the third kernel column wraps into segment 0
    const std::tuple<int, int, float> dropped[] = {{10, 35, 0.7f}, {10, 34, 0.5f}, {10, 0, 0.5f}, {9, 0, 0.3f},
                                                   {11, 0, 0.3f},  {10, 1, 0.0f},  {12, 0, 0.0f}};
    for (const auto& [r, s, h] : dropped) EXPECT_FLOAT_EQ(t.heightAt(r, s), h) << r << "," << s;
    TorusRippleGene u;
    u.currentHeights()[0] = 1.0f;
    noDropNext();
    u.update();
    const std::tuple<int, int, float> stepped[] = {{107, 0, 0.45f}, {1, 0, 0.45f}, {0, 35, 0.45f}, {0, 1, 0.45f},
                                                   {0, 0, 0.0f},    {1, 1, 0.0f}};
    for (const auto& [r, s, h] : stepped) EXPECT_FLOAT_EQ(u.heightAt(r, s), h) << r << "," << s;
    qelSetRandState(99);
    int drops = 0;
    for (int k = 0; k < 3000; ++k) {
        t.dropRing = -1;
        t.update();
        if (t.dropRing < 0) continue;
        ++drops;
        ASSERT_TRUE(t.dropRing >= 1 && t.dropRing <= 103 && t.dropSegment >= 1 && t.dropSegment <= 35) << t.dropRing;
    }
    EXPECT_TRUE(drops > 150 && drops < 300) << drops;
}

class Waver3DTest : public ReactorFixture<Waver3D> {
    std::unique_ptr<Waver3D> makeReactor() override { return std::make_unique<Waver3D>(120, 80, 0); }
};

// Controller 22 at 0 or more runs the sphere, below 0 the torus; only the chosen surface moves.
TEST_F(Waver3DTest, ControllerTwentyTwoChoosesSphereOrTorus) {
    reactor->sphere->dropAt(5);
    reactor->torus->dropAt(5, 5);
    const std::vector<float> torusBefore = reactor->torus->heights;
    reactor->update();
    EXPECT_EQ(reactor->torus->heights, torusBefore);
    setControl(22, -0.01f);
    const std::vector<float> sphereBefore = reactor->sphere->heights;
    reactor->update();
    EXPECT_EQ(reactor->sphere->heights, sphereBefore);
    EXPECT_NE(reactor->torus->heights, torusBefore);
}

class WaverTest : public ReactorFixture<Waver> {
    std::unique_ptr<Waver> makeReactor() override { return std::make_unique<Waver>(120, 80, 0); }
};

// Controller 22 at 0 or more runs the flow with 21/85 as its motion (the
// ripple left alone); below 0 or not a number, the ripple with the byte
// values as drop controls (the flow frozen).
TEST_F(WaverTest, ControllerTwentyTwoChoosesTheGene) {
    setControl(21, 0.5f);
    setControl(85, 0.25f);
    reactor->update();
    EXPECT_EQ(reactor->mode, 1);
    EXPECT_EQ(std::vector<float>({reactor->flow->amplitude, reactor->flow->phase[0]}), std::vector<float>({0.5f, 0.25f}));
    EXPECT_EQ(reactor->ripple->lastDropXControl, -1);
    setControl(22, -0.001f);
    setByte(21, 64);
    setByte(85, 100);
    reactor->update();
    EXPECT_EQ(std::vector<int>({reactor->mode, reactor->ripple->dropColumn, reactor->ripple->dropRow}),
              std::vector<int>({0, 60, 62}));
    EXPECT_EQ(reactor->flow->phase[0], 0.25f);
    setControl(22, std::numeric_limits<float>::quiet_NaN());
    reactor->update();
    EXPECT_EQ(reactor->mode, 0);
}
