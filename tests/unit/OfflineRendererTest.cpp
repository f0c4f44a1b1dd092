#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GlTestContext.h"
#include "QuietRender.h"
#include "TempStage.h"
#include "app/ControlTable.h"
#include "app/qelUnivCell.h"
#include "input/WaveInput.h"
#include "reactor/Random.h"
#include "show/OfflineRenderer.h"

namespace {
// The golden stage with a show script written into a temporary directory.
RenderOptions stageOptions(const TempStage& tmp, const char* script, int frames) {
    RenderOptions options;
    options.directory = STRATA_SOURCE_DIR "/tests/golden/stage";
    options.scriptPath = (tmp.path() / tmp.write("s.show", script)).string();
    options.frames = frames;
    return options;
}

}  // namespace

// Each kind of scripted event lands in the table as its live counterpart
// would, before the frame it names, and the clock ticks the fixed time.
TEST(OfflineRenderer, AppliesScriptedEventsBeforeTheirFrameWithAFixedClock) {
    ASSERT_TRUE(ensureGlContext());
    TempStage tmp("render");
    RenderOptions options = stageOptions(tmp,  // q is bound to 17 in the golden key.db
                                         "0 ctl 3 20 127\n0 key q 639 0\n1 midi 0xB2 21 100\n"
                                         "2 key F4 639 240\n2 ctl 0 30 0\n", 20);
    options.frameMillis = 20;
    OfflineRenderer renderer(options);
    ASSERT_TRUE(setUpQuietly(renderer));
    qelUnivCell& u = *renderer.universe();
    const ControlTable& t = *u.controls;
    // Per frame: the table bytes of entries (3, 20), (0, 17), (0, 64 + 17)
    // and (2, 21), the frame time, the channel; q's x 639 of 640 gives 126.
    const std::vector<int> expected[] = {{127, 126, 0, 63, 20, 0}, {127, 126, 0, 100, 20, 2}, {127, 126, 0, 100, 20, 3}};
    for (const auto& bytes : expected) {
        ASSERT_TRUE(renderQuietly(renderer));
        EXPECT_EQ((std::vector<int>{t.getByte(3, 0, 20), t.getByte(0, 0, 17), t.getByte(0, 64, 17), t.getByte(2, 0, 21),
                                    t.getByte(15, 0, 1), u.currentChannel}),
                  bytes) << renderer.framesRendered();
    }
    EXPECT_GT(u.cellLevel[3], 10);
    EXPECT_FLOAT_EQ(t.getFloat(0, 0, 30), -1.0f);
}

// Every render starts from the same generator state, so two renders in one
// process give the same picture even after other code drew random numbers.
TEST(OfflineRenderer, RepeatsItsPicturesWithinOneProcess) {
    ASSERT_TRUE(ensureGlContext());
    TempStage tmp("render");
    const char* script = "0 ctl 11 19 0\n0 key F1 639 240\n0 key Down\n0 key Down\n0 key Down\n0 key Down\n"
                         "0 ctl 0 18 127\n0 ctl 0 23 100\n0 ctl 0 87 100\n";  // Particles1, raised
    std::vector<uint8_t> pictures[2];
    for (int run = 0; run < 2; ++run) {
        resetGlState();
        qelSetRandState(run ? 999 : 12345);
        OfflineRenderer renderer(stageOptions(tmp, script, 12));
        std::string error;
        bool ready = false;
        captureStdout([&] {
            ready = renderer.setUp(error);
            while (ready && renderer.renderFrame()) {
            }
        });
        ASSERT_TRUE(ready) << error;
        pictures[run].assign(renderer.readPicture(), renderer.readPicture() + OfflineRenderer::kFrameBytes);
    }
    EXPECT_GT(litPixels(pictures[0]), 1000);
    EXPECT_TRUE(pictures[0] == pictures[1]);
    for (size_t i = 3; i < pictures[0].size(); i += 4) ASSERT_EQ(pictures[0][i], 255) << "alpha at " << i;
}

// A recording's events: the frame time follows the script, exact writes land
// as written, each sound mark takes the next block of the wave file in order
// (whatever the frame time), MIDI and joystick input arrive through the
// frame's own steps only while switched on, and the end mark ends the show.
TEST(OfflineRenderer, PlaysARecordingBlockForBlockWithItsFrameTimes) {
    ASSERT_TRUE(ensureGlContext());
    TempStage tmp("render");
    // Three blocks of distinct constant bytes, 8-bit stereo at the capture rate.
    std::string wav = "RIFF....WAVEfmt ";
    const unsigned char format[] = {16, 0, 0, 0, 1, 0, 2, 0, 0x22, 0x56, 0, 0, 0x44, 0xAC, 0, 0, 2, 0, 8, 0};
    wav.append(reinterpret_cast<const char*>(format), sizeof format);
    wav += "data";
    const unsigned char size[] = {0, 6, 0, 0};  // 1536 bytes
    wav.append(reinterpret_cast<const char*>(size), 4);
    for (const char value : {'\x10', '\x50', '\xF0'}) wav.append(512, value);
    RenderOptions options = stageOptions(tmp,
                                         "0 ms 40\n0 set 2 30 200 0.25\n1 sound\n1 ms 7\n1 midiin 0xB1 20 90\n"
                                         "2 key End\n3 midiin 0xB1 20 90\n3 sound\n4 sound\n5 end\n",
                                         50);
    options.framesGiven = true;  // 50 frames asked: the end mark ends the show before
    options.wavPath = (tmp.path() / tmp.write("rec.wav", wav)).string();
    OfflineRenderer renderer(options);
    ASSERT_TRUE(setUpQuietly(renderer));
    qelUnivCell& u = *renderer.universe();
    const ControlTable& t = *u.controls;
    struct Expect {
        int millis;
        int sound;  // byte of the newest block, 0: none yet
        int midi;   // byte of channel 1 entry 20
    };
    const Expect frames[] = {{40, 0, 63}, {7, 0x10, 63}, {7, 0x10, 63}, {7, 0x50, 90}, {7, 0xF0, 90}};
    for (const Expect& e : frames) {
        ASSERT_TRUE(renderQuietly(renderer));
        const int frame = renderer.framesRendered() - 1;
        EXPECT_EQ(t.getByte(15, 0, 1), e.millis) << frame;
        EXPECT_EQ(u.wave->current->bytes[0], e.sound) << frame;
        EXPECT_EQ(t.getByte(1, 0, 20), e.midi) << frame;  // the MIDI of frame 1 came before End switched it on
    }
    EXPECT_EQ(t.byteValue[ControlTable::indexOf(2, 0, 30)], 200);
    EXPECT_EQ(t.floatValue[ControlTable::indexOf(2, 0, 30)], 0.25f);
    EXPECT_FALSE(renderer.renderFrame());
    EXPECT_TRUE(renderer.endedByScript());
    EXPECT_EQ(renderer.framesRendered(), 5);
}
