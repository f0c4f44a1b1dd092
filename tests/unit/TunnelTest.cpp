#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "app/ControlTable.h"
#include "reactor/ReactorLoader.h"
#include "reactors/Tunnel.h"
#include "reactors/TunnelPlaneGene.h"
#include "reactors/TunnelTubeGene.h"
#include "PictureSupport.h"
#include "support/GlTestContext.h"

namespace {

constexpr int kChannel = 1;

// Records the matrices in force when a gene is drawn.
struct SeenMatrices {
    int draws = 0;
    float modelview[16] = {};
    float texture[16] = {};
    void record() {
        ++draws;
        glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
        glGetFloatv(GL_TEXTURE_MATRIX, texture);
    }
};
struct SpyTube : TunnelTubeGene {
    SpyTube() : TunnelTubeGene(50.0f, 5.0f) {}
    void draw() override {
        seen.record();
        TunnelTubeGene::draw();
    }
    SeenMatrices seen;
};
struct SpyPlanes : TunnelPlaneGene {
    SpyPlanes() : TunnelPlaneGene(50.0f, 1.0f) {}
    void draw() override {
        seen.record();
        TunnelPlaneGene::draw();
    }
    SeenMatrices seen;
};

class TunnelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ensureGlContext());
        resetGlState();
        while (glGetError() != GL_NO_ERROR) {
        }  // errors left by earlier tests
        controls = std::make_unique<ControlTable>();
        tunnel = std::make_unique<Tunnel>();
        tunnel->setControls(controls.get());
        tunnel->setChannel(kChannel);
    }
    void TearDown() override { resetGlState(); }

    void setControl(int n, float value) { controls->floatValue[ControlTable::indexOf(kChannel, 0, n)] = value; }
    void installSpies() {
        delete tunnel->tube;
        delete tunnel->planes;
        tube = new SpyTube();
        planes = new SpyPlanes();
        tunnel->tube = tube;
        tunnel->planes = planes;
    }

    std::unique_ptr<ControlTable> controls;
    std::unique_ptr<Tunnel> tunnel;
    SpyTube* tube = nullptr;
    SpyPlanes* planes = nullptr;
};

TEST_F(TunnelTest, TubeNarrowsByFourTenthsPerRing) {
    const TunnelTubeGene& t = *tunnel->tube;
    auto radiusOf = [&](int v) { return std::hypot(t.positions[v][0], t.positions[v][1]); };
    // Ring 0: radius 50 in the plane z = 0, segment 0 straight up.
    EXPECT_NEAR(t.positions[0][0], 0.0f, 1e-6f);
    EXPECT_NEAR(t.positions[0][1], 50.0f, 1e-5f);
    EXPECT_FLOAT_EQ(t.positions[0][2], 0.0f);
    // A quarter of the way round (segment 35/4 lies between 8 and 9): the
    // angle of segment 9 is 9 x 2 pi / 35.
    EXPECT_NEAR(t.positions[9][0], 50.0f * std::sin(9.0f * 6.283185f / 35.0f), 1e-4f);
    // Segment 35 comes back onto segment 0.
    EXPECT_NEAR(t.positions[35][0], 0.0f, 1e-3f);
    EXPECT_NEAR(t.positions[35][1], 50.0f, 1e-3f);
    // Ring 1 at 20 and 5 deep; the last ring at 50 x 0.4^9 = 0.0131072, 45 deep.
    EXPECT_NEAR(radiusOf(36 + 4), 20.0f, 1e-4f);
    EXPECT_FLOAT_EQ(t.positions[36][2], -5.0f);
    for (int s = 0; s < 36; ++s) {
        EXPECT_NEAR(radiusOf(9 * 36 + s), 0.0131072f, 1e-7f);
        EXPECT_FLOAT_EQ(t.positions[9 * 36 + s][2], -45.0f);
    }
    // Texture coordinates (s / 35, r / 9).
    EXPECT_FLOAT_EQ(t.texCoords[3 * 36 + 7][0], 0.2f);
    EXPECT_FLOAT_EQ(t.texCoords[3 * 36 + 7][1], 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(t.texCoords[9 * 36 + 35][0], 1.0f);
    EXPECT_FLOAT_EQ(t.texCoords[9 * 36 + 35][1], 1.0f);
    EXPECT_EQ(t.primitive, static_cast<GLenum>(GL_TRIANGLE_STRIP));
}

TEST_F(TunnelTest, Controller22ChoosesTheGeneAndThePrimitive) {
    installSpies();
    const struct {
        float value;
        bool tube;
        GLenum primitive;
    } cases[] = {{0.0f, false, GL_TRIANGLE_FAN},     {0.7f, false, GL_TRIANGLE_FAN},
                 {-0.25f, true, GL_TRIANGLE_FAN},    {-0.5f, true, GL_TRIANGLE_FAN},
                 {-0.51f, true, GL_TRIANGLE_STRIP},  {-1.0f, true, GL_TRIANGLE_STRIP}};
    for (const auto& c : cases) {
        const int tubeDraws = tube->seen.draws, planeDraws = planes->seen.draws;
        setControl(22, c.value);
        tunnel->draw();
        EXPECT_EQ(tube->seen.draws - tubeDraws, c.tube ? 1 : 0) << "controller 22 at " << c.value;
        EXPECT_EQ(planes->seen.draws - planeDraws, c.tube ? 0 : 1) << "controller 22 at " << c.value;
        EXPECT_EQ(tunnel->mode, c.tube ? Tunnel::kTube : Tunnel::kPlanes);
        EXPECT_EQ(tube->primitive, c.primitive) << "controller 22 at " << c.value;
    }
}

TEST_F(TunnelTest, TiltTurnsAboutTheAxisFromControllers24And88) {
    installSpies();
    setControl(22, -1.0f);
    // Centred tilt controllers: no tilt, and the camera set before is ignored.
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(3.0f, -2.0f, -7.0f);
    tunnel->draw();
    for (int k = 0; k < 16; ++k) EXPECT_FLOAT_EQ(tube->seen.modelview[k], (k % 5 == 0) ? 1.0f : 0.0f) << k;

    // a = -(-0.3) = 0.3, b = 0.4: 0.5 radians about (-0.4/0.5, 0.3/0.5, 1).
    setControl(24, -0.3f);
    setControl(88, 0.4f);
    tunnel->draw();
    const float* m = tube->seen.modelview;  // column-major
    const float axis[3] = {-0.8f, 0.6f, 1.0f};
    for (int row = 0; row < 3; ++row) {
        const float turned = m[row] * axis[0] + m[4 + row] * axis[1] + m[8 + row] * axis[2];
        EXPECT_NEAR(turned, axis[row], 1e-5f) << "the axis stays put";
    }
    EXPECT_NEAR(m[0] + m[5] + m[10], 1.0f + 2.0f * std::cos(0.5f), 1e-5f) << "turned by 0.5 radians";
}

TEST_F(TunnelTest, SpinAddsOneHundredthTurnPerFrameAndWrapsAboveOne) {
    installSpies();
    setControl(22, -1.0f);
    setControl(28, 1.0f);
    tunnel->draw();
    EXPECT_FLOAT_EQ(tunnel->spin, 0.01f);
    // 0.01 turn: 0.01 x 6.283 radians, about 3.6 degrees about z.
    const float angle = 0.01f * 6.283f;
    EXPECT_NEAR(tube->seen.modelview[0], std::cos(angle), 1e-5f);
    EXPECT_NEAR(tube->seen.modelview[1], std::sin(angle), 1e-5f);
    EXPECT_NEAR(tube->seen.modelview[10], 1.0f, 1e-6f);

    tunnel->spin = 0.995f;
    tunnel->draw();
    EXPECT_NEAR(tunnel->spin, 0.005f, 1e-5f);
    tunnel->spin = 1.0f;  // exactly 1 is kept; only above 1 is reduced
    setControl(28, 0.0f);
    tunnel->draw();
    EXPECT_FLOAT_EQ(tunnel->spin, 1.0f);
    // Turning backwards runs below 0 without limit.
    tunnel->spin = -3.0f;
    setControl(28, -1.0f);
    tunnel->draw();
    EXPECT_NEAR(tunnel->spin, -3.01f, 1e-5f);
}

TEST_F(TunnelTest, EveryModeLeavesTheStacksAsFound) {
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    const MatrixDepths before = matrixDepths();
    const float modes[] = {0.0f, -0.25f, -1.0f};
    for (float m : modes) {
        setControl(22, m);
        setControl(24, 0.5f);
        setControl(31, 0.6f);  // texture generation on, switched off again at the end
        setControl(28, 0.3f);
        tunnel->draw();
        EXPECT_EQ(matrixDepths(), before);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
        GLint mode = 0;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TunnelTest, PicturesOfTheFunnelAndTheFloorAndCeiling) {
    bindTestTexture();
    setControl(28, 0.5f);
    setControl(29, 0.2f);
    const struct {
        float mode;
        const char* name;
    } shots[] = {{-1.0f, "tunnel_strips"}, {-0.25f, "tunnel_fans"}, {0.5f, "tunnel_planes"}};
    std::vector<uint8_t> pictures[3];
    for (int k = 0; k < 3; ++k) {
        setControl(22, shots[k].mode);
        setControl(24, k == 2 ? -0.2f : 0.0f);  // tilt the floor and ceiling a little
        renderReactorFrames(*tunnel, 4);
        pictures[k] = readScreen();
        EXPECT_GT(litPixels(pictures[k]), 640 * 480 / 4) << shots[k].name;
        savePictureIfAsked(shots[k].name);
    }
    auto differing = [](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
        int n = 0;
        for (size_t i = 0; i < a.size(); i += 4)
            if (std::abs(a[i] - b[i]) + std::abs(a[i + 1] - b[i + 1]) + std::abs(a[i + 2] - b[i + 2]) > 40) ++n;
        return n;
    };
    EXPECT_GT(differing(pictures[0], pictures[1]), 5000) << "fans draw another surface than strips";
    EXPECT_GT(differing(pictures[0], pictures[2]), 5000);
}

TEST(TunnelLoader, IndexOneBuildsATunnel) {
    ASSERT_TRUE(ensureGlContext());
    std::unique_ptr<Reactor> reactor(loadReactor(1, 0));
    ASSERT_NE(reactor, nullptr);
    EXPECT_NE(dynamic_cast<Tunnel*>(reactor.get()), nullptr);
}

}  // namespace
