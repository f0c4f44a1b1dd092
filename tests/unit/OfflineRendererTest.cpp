#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "GlTestContext.h"
#include "app/ControlTable.h"
#include "app/OfflineRenderer.h"
#include "app/ScreenInfo.h"
#include "app/qelUnivCell.h"
#include "reactor/Random.h"

namespace {
std::string writeScript(const char* name, const char* text) {
    const std::string path = testing::TempDir() + name;
    FILE* f = std::fopen(path.c_str(), "w");
    if (f) {
        std::fputs(text, f);
        std::fclose(f);
    }
    return path;
}

RenderOptions stageOptions(const std::string& script, int frames) {
    RenderOptions options;
    options.directory = STRATA_SOURCE_DIR "/tests/golden/stage";
    options.scriptPath = script;
    options.frames = frames;
    return options;
}
}  // namespace

// Each kind of scripted event lands in the table as its live counterpart
// would, before the frame it names, and the clock ticks the fixed time.
TEST(OfflineRenderer, AppliesScriptedEventsBeforeTheirFrameWithAFixedClock) {
    ASSERT_TRUE(ensureGlContext());
    resetGlState();
    const std::string script = writeScript("renderer-events.show",
                                           "0 ctl 3 20 127\n"
                                           "0 key q 639 0\n"       // q is bound to 17 in the golden key.db
                                           "1 midi 0xB2 21 100\n"
                                           "2 key F4 639 240\n"
                                           "2 ctl 0 30 0\n"
                                           "5 key Esc\n"
                                           "9 ctl 0 31 5\n");
    RenderOptions options = stageOptions(script, 20);
    options.frameMillis = 20;
    testing::internal::CaptureStdout();
    OfflineRenderer renderer(options);
    std::string error;
    const bool ready = renderer.setUp(error);
    if (!ready) testing::internal::GetCapturedStdout();
    ASSERT_TRUE(ready) << error;
    qelUnivCell& u = *renderer.universe();
    const ControlTable& t = *u.controls;

    ASSERT_TRUE(renderer.renderFrame());
    EXPECT_EQ(t.getByte(3, 0, 20), 127);
    EXPECT_FLOAT_EQ(t.getFloat(3, 0, 20), 1.0f);
    EXPECT_EQ(t.getByte(0, 0, 17), 126);   // mouse x 639 of 640
    EXPECT_EQ(t.getByte(0, 64, 17), 0);    // mouse y 0
    EXPECT_EQ(t.getByte(2, 0, 21), 63);    // not yet: frame 1
    EXPECT_EQ(screenInfo()->frameMillis, 20);
    EXPECT_EQ(t.getByte(15, 0, 1), 20);

    ASSERT_TRUE(renderer.renderFrame());
    EXPECT_EQ(t.getByte(2, 0, 21), 100);
    EXPECT_EQ(u.currentChannel, 2);

    ASSERT_TRUE(renderer.renderFrame());
    EXPECT_EQ(u.currentChannel, 3);
    EXPECT_GT(u.cellLevel[3], 10);
    EXPECT_FLOAT_EQ(t.getFloat(0, 0, 30), -1.0f);
    EXPECT_EQ(screenInfo()->frameMillis, 20);

    ASSERT_TRUE(renderer.renderFrame());
    ASSERT_TRUE(renderer.renderFrame());
    // Esc before frame 5 ends the show there; the later event stays unused.
    EXPECT_FALSE(renderer.renderFrame());
    EXPECT_FALSE(renderer.renderFrame());
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(renderer.endedByEscape());
    EXPECT_EQ(renderer.framesRendered(), 5);
    EXPECT_EQ(renderer.eventsLeft(), 2);
    EXPECT_EQ(t.getByte(0, 0, 31), 63);
}

// Every render starts from the same generator state, so two renders in one
// process give the same picture even after other code drew random numbers.
TEST(OfflineRenderer, RepeatsItsPicturesWithinOneProcess) {
    ASSERT_TRUE(ensureGlContext());
    const std::string script = writeScript("renderer-repeat.show",
                                           "0 ctl 11 19 0\n"
                                           "0 key F1 639 240\n"
                                           "0 key Down\n0 key Down\n0 key Down\n0 key Down\n"  // Particles1
                                           "0 ctl 0 18 127\n0 ctl 0 23 100\n0 ctl 0 87 100\n");
    std::vector<uint8_t> pictures[2];
    const uint32_t generatorStates[2] = {12345, 999};
    for (int run = 0; run < 2; ++run) {
        std::vector<uint8_t>& picture = pictures[run];
        resetGlState();
        qelSetRandState(generatorStates[run]);
        testing::internal::CaptureStdout();
        OfflineRenderer renderer(stageOptions(script, 12));
        std::string error;
        const bool ready = renderer.setUp(error);
        while (ready && renderer.renderFrame()) {
        }
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(ready) << error;
        const uint8_t* rgba = renderer.readPicture();
        picture.assign(rgba, rgba + OfflineRenderer::kFrameBytes);
    }
    EXPECT_GT(litPixels(pictures[0]), 1000);
    EXPECT_TRUE(pictures[0] == pictures[1]);
    for (size_t i = 3; i < pictures[0].size(); i += 4) ASSERT_EQ(pictures[0][i], 255) << "alpha at " << i;
}

TEST(OfflineRenderer, RefusesAStageWithoutModulesDbAndAMissingWaveFile) {
    ASSERT_TRUE(ensureGlContext());
    RenderOptions options;
    options.directory = STRATA_SOURCE_DIR "/tests/golden";
    std::string error;
    {
        OfflineRenderer renderer(options);
        EXPECT_FALSE(renderer.setUp(error));
        EXPECT_NE(error.find("no modules.db here"), std::string::npos) << error;
        EXPECT_EQ(renderer.universe(), nullptr);
    }
    options.directory = STRATA_SOURCE_DIR "/tests/golden/stage";
    options.wavPath = "/nonexistent/sound.wav";
    OfflineRenderer renderer(options);
    EXPECT_FALSE(renderer.setUp(error));
    EXPECT_EQ(error, "/nonexistent/sound.wav: no such wave file");
}
