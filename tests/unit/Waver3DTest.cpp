#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "app/ControlTable.h"
#include "reactor/Random.h"
#include "reactor/ReactorLoader.h"
#include "reactors/Waver3D.h"
#include "PictureSupport.h"
#include "support/GlTestContext.h"

namespace {

// A generator state whose next draw is 41: no random drop on the next update.
void noDropNext() { qelSetRandState(1); }

// One shared mesh: building it scans the faces for every ring.
const GeodesicWaveGene& mesh() {
    static GeodesicWaveGene* gene = new GeodesicWaveGene();
    return *gene;
}

bool inRing(const GeodesicWaveGene& g, int v, int other) {
    const int* r = g.ring(v);
    return std::find(r, r + GeodesicWaveGene::kRingSize, other) != r + GeodesicWaveGene::kRingSize;
}

}  // namespace

TEST(GeodesicMesh, FourSubdivisionsGiveTheLevelCounts) {
    const GeodesicWaveGene& g = mesh();
    EXPECT_EQ(g.vertexCount, 2562);
    EXPECT_EQ(g.faceCount, 6820);
    EXPECT_EQ(g.midpointCount, 2550);
    const int starts[5] = {0, 20, 100, 420, 1700};
    const int ends[5] = {20, 100, 420, 1700, 6820};
    const int vertices[5] = {12, 42, 162, 642, 2562};
    for (int level = 0; level < 5; ++level) {
        EXPECT_EQ(g.levelStart[level], starts[level]);
        EXPECT_EQ(g.levelEnd[level], ends[level]);
        EXPECT_EQ(g.levelVertexCount[level], vertices[level]);
    }
    for (int v = 0; v < g.vertexCount; ++v) {
        const float* p = &g.positions[3 * v];
        ASSERT_NEAR(p[0] * p[0] + p[1] * p[1] + p[2] * p[2], 1.0f, 1e-5f) << v;
        ASSERT_EQ(g.directions[3 * v + 1], p[1]);
    }
    // The first split of face (0, 4, 1) in face order: (0, ab, ca).
    EXPECT_EQ(g.faces[3 * 20], 0);
    EXPECT_EQ(g.faces[3 * 20 + 1], 12);  // midpoint of 0-4, the first new vertex
    EXPECT_EQ(g.faces[3 * 20 + 2], 14);  // midpoint of 1-0, made after 4-1's
}

TEST(GeodesicMesh, TwelveCornersHaveFiveNeighboursAllOthersSix) {
    const GeodesicWaveGene& g = mesh();
    int five = 0, six = 0;
    for (int v = 0; v < 2562; ++v) {
        const int* r = g.ring(v);
        if (r[5] == -1) {
            ++five;
            EXPECT_LT(v, 12) << "only icosahedron corners have five neighbours";
        } else {
            ++six;
        }
        const int size = r[5] == -1 ? 5 : 6;
        for (int k = 0; k < size; ++k) {
            ASSERT_GE(r[k], 0);
            ASSERT_LT(r[k], 2562);
            ASSERT_NE(r[k], v);
            for (int m = k + 1; m < size; ++m) ASSERT_NE(r[k], r[m]);
            // Neighbourhood is mutual and neighbours are near (edge < 0.1).
            ASSERT_TRUE(inRing(g, r[k], v)) << v << " " << r[k];
            const float* a = &g.positions[3 * v];
            const float* b = &g.positions[3 * r[k]];
            ASSERT_LT(std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]), 0.1f);
        }
    }
    EXPECT_EQ(five, 12);
    EXPECT_EQ(six, 2550);
}

TEST(GeodesicWave, UniformFieldShrinksByTheDamping) {
    GeodesicWaveGene g;
    for (float& h : g.heights) h = 1.0f;
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

    float peak = 0.0f;
    for (int step = 0; step < 3; ++step) {
        noDropNext();
        g.update();
    }
    EXPECT_NE(g.currentHeights()[far], 0.0f);
    for (int step = 0; step < 200; ++step) {
        noDropNext();
        g.update();
    }
    for (int u = 0; u < 2562; ++u) peak = std::max(peak, std::fabs(g.currentHeights()[u]));
    EXPECT_LT(peak, 1e-3f);

    g.dropAt(-1);  // ignored
    g.dropAt(2562);
    g.init();
    for (float h : g.heights) ASSERT_EQ(h, 0.0f);
}

TEST(GeodesicWave, RandomDropsComeAboutOneUpdateInFive) {
    GeodesicWaveGene g;
    qelSetRandState(12345);
    int drops = 0;
    for (int k = 0; k < 1000; ++k) {
        g.init();
        g.update();
        float sum = 0.0f;
        for (int v = 0; v < 2562; ++v) sum += std::fabs(g.otherHeights()[v]);
        if (sum > 0.0f) ++drops;
    }
    EXPECT_GT(drops, 160);
    EXPECT_LT(drops, 290);
}

TEST(TorusRipple, RestSurfaceClosesOnItself) {
    TorusRippleGene t;
    EXPECT_NEAR(t.positions[0], 2.0f, 1e-6f);
    EXPECT_NEAR(t.positions[1], 0.0f, 1e-6f);
    for (int j = 0; j < 36; ++j)
        for (int k = 0; k < 3; ++k)
            ASSERT_NEAR(t.positions[3 * (107 * 36 + j) + k], t.positions[3 * j + k], 1e-5f);
    for (int c = 0; c < 108 * 36; ++c) {
        const float* n = &t.normals[3 * c];
        ASSERT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f, 1e-5f);
        // The surface lies a tube radius out along the normal from the core circle.
        const float a = static_cast<float>(c / 36) * 6.283185f / 107.0f;
        const float* p = &t.positions[3 * c];
        ASSERT_NEAR(p[0], 1.6f * std::cos(a) + 0.4f * n[0], 1e-5f) << c;
        ASSERT_NEAR(p[1], 1.6f * std::sin(a) + 0.4f * n[1], 1e-5f) << c;
        ASSERT_NEAR(p[2], 0.4f * n[2], 1e-5f) << c;
    }
}

TEST(TorusRipple, DropInTheLastSegmentWrapsIntoSegmentZero) {
    TorusRippleGene t;
    t.dropAt(10, 35);
    EXPECT_FLOAT_EQ(t.heightAt(10, 35), 0.7f);
    EXPECT_FLOAT_EQ(t.heightAt(10, 34), 0.5f);
    EXPECT_FLOAT_EQ(t.heightAt(10, 0), 0.5f);
    EXPECT_FLOAT_EQ(t.heightAt(9, 0), 0.3f);
    EXPECT_FLOAT_EQ(t.heightAt(11, 0), 0.3f);
    EXPECT_EQ(t.heightAt(10, 1), 0.0f);
    EXPECT_EQ(t.heightAt(12, 0), 0.0f);
}

TEST(TorusRipple, WaveStepWrapsBothWays) {
    TorusRippleGene t;
    t.currentHeights()[0] = 1.0f;
    noDropNext();
    t.update();
    EXPECT_FLOAT_EQ(t.heightAt(107, 0), 0.45f);
    EXPECT_FLOAT_EQ(t.heightAt(1, 0), 0.45f);
    EXPECT_FLOAT_EQ(t.heightAt(0, 35), 0.45f);
    EXPECT_FLOAT_EQ(t.heightAt(0, 1), 0.45f);
    EXPECT_EQ(t.heightAt(0, 0), 0.0f);
    EXPECT_EQ(t.heightAt(1, 1), 0.0f);
}

TEST(TorusRipple, RandomDropsLandInsideTheGrid) {
    TorusRippleGene t;
    qelSetRandState(99);
    int drops = 0;
    for (int k = 0; k < 3000; ++k) {
        t.dropRing = -1;
        t.update();
        if (t.dropRing >= 0) {
            ++drops;
            ASSERT_GE(t.dropRing, 1);
            ASSERT_LE(t.dropRing, 103);
            ASSERT_GE(t.dropSegment, 1);
            ASSERT_LE(t.dropSegment, 35);
        }
    }
    EXPECT_GT(drops, 150);  // about 7 % of updates
    EXPECT_LT(drops, 300);
}

namespace {

struct Waver3DFixture {
    ControlTable table;
    Waver3D reactor{120, 80, 0};
    Waver3DFixture() {
        reactor.setControls(&table);
        reactor.setChannel(2);
    }
    void setFloat(int n, float value) { table.floatValue[ControlTable::indexOf(2, 0, n)] = value; }
};

float energy(const std::vector<float>& heights) {
    float sum = 0.0f;
    for (float h : heights) sum += std::fabs(h);
    return sum;
}

}  // namespace

TEST(Waver3DMode, ControllerTwentyTwoChoosesSphereOrTorus) {
    Waver3DFixture f;
    f.reactor.sphere->dropAt(5);
    f.reactor.torus->dropAt(5, 5);
    const std::vector<float> torusBefore = f.reactor.torus->heights;
    f.reactor.update();  // controller 22 at 0.0: the sphere
    EXPECT_EQ(f.reactor.mode, 1);
    EXPECT_EQ(f.reactor.torus->heights, torusBefore);

    f.setFloat(22, -0.01f);
    const std::vector<float> sphereBefore = f.reactor.sphere->heights;
    f.reactor.update();
    EXPECT_EQ(f.reactor.mode, 0);
    EXPECT_EQ(f.reactor.sphere->heights, sphereBefore);
    EXPECT_NE(f.reactor.torus->heights, torusBefore);

    f.setFloat(22, std::numeric_limits<float>::quiet_NaN());
    f.reactor.update();
    EXPECT_EQ(f.reactor.mode, 0);
    EXPECT_GT(energy(f.reactor.torus->heights), 0.0f);
}

TEST(Waver3DLoader, IndexThreeBuildsWaver3D) {
    std::unique_ptr<Reactor> reactor(loadReactor(3, 0));
    ASSERT_NE(dynamic_cast<Waver3D*>(reactor.get()), nullptr);
}

namespace {

int renderAndCount(Waver3DFixture& f, int frames, const char* name) {
    resetGlState();
    bindTestTexture();
    const MatrixDepths before = matrixDepths();
    renderReactorFrames(f.reactor, frames);
    EXPECT_EQ(matrixDepths(), before);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    savePictureIfAsked(name);
    return litPixels(readScreen());
}

}  // namespace

TEST(Waver3DPicture, SphereIsAnEnvironmentMappedBall) {
    if (!ensureGlContext()) return;
    Waver3DFixture f;
    qelSetRandState(1);
    const int lit = renderAndCount(f, 60, "waver3d_sphere");
    // A unit sphere three units away covers about a fifth of the screen.
    EXPECT_GT(lit, 640 * 480 / 8);
    EXPECT_LT(lit, 640 * 480 / 2);
}

TEST(Waver3DPicture, TorusTurnsUnderObjectMotion) {
    if (!ensureGlContext()) return;
    Waver3DFixture f;
    f.setFloat(22, -1.0f);
    f.setFloat(90, 0.6f);  // tip it over so the tube shows
    qelSetRandState(1);
    const int lit = renderAndCount(f, 80, "waver3d_torus");
    EXPECT_GT(lit, 640 * 480 / 10);
}
