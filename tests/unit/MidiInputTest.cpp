#include "input/MidiInput.h"
#include "input/RtMidiPort.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {
bool pack(std::initializer_list<unsigned char> bytes, uint32_t& packed) {
    std::vector<unsigned char> v(bytes);
    return packShortMessage(v.data(), v.size(), packed);
}
}  // namespace

TEST(MidiPacking, ShortMessagesPackStatusData1Data2) {
    uint32_t m = 0xFFFFFFFF;
    ASSERT_TRUE(pack({0xB3, 7, 100}, m));
    EXPECT_EQ(m, 0x006407B3u);
    ASSERT_TRUE(pack({0xC5, 12}, m));  // program change: one data byte
    EXPECT_EQ(m, 0x00000CC5u);
    ASSERT_TRUE(pack({0xE0, 0x01, 0x40}, m));
    EXPECT_EQ(m, 0x004001E0u);
    ASSERT_TRUE(pack({0xF2, 0x10, 0x20}, m));  // song position is kept
    EXPECT_EQ(m, 0x002010F2u);
}

TEST(MidiPacking, SysexTimingSensingAndFragmentsAreIgnored) {
    uint32_t m = 0x12345678;
    EXPECT_FALSE(pack({0xF0, 0x7E, 0x00, 0x09, 0x01, 0xF7}, m));
    EXPECT_FALSE(pack({0xF7}, m));
    EXPECT_FALSE(pack({0xF8}, m));  // timing clock
    EXPECT_FALSE(pack({0xFA}, m));  // start
    EXPECT_FALSE(pack({0xFE}, m));  // active sensing
    EXPECT_FALSE(pack({0x40, 0x7F}, m));
    EXPECT_FALSE(packShortMessage(nullptr, 0, m));
    EXPECT_EQ(m, 0x12345678u);
}

TEST(MidiQueue, FetchHandsOverInOrderAndEmptiesTheQueue) {
    MidiInput midi;
    EXPECT_EQ(midi.fetch(), 0);
    midi.receive(0x006407B3);
    midi.receive(0x000A0190);
    ASSERT_EQ(midi.fetch(), 2);
    EXPECT_EQ(midi.eventCount, 2);
    EXPECT_EQ(midi.events[0], 0x006407B3u);
    EXPECT_EQ(midi.events[1], 0x000A0190u);
    // A second fetch without new messages hands over nothing.
    EXPECT_EQ(midi.fetch(), 0);
    EXPECT_EQ(midi.eventCount, 0);
    midi.receive(0x42);
    ASSERT_EQ(midi.fetch(), 1);
    EXPECT_EQ(midi.events[0], 0x42u);
}

TEST(MidiQueue, OverflowKeepsTheOldest4096InOrder) {
    MidiInput midi;
    for (uint32_t i = 0; i < 5000; ++i) midi.receive(i);
    ASSERT_EQ(midi.fetch(), MidiInput::kQueueSize);
    for (int i = 0; i < MidiInput::kQueueSize; ++i) ASSERT_EQ(midi.events[i], static_cast<uint32_t>(i));
    EXPECT_EQ(midi.fetch(), 0);
    // Room again after the fetch.
    midi.receive(7000);
    ASSERT_EQ(midi.fetch(), 1);
    EXPECT_EQ(midi.events[0], 7000u);
}

// Driver threads appending while the frame thread fetches: every message
// arrives exactly once and each thread's messages stay in order. 4 x 1000
// messages never fill the queue, so none may be dropped.
TEST(MidiQueue, ConcurrentAppendsAndFetchesLoseNothing) {
    constexpr int kThreads = 4;
    constexpr uint32_t kPerThread = 1000;
    for (int round = 0; round < 20; ++round) {
        MidiInput midi;
        std::atomic<int> finished{0};
        std::vector<std::thread> producers;
        for (int t = 0; t < kThreads; ++t) {
            producers.emplace_back([&midi, &finished, t] {
                for (uint32_t i = 0; i < kPerThread; ++i) midi.receive((static_cast<uint32_t>(t) << 16) | i);
                finished.fetch_add(1);
            });
        }
        uint32_t next[kThreads] = {};
        uint32_t total = 0;
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

TEST(MidiDevice, NoSequencerReportsNothing) {
    if (::access("/dev/snd/seq", F_OK) == 0) GTEST_SKIP() << "this machine has a MIDI sequencer";
    MidiInput midi;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    midi.open();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(err, "");
    EXPECT_FALSE(midi.connected());
    EXPECT_EQ(midi.fetch(), 0);
}
