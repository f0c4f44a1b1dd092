#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "reactors/MetaballPolygoniser.h"
#include "reactors/MetaballViewer.h"
#include "reactors/qelParticles.h"
#include "support/ReactorFixture.h"

namespace {

// Whether every mesh vertex lies on the sphere (centre c, radius), to the
// 1/1024 of a cube's diagonal (the vertex placement does far better).
bool onSphere(const MetaballPolygoniser& poly, const double c[3], double radius) {
    for (int v = 0; v < poly.vertexCount(); ++v) {
        const MetaballPolygoniser::Vertex& p = poly.vertices()[v];
        if (std::fabs(std::hypot(p.x - c[0], p.y - c[1], p.z - c[2]) - radius) > 0.15 * std::sqrt(3.0) / 1024.0)
            return false;
    }
    return poly.vertexCount() > 0;
}

class MetaballViewerTest : public ReactorFixture<MetaballViewer> {
    std::unique_ptr<MetaballViewer> makeReactor() override { return std::make_unique<MetaballViewer>(50); }
};

}  // namespace

TEST_F(MetaballViewerTest, OneActiveParticleGivesOneSphereAtAFifthOfItsPosition) {
    setControl(18, -1.0f);  // one particle
    setControl(23, 0.5f);   // moving
    setControl(87, -0.3f);
    setControl(81, 0.2f);   // born off the origin
    for (int frame = 0; frame < 5; ++frame) reactor->update();
    const MetaballPolygoniser& poly = *reactor->polygoniser;
    ASSERT_EQ(poly.ballCount, 1);
    const float* p = reactor->particles->record(0);
    const double centre[3] = {0.2 * p[0], 0.2 * p[1], 0.2 * p[2]};
    EXPECT_EQ(std::vector<float>(poly.balls[0], poly.balls[0] + 4),
              std::vector<float>({0.2f * p[0], 0.2f * p[1], 0.2f * p[2], 16.0f}));
    EXPECT_GT(std::fabs(centre[0]), 0.1);
    ASSERT_GT(poly.triangleCount(), 100);
    EXPECT_TRUE(onSphere(poly, centre, 0.25));
}
