// What the control bus applies while a show is recorded: the commands as
// show-script lines that read back to the same command, and a whole show
// played from OSC, the MIDI mapping and the keys that re-renders exactly.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "GlTestContext.h"
#include "QuietRender.h"
#include "TempStage.h"
#include "TextFile.h"
#include "UniverseFixture.h"
#include "app/ControlTable.h"
#include "app/KeyBindings.h"
#include "app/qelUnivCell.h"
#include "control/ControlBus.h"
#include "control/MidiMap.h"
#include "control/OscCommand.h"
#include "control/OscCommandQueue.h"
#include "input/MidiInput.h"
#include "reactor/qelCell.h"
#include "show/OfflineRenderer.h"
#include "show/SceneBank.h"
#include "show/ShowRecorder.h"
#include "show/ShowReplay.h"
#include "show/ShowScript.h"

namespace fs = std::filesystem;

namespace {

OscCommand command(const char* path, std::initializer_list<OscArg> args) {
    OscCommand cmd;
    EXPECT_TRUE(parseOscCommand(path, args.begin(), static_cast<int>(args.size()), cmd)) << path;
    return cmd;
}
OscArg i(int v) { return OscArg{'i', v, 0.0, nullptr}; }
OscArg f(double v) { return OscArg{'f', 0, v, nullptr}; }
OscArg s(const char* v) { return OscArg{'s', 0, 0.0, v}; }

bool sameCommand(const OscCommand& a, const OscCommand& b) {
    return a.kind == b.kind && a.special == b.special && a.channel == b.channel && a.entry == b.entry &&
           a.index == b.index && a.byteValue == b.byteValue && a.value == b.value && a.x == b.x && a.y == b.y;
}

}  // namespace

// Every command the bus records comes back from its script line unchanged,
// byte and float alike: a float control that is not a MIDI step keeps its
// truncated byte, 1.0 stays a float, digits and '#' stay keys.
TEST(ControlRecording, CommandsReadBackFromTheirScriptLines) {
    // The float of MIDI value 64, sent as a float.
    const double step64 = 2.0 * (64 / 127.0 - 0.5);
    const OscCommand commands[] = {
        command("/strata/ctl", {i(3), i(1023), i(90)}),  command("/strata/ctl", {i(0), i(7), f(-0.5)}),
        command("/strata/ctl", {i(0), i(7), f(1.0)}),    command("/strata/ctl", {i(15), i(0), f(step64)}),
        command("/strata/ctl", {i(2), i(9), f(0.123456789)}), command("/strata/layer/11/opacity", {f(1.0)}),
        command("/strata/layer/1/module", {i(5)}),       command("/strata/layer/4/imageset", {i(2)}),
        command("/strata/select", {i(12)}),              command("/strata/key", {s("q"), i(0), i(479)}),
        command("/strata/key", {s("7")}),                command("/strata/key", {s("Hash"), i(639), i(0)}),
        command("/strata/key", {s("Tab")}),              command("/strata/key", {s("F3"), i(600), i(100)}),
        command("/strata/key", {s("pagedown")}),         command("/strata/trail", {f(0.25)}),
        command("/strata/midi", {i(1)}),                 command("/strata/joystick", {i(0)}),
        command("/strata/scene/recall", {i(4)}),
    };
    for (const OscCommand& cmd : commands) {
        char text[160];
        ASSERT_GT(formatOscCommand(cmd, text, sizeof text), 0);
        ShowScript script;
        std::string error;
        ASSERT_TRUE(script.parseText(std::string("3 osc ") + text + "\n", "show", error)) << error;
        ASSERT_EQ(script.events().size(), 1u);
        const ShowEvent& event = script.events()[0];
        EXPECT_EQ(event.type, ShowEvent::Type::Osc);
        EXPECT_TRUE(event.recorded());
        EXPECT_TRUE(sameCommand(event.command, cmd)) << text;
    }

    // Names, stores, learn and list are never written.
    char text[160];
    for (const OscCommand& cmd : {command("/strata/layer/2/module", {s("Cloud")}),
                                  command("/strata/scene/store", {i(2)}), command("/strata/learn", {})})
        EXPECT_EQ(formatOscCommand(cmd, text, sizeof text), 0);
    EXPECT_EQ(formatOscCommand(command("/strata/ctl", {i(0), i(7), i(1)}), text, 12), 0);  // does not fit
}

// The new events parse with their step, and bad ones name what was expected.
TEST(ControlRecording, ScriptTakesControlStepEventsAndRejectsBadOnes) {
    ShowScript script;
    std::string error;
    EXPECT_FALSE(script.parseText("4 mapped 2 30 100 0.5\n4 scene scene-000004.scene 250 bus\n5 scene 3 0\n"
                                  "6 osc /strata/learn # a comment ends the words\n",
                                  "show", error));
    EXPECT_NE(error.find("show:4:"), std::string::npos) << error;

    ASSERT_TRUE(script.parseText("4 mapped 2 30 100 0.5\n4 scene scene-000004.scene 250 bus\n5 scene 3 0\n", "show",
                                 error))
        << error;
    const auto& e = script.events();
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].type, ShowEvent::Type::Mapped);
    EXPECT_EQ(e[0].f, 0.5f);
    EXPECT_TRUE(e[0].recorded());
    EXPECT_TRUE(e[1].inControlStep());
    EXPECT_EQ(e[1].b, 250);
    EXPECT_FALSE(e[2].inControlStep());
    EXPECT_FALSE(e[2].recorded());

    const char* bad[][2] = {
        {"0 osc /strata/scene/store 2\n", "cannot be played"},
        {"0 osc /strata/list\n", "cannot be played"},
        {"0 osc /strata/nowhere 1\n", "expected a control command"},
        {"0 osc /strata/ctl 0 7\n", "expected a control command"},
        {"0 osc /strata/ctl 0 7 1.5\n", "expected a control command"},
        {"0 osc\n", "expected 'osc <address>"},
        {"0 scene 3 0 later\n", "[bus]"},
        {"0 mapped 16 0 0 0.5\n", "channel 0..15"},
        {"0 mapped 1 2 3\n", "expected 'mapped"},
    };
    for (const auto& [text, expected] : bad) {
        EXPECT_FALSE(script.parseText(text, "show", error)) << text;
        EXPECT_NE(error.find(expected), std::string::npos) << text << " -> " << error;
    }
}

namespace {

// The golden stage seen through links in a temporary directory, so that
// scenes can be stored beside it.
struct LinkedStage {
    TempStage tmp{"control-recording"};
    fs::path stage = tmp.path() / "stage";
    LinkedStage() {
        fs::create_directories(stage);
        for (const auto& entry : fs::directory_iterator(STRATA_SOURCE_DIR "/tests/golden/stage"))
            fs::create_symlink(entry.path(), stage / entry.path().filename());
    }
};

// What a frame left: its picture, the table, the cells' modules, the
// selected channel.
struct FrameState {
    std::vector<uint8_t> picture;
    std::vector<uint8_t> bytes;
    std::vector<float> floats;
    std::vector<int> modules;
    int selected = 0;

    static FrameState of(OfflineRenderer& renderer) {
        FrameState state;
        const uint8_t* picture = renderer.readPicture();
        state.picture.assign(picture, picture + OfflineRenderer::kFrameBytes);
        const qelUnivCell& u = *renderer.universe();
        state.bytes.assign(u.controls->byteValue, u.controls->byteValue + ControlTable::kEntries);
        state.floats.assign(u.controls->floatValue, u.controls->floatValue + ControlTable::kEntries);
        for (int c = 0; c < u.cellCount; ++c) state.modules.push_back(u.cells[c]->reactorIndex);
        state.selected = u.currentChannel;
        return state;
    }
};

}  // namespace

// A show played from a control surface: OSC writes, module and image-set
// changes, selection, trail, keys by OSC and from the window, MIDI through
// the mapping (on a selected channel too) and through the fixed rule, a
// scene stored and recalled by OSC. strata-render's replay of the recording
// gives the same picture, table, modules and selection at every frame.
TEST(ControlRecording, AShowPlayedFromTheBusReRendersExactly) {
    ASSERT_TRUE(ensureGlContext());
    LinkedStage linked;
    const fs::path recording = linked.tmp.path() / "take";
    constexpr int kFrames = 12;

    std::vector<FrameState> live;
    {
        RenderOptions options;
        options.directory = linked.stage.string();
        options.frames = kFrames;
        resetGlState();
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
        ShowRecorder recorder(recording.string());
        std::string error;
        ASSERT_TRUE(recorder.start(scenes, true, error)) << error;
        u.observer = &recorder;

        auto push = [&](const OscCommand& cmd) { bus.queue().push(cmd); };
        for (int frame = 0; frame < kFrames; ++frame) {
            switch (frame) {
                case 0:
                    push(command("/strata/layer/1/opacity", {f(1.0)}));
                    push(command("/strata/layer/1/module", {s("Tunnel")}));
                    push(command("/strata/layer/2/module", {i(2)}));
                    push(command("/strata/ctl", {i(1), i(7), i(120)}));
                    push(command("/strata/midi", {i(1)}));
                    break;
                case 2:
                    u.midi->receive(midiMessage(0xB0, 20, 100));  // mapped
                    u.midi->receive(midiMessage(0xB3, 9, 77));    // fixed rule: selects channel 3
                    u.midi->receive(midiMessage(0xB0, 21, 50));   // mapped to the selected channel 3
                    break;
                case 3:
                    push(command("/strata/key", {s("q"), i(100), i(200)}));
                    recorder.keyPressed('w', 300, 10);  // from the window, as the live session records it
                    keyboardKey('w', 300, 10);
                    break;
                case 4: push(command("/strata/scene/store", {i(2)})); break;
                case 5:
                    push(command("/strata/ctl", {i(0), i(50), f(-0.25)}));
                    push(command("/strata/trail", {f(0.3)}));
                    push(command("/strata/select", {i(5)}));
                    push(command("/strata/layer/1/module", {i(4)}));
                    push(command("/strata/layer/2/imageset", {i(0)}));
                    break;
                case 7:
                    u.midi->receive(midiMessage(0xB0, 20, 10));
                    push(command("/strata/scene/recall", {i(2)}));
                    push(command("/strata/ctl", {i(1), i(7), i(127)}));
                    break;
                case 8: push(command("/strata/key", {s("F2"), i(600), i(100)})); break;
                case 9: push(command("/strata/midi", {i(0)})); break;
                default: break;
            }
            ASSERT_TRUE(renderQuietly(renderer)) << frame;
            live.push_back(FrameState::of(renderer));
        }
        recorder.stop();
        u.observer = nullptr;
        u.input = &u.devices;

        // The show did what it was told: the recall brought back frame 4's
        // modules (Tunnel on layer 1), the mapping wrote through its curve.
        EXPECT_EQ(live[4].modules[0], 1);
        EXPECT_EQ(live[5].modules[0], 4);
        EXPECT_EQ(live[7].modules[0], 1);
        EXPECT_EQ(live[2].bytes[ControlTable::indexOf(2, 0, 30)], 100);
        EXPECT_EQ(live[2].selected, 3);
        EXPECT_GT(litPixels(live.back().picture), 1000);
    }

    const std::string script = readText(recording / "show.script");
    for (const char* line : {"0 osc /strata/layer/1/module 1\n", "2 mapped 2 30 ", "2 midiin 0xb3 9 77\n",
                             "3 osc /strata/key q 100 200\n", "3 key w 300 10\n", "7 scene scene-000007.scene 0 bus\n"})
        EXPECT_NE(script.find(line), std::string::npos) << line << " in\n" << script;
    EXPECT_EQ(script.find("store"), std::string::npos);

    RenderOptions options;
    options.directory = linked.stage.string();
    options.scriptPath = (recording / "show.script").string();
    resetGlState();  // as a fresh strata-render process starts
    OfflineRenderer replay(options);
    ASSERT_TRUE(setUpQuietly(replay));
    // The stored scene changes after the show: the replay uses its own copy.
    fs::remove(linked.stage / "scenes" / "02.scene");
    // The replay is itself recorded, as a live show is.
    const fs::path again = linked.tmp.path() / "take-again";
    ShowRecorder rerecorder(again.string());
    std::string error;
    ASSERT_TRUE(rerecorder.start(replay.replay().scenes(), true, error)) << error;
    replay.universe()->observer = &rerecorder;
    auto compare = [&](OfflineRenderer& renderer, const char* what) {
        for (int frame = 0; frame < kFrames; ++frame) {
            ASSERT_TRUE(renderQuietly(renderer)) << what << frame;
            const FrameState state = FrameState::of(renderer);
            const FrameState& expected = live[static_cast<size_t>(frame)];
            EXPECT_EQ(state.modules, expected.modules) << what << " frame " << frame;
            EXPECT_EQ(state.selected, expected.selected) << what << " frame " << frame;
            EXPECT_TRUE(state.bytes == expected.bytes) << what << ": table bytes differ at frame " << frame;
            EXPECT_TRUE(state.floats == expected.floats) << what << ": table floats differ at frame " << frame;
            ASSERT_TRUE(state.picture == expected.picture) << what << ": picture differs at frame " << frame;
        }
        EXPECT_FALSE(renderer.renderFrame());  // the end mark set the length
        EXPECT_EQ(renderer.framesRendered(), kFrames);
    };
    compare(replay, "replay");
    rerecorder.stop();
    replay.universe()->observer = nullptr;

    options.scriptPath = (again / "show.script").string();
    resetGlState();
    OfflineRenderer replayOfReplay(options);
    ASSERT_TRUE(setUpQuietly(replayOfReplay));
    compare(replayOfReplay, "replay of the replay");
}
