#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "app/ControlTable.h"
#include "reactor/ReactorLoader.h"
#include "reactors/TorusTunnel.h"
#include "PictureSupport.h"
#include "support/GlFeedback.h"
#include "support/GlTestContext.h"

namespace {

constexpr int kChannel = 7;
constexpr float kPi = 3.14159265f;

class TorusTunnelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ensureGlContext());
        resetGlState();
        while (glGetError() != GL_NO_ERROR) {
        }  // errors left by earlier tests
        controls = std::make_unique<ControlTable>();
        torus = std::make_unique<TorusTunnel>(1000.0f, 2.5f, 20, 36);
        torus->setControls(controls.get());
        torus->setChannel(kChannel);
    }
    void TearDown() override { resetGlState(); }

    void setControl(int n, float value) { controls->floatValue[ControlTable::indexOf(kChannel, 0, n)] = value; }
    const float* vertex(int ring, int point) const { return torus->vertices + 3 * torus->vertexIndex(ring, point); }
    const float* texCoord(int ring, int point) const { return torus->texCoords + 2 * torus->vertexIndex(ring, point); }

    // Angles (degrees, -180..180) about the viewing axis of the drawn ring-0
    // vertices: a thin slab around z = 0 keeps only the mouth of the tube.
    std::vector<float> mouthAngles(bool withCamera = false) {
        const OrthoBox box{-3.0f, 3.0f, -2.25f, 2.25f, 0.5f};
        box.apply();
        if (withCamera) {  // a camera the tube must ignore
            glTranslatef(1.0f, 0.5f, -4.0f);
            glRotatef(30.0f, 0.0f, 0.0f, 1.0f);
        }
        std::vector<float> angles;
        for (const FeedbackPolygon& p : capturePolygons([&] { torus->draw(); }))
            for (const FeedbackVertex& v : p.vertices)
                if (std::fabs(box.eyeZ(v)) < 1e-3f) {
                    EXPECT_NEAR(std::hypot(box.eyeX(v), box.eyeY(v)), 2.5f, 0.02f);
                    angles.push_back(std::atan2(box.eyeY(v), box.eyeX(v)) * 180.0f / kPi);
                }
        return angles;
    }
    static float nearest(const std::vector<float>& angles, float target) {
        float best = 360.0f;
        for (float a : angles) {
            float d = std::fabs(a - target);
            if (d > 180.0f) d = 360.0f - d;
            best = std::fmin(best, d);
        }
        return best;
    }

    std::unique_ptr<ControlTable> controls;
    std::unique_ptr<TorusTunnel> torus;
};

TEST_F(TorusTunnelTest, TubeIsATenthOfTheTorusBuiltOnce) {
    EXPECT_EQ(torus->rings, 20);
    EXPECT_EQ(torus->points, 36);
    // Ring 0 circles the x axis point (R, 0, 0) in the plane z = 0, radius 2.5.
    for (int j = 0; j < 36; ++j) {
        const float* v = vertex(0, j);
        EXPECT_NEAR(std::hypot(v[0] - 1000.0f, v[1]), 2.5f, 1e-3f);
        EXPECT_FLOAT_EQ(v[2], 0.0f);
    }
    EXPECT_NEAR(vertex(0, 0)[0], 1002.5f, 1e-3f);
    // The first and last point of a ring coincide.
    for (int i : {0, 7, 19}) {
        EXPECT_NEAR(vertex(i, 35)[0], vertex(i, 0)[0], 1e-3f);
        EXPECT_NEAR(vertex(i, 35)[1], vertex(i, 0)[1], 1e-4f);
        EXPECT_NEAR(vertex(i, 35)[2], vertex(i, 0)[2], 1e-3f);
    }
    // The farthest ring at 19 x 2 pi / 200 = 0.5969 rad (34.2 degrees):
    // (cos, -sin) x 1002.5 for point 0.
    EXPECT_NEAR(vertex(19, 0)[0], 829.149f, 0.01f);
    EXPECT_NEAR(vertex(19, 0)[2], -563.488f, 0.01f);
    // Texture: u runs 0..1 around, v is the ring number.
    EXPECT_FLOAT_EQ(texCoord(0, 0)[0], 0.0f);
    EXPECT_NEAR(texCoord(4, 7)[0], 0.2f, 1e-6f);
    EXPECT_NEAR(texCoord(4, 35)[0], 1.0f, 1e-5f);
    EXPECT_FLOAT_EQ(texCoord(13, 2)[1], 13.0f);
}

TEST_F(TorusTunnelTest, ScrollStepsPerFrameWithoutTimeFactorAndWraps) {
    torus->setTimeFactor(4.0f);  // must not matter
    for (int frame = 0; frame < 3; ++frame) torus->draw();
    EXPECT_FLOAT_EQ(torus->scrollU, 0.0f);
    EXPECT_FLOAT_EQ(torus->scrollV, 0.0f);

    setControl(19, 1.0f);
    setControl(83, -1.0f);
    torus->draw();
    EXPECT_NEAR(torus->scrollU, 0.03f, 1e-6f);
    EXPECT_NEAR(torus->scrollV, 0.97f, 1e-6f);  // below 0 gains 1
    for (int frame = 1; frame < 33; ++frame) torus->draw();
    EXPECT_NEAR(torus->scrollU, 0.99f, 1e-4f);
    torus->draw();  // the 34th frame passes 1
    EXPECT_NEAR(torus->scrollU, 0.02f, 1e-4f);
}

TEST_F(TorusTunnelTest, TwistTurnsTheMouthByTheLengthOf24And88) {
    // No twist: a point of the mouth at angle 0, seen from an identity view
    // whatever camera was set before.
    std::vector<float> angles = mouthAngles();
    ASSERT_GE(angles.size(), 36u);
    EXPECT_LT(nearest(angles, 0.0f), 0.01f);
    angles = mouthAngles(true);
    ASSERT_GE(angles.size(), 36u);
    EXPECT_LT(nearest(angles, 0.0f), 0.01f);

    // An eighth of a turn: the points now sit 45 degrees on (ring points
    // are 360/35 degrees apart, so none lies near 0 any more).
    setControl(24, 0.125f);
    angles = mouthAngles();
    EXPECT_LT(nearest(angles, 45.0f), 0.05f);
    EXPECT_GT(nearest(angles, 0.0f), 3.0f);
    // The same length from controller 88.
    setControl(24, 0.0f);
    setControl(88, -0.125f);
    EXPECT_LT(nearest(mouthAngles(), 45.0f), 0.05f);
    // A vector of length 1 (0.6, 0.8) gives 6.283 radians: back where it started.
    setControl(24, 0.6f);
    setControl(88, 0.8f);
    EXPECT_LT(nearest(mouthAngles(), 0.0f), 0.05f);
}

TEST_F(TorusTunnelTest, DrawLeavesStacksBalancedAndItsOwnSwitches) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    const MatrixDepths before = matrixDepths();
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
    setControl(19, 0.5f);
    setControl(24, 0.3f);
    for (int frame = 0; frame < 5; ++frame) {
        torus->draw();
        EXPECT_EQ(matrixDepths(), before);
    }
    GLint mode = 0, front = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glGetIntegerv(GL_FRONT_FACE, &front);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_EQ(front, GL_CW);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TorusTunnelTest, PictureOfTheCurvedTube) {
    bindTestTexture();
    setControl(19, 0.3f);
    setControl(83, 0.5f);
    renderReactorFrames(*torus, 4);
    const std::vector<uint8_t> still = readScreen();
    EXPECT_GT(litPixels(still), 640 * 480 * 3 / 4) << "the tube surrounds the viewer";
    savePictureIfAsked("torus_tunnel");

    setControl(24, 0.1f);
    renderReactorFrames(*torus, 4);
    const std::vector<uint8_t> twisted = readScreen();
    int changed = 0;
    for (size_t i = 0; i < twisted.size(); i += 4)
        if (std::abs(twisted[i] - still[i]) + std::abs(twisted[i + 1] - still[i + 1]) + std::abs(twisted[i + 2] - still[i + 2]) > 40)
            ++changed;
    EXPECT_GT(changed, 10000);
    savePictureIfAsked("torus_tunnel_twisted");
}

TEST(TorusTunnelLoader, IndexSevenBuildsTheLoaderTube) {
    ASSERT_TRUE(ensureGlContext());
    std::unique_ptr<Reactor> reactor(loadReactor(7, 0));
    ASSERT_NE(reactor, nullptr);
    auto* torus = dynamic_cast<TorusTunnel*>(reactor.get());
    ASSERT_NE(torus, nullptr);
    EXPECT_FLOAT_EQ(torus->majorRadius, 1000.0f);
    EXPECT_FLOAT_EQ(torus->tubeRadius, 2.5f);
    EXPECT_EQ(torus->rings, 20);
    EXPECT_EQ(torus->points, 36);
}

}  // namespace
