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
    // The bar corners in eye space, through a box that holds all of them.
    std::vector<FeedbackVertex> barCorners() {
        box.apply();
        std::vector<FeedbackVertex> corners;
        for (const FeedbackPolygon& p : capturePolygons([&] { reactor->draw(); }))
            corners.insert(corners.end(), p.vertices.begin(), p.vertices.end());
        return corners;
    }
    // Largest |z| of the bar corners on each ring (radius about 1 or 1.2).
    std::pair<float, float> ringHalfLengths() {
        std::pair<float, float> most{0.0f, 0.0f};
        for (const FeedbackVertex& v : barCorners()) {
            float& ring = std::hypot(box.eyeX(v), box.eyeY(v)) > 1.1f ? most.second : most.first;
            ring = std::max(ring, std::fabs(box.eyeZ(v)));
        }
        return most;
    }

    OrthoBox box{-2.0f, 2.0f, -1.5f, 1.5f, 100.0f};
    std::unique_ptr<WaveInput> wave = std::make_unique<WaveInput>();
};

}  // namespace

// Silence: bars 3 long, centred on the ring plane. The lowest byte mirrors
// the bar to 21, the highest gives 3 x 8.9375; the left channel drives the
// inner ring, the right the outer one. Without a sound source: silence.
// (Turning with controller 27 shows in the golden pictures.)
TEST_F(SoundScapeTest, BarHeightsFollowTheSamplesOfEachChannel) {
    const std::tuple<int, int, float, float> cases[] = {
        {128, 128, 1.5f, 1.5f}, {0, 255, 10.5f, 13.40625f}, {200, 128, 1.5f * (1.0f + 72.0f / 16.0f), 1.5f}};
    for (const auto& [left, right, inner, outer] : cases) {
        for (int j = 0; j < 512; j += 2) wave->current->bytes[j] = left, wave->current->bytes[j + 1] = right;
        const auto [drawnInner, drawnOuter] = ringHalfLengths();
        EXPECT_NEAR(drawnInner, inner, 0.02f) << left;
        EXPECT_NEAR(drawnOuter, outer, 0.02f) << right;
    }
    EXPECT_GE(barCorners().size(), 256u * 6u * 4u) << "six faces or more a bar";
    reactor->setWave(nullptr);
    EXPECT_NEAR(ringHalfLengths().first, 1.5f, 0.01f);
    EXPECT_NEAR(ringHalfLengths().second, 1.5f, 0.01f);
    EXPECT_EQ(matrixMode(), GL_MODELVIEW);
    EXPECT_TRUE(glIsEnabled(GL_BLEND) && !glIsEnabled(GL_LIGHTING) && !glIsEnabled(GL_TEXTURE_2D));
}
