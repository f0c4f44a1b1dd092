#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <tuple>

#include "reactors/Tunnel.h"
#include "reactors/TunnelPlaneGene.h"
#include "reactors/TunnelTubeGene.h"
#include "support/ReactorFixture.h"

namespace {

// Genes that count their draws and keep the model-view matrix they are drawn
// with, as OpenGL holds it.
template <class Gene>
struct Spy : Gene {
    using Gene::Gene;
    void draw() override {
        ++draws;
        glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
        Gene::draw();
    }
    int draws = 0;
    float modelView[16] = {};
};

class TunnelTest : public ReactorFixture<Tunnel> {
protected:
    void SetUp() override {
        ReactorFixture::SetUp();
        auto spyTube = std::make_unique<Spy<TunnelTubeGene>>(50.0f, 5.0f);
        auto spyPlanes = std::make_unique<Spy<TunnelPlaneGene>>(50.0f, 1.0f);
        tube = spyTube.get();
        planes = spyPlanes.get();
        reactor->tube = std::move(spyTube);
        reactor->planes = std::move(spyPlanes);
    }
    Spy<TunnelTubeGene>* tube = nullptr;
    Spy<TunnelPlaneGene>* planes = nullptr;
};

}  // namespace

TEST_F(TunnelTest, Controller22ChoosesGeneAndPrimitiveAndLeavesTexGenOff) {
    setControl(31, 0.6f);  // texture generation on while drawing
    const std::tuple<float, bool, GLenum> cases[] = {  // controller 22, tube?, its primitive
        {0.0f, false, GL_TRIANGLE_FAN}, {0.7f, false, GL_TRIANGLE_FAN},    {-0.25f, true, GL_TRIANGLE_FAN},
        {-0.5f, true, GL_TRIANGLE_FAN}, {-0.51f, true, GL_TRIANGLE_STRIP}, {-1.0f, true, GL_TRIANGLE_STRIP}};
    for (const auto& [value, isTube, primitive] : cases) {
        SCOPED_TRACE(testing::Message() << "controller 22 at " << value);
        const int tubeDraws = tube->draws, planeDraws = planes->draws;
        setControl(22, value);
        reactor->draw();
        EXPECT_EQ(tube->draws - tubeDraws, isTube ? 1 : 0);
        EXPECT_EQ(planes->draws - planeDraws, isTube ? 0 : 1);
        EXPECT_EQ(tube->primitive, primitive);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S) || glIsEnabled(GL_TEXTURE_GEN_T));
        EXPECT_EQ(matrixMode(), GL_MODELVIEW);
    }
}

TEST_F(TunnelTest, SpinAddsOneHundredthTurnPerFrameAndWrapsAboveOne) {
    setControl(22, -1.0f);
    setControl(28, 1.0f);
    reactor->draw();
    EXPECT_FLOAT_EQ(reactor->spin, 0.01f);
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

// The spin reaches OpenGL as a turn about the viewing axis of spin x 360
// degrees (no tilt here): the matrix the gene is drawn with turns the x axis
// by that angle and keeps the z axis.
TEST_F(TunnelTest, SpinTurnsTheDrawnViewAboutTheViewingAxis) {
    setControl(22, -1.0f);
    setControl(28, 0.0f);  // the spin stays where it is set
    for (const float spin : {0.0f, 0.1f, 0.3f, -0.2f, 0.45f}) {
        SCOPED_TRACE(testing::Message() << "spin " << spin);
        reactor->spin = spin;
        reactor->draw();
        const float* m = tube->modelView;
        const float degrees = std::atan2(m[1], m[0]) * 180.0f / 3.1415926f;
        EXPECT_NEAR(degrees, spin * 360.0f, 0.05f);
        EXPECT_NEAR(std::hypot(m[0], m[1]), 1.0f, 1e-5f);
        EXPECT_NEAR(m[10], 1.0f, 1e-5f);
        EXPECT_NEAR(m[14], 0.0f, 1e-6f) << "drawn in eye space";
    }
}
