#include <gtest/gtest.h>

#include <memory>

#include "reactor/ReactorLoader.h"
#include "reactors/TorusTunnel.h"
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
};
}  // namespace

// The twist by controllers 24 and 88 shows in the torustwist golden pictures.
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
