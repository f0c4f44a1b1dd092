#include <gtest/gtest.h>

#include <limits>
#include <memory>

#include "reactors/Waver.h"
#include "support/ReactorFixture.h"

namespace {
class WaverTest : public ReactorFixture<Waver> {
    std::unique_ptr<Waver> makeReactor() override { return std::make_unique<Waver>(120, 80, 0); }
};
}  // namespace

TEST_F(WaverTest, ControllerTwentyTwoChoosesTheGene) {
    // Exactly 0.0 (the start value) runs the flow gene with controllers 21/85
    // as its motion; the ripple is left alone.
    setControl(21, 0.5f);
    setControl(85, 0.25f);
    reactor->update();
    EXPECT_EQ(reactor->mode, 1);
    EXPECT_EQ(reactor->flow->amplitude, 0.5f);
    EXPECT_EQ(reactor->flow->phase[0], 0.25f);
    EXPECT_EQ(reactor->ripple->lastDropXControl, -1);
    // Any negative value runs the ripple with the byte values as drop controls.
    setControl(22, -0.001f);
    setByte(21, 64);
    setByte(85, 100);
    reactor->update();
    EXPECT_EQ(reactor->mode, 0);
    EXPECT_EQ(reactor->ripple->dropColumn, 60);
    EXPECT_EQ(reactor->ripple->dropRow, 62);
    EXPECT_EQ(reactor->flow->phase[0], 0.25f);  // frozen
    setControl(22, std::numeric_limits<float>::quiet_NaN());
    reactor->update();
    EXPECT_EQ(reactor->mode, 0);
}
