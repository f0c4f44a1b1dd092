#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "support/AllocationCounter.h"
#include "support/GlTestContext.h"
#include "PictureSupport.h"
#include "app/ControlTable.h"
#include "reactor/ReactorLoader.h"
#include "reactors/MetaballPolygoniser.h"
#include "reactors/MetaballViewer.h"
#include "reactors/qelParticles.h"

namespace {

void setControl(ControlTable& table, int channel, int n, float value) {
    table.floatValue[ControlTable::indexOf(channel, 0, n)] = value;
}

// Largest distance of every mesh vertex from `radius` around a centre.
double worstRadiusError(const MetaballPolygoniser& poly, const double c[3], double radius) {
    double worst = 0.0;
    for (int v = 0; v < poly.vertexCount(); ++v) {
        const MetaballPolygoniser::Vertex& p = poly.vertices()[v];
        const double r = std::sqrt((p.x - c[0]) * (p.x - c[0]) + (p.y - c[1]) * (p.y - c[1]) + (p.z - c[2]) * (p.z - c[2]));
        worst = std::fmax(worst, std::fabs(r - radius));
    }
    return worst;
}

const double kLatticeTolerance = 0.15 * std::sqrt(3.0) / 1024.0;

}  // namespace

TEST(MetaballViewer, OneActiveParticleGivesOneSphereAtAFifthOfItsPosition) {
    auto table = std::make_unique<ControlTable>();
    const int ch = 6;
    setControl(*table, ch, 18, -1.0f);  // one particle
    setControl(*table, ch, 23, 0.5f);   // moving
    setControl(*table, ch, 87, -0.3f);
    setControl(*table, ch, 81, 0.2f);
    MetaballViewer viewer(50);
    viewer.setControls(table.get());
    viewer.setChannel(ch);
    for (int frame = 0; frame < 5; ++frame) viewer.update();

    const MetaballPolygoniser& poly = *viewer.polygoniser;
    ASSERT_EQ(poly.ballCount, 1);
    const float* p = viewer.particles->record(0);
    EXPECT_FLOAT_EQ(poly.balls[0][0], 0.2f * p[0]);
    EXPECT_FLOAT_EQ(poly.balls[0][1], 0.2f * p[1]);
    EXPECT_FLOAT_EQ(poly.balls[0][2], 0.2f * p[2]);
    EXPECT_FLOAT_EQ(poly.balls[0][3], 16.0f);
    ASSERT_GT(poly.triangleCount(), 100);
    const double centre[3] = {0.2 * p[0], 0.2 * p[1], 0.2 * p[2]};
    EXPECT_GT(std::fabs(centre[0]), 0.1) << "the particle has moved away from the origin";
    EXPECT_LT(worstRadiusError(poly, centre, 0.25), kLatticeTolerance);
}

TEST(MetaballViewer, CoincidentBallsAddUpToALargerSphere) {
    // Every controller at its centre: no speed, no spread, centre (0, 0, 0),
    // half the pool (25 balls) on one point: radius 0.25 * sqrt(25).
    auto table = std::make_unique<ControlTable>();
    MetaballViewer viewer(50);
    viewer.setControls(table.get());
    viewer.update();
    viewer.update();
    const MetaballPolygoniser& poly = *viewer.polygoniser;
    ASSERT_EQ(poly.ballCount, 25);
    EXPECT_EQ(poly.seedCount(), 1);
    const double origin[3] = {0.0, 0.0, 0.0};
    EXPECT_LT(worstRadiusError(poly, origin, 1.25), kLatticeTolerance);

    // The whole pool: radius 0.25 * sqrt(50).
    setControl(*table, 0, 18, 1.0f);
    viewer.update();
    ASSERT_EQ(poly.ballCount, 50);
    EXPECT_LT(worstRadiusError(poly, origin, 0.25 * std::sqrt(50.0)), kLatticeTolerance);
}

TEST(MetaballViewer, KilledParticlesSitOnTheScaledBirthSurface) {
    auto table = std::make_unique<ControlTable>();
    setControl(*table, 0, 18, 1.0f);
    setControl(*table, 0, 19, -1.0f);  // rebirth every frame
    setControl(*table, 0, 22, 0.4f);   // spread (2.4, 1.8, 2.1)
    setControl(*table, 0, 86, 0.3f);
    setControl(*table, 0, 23, 0.9f);
    MetaballViewer viewer(50);
    viewer.setControls(table.get());
    for (int frame = 0; frame < 3; ++frame) {
        viewer.update();
        const MetaballPolygoniser& poly = *viewer.polygoniser;
        const qelParticles& gene = *viewer.particles;
        ASSERT_EQ(poly.ballCount, 50);
        for (int b = 0; b < 50; ++b) {
            double r = 0.0;
            for (int a = 0; a < 3; ++a) {
                const double u = (poly.balls[b][a] / 0.2 - gene.centre[a]) / gene.spread[a];
                r += u * u;
            }
            ASSERT_NEAR(r, 1.0, 1e-4) << "ball " << b;
        }
        EXPECT_GT(poly.triangleCount(), 0);
    }
}

TEST(MetaballViewer, UpdateAllocatesNothing) {
    auto table = std::make_unique<ControlTable>();
    setControl(*table, 0, 18, 1.0f);
    setControl(*table, 0, 23, 0.4f);
    setControl(*table, 0, 87, 0.4f);
    setControl(*table, 0, 22, 0.1f);
    setControl(*table, 0, 85, -0.3f);
    MetaballViewer viewer(50);
    viewer.setControls(table.get());
    viewer.update();
    int triangles = 0;
    CountAllocations count;
    for (int frame = 0; frame < 60; ++frame) {
        viewer.update();
        triangles += viewer.polygoniser->triangleCount();
    }
    EXPECT_EQ(count.count(), 0);
    EXPECT_GT(triangles, 60 * 100) << "the frames did mesh something";

    // The counter itself sees allocations.
    allocation_counter::start();
    int* volatile probe = new int(3);
    delete probe;
    EXPECT_EQ(allocation_counter::stop(), 1);
}

TEST(MetaballViewer, LoaderBuildsItAtIndexFive) {
    testing::internal::CaptureStdout();
    std::unique_ptr<Reactor> reactor(loadReactor(5));
    const std::string out = testing::internal::GetCapturedStdout();
    auto* viewer = dynamic_cast<MetaballViewer*>(reactor.get());
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->poolSize, 50);
    EXPECT_EQ(viewer->particles->pool, 50);
    EXPECT_EQ(out, "Reactor Loader  --5\nLoading ... : Metaball Viewer \nqelParticles 50 \nReactor Loader complete\n");
}

TEST(MetaballViewer, DrawsAnEnvironmentMappedBlob) {
    if (!ensureGlContext()) return;
    resetGlState();
    auto table = std::make_unique<ControlTable>();
    const int ch = 4;
    setControl(*table, ch, 18, -0.7f);  // eight balls
    setControl(*table, ch, 23, 0.4f);
    setControl(*table, ch, 87, 0.4f);
    setControl(*table, ch, 22, 0.2f);
    setControl(*table, ch, 86, 0.2f);
    setControl(*table, ch, 83, 0.5f);
    setControl(*table, ch, 26, 0.5f);  // turning about y
    MetaballViewer viewer(50);
    viewer.setControls(table.get());
    viewer.setChannel(ch);
    bindTestTexture();
    const MatrixDepths before = matrixDepths();
    renderReactorFrames(viewer, 40);
    EXPECT_EQ(matrixDepths(), before);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_GT(viewer.polygoniser->triangleCount(), 500);

    const std::vector<uint8_t> screen = readScreen();
    const int lit = litPixels(screen);
    EXPECT_GT(lit, 640 * 480 / 30) << "the blob fills a good part of the screen";
    EXPECT_LT(lit, 640 * 480 * 9 / 10);
    EXPECT_GT(distinctHues(screen), 3) << "the sphere-mapped texture shows its colours";
    savePictureIfAsked("metaball_viewer.png");
    resetGlState();
}
