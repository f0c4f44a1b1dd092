// Recording a show and replaying it: the bus's show re-renders exactly, the
// recorder's script and sound file, strata-render playing scripts and takes.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "GlTestContext.h"
#include "OscPackets.h"
#include "QuietRender.h"
#include "TempStage.h"
#include "TextFile.h"
#include "UniverseFixture.h"
#include "app/ControlTable.h"
#include "app/qelUnivCell.h"
#include "control/ControlBus.h"
#include "control/OscCommandQueue.h"
#include "control/SoundMap.h"
#include "input/MidiInput.h"
#include "input/WavFileCapture.h"
#include "input/WaveInput.h"
#include "music/MusicalTime.h"
#include "reactor/Random.h"
#include "reactor/qelCell.h"
#include "show/OfflineRenderer.h"
#include "show/SceneBank.h"
#include "show/ShowRecorder.h"
#include "show/ShowReplay.h"
#include "show/ShowScript.h"

namespace fs = std::filesystem;

namespace {

// What a frame left: picture, table, the cells' modules, selected channel.
struct FrameState {
    std::vector<uint8_t> picture;
    std::vector<uint8_t> bytes;
    std::vector<float> floats;
    std::vector<int> modules;
    int selected = 0;
    bool operator==(const FrameState&) const = default;

    static FrameState of(OfflineRenderer& renderer) {
        const qelUnivCell& u = *renderer.universe();
        FrameState state{{renderer.readPicture(), renderer.readPicture() + OfflineRenderer::kFrameBytes},
                         {u.controls->byteValue, u.controls->byteValue + ControlTable::kEntries},
                         {u.controls->floatValue, u.controls->floatValue + ControlTable::kEntries}, {},
                         u.currentChannel};
        for (int c = 0; c < u.cellCount; ++c) state.modules.push_back(u.cells[c]->reactorIndex);
        return state;
    }
};

// OSC on the bus, MIDI through the map and the fixed rule, keys, a scene stored and recalled, sound routes on a
// tempo set by OSC.
constexpr int kFrames = 12;
const char* const kLive =
    "0 osc /strata/tempo 300.0\n0 osc /strata/layer/1/opacity 1.0\n0 osc /strata/layer/1/module 1\n0 osc /strata/layer/2/module 2\n"
    "0 osc /strata/ctl 1 7 120\n0 osc /strata/midi 1\n2 midi 0xB0 20 100\n2 midi 0xB3 9 77\n2 midi 0xB0 21 50\n"
    "3 osc /strata/key q 100 200\n3 key w 300 10\n4 osc /strata/scene/store 2\n5 osc /strata/ctl 0 50 -0.25\n"
    "5 osc /strata/trail 0.3\n5 osc /strata/select 5\n5 osc /strata/layer/1/module 4\n"
    "5 osc /strata/layer/2/imageset 0\n7 midi 0xB0 20 10\n7 osc /strata/scene/recall 2\n7 osc /strata/ctl 1 7 127\n"
    "8 osc /strata/key F2 600 100\n9 osc /strata/midi 0\n";

}  // namespace

// The replay of the recording, and of that replay, give the live show's state at every frame.
TEST(ControlRecording, AShowPlayedFromTheBusReRendersExactly) {
    ASSERT_TRUE(ensureGlContext());
    TempStage tmp{"control-recording"};  // the golden stage through links, so that scenes can be stored beside it
    const fs::path stage = tmp.path() / "stage", recording = tmp.path() / "take", again = tmp.path() / "take-again";
    fs::create_directories(stage);
    for (const auto& entry : fs::directory_iterator(STRATA_SOURCE_DIR "/tests/golden/stage"))
        fs::create_symlink(entry.path(), stage / entry.path().filename());

    std::vector<FrameState> live;
    {
        resetGlState();
        RenderOptions options;
        options.directory = stage.string(), options.frames = kFrames;
        OfflineRenderer renderer(options);
        ASSERT_TRUE(setUpQuietly(renderer));
        qelUnivCell& u = *renderer.universe();
        ControlBus bus(u);
        SceneBank scenes(u);
        u.input = &bus;
        bus.recallScene = [&scenes](int n) { scenes.recallScene(n); };
        bus.storeScene = [&scenes](int n) { scenes.storeScene(n); };
        ASSERT_EQ(bus.midiMap().parseText("cc 1 20 -> 2 30\ncc 1 21 -> selected 40 curve exp\n", "test.map"), 0);
        bus.midiMap().attach(*u.controls);
        MusicalTime music(SoundAnalysis::Mode::Inline);
        bus.setMusic(&music);
        ASSERT_EQ(bus.soundMap().parseText("lfo saw 1/16 -> 0 22\nphase -> selected 23 range 0.2 0.8\n", "s"), 0);
        ShowRecorder recorder(recording.string());
        std::string error;
        ASSERT_TRUE(recorder.start(scenes, true, error)) << error;
        u.observer = &recorder;

        std::vector<std::vector<std::string>> show(kFrames);  // the lines of each frame, without their number
        for (size_t at = 0, end; (end = std::string_view(kLive).find('\n', at)) != std::string_view::npos; at = end + 1) {
            const std::string line(kLive + at, kLive + end);
            show[std::stoul(line)].push_back(line.substr(line.find(' ') + 1));
        }
        for (int frame = 0; frame < kFrames; ++frame) {
            for (const std::string& line : show[frame]) {
                unsigned a = 0, b = 0, c = 0;
                char key = 0;
                if (line.starts_with("osc ")) bus.queue().push(oscWords(line.substr(4)));
                if (std::sscanf(line.c_str(), "midi %x %u %u", &a, &b, &c) == 3) u.midi->receive(midiMessage(a, b, c));
                if (std::sscanf(line.c_str(), "key %c %u %u", &key, &b, &c) == 3) {
                    recorder.keyPressed(key, b, c);  // as the live session records a window key
                    keyboardKey(key, b, c);
                }
            }
            ASSERT_TRUE(renderQuietly(renderer)) << frame;
            live.push_back(FrameState::of(renderer));
        }
        recorder.stop();
        u.observer = nullptr;
        u.input = &u.devices;
    }
    // The recall brought back frame 4's module; the map wrote on channel 2, then on the selected one.
    EXPECT_EQ((std::vector<int>{live[4].modules[0], live[5].modules[0], live[7].modules[0], live[2].selected,
                                live[2].bytes[ControlTable::indexOf(2, 0, 30)]}),
              (std::vector<int>{1, 4, 1, 3, 100}));
    EXPECT_NE(live[2].bytes[ControlTable::indexOf(3, 0, 40)], live[1].bytes[ControlTable::indexOf(3, 0, 40)]);
    EXPECT_GT(litPixels(live.back().picture), 1000);

    const std::string script = readText(recording / "show.script");
    for (const char* line : {"0 osc /strata/layer/1/module 1\n", "2 mapped 2 30 ", "2 midiin 0xb3 9 77\n",
                             "3 osc /strata/key q 100 200\n", "3 key w 300 10\n", "7 scene scene-000007.scene 0 bus\n",
                             "5 routed 0 22 ", "6 routed 4 23 "})
        EXPECT_NE(script.find(line), std::string::npos) << line << " in\n" << script;
    EXPECT_EQ(script.find("store"), std::string::npos);
    EXPECT_EQ(script.find("tempo"), std::string::npos);  // its effect is in the routed writes
    fs::remove(stage / "scenes" / "02.scene");  // the replay uses its own copy of the scene

    for (const fs::path& take : {recording, again}) {
        SCOPED_TRACE(take.filename().string());
        resetGlState();  // as a fresh strata-render process starts
        RenderOptions options;
        options.directory = stage.string(), options.scriptPath = (take / "show.script").string();
        OfflineRenderer replay(options);
        ASSERT_TRUE(setUpQuietly(replay));
        ShowRecorder rerecorder(again.string());  // the first replay is itself recorded, as a live show is
        std::string error;
        if (take == recording) {
            ASSERT_TRUE(rerecorder.start(replay.replay().scenes(), true, error)) << error;
            replay.universe()->observer = &rerecorder;
        }
        for (int frame = 0; frame < kFrames; ++frame) {
            ASSERT_TRUE(renderQuietly(replay)) << frame;
            ASSERT_TRUE(FrameState::of(replay) == live[static_cast<size_t>(frame)]) << "frame " << frame;
        }
        EXPECT_FALSE(replay.renderFrame());  // the end mark set the length
        EXPECT_EQ(replay.framesRendered(), kFrames);
        rerecorder.stop();
        replay.universe()->observer = nullptr;
    }
}

namespace {
void fillBlock(uint8_t* block, int seed) {
    for (int i = 0; i < 512; ++i) block[i] = static_cast<uint8_t>(seed * 31 + i * 7);
}
}  // namespace

using ShowRecorderTest = UniverseFixture;

// Every kind of input lands at its frame; the sound file holds the whole
// stream (blocks no frame took, and silence for the time it missed), and each
// frame names the position of the block it took.
TEST_F(ShowRecorderTest, WritesAScriptThatParsesBackAndTheWholeSoundStream) {
    build();
    ShowRecorder recorder("rec");
    std::string error;
    SceneBank scenes(*universe);
    ASSERT_TRUE(recorder.start(scenes, true, error)) << error;
    uint8_t block[512];
    recorder.keyPressed('q', 10, 20);  // before frame 0
    recorder.frameStarted(-5);         // the clock's first reading: an uptime, not a frame time
    fillBlock(block, 1), recorder.blockCaptured(block), recorder.soundTaken(block, 0);
    recorder.frameStarted(-5);  // a frame measured across the clock's wrap
    recorder.midiApplied(midiMessage(0xB2, 21, 100));
    recorder.specialPressed(103, 1, 2);  // Down, before frame 2
    recorder.keyPressed('#', 0, 0), recorder.keyPressed(27, 3, 4);
    recorder.frameStarted(16);
    for (int b : {2, 3}) fillBlock(block, b), recorder.blockCaptured(block);
    recorder.blocksMissed(2);
    fillBlock(block, 4), recorder.blockCaptured(block), recorder.soundTaken(block, 5);
    recorder.joystickApplied(70000, 5, 0x13);
    recorder.controlSet(ControlTable::indexOf(4, 64, 9), 300, 0.1f);
    recorder.specialPressed(112, 7, 8);  // a Shift key: no name
    // Two recalls in one frame: each keeps its own copy of its file.
    ASSERT_TRUE(scenes.storeFile("a.scene"));
    universe->controls->setByte(1, 0, 7, 99);
    ASSERT_TRUE(scenes.storeFile("b.scene"));
    recorder.frameStarted(16);
    recorder.sceneRecalled("a.scene", 0, readText("a.scene"));
    recorder.sceneRecalled("b.scene", 250, readText("b.scene"));
    recorder.stop();
    EXPECT_FALSE(recorder.recording());

    ShowScript script;
    ASSERT_TRUE(script.parseFile("rec/show.script", error)) << error;
    using T = ShowEvent::Type;  // c of a scene: the recall came within the frame
    const std::tuple<int, T, int, int, int> expected[] = {
        {0, T::Key, 'q', 10, 20},          {0, T::FrameTime, -5, 1, 0},     {0, T::Sound, 0, 0, 0},
        {1, T::FrameTime, -5, 0, 0},       {1, T::MidiIn, 0xB2, 21, 100},   {2, T::SpecialKey, 103, 1, 2},
        {2, T::Key, '#', 0, 0},            {2, T::Key, 27, 3, 4},           {2, T::FrameTime, 16, 0, 0},
        {2, T::Sound, 5, 0, 0},            {2, T::Joystick, 65535, 5, 3},   {3, T::Set, 4, 73, 44},
        {3, T::SpecialKey, 112, 7, 8},     {3, T::Scene, 0, 0, 1},          {3, T::Scene, 0, 250, 1},
        {4, T::End, 0, 0, 0}};
    ASSERT_EQ(script.events().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const ShowEvent& e = script.events()[i];
        EXPECT_EQ(std::tie(e.frame, e.type, e.a, e.b, e.c), expected[i]) << "event " << i;
    }
    EXPECT_EQ(script.events()[11].f, 0.1f);
    EXPECT_EQ(script.events()[13].text + " " + script.events()[14].text, "scene-000003.scene scene-000003-1.scene");
    EXPECT_EQ(readText("rec/scene-000003-1.scene"), readText("b.scene"));
    EXPECT_NE(readText("rec/scene-000003.scene"), readText("b.scene"));

    WavSound sound;
    const char* reason = nullptr;
    ASSERT_TRUE(loadWavSound("rec/sound.wav", sound, &reason)) << reason;
    ASSERT_EQ(sound.frames.size(), 6 * 512u);
    for (int b = 0; b < 6; ++b) {
        fillBlock(block, b < 3 ? b + 1 : 4);
        if (b == 3 || b == 4) std::memset(block, 128, 512);
        EXPECT_EQ(std::memcmp(sound.frames.data() + b * 512, block, 512), 0) << "block " << b;
    }
}

// A file that cannot be written stops the recording with one line at once,
// shows it to the operator and keeps what was written, whether the disk is
// full (here: the file size limit) or the directory is removed under it.
TEST_F(ShowRecorderTest, StopsAtOnceAndSaysWhyWhenItsFilesCannotBeWritten) {
    build();
    SceneBank scenes(*universe);
    // Frames of silence, then a frame once the writer has found the fault.
    const auto waitForFault = [](ShowRecorder& recorder) {
        for (int i = 0; i < 100 && recorder.healthy(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        recorder.frameStarted(16);
        return std::string(recorder.status());
    };
    const auto show = [&](ShowRecorder& recorder, int frames) {
        std::string error;
        if (!recorder.start(scenes, true, error)) return error;
        uint8_t block[512] = {};
        for (int f = 0; f < frames; ++f)
            recorder.frameStarted(16), recorder.blockCaptured(block), recorder.soundTaken(block, f);
        return frames ? waitForFault(recorder) : std::string(recorder.status());
    };
    const auto fullDisk = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{20000, 20000};
        setrlimit(RLIMIT_FSIZE, &limit);
        ShowRecorder recorder("full");
        const std::string status = show(recorder, 100);
        recorder.stop();
        const bool kept = fs::file_size("full/sound.wav") == 20000 && readText("full/show.script").size() > 100;
        std::_Exit(status == "STOPPED: cannot write the sound: File too large" && kept ? 0 : 1);  // no leak check of the child
    };
    EXPECT_EXIT(fullDisk(),
        testing::ExitedWithCode(0),
        "^strata: recording in full stopped at frame 100: cannot write the sound: File too large; the files keep "
        "what was written\n$");

    ShowRecorder recorder("gone");
    const std::string status = show(recorder, 0);
    fs::remove_all("gone");
    EXPECT_EQ(status + "|" + captureStderr([&] { waitForFault(recorder), recorder.frameStarted(16), recorder.stop(); }),
              "recording into gone|strata: recording in gone stopped at frame 0: its directory was removed; the "
              "files keep what was written\n");
    EXPECT_FALSE(recorder.healthy());
}

namespace {
// The golden stage with a show script written into a temporary directory.
RenderOptions stageOptions(const TempStage& tmp, const char* script, int frames) {
    RenderOptions options;
    options.directory = STRATA_SOURCE_DIR "/tests/golden/stage", options.frames = frames;
    options.scriptPath = (tmp.path() / tmp.write("s.show", script)).string();
    return options;
}

}  // namespace

// Scripted events land as their live counterparts, before their frame; the clock is fixed.
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

// Every render starts from the same generator state, whatever drew random numbers before.
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

// Frame times follow the script (the first frame's uptime reading is no
// duration in the show's time), each sound mark takes the block at its
// position (silence beyond the file), MIDI arrives only while switched on,
// the end mark ends the show.
TEST(OfflineRenderer, PlaysARecordingBlockForBlockWithItsFrameTimes) {
    ASSERT_TRUE(ensureGlContext());
    TempStage tmp("render");
    // Three blocks of distinct constant bytes, 8-bit stereo at the capture rate.
    std::string wav("RIFF....WAVEfmt \x10\0\0\0\x01\0\x02\0\x22\x56\0\0\x44\xAC\0\0\x02\0\x08\0data\0\x06\0\0", 44);
    for (const char value : {'\x10', '\x50', '\xF0'}) wav.append(512, value);
    RenderOptions options = stageOptions(tmp,
                                         "0 uptime 40\n0 set 2 30 200 0.25\n1 sound 0\n1 ms 7\n1 midiin 0xB1 20 90\n"
                                         "2 key End\n3 midiin 0xB1 20 90\n3 sound 2\n4 sound 5\n5 end\n",
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
    const Expect frames[] = {{40, 0, 63}, {7, 0x10, 63}, {7, 0x10, 63}, {7, 0xF0, 90}, {7, 128, 90}};
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
    EXPECT_EQ((std::vector<double>{1.0 * renderer.framesRendered(), 1.0 * renderer.plannedFrames(),
                                   1.0 * renderer.eventsLeft(), renderer.frameStartMillis(1),
                                   renderer.frameStartMillis(5)}),
              (std::vector<double>{5, 5, 0, 7, 35}));
    double soundStart = 0.0;
    ASSERT_TRUE(renderer.soundStartSeconds(soundStart));
    EXPECT_NEAR(soundStart, 0.007 - 256.0 / 22050, 1e-9);  // frame 1 took block 0 as it ended

    // Killed while writing: the cut line goes, the show runs to its last whole frame.
    ShowScript cut;
    std::string error;
    EXPECT_TRUE(cut.parseText("0 uptime 5\n1 ms 16\n3 sound 2\n4 midiin 0xB1 2", "cut", error)) << error;
    EXPECT_EQ((std::vector<int>{cut.cutShort(), cut.droppedCutLine(), cut.lastFrame()}), (std::vector<int>{1, 1, 3}));
    EXPECT_FALSE(cut.parseText("0 ctl 1 2 3\n1 ctl 9", "hand", error));  // a script of one's own is not cut
}
