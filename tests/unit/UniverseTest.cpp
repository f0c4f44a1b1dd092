#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <cstring>
#include <vector>

#include "UniverseFixture.h"
#include "app/ControlTable.h"
#include "app/KeyBindings.h"
#include "app/ScreenInfo.h"
#include "input/MidiInput.h"
#include "reactor/qelCell.h"

namespace {
bool sameTable(const ControlTable& a, const ControlTable& b) {
    return std::memcmp(a.byteValue, b.byteValue, sizeof a.byteValue) == 0 &&
           std::memcmp(a.floatValue, b.floatValue, sizeof a.floatValue) == 0;
}

}  // namespace

using Universe = UniverseFixture;

// F-keys select and set opacity from x; codes write x, y into n and n + 64 (100 and up on channel 12); 0 and below nothing.
TEST_F(Universe, CodesWithTheMouseSelectAndWriteTheirEntries) {
    build();
    const struct {
        int code, x, y;
        int channel;
        std::vector<std::array<int, 3>> entries;
        std::vector<int> bytes;
    } steps[] = {
        {1, 0, 240, 0, {{0, 0, 7}}, {0}},          {1, 639, 240, 0, {{0, 0, 7}}, {126}},
        {3, 320, 0, 2, {{0, 0, 7}, {2, 0, 7}}, {126, 63}},
        {12, 320, 0, 11, {}, {}},                  // F12 selects channel 11, which has no cell
        {4, 0, 0, 3, {}, {}},                      {21, 480, 120, 3, {{3, 0, 21}, {3, 64, 21}}, {95, 31}},
        {128, 320, 240, 3, {{12, 0, 128}, {12, 0, 192}}, {63, 63}},
        {140, 0, 479, 3, {{12, 0, 140}, {12, 64, 140}, {3, 0, 140}}, {0, 126, 63}},
        {107, 0, 0, 3, {}, {}},                    {105, 0, 0, 3, {}, {}},
        {107, 639, 0, 3, {{12, 0, 107}}, {126}},
    };
    for (const auto& s : steps) {
        universe->handleCode(s.code, s.x, s.y);
        EXPECT_EQ(universe->currentChannel, s.channel) << s.code;
        EXPECT_EQ(bytes(s.entries), s.bytes) << s.code;
    }
    EXPECT_FLOAT_EQ(universe->controls->getFloat(3, 21) - universe->controls->getFloat(3, 85), 1.0f);  // 0.5, -0.5
    EXPECT_TRUE(!universe->midiOn && universe->joystickOn);
    const ControlTable before = *universe->controls;
    universe->handleCode(0, 100, 100);
    universe->handleCode(-100000, 639, 479);
    EXPECT_TRUE(sameTable(*universe->controls, before));
}

TEST_F(Universe, MidiEventsLandOnTheEntryOfTheirTypeAndChannel) {
    build();
    // Status, data1, data2; then the channel and entry written (the type offsets the entry from data1).
    const int cases[][5] = {{0xB3, 7, 100, 3, 7},     {0x95, 60, 90, 5, 58},   // note on: data1 - 2
                            {0x85, 60, 10, 5, 57},    {0xC2, 5, 0, 2, 6},      // note off - 3, program + 1
                            {0xE1, 0x10, 0x40, 1, 0x13},                       // pitch bend: lsb + 3
                            {0xF8, 0, 0, 8, 4},                                // system: channel 8, data1 + 4
                            {0x91, 0, 77, 0, 1022}};  // a negative entry: the end of the channel below
    for (const auto& c : cases) {
        universe->applyMidiEvent(midiMessage(c[0], c[1], c[2]));
        EXPECT_EQ(bytes({{c[3], 0, c[4]}}), std::vector<int>{c[2]}) << std::hex << c[0];
        EXPECT_EQ(universe->currentChannel, c[0] & 15);
    }
    EXPECT_NEAR(universe->controls->getFloat(3, 7), 2.0f * (100 / 127.0f - 0.5f), 1e-6f);

    // On channel 0 note off, note on and pressure at entry -1 lie before the table and are dropped.
    ControlTable before = *universe->controls;
    for (const uint32_t m : {midiMessage(0x80, 2, 50), midiMessage(0x90, 1, 50), midiMessage(0xA0, 0, 50)})
        universe->applyMidiEvent(m);
    EXPECT_TRUE(sameTable(*universe->controls, before));
}

TEST_F(Universe, FrameAppliesQueuedMidiOnlyWhileMidiIsOn) {
    build();
    universe->midi->receive(midiMessage(0xB4, 7, 120));
    universe->midi->receive(midiMessage(0xB5, 7, 90));
    universe->frame();
    EXPECT_EQ(bytes({{4, 0, 7}, {5, 0, 7}}), (std::vector<int>{0, 0}));
    universe->midiOn = true;
    universe->frame();  // both messages queued while MIDI was off arrive now
    EXPECT_EQ(bytes({{4, 0, 7}, {5, 0, 7}}), (std::vector<int>{120, 90}));
    EXPECT_EQ(universe->cellLevel[4], 120);
    ControlTable before = *universe->controls;
    universe->frame();  // nothing new: the MIDI entries stay as they were
    EXPECT_EQ(std::memcmp(universe->controls->byteValue, before.byteValue, 15 * 1024), 0);
}

TEST_F(Universe, JoystickButtonsPickTheCodeAndPositionsAreScaledAndClamped) {
    const int expected[16] = {0, 1, 2, 9, 4, 14, 6, 7, 8, 9, 15, 12, 13, 11, 10, 15};
    for (uint32_t mask = 0; mask < 16; ++mask) EXPECT_EQ(qelUnivCell::joystickButton(mask), expected[mask]) << mask;
    build();
    universe->currentChannel = 6;
    universe->applyJoystick(65535, 32767, 0);  // x 1.00002 lowered to 1, y trunc(63.5)
    EXPECT_TRUE(bytes({{6, 0, 16}, {6, 64, 16}}) == (std::vector<int>{127, 63}) && universe->controls->getFloat(6, 16) == 1.0f);
    universe->applyJoystick(0, 65534, 3);
    EXPECT_EQ(bytes({{6, 0, 25}, {6, 0, 89}}), (std::vector<int>{0, 127}));
    universe->joystickOn = true;
    universe->frame();  // no joystick: read gives zeros, which the frame writes to entries 16/80
    EXPECT_EQ(bytes({{6, 0, 16}, {6, 0, 80}}), (std::vector<int>{0, 0}));
}

// The frame time (32-bit wrap), its low byte in 15/1, the time factor (0.03 per ms); no sound device: level 0.
TEST_F(Universe, FrameClockAndTimeFactorFollowTheMillisecondClock) {
    build();
    const struct { uint32_t clock; int millis; float factor; } frames[] = {  // clock; frame time and factor (0: not measured)
        {100000, 100000, -1}, {100016, 16, 0.48f}, {100049, 33, 0.99f}, {0xFFFFFFF0u, 0, -1}, {0x10u, 0x20, -1}};
    for (const auto& f : frames) {
        setClock(f.clock);
        universe->frame();
        const bool measured = f.millis != 0, factored = f.factor > 0;  // not after the wrap's first reading
        EXPECT_TRUE(!measured || (screenInfo()->frameMillis == f.millis &&
                                  universe->controls->getByte(15, 0, 1) == (f.millis & 0xFF))) << f.clock;
        EXPECT_TRUE(!factored || std::fabs(universe->timeFactor - f.factor) < 1e-3f) << f.clock;
    }
    EXPECT_FLOAT_EQ(screenInfo()->frameSeconds, 0.032f);
    EXPECT_EQ(universe->controls->getByte(15, 0, 0), 0);
    EXPECT_FLOAT_EQ(universe->controls->getFloat(15, 0, 0), -1.0f);
}

TEST_F(Universe, KeysGoThroughTheKeyMap) {
    build();
    loadKeys(*stage, "k 3\nj 105\n");
    setUniverse(universe.get());
    keyboardKey('k', 0, 0);  // bound to 3: like F3
    EXPECT_EQ(universe->currentChannel, 2);
    keyboardKey('j', 0, 0);  // bound to 105: like Page Down
    EXPECT_TRUE(universe->joystickOn);
    keyboardKey(200, 0, 0);  // keys above 127 do nothing
    keyboardKey('a', 320, 240);  // unbound: channel 12, entries 128 and 192
    EXPECT_EQ(bytes({{12, 0, 128}, {12, 0, 192}}), (std::vector<int>{63, 63}));
    setUniverse(nullptr);
}

// A MIDI clock leader at 120 and 174 BPM with ±2 ms of jitter: the tempo is
// within 0.5 BPM after two beats and the beat position follows the pulses;
// Stop holds it, Song Position and Continue move on from the place given.
TEST(MidiClock, LocksOntoAJitteryLeaderAndHonoursItsTransport) {
    for (const double bpm : {120.0, 174.0}) {
        MidiClock clock;
        std::mt19937 random(static_cast<unsigned>(bpm));
        std::uniform_real_distribution<double> jitter(-0.002, 0.002);
        const double pulse = 60.0 / bpm / 24;
        clock.receive(0xFA, 0, 10.0);
        double worstBpm = 0, worstPhase = 0;
        for (int n = 0; n < 24 * 8; ++n) {
            const double due = 10.0 + n * pulse;
            clock.receive(0xF8, 0, due + jitter(random));
            const MidiClock::Reading r = clock.read(due + pulse / 2);
            if (n < 48) continue;  // two beats to lock
            worstBpm = std::max(worstBpm, std::abs(r.bpm - bpm));
            worstPhase = std::max(worstPhase, std::abs(r.beats - (n + 0.5) / 24));
        }
        EXPECT_LT(worstBpm, 0.5) << bpm;
        EXPECT_LT(worstPhase * 60 / bpm, 0.003) << bpm;  // within 3 ms of the leader's beat
        const double end = 10.0 + 24 * 8 * pulse;
        clock.receive(0xFC, 0, end);
        const MidiClock::Reading stopped = clock.read(end + 5);
        clock.receive(0xF2, 16, end + 6);  // bar 2: sixteen 16ths
        clock.receive(0xFB, 0, end + 6);
        clock.receive(0xF8, 0, end + 6.001);
        const MidiClock::Reading resumed = clock.read(end + 6.001);
        EXPECT_EQ((std::vector<double>{stopped.running * 1.0, stopped.beats, resumed.running * 1.0, resumed.beats}),
                  (std::vector<double>{0, 191 / 24.0, 1, 4}));
    }
}
