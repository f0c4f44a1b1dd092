#pragma once
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <memory>
#include <type_traits>

#include "GlTestContext.h"
#include "app/ControlTable.h"

// A reactor under test on channel kChannel of its own control table, in a
// fresh GL state. Override makeReactor for other constructor arguments.
template <class R>
class ReactorFixture : public ::testing::Test {
protected:
    static constexpr int kChannel = 3;
    void SetUp() override {
        ASSERT_TRUE(ensureGlContext());
        resetGlState();
        while (glGetError() != GL_NO_ERROR) continue;  // errors left by earlier tests
        reactor = makeReactor();
        ASSERT_NE(reactor, nullptr);
        reactor->setControls(controls.get());
        reactor->setChannel(kChannel);
    }
    void TearDown() override { resetGlState(); }
    virtual std::unique_ptr<R> makeReactor() {
        if constexpr (std::is_default_constructible_v<R>) return std::make_unique<R>();
        return nullptr;
    }
    void setControl(int n, float value) { controls->floatValue[ControlTable::indexOf(kChannel, 0, n)] = value; }
    void setByte(int n, int value) { controls->setByte(kChannel, 0, n, value); }

    std::unique_ptr<ControlTable> controls = std::make_unique<ControlTable>();
    std::unique_ptr<R> reactor;
};
