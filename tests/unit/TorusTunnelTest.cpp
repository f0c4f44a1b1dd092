#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "reactor/ReactorLoader.h"
#include "reactors/TorusTunnel.h"
#include "support/GlFeedback.h"
#include "support/ReactorFixture.h"
#include "support/TempStage.h"

namespace {

class TorusTunnelTest : public ReactorFixture<TorusTunnel> {
protected:
    std::unique_ptr<TorusTunnel> makeReactor() override {  // the loader's tube
        std::unique_ptr<TorusTunnel> torus;
        captureStdout([&] { torus.reset(dynamic_cast<TorusTunnel*>(loadReactor(7, 0).release())); });
        return torus;
    }
    // Angles (degrees) about the viewing axis of the drawn ring-0 vertices: a
    // thin slab around z = 0 keeps only the mouth of the tube.
    std::vector<float> mouthAngles() {
        const OrthoBox box{-3.0f, 3.0f, -2.25f, 2.25f, 0.5f};
        box.apply();
        std::vector<float> angles;
        for (const FeedbackPolygon& p : capturePolygons([&] { reactor->draw(); }))
            for (const FeedbackVertex& v : p.vertices)
                if (std::fabs(box.eyeZ(v)) < 1e-3f) {
                    EXPECT_NEAR(std::hypot(box.eyeX(v), box.eyeY(v)), 2.5f, 0.02f);
                    angles.push_back(std::atan2(box.eyeY(v), box.eyeX(v)) * 180.0f / 3.14159265f);
                }
        return angles;
    }
    static float nearest(const std::vector<float>& angles, float target) {
        float best = 360.0f;
        for (float a : angles) {
            const float d = std::fabs(a - target);
            best = std::fmin(best, d > 180.0f ? 360.0f - d : d);
        }
        return best;
    }
};

}  // namespace

TEST_F(TorusTunnelTest, ScrollStepsPerFrameWithoutTimeFactorAndWraps) {
    reactor->setTimeFactor(4.0f);  // must not matter
    setControl(19, 1.0f);
    setControl(83, -1.0f);
    reactor->draw();
    EXPECT_NEAR(reactor->scrollU, 0.03f, 1e-6f);
    EXPECT_NEAR(reactor->scrollV, 0.97f, 1e-6f);  // below 0 gains 1
    for (int frame = 1; frame < 33; ++frame) reactor->draw();
    EXPECT_NEAR(reactor->scrollU, 0.99f, 1e-4f);
    reactor->draw();  // the 34th frame passes 1
    EXPECT_NEAR(reactor->scrollU, 0.02f, 1e-4f);
}

TEST_F(TorusTunnelTest, TwistTurnsTheMouthByTheLengthOf24And88) {
    ASSERT_GE(mouthAngles().size(), 36u);
    EXPECT_LT(nearest(mouthAngles(), 0.0f), 0.01f) << "no twist: a point of the mouth at angle 0";
    setControl(24, 0.125f);  // an eighth of a turn: points 45 degrees on, none near 0 (they are 360/35 apart)
    const std::vector<float> angles = mouthAngles();
    EXPECT_LT(nearest(angles, 45.0f), 0.05f);
    EXPECT_GT(nearest(angles, 0.0f), 3.0f);
    setControl(24, 0.0f);
    setControl(88, -0.125f);  // the same length from controller 88
    EXPECT_LT(nearest(mouthAngles(), 45.0f), 0.05f);
    setControl(24, 0.6f);
    setControl(88, 0.8f);  // length 1 gives 6.283 radians: back where it started
    EXPECT_LT(nearest(mouthAngles(), 0.0f), 0.05f);
}

TEST_F(TorusTunnelTest, DrawLeavesClockwiseFrontFacesAndDepthAndCullingOff) {
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
    reactor->draw();
    GLint front = 0;
    glGetIntegerv(GL_FRONT_FACE, &front);
    EXPECT_EQ(front, GL_CW);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
}
