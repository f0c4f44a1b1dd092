#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "GlTestContext.h"
#include "UniverseFixture.h"
#include "app/ControlTable.h"
#include "app/ModuleWarmup.h"
#include "app/ScreenInfo.h"
#include "platform/LatencyLog.h"
#include "reactor/Random.h"

namespace {

struct FirstFrame {
    std::vector<uint8_t> pixels;
    uint32_t random = 0;
    std::vector<uint8_t> table;
};

class ModuleWarmup : public UniverseFixture {
protected:
    // The first frame of a universe of the twelve modules with layers 1..11
    // raised on modules 0..10 and a trail (which would show anything left in
    // the virtual screen), with or without clean layers; with warm, the
    // warm-up runs between the two.
    FirstFrame firstFrame(bool warm, bool clean) {
        resetGlState();
        qelSetRandState(77);
        FrameClock::setPreviousReading(0);
        build();
        for (int layer = 0; layer < 11; ++layer) {
            captureStdout([&] { universe->setModule(layer, layer); });
            if (layer == 3 || layer == 5) universe->setOpacity(layer, 0.4f);
        }
        universe->setTrail(0.6f);
        universe->cleanLayers = clean;
        if (warm) {
            const uint32_t random = qelRandState();
            const auto table = std::make_unique<ControlTable>(*universe->controls);
            const MatrixDepths depths = matrixDepths();
            GLint framebuffer = 0, warmFramebuffer = 0;
            glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
            std::string errors;
            EXPECT_EQ(captureStdout([&] { errors = captureStderr([&] { warmUpUniverse(*universe); }); }), "");
            EXPECT_NE(errors.find("warm-up: 11 modules"), std::string::npos) << errors;  // index 8 builds nothing
            glGetIntegerv(GL_FRAMEBUFFER_BINDING, &warmFramebuffer);
            EXPECT_EQ(warmFramebuffer, framebuffer);
            EXPECT_EQ(qelRandState(), random);
            EXPECT_EQ(std::memcmp(table.get(), universe->controls.get(), sizeof(ControlTable)), 0);
            EXPECT_TRUE(matrixDepths() == depths);
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        }
        setClock(16);
        captureStdout([&] { universe->frame(); });
        const uint8_t* bytes = universe->controls->byteValue;
        FirstFrame frame{readScreen(), qelRandState(), std::vector<uint8_t>(bytes, bytes + ControlTable::kEntries)};
        universe.reset();
        return frame;
    }
};

TEST_F(ModuleWarmup, FirstFrameRandomStateAndTableAsWithout) {
    for (bool clean : {false, true}) {
        SCOPED_TRACE(clean ? "clean layers" : "layers as they come");
        const FirstFrame without = firstFrame(false, clean);
        const FirstFrame with = firstFrame(true, clean);
        EXPECT_GT(litPixels(without.pixels), 10000);
        EXPECT_TRUE(with.pixels == without.pixels);
        EXPECT_EQ(with.random, without.random);
        EXPECT_TRUE(with.table == without.table);
    }
}

// Arrivals from several threads, frames with and without fetches, and arrays
// that fill up: everything logged comes out once, the rest is counted.
TEST(LatencyLogTest, ArrivalsFramesAndFullArrays) {
    auto log = std::make_unique<LatencyLog>();
    log->arrived(LatencyInput::Key);
    log->fetched(LatencyInput::Midi);
    log->frameShown();
    log->frameShown();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) log->arrived(LatencyInput::Osc);
        });
    for (std::thread& t : threads) t.join();
    for (int i = 0; i < LatencyLog::kArrivals + 3; ++i) log->arrived(LatencyInput::Midi);

    FILE* file = tmpfile();
    ASSERT_NE(file, nullptr);
    long lines = 0;
    const std::string errors = captureStderr([&] { lines = log->writeTo(file); });
    EXPECT_EQ(errors, "latency: 3 midi inputs beyond the log's 65536 were not logged\n");
    EXPECT_EQ(lines, 1 + 4000 + LatencyLog::kArrivals + 2);
    rewind(file);
    std::map<std::string, int> counts;
    std::vector<long long> frame[2];
    char word[16], kind[16];
    long long a = 0, b = 0, c = 0;
    while (fscanf(file, "%15s", word) == 1) {
        if (std::string(word) == "arrive" && fscanf(file, "%15s %lld", kind, &a) == 2 && a > 0) ++counts[kind];
        if (std::string(word) == "frame" && fscanf(file, "%lld %lld %lld", &a, &b, &c) == 3 && counts["frame"] < 2)
            frame[counts["frame"]++] = {a, b, c};
    }
    fclose(file);
    EXPECT_EQ(counts, (std::map<std::string, int>{{"frame", 2}, {"key", 1}, {"midi", LatencyLog::kArrivals}, {"osc", 4000}}));
    EXPECT_TRUE(frame[0][0] > 0 && frame[0][0] <= frame[0][2] && frame[0][1] == 0) << frame[0][0];
    EXPECT_TRUE(frame[1][0] == 0 && frame[1][1] == 0 && frame[1][2] >= frame[0][2]);
}

}  // namespace
