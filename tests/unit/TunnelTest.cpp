#include <GL/gl.h>
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "reactors/Tunnel.h"
#include "reactors/TunnelPlaneGene.h"
#include "reactors/TunnelTubeGene.h"
#include "support/ReactorFixture.h"

namespace {

// Genes that count their draws.
template <class Gene>
struct Spy : Gene {
    using Gene::Gene;
    void draw() override { ++draws, Gene::draw(); }
    int draws = 0;
};

class TunnelTest : public ReactorFixture<Tunnel> {
protected:
    void SetUp() override {
        ReactorFixture::SetUp();
        reactor->tube = std::make_unique<Spy<TunnelTubeGene>>(50.0f, 5.0f);
        reactor->planes = std::make_unique<Spy<TunnelPlaneGene>>(50.0f, 1.0f);
    }
    int draws(bool tube) { return tube ? static_cast<Spy<TunnelTubeGene>&>(*reactor->tube).draws
                                       : static_cast<Spy<TunnelPlaneGene>&>(*reactor->planes).draws; }
};

}  // namespace

TEST_F(TunnelTest, Controller22ChoosesGeneAndPrimitiveAndLeavesTexGenOff) {
    setControl(31, 0.6f);  // texture generation on while drawing
    const std::tuple<float, bool, GLenum> cases[] = {  // controller 22, tube?, its primitive
        {0.0f, false, GL_TRIANGLE_FAN}, {0.7f, false, GL_TRIANGLE_FAN},    {-0.25f, true, GL_TRIANGLE_FAN},
        {-0.5f, true, GL_TRIANGLE_FAN}, {-0.51f, true, GL_TRIANGLE_STRIP}, {-1.0f, true, GL_TRIANGLE_STRIP}};
    for (const auto& [value, isTube, primitive] : cases) {
        SCOPED_TRACE(testing::Message() << "controller 22 at " << value);
        const int tubeDraws = draws(true), planeDraws = draws(false);
        setControl(22, value);
        reactor->draw();
        EXPECT_EQ(draws(true) - tubeDraws, isTube ? 1 : 0);
        EXPECT_EQ(draws(false) - planeDraws, isTube ? 0 : 1);
        EXPECT_EQ(reactor->tube->primitive, primitive);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S) || glIsEnabled(GL_TEXTURE_GEN_T));
        EXPECT_EQ(matrixMode(), GL_MODELVIEW);
    }
}

// A hundredth of a turn per frame at full speed; only above 1 is reduced,
// and turning backwards runs below 0 without limit.
TEST_F(TunnelTest, SpinAddsOneHundredthTurnPerFrameAndWrapsAboveOne) {
    const float cases[][3] = {{0.0f, 1.0f, 0.01f}, {0.995f, 1.0f, 0.005f}, {1.0f, 0.0f, 1.0f}, {-3.0f, -1.0f, -3.01f}};
    for (const auto& [start, speed, after] : cases) {
        reactor->spin = start;
        setControl(28, speed);
        reactor->draw();
        EXPECT_NEAR(reactor->spin, after, 1e-5f) << start;
    }
}
