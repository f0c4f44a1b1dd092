#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <tuple>

#include "input/WaveInput.h"
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
    void fillBytes(uint8_t left, uint8_t right) {
        for (int j = 0; j < 512; j += 2) wave->current->bytes[j] = left, wave->current->bytes[j + 1] = right;
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

TEST_F(SoundScapeTest, BarHeightsFollowTheSamples) {
    // Silence: bars 3 long, centred on the ring plane. The lowest byte mirrors the bar to 21, the highest
    // gives 3 x 8.9375; the left channel drives the inner ring, the right the outer one.
    const std::tuple<int, int, float, float> cases[] = {
        {128, 128, 1.5f, 1.5f}, {0, 255, 10.5f, 13.40625f}, {200, 128, 1.5f * (1.0f + 72.0f / 16.0f), 1.5f}};
    for (const auto& [left, right, inner, outer] : cases) {
        fillBytes(left, right);
        EXPECT_NEAR(ringHalfLength(false), inner, inner == 1.5f ? 0.01f : 0.02f) << left;
        EXPECT_NEAR(ringHalfLength(true), outer, outer == 1.5f ? 0.01f : 0.02f) << right;
    }
    EXPECT_TRUE(captureBars().size() % 256 == 0 && captureBars().size() >= 256u * 6u) << "six faces or more a bar";
    reactor->setWave(nullptr);  // without any sound source: the silence height
    EXPECT_NEAR(ringHalfLength(false), 1.5f, 0.01f);
}

TEST_F(SoundScapeTest, TurnsAboutTheViewingAxisOnlyWithController27) {
    fillBytes(128, 128);
    wave->current->bytes[0] = 255;  // one tall bar at angle 0 on the left ring
    auto tallBarAngle = [&] {
        float x = 0.0f, y = 0.0f;
        for (const FeedbackPolygon& p : captureBars())
            for (const FeedbackVertex& v : p.vertices)
                if (std::fabs(box.eyeZ(v)) > 5.0f) x = box.eyeX(v), y = box.eyeY(v);
        return std::atan2(y, x) * 180.0f / 3.14159265f;
    };
    reactor->setTimeFactor(90.0f);
    setControl(90, 1.0f);  // x and y speeds advance their angles but never turn the figure
    setControl(26, 1.0f);
    EXPECT_NEAR(tallBarAngle(), 0.0f, 2.0f);
    EXPECT_FLOAT_EQ(reactor->angleX, 90.0f);
    reactor->angleZ = 0.0f;
    setControl(27, 1.0f);  // the z speed turns it: 90 degrees after the next frame
    EXPECT_NEAR(tallBarAngle(), 90.0f, 2.0f);
    setControl(27, -1.0f);  // negative speeds let the angle fall below 0 without wrapping
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
