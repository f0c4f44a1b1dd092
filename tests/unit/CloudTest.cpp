#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "reactors/Cloud.h"
#include "support/GlFeedback.h"
#include "support/ReactorFixture.h"

namespace {

class CloudTest : public ReactorFixture<Cloud> {
protected:
    void SetUp() override {
        ReactorFixture::SetUp();
        controls->byteValue[ControlTable::indexOf(15, 0, 1)] = 33;  // frame milliseconds
    }
    // The planes of one draw in drawing order: eye depth, alpha, triangles.
    struct Plane {
        float z, alpha;
        int triangles;
    };
    std::vector<Plane> drawnPlanes() {
        const OrthoBox box{-12.0f, 12.0f, -9.0f, 9.0f, 100.0f};
        box.apply();
        std::vector<Plane> planes;
        for (const FeedbackPolygon& p : capturePolygons([&] { reactor->draw(); })) {
            const float z = box.eyeZ(p.vertices[0]);
            if (planes.empty() || std::fabs(planes.back().z - z) > 1e-3f) planes.push_back({z, p.vertices[0].rgba[3], 0});
            ++planes.back().triangles;
        }
        return planes;
    }
};

}  // namespace

// Planes 3 apart from the phase -2, farthest first, each a fan of four
// triangles; plane i has alpha 0.5 / (0.9 i + 1) (base 0.5, falloff 0.9),
// and every plane is as strong with opacity 1 and a fade below 0.
TEST_F(CloudTest, Controller86ChoosesFourFiveOrSixPlanesAndDrawCleansUp) {
    setControl(31, 0.7f);  // texture generation on while drawing
    const std::pair<float, int> cases[] = {{-1.0f, 4}, {-0.001f, 4}, {0.0f, 5}, {0.999f, 5}, {1.0f, 6}, {7.0f, 6}};
    for (const auto& [value, count] : cases) {
        setControl(86, value);
        const std::vector<Plane> planes = drawnPlanes();
        ASSERT_EQ(planes.size(), static_cast<size_t>(count)) << "controller 86 at " << value;
        for (int k = 0; k < count; ++k) {
            EXPECT_NEAR(planes[k].z, -2.0f - 3.0f * (count - 1 - k), 0.01f);
            EXPECT_NEAR(planes[k].alpha, 0.5f / (0.9f * (count - 1 - k) + 1.0f), 1e-3f);
            EXPECT_EQ(planes[k].triangles, 4);
        }
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S) || glIsEnabled(GL_TEXTURE_GEN_T));
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST) && glIsEnabled(GL_BLEND));
    }
    EXPECT_EQ(matrixMode(), GL_MODELVIEW);
    setControl(7, 1.0f);
    setControl(22, -1.0f);
    for (const Plane& p : drawnPlanes()) EXPECT_NEAR(p.alpha, 1.0f, 1e-3f);
}

TEST_F(CloudTest, ZeroSpacingStacksEveryPlaneAndHoldsThePhase) {
    setControl(81, -1.0f);
    setControl(17, 1.0f);
    for (int frame = 0; frame < 4; ++frame) {
        const std::vector<Plane> planes = drawnPlanes();
        ASSERT_EQ(planes.size(), 1u) << "all planes coincide";
        EXPECT_EQ(planes[0].triangles, 5 * 4);
        EXPECT_NEAR(planes[0].z, -2.0f, 1e-3f);
    }
    EXPECT_FLOAT_EQ(reactor->phase, -2.0f);
}

TEST_F(CloudTest, DriftFollowsFrameTimeAndWrapsAtTheSpacing) {
    // 0.03 x 33 ms x 0.3 = 0.297 per frame towards the viewer.
    setControl(17, 1.0f);
    for (int frame = 0; frame < 16; ++frame) reactor->draw();
    EXPECT_NEAR(reactor->phase, -2.0f + 16 * 0.297f, 1e-4f);
    reactor->draw();  // 3.049 reaches the spacing 3
    EXPECT_NEAR(reactor->phase, 0.049f, 1e-4f);
    setControl(17, -0.5f);  // a negative drift speed stands still
    reactor->draw();
    EXPECT_NEAR(reactor->phase, 0.049f, 1e-4f);
    reactor->phase = 3.0f;  // exactly the spacing wraps too
    reactor->draw();
    EXPECT_EQ(reactor->phase, 0.0f);
}

TEST_F(CloudTest, TextureScrollAdvancesOncePerPlaneWithItsScale) {
    setControl(29, 1.0f);
    reactor->draw();
    // Five planes, 0.03 x 1/d each, d = 1, 1.9, 2.8, 3.7, 4.6.
    EXPECT_NEAR(reactor->texScrollS, 0.03f * (1.0f + 1.0f / 1.9f + 1.0f / 2.8f + 1.0f / 3.7f + 1.0f / 4.6f), 1e-5f);
    EXPECT_FLOAT_EQ(reactor->texScrollT, 0.0f);
}
