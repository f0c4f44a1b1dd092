#include "input/MidiInput.h"
#include "input/RtMidiPort.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <vector>

#include "TempStage.h"

// Concurrent appends from driver threads are covered by FloodTest.
TEST(MidiInput, ShortMessagesArePackedAndTheRestIgnored) {
    const struct {
        std::vector<unsigned char> bytes;
        uint32_t packed;  // 0: ignored
    } cases[] = {
        {{0xB3, 7, 100}, 0x006407B3u},    {{0xC5, 12}, 0x00000CC5u},  // program change: one data byte
        {{0xE0, 0x01, 0x40}, 0x004001E0u}, {{0xF2, 0x10, 0x20}, 0x002010F2u},  // song position kept
        {{0xF0, 0x7E, 0x00, 0x09, 0x01, 0xF7}, 0}, {{0xF7}, 0},
        {{0xF8}, 0}, {{0xFA}, 0}, {{0xFE}, 0},  // clock, start, active sensing
        {{0x40, 0x7F}, 0}, {{}, 0},
    };
    for (const auto& c : cases) {
        uint32_t m = 0x12345678;
        EXPECT_EQ(packShortMessage(c.bytes.empty() ? nullptr : c.bytes.data(), c.bytes.size(), m), c.packed != 0);
        EXPECT_EQ(m, c.packed ? c.packed : 0x12345678u) << std::hex << (c.bytes.empty() ? 0 : c.bytes[0]);
    }
}

TEST(MidiInput, NoSequencerReportsNothing) {
    if (::access("/dev/snd/seq", F_OK) == 0) GTEST_SKIP() << "this machine has a MIDI sequencer";
    MidiInput midi;
    testing::internal::CaptureStderr();
    EXPECT_EQ(captureStdout([&] { midi.open(); }), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(midi.connected());
    EXPECT_EQ(midi.fetch(), 0);
}
