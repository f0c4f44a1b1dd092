#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "reactor/Random.h"
#include "reactors/Waver3D.h"
#include "support/ReactorFixture.h"

namespace {

// A generator state whose next draw is 41: no random drop on the next update.
void noDropNext() { qelSetRandState(1); }

}  // namespace

TEST(GeodesicMesh, FourSubdivisionsOfTheIcosahedron) {
    const auto g = std::make_unique<GeodesicWaveGene>();
    EXPECT_EQ(g->vertexCount, 2562);
    EXPECT_EQ(g->faceCount, 6820);
    const int ends[5] = {20, 100, 420, 1700, 6820}, vertices[5] = {12, 42, 162, 642, 2562};
    for (int level = 0; level < 5; ++level) {
        EXPECT_EQ(g->levelStart[level], level == 0 ? 0 : ends[level - 1]);
        EXPECT_EQ(g->levelEnd[level], ends[level]);
        EXPECT_EQ(g->levelVertexCount[level], vertices[level]);
    }
    // The first split of face (0, 4, 1): (0, midpoint 0-4, midpoint 1-0).
    EXPECT_EQ(g->faces[60], 0);
    EXPECT_EQ(g->faces[61], 12);
    EXPECT_EQ(g->faces[62], 14);

    // Unit vertices; the twelve corners have five neighbours, all others six;
    // neighbourhood is mutual and near.
    int five = 0;
    for (int v = 0; v < 2562; ++v) {
        const float* p = &g->positions[3 * v];
        ASSERT_NEAR(p[0] * p[0] + p[1] * p[1] + p[2] * p[2], 1.0f, 1e-5f) << v;
        const int* r = g->ring(v);
        const int size = r[5] == -1 ? 5 : 6;
        if (size == 5) {
            EXPECT_LT(v, 12) << "only icosahedron corners have five neighbours";
            ++five;
        }
        for (int k = 0; k < size; ++k) {
            ASSERT_GE(r[k], 0);
            ASSERT_LT(r[k], 2562);
            ASSERT_NE(r[k], v);
            ASSERT_EQ(std::count(r, r + size, r[k]), 1);
            const int* back = g->ring(r[k]);
            ASSERT_NE(std::find(back, back + 6, v), back + 6) << v << " " << r[k];
            const float* q = &g->positions[3 * r[k]];
            ASSERT_LT(std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]), 0.1f);
        }
    }
    EXPECT_EQ(five, 12);
}

TEST(GeodesicWave, UniformFieldShrinksByTheDamping) {
    GeodesicWaveGene g;
    std::fill(g.heights.begin(), g.heights.end(), 1.0f);
    noDropNext();
    g.update();
    const float* h = g.currentHeights();
    for (int v = 12; v < 2562; ++v) ASSERT_NEAR(h[v], 0.72f, 1e-5f) << v;
    // Five neighbours: the old value still enters with -1.22.
    for (int v = 0; v < 12; ++v) ASSERT_NEAR(h[v], (1.0f - 6 * 0.37f + 5 * 0.37f) * 0.72f, 1e-5f) << v;
}

TEST(GeodesicWave, DropSpreadsOverTheRingsAndDiesAway) {
    GeodesicWaveGene g;
    const int v = 1000;
    g.dropAt(v);
    EXPECT_FLOAT_EQ(g.currentHeights()[v], 0.707f);
    for (int k = 0; k < 6; ++k) EXPECT_FLOAT_EQ(g.currentHeights()[g.ring(v)[k]], 0.5f);
    const int far = g.ring(g.ring(g.ring(v)[0])[0])[0];
    for (int step = 0; step < 203; ++step) {
        noDropNext();
        g.update();
        if (step == 2) {
            EXPECT_NE(g.currentHeights()[far], 0.0f);
        }
    }
    EXPECT_LT(*std::max_element(g.currentHeights(), g.currentHeights() + 2562,
                                [](float a, float b) { return std::fabs(a) < std::fabs(b); }),
              1e-3f);
    g.dropAt(-1);  // ignored
    g.dropAt(2562);
}

TEST(TorusRipple, RestSurfaceClosesOnItself) {
    TorusRippleGene t;
    for (int j = 0; j < 36; ++j)
        for (int k = 0; k < 3; ++k) ASSERT_NEAR(t.positions[3 * (107 * 36 + j) + k], t.positions[3 * j + k], 1e-5f);
    for (int c = 0; c < 108 * 36; ++c) {
        const float* n = &t.normals[3 * c];
        ASSERT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f, 1e-5f);
        // A tube radius out along the normal from the core circle of radius 1.6.
        const float a = static_cast<float>(c / 36) * 6.283185f / 107.0f;
        const float* p = &t.positions[3 * c];
        ASSERT_NEAR(p[0], 1.6f * std::cos(a) + 0.4f * n[0], 1e-5f) << c;
        ASSERT_NEAR(p[1], 1.6f * std::sin(a) + 0.4f * n[1], 1e-5f) << c;
        ASSERT_NEAR(p[2], 0.4f * n[2], 1e-5f) << c;
    }
    EXPECT_NEAR(t.positions[0], 2.0f, 1e-6f);
}

TEST(TorusRipple, DropsAndWaveStepsWrapAroundBothWays) {
    TorusRippleGene t;
    t.dropAt(10, 35);  // the third kernel column wraps into segment 0
    EXPECT_FLOAT_EQ(t.heightAt(10, 35), 0.7f);
    EXPECT_FLOAT_EQ(t.heightAt(10, 34), 0.5f);
    EXPECT_FLOAT_EQ(t.heightAt(10, 0), 0.5f);
    EXPECT_FLOAT_EQ(t.heightAt(9, 0), 0.3f);
    EXPECT_FLOAT_EQ(t.heightAt(11, 0), 0.3f);
    EXPECT_EQ(t.heightAt(10, 1), 0.0f);
    EXPECT_EQ(t.heightAt(12, 0), 0.0f);

    TorusRippleGene u;
    u.currentHeights()[0] = 1.0f;
    noDropNext();
    u.update();
    const int neighbours[4][2] = {{107, 0}, {1, 0}, {0, 35}, {0, 1}};
    for (const auto& n : neighbours) EXPECT_FLOAT_EQ(u.heightAt(n[0], n[1]), 0.45f) << n[0] << "," << n[1];
    EXPECT_EQ(u.heightAt(0, 0), 0.0f);
    EXPECT_EQ(u.heightAt(1, 1), 0.0f);
}

TEST(TorusRipple, RandomDropsLandInsideTheGrid) {
    TorusRippleGene t;
    qelSetRandState(99);
    int drops = 0;
    for (int k = 0; k < 3000; ++k) {
        t.dropRing = -1;
        t.update();
        if (t.dropRing < 0) continue;
        ++drops;
        ASSERT_GE(t.dropRing, 1);
        ASSERT_LE(t.dropRing, 103);
        ASSERT_GE(t.dropSegment, 1);
        ASSERT_LE(t.dropSegment, 35);
    }
    EXPECT_GT(drops, 150);  // about 7 % of updates
    EXPECT_LT(drops, 300);
}

class Waver3DTest : public ReactorFixture<Waver3D> {
    std::unique_ptr<Waver3D> makeReactor() override { return std::make_unique<Waver3D>(120, 80, 0); }
};

TEST_F(Waver3DTest, ControllerTwentyTwoChoosesSphereOrTorus) {
    reactor->sphere->dropAt(5);
    reactor->torus->dropAt(5, 5);
    const std::vector<float> torusBefore = reactor->torus->heights;
    reactor->update();  // controller 22 at 0.0: the sphere
    EXPECT_EQ(reactor->mode, 1);
    EXPECT_EQ(reactor->torus->heights, torusBefore);
    setControl(22, -0.01f);
    const std::vector<float> sphereBefore = reactor->sphere->heights;
    reactor->update();
    EXPECT_EQ(reactor->mode, 0);
    EXPECT_EQ(reactor->sphere->heights, sphereBefore);
    EXPECT_NE(reactor->torus->heights, torusBefore);
    setControl(22, std::numeric_limits<float>::quiet_NaN());
    reactor->update();
    EXPECT_EQ(reactor->mode, 0);
}
