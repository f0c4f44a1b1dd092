#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "input/WaveInput.h"
#include "reactor/SolidCube.h"
#include "reactors/SoundScape.h"
#include "support/GlFeedback.h"
#include "support/ReactorFixture.h"

namespace {

class SoundScapeTest : public ReactorFixture<SoundScape> {
protected:
    std::unique_ptr<SoundScape> makeReactor() override {
        auto scape = std::make_unique<SoundScape>("QQQ");
        scape->setWave(wave.get());
        return scape;
    }
    void fillBytes(int left, int right) {
        for (int j = 0; j < 256; ++j) {
            wave->current->bytes[2 * j] = static_cast<uint8_t>(left);
            wave->current->bytes[2 * j + 1] = static_cast<uint8_t>(right);
        }
    }
    // The bars in eye space, through a box that holds all of them.
    std::vector<FeedbackPolygon> captureBars() {
        box.apply();
        return capturePolygons([&] { reactor->draw(); });
    }
    // Largest |z| of the bar corners on one ring (radius about 1 or 1.2).
    float ringHalfLength(bool rightRing) {
        float most = 0.0f;
        for (const FeedbackPolygon& p : captureBars())
            for (const FeedbackVertex& v : p.vertices)
                if ((std::hypot(box.eyeX(v), box.eyeY(v)) > 1.1f) == rightRing) most = std::max(most, std::fabs(box.eyeZ(v)));
        return most;
    }

    OrthoBox box{-2.0f, 2.0f, -1.5f, 1.5f, 100.0f};
    std::unique_ptr<WaveInput> wave = std::make_unique<WaveInput>();
};

TEST_F(SoundScapeTest, SolidCubeFacesHaveOutwardNormals) {
    // One one-sided light along the viewing axis: a face is lit exactly when
    // its normal points at the viewer.
    const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f}, black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const float towardsViewer[4] = {0.0f, 0.0f, 1.0f, 0.0f};
    const OrthoBox cubeBox{-1.0f, 1.0f, -0.75f, 0.75f, 10.0f};
    cubeBox.apply();
    glLightfv(GL_LIGHT0, GL_POSITION, towardsViewer);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_AMBIENT, black);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
    glLightModelf(GL_LIGHT_MODEL_TWO_SIDE, 0.0f);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, black);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glDisable(GL_LIGHT1);
    glRotatef(30.0f, 1.0f, 0.0f, 0.0f);
    glRotatef(40.0f, 0.0f, 1.0f, 0.0f);
    const std::vector<FeedbackPolygon> polygons = capturePolygons([] { solidCube(0.8f); });
    glDisable(GL_LIGHTING);
    ASSERT_GE(polygons.size(), 6u);
    int facing = 0, away = 0;
    for (const FeedbackPolygon& p : polygons) {
        if (p.signedArea() > 1.0f) {
            ++facing;
            EXPECT_GT(p.vertices[0].rgba[0], 0.2f) << "a face turned to the viewer has its normal outward";
        } else if (p.signedArea() < -1.0f) {
            ++away;
            EXPECT_LT(p.vertices[0].rgba[0], 0.01f) << "a face turned away has its normal away";
        }
    }
    EXPECT_GT(facing, 0);
    EXPECT_GT(away, 0);

}

TEST_F(SoundScapeTest, BarHeightsFollowTheSamples) {
    // Silence: 256 bars 3 long, centred on the ring plane.
    fillBytes(128, 128);
    const std::vector<FeedbackPolygon> bars = captureBars();
    EXPECT_EQ(bars.size() % 256, 0u);
    EXPECT_GE(bars.size(), 256u * 6u);
    EXPECT_NEAR(ringHalfLength(false), 1.5f, 0.01f);
    EXPECT_NEAR(ringHalfLength(true), 1.5f, 0.01f);
    // The lowest byte mirrors the bar to 21; the highest gives 3 x 8.9375.
    fillBytes(0, 255);
    EXPECT_NEAR(ringHalfLength(false), 10.5f, 0.02f);
    EXPECT_NEAR(ringHalfLength(true), 13.40625f, 0.02f);
    // A left signal alone moves only the inner ring.
    fillBytes(200, 128);
    EXPECT_NEAR(ringHalfLength(false), 1.5f * (1.0f + 72.0f / 16.0f), 0.02f);
    EXPECT_NEAR(ringHalfLength(true), 1.5f, 0.01f);
    // Without any sound source the bars stand at the silence height.
    reactor->setWave(nullptr);
    EXPECT_NEAR(ringHalfLength(false), 1.5f, 0.01f);
}

TEST_F(SoundScapeTest, TurnsAboutTheViewingAxisOnlyWithController27) {
    // One tall bar at angle 0 on the left ring, the rest at silence.
    fillBytes(128, 128);
    wave->current->bytes[0] = 255;
    auto tallBarAngle = [&] {
        float x = 0.0f, y = 0.0f;
        for (const FeedbackPolygon& p : captureBars())
            for (const FeedbackVertex& v : p.vertices)
                if (std::fabs(box.eyeZ(v)) > 5.0f) x = box.eyeX(v), y = box.eyeY(v);
        return std::atan2(y, x) * 180.0f / 3.14159265f;
    };
    reactor->setTimeFactor(90.0f);
    // x and y speeds advance their angles but never turn the figure.
    setControl(90, 1.0f);
    setControl(26, 1.0f);
    EXPECT_NEAR(tallBarAngle(), 0.0f, 2.0f);
    EXPECT_FLOAT_EQ(reactor->angleX, 90.0f);
    // The z speed turns it: 90 degrees after the next frame.
    reactor->angleZ = 0.0f;
    setControl(27, 1.0f);
    EXPECT_NEAR(tallBarAngle(), 90.0f, 2.0f);
    // Negative speeds let the angle fall below 0 without wrapping.
    setControl(27, -1.0f);
    tallBarAngle();
    tallBarAngle();
    EXPECT_FLOAT_EQ(reactor->angleZ, -90.0f);
}

TEST_F(SoundScapeTest, DrawLeavesBlendOnAndLightingAndTexturingOff) {
    fillBytes(0, 255);
    reactor->draw();
    EXPECT_EQ(matrixMode(), GL_MODELVIEW);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

}  // namespace
