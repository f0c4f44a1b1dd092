#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "PictureSupport.h"
#include "app/ControlTable.h"
#include "input/WaveInput.h"
#include "reactor/Reactor.h"
#include "reactor/ReactorLoader.h"
#include "resources/ModelGene.h"
#include "support/AllocationCounter.h"
#include "support/GlTestContext.h"
#include "support/TempStage.h"

class ReactorPictures : public ::testing::TestWithParam<int> {};

// Every reactor the loader gives (all indexes but Flo, 8), run as a cell runs
// it with a bound texture, in each mode controller 22 selects (flow/ripple,
// sphere/torus, planes/fans/strips): it draws something, leaves the matrix
// stacks as found, raises no GL error, and its frames (update and draw)
// allocate nothing once running. Which class each index gives shows in its
// golden picture.
TEST_P(ReactorPictures, DrawsBalancedWithoutErrorsOrAllocations) {
    ASSERT_TRUE(ensureGlContext());
    const int index = GetParam(), channel = 3;
    std::unique_ptr<Reactor> reactor;
    captureStdout([&] { reactor = loadReactor(index, 0); });
    ASSERT_EQ(reactor == nullptr, index == 8);
    if (!reactor) GTEST_SKIP() << "no reactor at index " << index;

    auto table = std::make_unique<ControlTable>();
    auto setControl = [&](int n, float v) { table->floatValue[ControlTable::indexOf(channel, 0, n)] = v; };
    for (int n : {17, 19, 23, 28, 29}) setControl(n, 0.3f);  // drift, scroll, particle speed, spin
    setControl(87, -0.3f);
    WaveInput wave;
    for (int j = 0; j < 256; ++j) {
        wave.current->bytes[2 * j] = static_cast<uint8_t>(128.0f + 60.0f * std::sin(j * 0.2f));
        wave.current->bytes[2 * j + 1] = static_cast<uint8_t>(128.0f + 30.0f * std::sin(j * 0.1f));
    }
    wave.leftLevel = wave.rightLevel = 0.4f;
    reactor->setControls(table.get());
    reactor->setChannel(channel);
    reactor->setWave(&wave);
    // The bundled models, for the Obj viewer (built once, kept for the run).
    static std::unique_ptr<ModelGene> models;
    if (!models) captureStdout([&] { models = std::make_unique<ModelGene>(STRATA_SOURCE_DIR "/stage/mdls"); });
    reactor->setModelSet(models.get());

    const float modes[] = {0.0f, -0.25f, -1.0f};
    for (int m = 0; m < 3; ++m) {
        SCOPED_TRACE(testing::Message() << "loader index " << index << ", controller 22 at " << modes[m]);
        setControl(22, modes[m]);
        resetGlState();
        while (glGetError() != GL_NO_ERROR) {
        }
        bindTestTexture();
        const MatrixDepths before = matrixDepths();
        renderReactorFrames(*reactor, 20);
        EXPECT_EQ(matrixDepths(), before);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        EXPECT_GT(litPixels(readScreen()), 640 * 480 / 100);
        savePictureIfAsked(("reactor" + std::to_string(index) + "_mode" + std::to_string(m)).c_str());
        CountAllocations count;
        renderReactorFrames(*reactor, 10);
        EXPECT_EQ(count.count(), 0) << "a running frame allocates";
    }
    resetGlState();
}

INSTANTIATE_TEST_SUITE_P(LoaderIndexes, ReactorPictures, ::testing::Range(0, 12));
