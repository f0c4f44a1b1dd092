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
    // How far (degrees) the nearest drawn ring-0 vertex lies from `target`
    // about the viewing axis: a thin slab around z = 0 keeps only the mouth.
    float nearestMouthPoint(float target) {
        const OrthoBox box{-3.0f, 3.0f, -2.25f, 2.25f, 0.5f};
        box.apply();
        float best = 360.0f;
        int points = 0;
        for (const FeedbackPolygon& p : capturePolygons([&] { reactor->draw(); }))
            for (const FeedbackVertex& v : p.vertices)
                if (std::fabs(box.eyeZ(v)) < 1e-3f) {
                    ++points;
                    EXPECT_NEAR(std::hypot(box.eyeX(v), box.eyeY(v)), 2.5f, 0.02f);
                    const float d = std::fabs(std::atan2(box.eyeY(v), box.eyeX(v)) * 180.0f / 3.14159265f - target);
                    best = std::fmin(best, d > 180.0f ? 360.0f - d : d);
                }
        EXPECT_GE(points, 36);
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

// Points 360/35 degrees apart; an eighth of a turn from controller 24 or 88
// moves one to 45 degrees and none stays near 0; length 1 (6.283 radians)
// turns the mouth back where it started.
TEST_F(TorusTunnelTest, TwistTurnsTheMouthByTheLengthOf24And88) {
    EXPECT_LT(nearestMouthPoint(0.0f), 0.01f);
    const float cases[][4] = {{0.125f, 0.0f, 45.0f, 0.0f}, {0.0f, -0.125f, 45.0f, 0.0f}, {0.6f, 0.8f, 0.0f, -1.0f}};
    for (const auto& c : cases) {
        setControl(24, c[0]);
        setControl(88, c[1]);
        EXPECT_LT(nearestMouthPoint(c[2]), 0.05f) << c[0] << " " << c[1];
        EXPECT_TRUE(c[3] != 0.0f || nearestMouthPoint(0.0f) > 3.0f) << "a point stayed near 0";
    }
}
