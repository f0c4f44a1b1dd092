#include "input/MidiInput.h"
#include "input/RtMidiPort.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "TempStage.h"

TEST(MidiInput, ShortMessagesArePackedAndTheRestIgnored) {
    const struct {
        std::vector<unsigned char> bytes;
        bool kept;
        uint32_t packed;
    } cases[] = {
        {{0xB3, 7, 100}, true, 0x006407B3u},    {{0xC5, 12}, true, 0x00000CC5u},  // program change: one data byte
        {{0xE0, 0x01, 0x40}, true, 0x004001E0u}, {{0xF2, 0x10, 0x20}, true, 0x002010F2u},  // song position kept
        {{0xF0, 0x7E, 0x00, 0x09, 0x01, 0xF7}, false, 0}, {{0xF7}, false, 0},
        {{0xF8}, false, 0}, {{0xFA}, false, 0}, {{0xFE}, false, 0},  // clock, start, active sensing
        {{0x40, 0x7F}, false, 0}, {{}, false, 0},
    };
    for (const auto& c : cases) {
        uint32_t m = 0x12345678;
        EXPECT_EQ(packShortMessage(c.bytes.empty() ? nullptr : c.bytes.data(), c.bytes.size(), m), c.kept);
        EXPECT_EQ(m, c.kept ? c.packed : 0x12345678u) << std::hex << (c.bytes.empty() ? 0 : c.bytes[0]);
    }
}

// Driver threads append while the frame thread fetches: every message
// arrives once and each thread's messages stay in order (4 x 1000 messages
// never fill the queue, so none may be dropped).
TEST(MidiInput, ConcurrentAppendsAndFetchesLoseNothing) {
    constexpr uint32_t kThreads = 4, kPerThread = 1000;
    for (int round = 0; round < 20; ++round) {
        MidiInput midi;
        std::atomic<uint32_t> finished{0};
        std::vector<std::thread> producers;
        for (uint32_t t = 0; t < kThreads; ++t)
            producers.emplace_back([&midi, &finished, t] {
                for (uint32_t i = 0; i < kPerThread; ++i) midi.receive((t << 16) | i);
                finished.fetch_add(1);
            });
        uint32_t next[kThreads] = {}, total = 0;
        bool inOrder = true;
        auto drain = [&] {
            const int n = midi.fetch();
            for (int k = 0; k < n; ++k) {
                const uint32_t t = midi.events[k] >> 16, i = midi.events[k] & 0xFFFF;
                if (t >= kThreads || i != next[t]) inOrder = false;
                if (t < kThreads) next[t] = i + 1;
            }
            total += static_cast<uint32_t>(n);
        };
        while (finished.load() < kThreads) drain();
        for (auto& p : producers) p.join();
        drain();
        ASSERT_TRUE(inOrder) << "round " << round;
        ASSERT_EQ(total, kThreads * kPerThread) << "round " << round;
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
