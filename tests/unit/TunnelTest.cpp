#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "reactors/Tunnel.h"
#include "reactors/TunnelPlaneGene.h"
#include "reactors/TunnelTubeGene.h"
#include "support/ReactorFixture.h"

namespace {

// Genes that count their draws and record the model-view matrix in force.
template <class Gene>
struct Spy : Gene {
    using Gene::Gene;
    void draw() override {
        ++draws;
        glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
        Gene::draw();
    }
    int draws = 0;
    float modelview[16] = {};
};

class TunnelTest : public ReactorFixture<Tunnel> {
protected:
    void SetUp() override {
        ReactorFixture::SetUp();
        delete reactor->tube;
        delete reactor->planes;
        reactor->tube = tube = new Spy<TunnelTubeGene>(50.0f, 5.0f);
        reactor->planes = planes = new Spy<TunnelPlaneGene>(50.0f, 1.0f);
    }
    Spy<TunnelTubeGene>* tube = nullptr;
    Spy<TunnelPlaneGene>* planes = nullptr;
};

}  // namespace

TEST_F(TunnelTest, TubeNarrowsByFourTenthsPerRing) {
    const Tunnel fresh;  // the tube as the tunnel builds it
    const TunnelTubeGene& t = *fresh.tube;
    auto radiusOf = [&](int v) { return std::hypot(t.positions[v][0], t.positions[v][1]); };
    // Ring 0: radius 50 in the plane z = 0, segment 0 straight up, segment 35
    // back onto it.
    EXPECT_NEAR(t.positions[0][0], 0.0f, 1e-6f);
    EXPECT_NEAR(t.positions[0][1], 50.0f, 1e-5f);
    EXPECT_FLOAT_EQ(t.positions[0][2], 0.0f);
    EXPECT_NEAR(t.positions[9][0], 50.0f * std::sin(9.0f * 6.283185f / 35.0f), 1e-4f);
    EXPECT_NEAR(t.positions[35][0], 0.0f, 1e-3f);
    EXPECT_NEAR(t.positions[35][1], 50.0f, 1e-3f);
    // Ring 1 at 20 and 5 deep; the last ring at 50 x 0.4^9, 45 deep.
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
}

TEST_F(TunnelTest, Controller22ChoosesGeneAndPrimitiveAndEveryModeCleansUp) {
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    const MatrixDepths before = matrixDepths();
    setControl(31, 0.6f);  // texture generation on while drawing
    const struct {
        float value;
        bool tube;
        GLenum primitive;
    } cases[] = {{0.0f, false, GL_TRIANGLE_FAN},   {0.7f, false, GL_TRIANGLE_FAN},    {-0.25f, true, GL_TRIANGLE_FAN},
                 {-0.5f, true, GL_TRIANGLE_FAN},   {-0.51f, true, GL_TRIANGLE_STRIP}, {-1.0f, true, GL_TRIANGLE_STRIP}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "controller 22 at " << c.value);
        const int tubeDraws = tube->draws, planeDraws = planes->draws;
        setControl(22, c.value);
        reactor->draw();
        EXPECT_EQ(tube->draws - tubeDraws, c.tube ? 1 : 0);
        EXPECT_EQ(planes->draws - planeDraws, c.tube ? 0 : 1);
        EXPECT_EQ(reactor->mode, c.tube ? Tunnel::kTube : Tunnel::kPlanes);
        EXPECT_EQ(tube->primitive, c.primitive);
        EXPECT_EQ(matrixDepths(), before);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
        EXPECT_EQ(matrixMode(), GL_MODELVIEW);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TunnelTest, TiltTurnsAboutTheAxisFromControllers24And88) {
    setControl(22, -1.0f);
    // Centred tilt controllers: no tilt, and the camera set before is ignored.
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(3.0f, -2.0f, -7.0f);
    reactor->draw();
    for (int k = 0; k < 16; ++k) EXPECT_FLOAT_EQ(tube->modelview[k], (k % 5 == 0) ? 1.0f : 0.0f) << k;

    // a = -(-0.3) = 0.3, b = 0.4: 0.5 radians about (-0.4/0.5, 0.3/0.5, 1).
    setControl(24, -0.3f);
    setControl(88, 0.4f);
    reactor->draw();
    const float* m = tube->modelview;  // column-major
    const float axis[3] = {-0.8f, 0.6f, 1.0f};
    for (int row = 0; row < 3; ++row)
        EXPECT_NEAR(m[row] * axis[0] + m[4 + row] * axis[1] + m[8 + row] * axis[2], axis[row], 1e-5f) << "the axis stays put";
    EXPECT_NEAR(m[0] + m[5] + m[10], 1.0f + 2.0f * std::cos(0.5f), 1e-5f) << "turned by 0.5 radians";
}

TEST_F(TunnelTest, SpinAddsOneHundredthTurnPerFrameAndWrapsAboveOne) {
    setControl(22, -1.0f);
    setControl(28, 1.0f);
    reactor->draw();
    EXPECT_FLOAT_EQ(reactor->spin, 0.01f);
    const float angle = 0.01f * 6.283f;  // about 3.6 degrees about z
    EXPECT_NEAR(tube->modelview[0], std::cos(angle), 1e-5f);
    EXPECT_NEAR(tube->modelview[1], std::sin(angle), 1e-5f);
    EXPECT_NEAR(tube->modelview[10], 1.0f, 1e-6f);

    reactor->spin = 0.995f;
    reactor->draw();
    EXPECT_NEAR(reactor->spin, 0.005f, 1e-5f);
    reactor->spin = 1.0f;  // exactly 1 is kept; only above 1 is reduced
    setControl(28, 0.0f);
    reactor->draw();
    EXPECT_FLOAT_EQ(reactor->spin, 1.0f);
    reactor->spin = -3.0f;  // turning backwards runs below 0 without limit
    setControl(28, -1.0f);
    reactor->draw();
    EXPECT_NEAR(reactor->spin, -3.01f, 1e-5f);
}
