#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "reactor/ReactorLoader.h"
#include "reactors/TorusTunnel.h"
#include "support/GlFeedback.h"
#include "support/ReactorFixture.h"

namespace {

class TorusTunnelTest : public ReactorFixture<TorusTunnel> {
protected:
    std::unique_ptr<TorusTunnel> makeReactor() override {  // the loader's tube
        testing::internal::CaptureStdout();
        std::unique_ptr<TorusTunnel> torus(dynamic_cast<TorusTunnel*>(loadReactor(7, 0)));
        testing::internal::GetCapturedStdout();
        return torus;
    }
    const float* vertex(int ring, int point) const { return reactor->vertices + 3 * reactor->vertexIndex(ring, point); }
    const float* texCoord(int ring, int point) const { return reactor->texCoords + 2 * reactor->vertexIndex(ring, point); }

    // Angles (degrees) about the viewing axis of the drawn ring-0 vertices: a
    // thin slab around z = 0 keeps only the mouth of the tube.
    std::vector<float> mouthAngles(bool withCamera = false) {
        const OrthoBox box{-3.0f, 3.0f, -2.25f, 2.25f, 0.5f};
        box.apply();
        if (withCamera) {  // a camera the tube must ignore
            glTranslatef(1.0f, 0.5f, -4.0f);
            glRotatef(30.0f, 0.0f, 0.0f, 1.0f);
        }
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

TEST_F(TorusTunnelTest, TubeIsATenthOfTheTorusBuiltOnce) {
    ASSERT_EQ(reactor->rings, 20);
    ASSERT_EQ(reactor->points, 36);
    // Ring 0 circles the point (1000, 0, 0) in the plane z = 0, radius 2.5.
    for (int j = 0; j < 36; ++j) {
        EXPECT_NEAR(std::hypot(vertex(0, j)[0] - 1000.0f, vertex(0, j)[1]), 2.5f, 1e-3f);
        EXPECT_FLOAT_EQ(vertex(0, j)[2], 0.0f);
    }
    EXPECT_NEAR(vertex(0, 0)[0], 1002.5f, 1e-3f);
    for (int i : {0, 7, 19})  // the first and last point of a ring coincide
        for (int a = 0; a < 3; ++a) EXPECT_NEAR(vertex(i, 35)[a], vertex(i, 0)[a], 1e-3f);
    // The farthest ring at 19 x 2 pi / 200 (34.2 degrees): (cos, -sin) x 1002.5.
    EXPECT_NEAR(vertex(19, 0)[0], 829.149f, 0.01f);
    EXPECT_NEAR(vertex(19, 0)[2], -563.488f, 0.01f);
    // Texture: u runs 0..1 around, v is the ring number.
    EXPECT_FLOAT_EQ(texCoord(0, 0)[0], 0.0f);
    EXPECT_NEAR(texCoord(4, 7)[0], 0.2f, 1e-6f);
    EXPECT_NEAR(texCoord(4, 35)[0], 1.0f, 1e-5f);
    EXPECT_FLOAT_EQ(texCoord(13, 2)[1], 13.0f);
}

TEST_F(TorusTunnelTest, ScrollStepsPerFrameWithoutTimeFactorAndWraps) {
    reactor->setTimeFactor(4.0f);  // must not matter
    for (int frame = 0; frame < 3; ++frame) reactor->draw();
    EXPECT_FLOAT_EQ(reactor->scrollU, 0.0f);
    EXPECT_FLOAT_EQ(reactor->scrollV, 0.0f);
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
    // No twist: a point of the mouth at angle 0, whatever camera was set.
    for (bool camera : {false, true}) {
        const std::vector<float> angles = mouthAngles(camera);
        ASSERT_GE(angles.size(), 36u);
        EXPECT_LT(nearest(angles, 0.0f), 0.01f);
    }
    // An eighth of a turn: the points sit 45 degrees on (they are 360/35
    // degrees apart, so none lies near 0 any more).
    setControl(24, 0.125f);
    const std::vector<float> angles = mouthAngles();
    EXPECT_LT(nearest(angles, 45.0f), 0.05f);
    EXPECT_GT(nearest(angles, 0.0f), 3.0f);
    // The same length from controller 88.
    setControl(24, 0.0f);
    setControl(88, -0.125f);
    EXPECT_LT(nearest(mouthAngles(), 45.0f), 0.05f);
    // Length 1 (0.6, 0.8) gives 6.283 radians: back where it started.
    setControl(24, 0.6f);
    setControl(88, 0.8f);
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
