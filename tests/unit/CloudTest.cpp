#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "app/ControlTable.h"
#include "reactor/ReactorLoader.h"
#include "reactors/Cloud.h"
#include "PictureSupport.h"
#include "support/GlFeedback.h"
#include "support/GlTestContext.h"

namespace {

constexpr int kChannel = 5;

class CloudTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ensureGlContext());
        resetGlState();
        while (glGetError() != GL_NO_ERROR) {
        }  // errors left by earlier tests
        controls = std::make_unique<ControlTable>();
        controls->byteValue[ControlTable::indexOf(15, 0, 1)] = 33;  // frame milliseconds
        cloud = std::make_unique<Cloud>();
        cloud->setControls(controls.get());
        cloud->setChannel(kChannel);
    }
    void TearDown() override { resetGlState(); }

    void setControl(int n, float value) { controls->floatValue[ControlTable::indexOf(kChannel, 0, n)] = value; }

    // The planes of one draw, in drawing order: eye depth and alpha of each.
    struct Plane {
        float z;
        float alpha;
        int triangles;
    };
    std::vector<Plane> drawnPlanes() {
        box.apply();
        std::vector<Plane> planes;
        for (const FeedbackPolygon& p : capturePolygons([&] { cloud->draw(); })) {
            const float z = box.eyeZ(p.vertices[0]);
            if (planes.empty() || std::fabs(planes.back().z - z) > 1e-3f)
                planes.push_back({z, p.vertices[0].rgba[3], 0});
            ++planes.back().triangles;
        }
        return planes;
    }

    OrthoBox box{-12.0f, 12.0f, -9.0f, 9.0f, 100.0f};
    std::unique_ptr<ControlTable> controls;
    std::unique_ptr<Cloud> cloud;
};

TEST_F(CloudTest, StartControlsDrawFiveStillPlanesFarthestFirst) {
    for (int frame = 0; frame < 3; ++frame) {
        const std::vector<Plane> planes = drawnPlanes();
        ASSERT_EQ(planes.size(), 5u);
        // Spacing 3 from the phase -2, which stands still at speed 0.
        const float expectedZ[5] = {-14.0f, -11.0f, -8.0f, -5.0f, -2.0f};
        for (int k = 0; k < 5; ++k) {
            EXPECT_NEAR(planes[k].z, expectedZ[k], 0.01f);
            EXPECT_EQ(planes[k].triangles, 4) << "a fan of the centre and four corners";
        }
        // Base alpha 0.5, falloff 0.9: plane i has alpha 0.5 / (0.9 i + 1).
        EXPECT_NEAR(planes[0].alpha, 0.5f / 4.6f, 1e-3f);
        EXPECT_NEAR(planes[4].alpha, 0.5f, 1e-3f);
    }
    // Opacity from controller 7; a fade below 0 leaves every plane as strong.
    setControl(7, 1.0f);
    setControl(22, -1.0f);
    for (const Plane& p : drawnPlanes()) EXPECT_NEAR(p.alpha, 1.0f, 1e-3f);
}

TEST_F(CloudTest, Controller86ChoosesFourFiveOrSixPlanes) {
    const struct {
        float value;
        size_t planes;
    } cases[] = {{-1.0f, 4}, {-0.5f, 4}, {-0.001f, 4}, {0.0f, 5}, {0.5f, 5}, {0.999f, 5}, {1.0f, 6}, {7.0f, 6}};
    for (const auto& c : cases) {
        setControl(86, c.value);
        EXPECT_EQ(drawnPlanes().size(), c.planes) << "controller 86 at " << c.value;
        EXPECT_EQ(cloud->layerCount, static_cast<int>(c.planes) - 1);
    }
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
    EXPECT_FLOAT_EQ(cloud->spacing, 0.0f);
    EXPECT_FLOAT_EQ(cloud->phase, -2.0f);
}

TEST_F(CloudTest, DriftFollowsFrameTimeAndWrapsAtTheSpacing) {
    // 0.03 x 33 ms x 0.3 = 0.297 per frame towards the viewer.
    setControl(17, 1.0f);
    for (int frame = 0; frame < 16; ++frame) cloud->draw();
    EXPECT_NEAR(cloud->phase, -2.0f + 16 * 0.297f, 1e-4f);
    cloud->draw();  // 3.049 reaches the spacing 3
    EXPECT_NEAR(cloud->phase, 0.049f, 1e-4f);
    // A negative drift speed stands still.
    setControl(17, -0.5f);
    cloud->draw();
    EXPECT_NEAR(cloud->phase, 0.049f, 1e-4f);
}

TEST_F(CloudTest, TextureScrollAdvancesOncePerPlaneWithItsScale) {
    setControl(29, 1.0f);
    cloud->draw();
    // Five planes, 0.03 x 1/d each, d = 1, 1.9, 2.8, 3.7, 4.6.
    const float expected = 0.03f * (1.0f + 1.0f / 1.9f + 1.0f / 2.8f + 1.0f / 3.7f + 1.0f / 4.6f);
    EXPECT_NEAR(cloud->texScrollS, expected, 1e-5f);
    EXPECT_FLOAT_EQ(cloud->texScrollT, 0.0f);
}

TEST_F(CloudTest, DrawLeavesStacksBalancedBlendOnAndTextureGenerationOff) {
    const MatrixDepths before = matrixDepths();
    const float settings[][3] = {{0.0f, 0.0f, 0.0f}, {1.0f, 0.7f, 1.0f}, {-1.0f, -1.0f, -1.0f}};
    for (const auto& s : settings) {
        setControl(86, s[0]);
        setControl(31, s[1]);  // texture generation on for 0.7
        setControl(95, s[1]);
        setControl(81, s[2]);
        cloud->draw();
        EXPECT_EQ(matrixDepths(), before);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
        EXPECT_TRUE(glIsEnabled(GL_BLEND));
    }
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(CloudTest, PictureOfDriftingTexturedPlanes) {
    bindTestTexture();
    setControl(17, 0.5f);
    setControl(29, 0.3f);
    renderReactorFrames(*cloud, 6);
    const std::vector<uint8_t> picture = readScreen();
    EXPECT_GT(litPixels(picture), 640 * 480 / 2);
    // Textured, not a flat wash: the colours vary across the picture.
    int redder = 0, greener = 0;
    for (size_t i = 0; i < picture.size(); i += 4) {
        if (picture[i] > picture[i + 1] + 30) ++redder;
        if (picture[i + 1] > picture[i] + 30) ++greener;
    }
    EXPECT_GT(redder, 1000);
    EXPECT_GT(greener, 1000);
    savePictureIfAsked("cloud");

    // Turning texture-generation planes map the texture anew.
    setControl(31, 0.4f);
    setControl(95, -0.3f);
    renderReactorFrames(*cloud, 6);
    const std::vector<uint8_t> turned = readScreen();
    EXPECT_GT(litPixels(turned), 640 * 480 / 2);
    int changed = 0;
    for (size_t i = 0; i < turned.size(); i += 4)
        if (std::abs(turned[i] - picture[i]) + std::abs(turned[i + 1] - picture[i + 1]) > 40) ++changed;
    EXPECT_GT(changed, 10000);
    savePictureIfAsked("cloud_texgen");
}

TEST(CloudLoader, IndexTwoBuildsACloud) {
    ASSERT_TRUE(ensureGlContext());
    std::unique_ptr<Reactor> reactor(loadReactor(2, 0));
    ASSERT_NE(reactor, nullptr);
    EXPECT_NE(dynamic_cast<Cloud*>(reactor.get()), nullptr);
}

}  // namespace
