#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <tuple>
#include <vector>

#include "reactor/Random.h"
#include "reactors/Waver3D.h"
#include "support/ReactorFixture.h"

namespace {

// A generator state whose next draw is 41: no random drop on the next update.
void noDropNext() { qelSetRandState(1); }

}  // namespace

// The twelve icosahedron corners have five neighbours, all others six;
// neighbourhood is mutual.
TEST(GeodesicMesh, NeighbourRingsAreMutual) {
    const auto g = std::make_unique<GeodesicWaveGene>();
    ASSERT_EQ(g->vertexCount, 2562);
    int five = 0;
    for (int v = 0; v < 2562; ++v) {
        const int* r = g->ring(v);
        const int size = r[5] == -1 ? 5 : 6;
        five += size == 5;
        EXPECT_TRUE(size == 6 || v < 12) << "only icosahedron corners have five neighbours";
        for (int k = 0; k < size; ++k) {
            ASSERT_TRUE(r[k] >= 0 && r[k] < 2562 && r[k] != v);
            ASSERT_EQ(std::count(r, r + size, r[k]), 1);
            const int* back = g->ring(r[k]);
            ASSERT_NE(std::find(back, back + 6, v), back + 6) << v << " " << r[k];
        }
    }
    EXPECT_EQ(five, 12);
}

// A uniform field shrinks by the damping (corners, with five neighbours, keep -1.22 of the old value); a
// Every split edge gets one midpoint, shared by the faces on both sides (no
// two vertices coincide), and each level's ring of a vertex lists the other
// corners of the first six faces holding it, in face and corner order.
TEST(GeodesicMesh, MidpointsAreSharedAndRingsFollowTheFaceOrder) {
    const auto g = std::make_unique<GeodesicWaveGene>();
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
}

// drop reaches the third ring within three steps and dies away; drops outside the mesh are ignored.
TEST(GeodesicWave, UniformFieldShrinksAndDropsSpreadAndDieAway) {
    GeodesicWaveGene g;
    std::fill(g.heights.begin(), g.heights.end(), 1.0f);
    noDropNext();
    g.update();
    const float* h = g.currentHeights();
    for (int v = 12; v < 2562; ++v) ASSERT_NEAR(h[v], 0.72f, 1e-5f) << v;
    for (int v = 0; v < 12; ++v) ASSERT_NEAR(h[v], (1.0f - 6 * 0.37f + 5 * 0.37f) * 0.72f, 1e-5f) << v;
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
