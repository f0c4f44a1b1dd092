#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "support/GlFeedback.h"
#include "support/GlTestContext.h"
#include "PictureSupport.h"
#include "app/ControlTable.h"
#include "input/WaveInput.h"
#include "reactor/ReactorLoader.h"
#include "reactor/SolidCube.h"
#include "reactors/SoundScape.h"

namespace {

constexpr int kChannel = 3;

class SoundScapeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ensureGlContext());
        resetGlState();
        while (glGetError() != GL_NO_ERROR) {
        }  // errors left by earlier tests
        controls = std::make_unique<ControlTable>();
        wave = std::make_unique<WaveInput>();
        scape = std::make_unique<SoundScape>("QQQ");
        scape->setControls(controls.get());
        scape->setChannel(kChannel);
        scape->setWave(wave.get());
    }
    void TearDown() override { resetGlState(); }

    void setControl(int n, float value) { controls->floatValue[ControlTable::indexOf(kChannel, 0, n)] = value; }
    void fillBytes(int left, int right) {
        for (int j = 0; j < 256; ++j) {
            wave->current->bytes[2 * j] = static_cast<uint8_t>(left);
            wave->current->bytes[2 * j + 1] = static_cast<uint8_t>(right);
        }
    }

    // The bars in eye space, seen along z through a box that holds all of them.
    std::vector<FeedbackPolygon> captureBars() {
        box.apply();
        return capturePolygons([&] { scape->draw(); });
    }

    // Largest |z| of the bar corners on one ring (radius about 1 or 1.2).
    float ringHalfLength(const std::vector<FeedbackPolygon>& polygons, bool rightRing) {
        float most = 0.0f;
        for (const FeedbackPolygon& p : polygons)
            for (const FeedbackVertex& v : p.vertices) {
                const float r = std::hypot(box.eyeX(v), box.eyeY(v));
                if ((r > 1.1f) == rightRing) most = std::max(most, std::fabs(box.eyeZ(v)));
            }
        return most;
    }

    OrthoBox box{-2.0f, 2.0f, -1.5f, 1.5f, 100.0f};
    std::unique_ptr<ControlTable> controls;
    std::unique_ptr<WaveInput> wave;
    std::unique_ptr<SoundScape> scape;
};

TEST_F(SoundScapeTest, AngleTablesStepOneHundredTwentyEighthOfATurn) {
    EXPECT_FLOAT_EQ(scape->sine[0], 0.0f);
    EXPECT_FLOAT_EQ(scape->cosine[0], 1.0f);
    // Quarter, half and three-quarter turns.
    EXPECT_NEAR(scape->sine[32], 1.0f, 1e-5f);
    EXPECT_NEAR(scape->cosine[32], 0.0f, 1e-5f);
    EXPECT_NEAR(scape->cosine[64], -1.0f, 1e-5f);
    // The last bar stands one step short of a full turn.
    EXPECT_NEAR(scape->sine[127], -0.0490677f, 1e-5f);
}

TEST_F(SoundScapeTest, SolidCubeHasSixOutwardFacesOfTheGivenEdge) {
    // One light along the viewing axis, one-sided: a face is lit exactly when
    // its normal points at the viewer.
    const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const float towardsViewer[4] = {0.0f, 0.0f, 1.0f, 0.0f};
    OrthoBox cubeBox{-1.0f, 1.0f, -0.75f, 0.75f, 10.0f};
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
    float facingArea = 0.0f;
    int facing = 0, away = 0;
    for (const FeedbackPolygon& p : polygons) {
        const float area = p.signedArea();
        const float lit = p.vertices[0].rgba[0];
        if (area > 1.0f) {
            ++facing;
            facingArea += area;
            EXPECT_GT(lit, 0.2f) << "a face turned to the viewer must have its normal outward";
        } else if (area < -1.0f) {
            ++away;
            EXPECT_LT(lit, 0.01f) << "a face turned away must have its normal away";
        }
    }
    EXPECT_GT(facing, 0);
    EXPECT_GT(away, 0);
    // Three faces of a 0.8 cube turned by (30, 40) degrees: the projected
    // outline is a hexagon; the three visible faces cover
    // 0.64 x (|nz| summed over them) square units.
    const float c30 = std::cos(30.0f * 3.14159265f / 180.0f), s30 = 0.5f;
    const float c40 = std::cos(40.0f * 3.14159265f / 180.0f), s40 = std::sin(40.0f * 3.14159265f / 180.0f);
    // z components of the rotated unit normals x, y, z: Rx(30) * Ry(40) * n.
    const float nzX = -c30 * s40, nzY = s30, nzZ = c30 * c40;
    const float expectedUnits = 0.64f * (std::fabs(nzX) + std::fabs(nzY) + std::fabs(nzZ));
    const float pixelsPerUnit = 640.0f / 2.0f;
    EXPECT_NEAR(facingArea, expectedUnits * pixelsPerUnit * pixelsPerUnit, 0.01f * facingArea);

    float extent = 0.0f;
    cubeBox.apply();
    for (const FeedbackPolygon& p : capturePolygons([] { solidCube(0.8f); }))
        for (const FeedbackVertex& v : p.vertices)
            extent = std::max({extent, std::fabs(cubeBox.eyeX(v)), std::fabs(cubeBox.eyeY(v)), std::fabs(cubeBox.eyeZ(v))});
    EXPECT_NEAR(extent, 0.4f, 1e-3f);
}

TEST_F(SoundScapeTest, BarHeightsFollowTheSamples) {
    // Silence: every bar 3 long, centred on the ring plane.
    fillBytes(128, 128);
    std::vector<FeedbackPolygon> bars = captureBars();
    EXPECT_EQ(bars.size() % 256, 0u);
    EXPECT_GE(bars.size(), 256u * 6u);
    EXPECT_NEAR(ringHalfLength(bars, false), 1.5f, 0.01f);
    EXPECT_NEAR(ringHalfLength(bars, true), 1.5f, 0.01f);

    // The lowest byte mirrors the bar to 21; the highest gives 3 x 8.9375.
    fillBytes(0, 255);
    bars = captureBars();
    EXPECT_NEAR(ringHalfLength(bars, false), 10.5f, 0.02f);
    EXPECT_NEAR(ringHalfLength(bars, true), 13.40625f, 0.02f);

    // A left signal alone moves only the inner ring.
    fillBytes(200, 128);
    bars = captureBars();
    EXPECT_NEAR(ringHalfLength(bars, false), 1.5f * (1.0f + 72.0f / 16.0f), 0.02f);
    EXPECT_NEAR(ringHalfLength(bars, true), 1.5f, 0.01f);

    // Without any sound source the bars stand at the silence height.
    scape->setWave(nullptr);
    EXPECT_NEAR(ringHalfLength(captureBars(), false), 1.5f, 0.01f);
}

TEST_F(SoundScapeTest, TurnsAboutTheViewingAxisOnlyWithController27) {
    // One tall bar at angle 0 on the left ring, the rest at silence.
    fillBytes(128, 128);
    wave->current->bytes[0] = 255;
    auto tallBarAngle = [&] {
        float x = 0.0f, y = 0.0f;
        for (const FeedbackPolygon& p : captureBars())
            for (const FeedbackVertex& v : p.vertices)
                if (std::fabs(box.eyeZ(v)) > 5.0f) {
                    x = box.eyeX(v);
                    y = box.eyeY(v);
                }
        return std::atan2(y, x) * 180.0f / 3.14159265f;
    };
    scape->setTimeFactor(90.0f);
    // x and y speeds advance their angles but never turn the figure.
    setControl(90, 1.0f);
    setControl(26, 1.0f);
    EXPECT_NEAR(tallBarAngle(), 0.0f, 2.0f);
    EXPECT_FLOAT_EQ(scape->angleX, 90.0f);
    // The z speed turns it: 90 degrees after the next frame.
    scape->angleZ = 0.0f;
    setControl(27, 1.0f);
    EXPECT_NEAR(tallBarAngle(), 90.0f, 2.0f);
    // Negative speeds let the angle fall below 0 without wrapping.
    setControl(27, -1.0f);
    tallBarAngle();
    tallBarAngle();
    EXPECT_FLOAT_EQ(scape->angleZ, -90.0f);
}

TEST_F(SoundScapeTest, DrawLeavesMatrixStacksAndSwitchesAsFound) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    const MatrixDepths before = matrixDepths();
    fillBytes(0, 255);
    for (int frame = 0; frame < 3; ++frame) scape->draw();
    scape->setWave(nullptr);
    scape->draw();
    EXPECT_EQ(matrixDepths(), before);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(SoundScapeTest, PicturesOfSilenceOfNoDeviceAndOfASine) {
    controls->byteValue[ControlTable::indexOf(kChannel, 0, 7)] = 127;
    renderReactorFrames(*scape, 3);
    const int noDevice = litPixels(readScreen());
    EXPECT_GT(noDevice, 2000);
    savePictureIfAsked("soundscape_no_device");

    fillBytes(128, 128);
    renderReactorFrames(*scape, 3);
    const std::vector<uint8_t> silence = readScreen();
    EXPECT_GT(litPixels(silence), 2000);
    savePictureIfAsked("soundscape_silence");

    // Four periods of a sine on the left, two on the right at half strength.
    for (int j = 0; j < 256; ++j) {
        const float t = static_cast<float>(j) / 128.0f * 6.2831853f;
        wave->current->bytes[2 * j] = static_cast<uint8_t>(128.0f + 40.0f * std::sin(4.0f * t));
        wave->current->bytes[2 * j + 1] = static_cast<uint8_t>(128.0f + 20.0f * std::sin(2.0f * t));
    }
    renderReactorFrames(*scape, 3);
    const std::vector<uint8_t> sine = readScreen();
    int changed = 0;
    for (size_t i = 0; i < sine.size(); i += 4)
        if (std::abs(sine[i] - silence[i]) + std::abs(sine[i + 1] - silence[i + 1]) + std::abs(sine[i + 2] - silence[i + 2]) > 24) ++changed;
    EXPECT_GT(changed, 20000) << "the signal must reshape the rings";
    savePictureIfAsked("soundscape_sine");
}

TEST(SoundScapeLoader, IndexTenBuildsASoundScape) {
    ASSERT_TRUE(ensureGlContext());
    std::unique_ptr<Reactor> reactor(loadReactor(10, 0));
    ASSERT_NE(reactor, nullptr);
    EXPECT_NE(dynamic_cast<SoundScape*>(reactor.get()), nullptr);
}

}  // namespace
