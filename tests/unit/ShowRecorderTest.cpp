#include <gtest/gtest.h>

#include <cstring>

#include "AllocationCounter.h"
#include "TextFile.h"
#include "UniverseFixture.h"
#include "app/ControlTable.h"
#include "input/WavFileCapture.h"
#include "show/SceneBank.h"
#include "show/ShowRecorder.h"
#include "show/ShowScript.h"

namespace {
void fillBlock(uint8_t* block, int seed) {
    for (int i = 0; i < 512; ++i) block[i] = static_cast<uint8_t>(seed * 31 + i * 7);
}
}  // namespace

using ShowRecorderTest = UniverseFixture;

// Every kind of input lands at its frame in a script that parses back, and
// the sound file holds exactly the blocks taken, in order.
TEST_F(ShowRecorderTest, WritesAScriptThatParsesBackAndTheBlocksInOrder) {
    build();
    ShowRecorder recorder("rec");
    std::string error;
    SceneBank scenes(*universe);
    ASSERT_TRUE(recorder.start(scenes, true, error)) << error;
    uint8_t block[512];
    recorder.keyPressed('q', 10, 20);  // before frame 0
    recorder.frameStarted(-5);         // a first frame measured across the clock's wrap
    fillBlock(block, 1);
    recorder.soundTaken(block);
    recorder.frameStarted(-5);  // unchanged: no line
    recorder.midiApplied(midiMessage(0xB2, 21, 100));
    recorder.specialPressed(103, 1, 2);  // Down, before frame 2
    recorder.keyPressed('#', 0, 0);
    recorder.keyPressed(27, 3, 4);
    recorder.frameStarted(16);
    fillBlock(block, 2);
    recorder.soundTaken(block);
    recorder.joystickApplied(70000, 5, 0x13);
    recorder.controlSet(ControlTable::indexOf(4, 64, 9), 300, 0.1f);
    recorder.specialPressed(112, 7, 8);  // a Shift key: no name
    // Two recalls in one frame: each keeps its own copy of its file.
    ASSERT_TRUE(scenes.storeFile("a.scene"));
    universe->controls->setByte(1, 0, 7, 99);
    ASSERT_TRUE(scenes.storeFile("b.scene"));
    recorder.frameStarted(16);
    recorder.sceneRecalled("a.scene", 0);
    recorder.sceneRecalled("b.scene", 250);
    recorder.stop();
    EXPECT_FALSE(recorder.recording());

    ShowScript script;
    ASSERT_TRUE(script.parseFile("rec/show.script", error)) << error;
    using T = ShowEvent::Type;
    const std::tuple<int, T, int, int, int> expected[] = {
        {0, T::Key, 'q', 10, 20},          {0, T::FrameTime, -5, 0, 0},     {0, T::Sound, 0, 0, 0},
        {1, T::MidiIn, 0xB2, 21, 100},     {2, T::SpecialKey, 103, 1, 2},   {2, T::Key, '#', 0, 0},
        {2, T::Key, 27, 3, 4},             {2, T::FrameTime, 16, 0, 0},     {2, T::Sound, 0, 0, 0},
        {2, T::Joystick, 65535, 5, 3},     {3, T::Set, 4, 73, 44},          {3, T::SpecialKey, 112, 7, 8},
        {3, T::Scene, 0, 0, 1},            {3, T::Scene, 0, 250, 1},        {4, T::End, 0, 0, 0}};  // c: in the frame
    ASSERT_EQ(script.events().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const ShowEvent& e = script.events()[i];
        EXPECT_EQ(std::tie(e.frame, e.type, e.a, e.b, e.c), expected[i]) << "event " << i;
    }
    EXPECT_EQ(script.events()[10].f, 0.1f);
    EXPECT_EQ(script.events()[12].text + " " + script.events()[13].text, "scene-000003.scene scene-000003-1.scene");
    EXPECT_EQ(readText("rec/scene-000003-1.scene"), readText("b.scene"));
    EXPECT_NE(readText("rec/scene-000003.scene"), readText("b.scene"));

    WavSound sound;
    const char* reason = nullptr;
    ASSERT_TRUE(loadWavSound("rec/sound.wav", sound, &reason)) << reason;
    ASSERT_EQ(sound.frames.size(), 1024u);
    for (int b = 0; b < 2; ++b) {
        fillBlock(block, b + 1);
        EXPECT_EQ(std::memcmp(sound.frames.data() + b * 512, block, 512), 0) << "block " << b;
    }
}

// A recording frame allocates nothing: the frame time changes, a sound
// block, two MIDI messages and a joystick reading (bench/ShowRecorderBench
// measures its cost).
TEST_F(ShowRecorderTest, ARecordingFrameAllocatesNothing) {
    build();
    ShowRecorder recorder("rec");
    std::string error;
    SceneBank scenes(*universe);
    ASSERT_TRUE(recorder.start(scenes, true, error)) << error;
    uint8_t block[512];
    fillBlock(block, 3);
    constexpr int kFrames = 20000;
    CountAllocations count;
    for (int f = 0; f < kFrames; ++f) {
        recorder.frameStarted(15 + (f & 3));
        recorder.soundTaken(block);
        recorder.midiApplied(midiMessage(0xB0, 20, f & 127));
        recorder.midiApplied(midiMessage(0xB1, 21, f & 127));
        recorder.joystickApplied(f, 65535 - f, f & 15);
    }
    EXPECT_EQ(count.count(), 0);
    EXPECT_EQ(recorder.framesRecorded(), kFrames);
}
