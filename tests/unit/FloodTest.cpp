// MIDI input, floods and extreme controller values: none may crash, write past
// a fixed array, or send a non-finite number to OpenGL.
#include "input/MidiInput.h"
#include "input/RtMidiPort.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "GlFiniteCheck.h"
#include "GlTestContext.h"
#include "UniverseFixture.h"
#include "app/ControlTable.h"
#include "reactor/Reactor.h"
#include "reactor/qelCell.h"
#include "tools/SgiWriter.h"

namespace {

// Every entry as a MIDI control change of this value sets it, the eleven cells raised.
void driveTable(ControlTable& table, int value) {
    for (int i = 0; i < ControlTable::kEntries; ++i) {
        table.setByteAt(i, value);
        table.setFloatAt(i, static_cast<float>(value / 127.0));
    }
    for (int c = 0; c < 11; ++c) table.setByte(c, 0, 7, 127), table.setFloat(c, 0, 7, 1.0f);
}

class Flood : public UniverseFixture {
protected:
    // A small image set of two sizes, one model, the twelve modules.
    void buildStage() {
        stage->makeDirectory("imgs");
        ASSERT_TRUE(writeSolidSgi("imgs/a.rgb", 16, 16, 200, 40, 40));
        ASSERT_TRUE(writeSolidSgi("imgs/b.rgb", 16, 16, 40, 200, 40));
        ASSERT_TRUE(writeSolidSgi("imgs/c.rgb", 32, 8, 40, 40, 200));
        stage->write("mdls/cube.obj",
                     "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\n"
                     "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\nvn 0 0 -1\n"
                     "f 5/1/1 6/2/1 7/3/1 8/4/1\nf 1/1/2 4/2/2 3/3/2 2/4/2\nf 1 2 6 5\nf 2 3 7 6\nf 3 4 8 7\nf 4 1 5 8\n");
        build();
        ASSERT_EQ(universe->moduleCount, 12);
    }
    void frameAt(uint32_t millis) {
        setClock(millis);
        universe->frame();
    }
    // "" when a frame draws with no non-finite number, GL error or stray matrix.
    std::string cleanFrame(uint32_t millis) {
        while (glGetError() != GL_NO_ERROR) {
        }
        const MatrixDepths before = matrixDepths();
        NonFiniteGlCheck check;
        frameAt(millis);
        if (check.nonFinite() || check.calls() == 0) return std::string("non-finite: ") + check.firstOffender();
        return glGetError() != GL_NO_ERROR ? "GL error" : matrixDepths() != before ? "matrix stack" : "";
    }
};

TEST_F(Flood, HundredThousandMidiMessagesBetweenTwoFramesApplyTheOldest4096InOrder) {
    buildStage();
    universe->midiOn = true;
    frameAt(33);  // empties whatever the (absent) device queued
    // Message i writes entry (i % 16, 32 + (i / 16) % 64) four times in the first
    // 4096, with rising values so the last write shows; every later one writes 1.
    auto message = [](int i) {
        const int value = i < MidiInput::kQueueSize ? (i / 1024) * 40 + i % 7 : 1;
        return midiMessage(0xB0 | (i % 16), 32 + (i / 16) % 64, value);
    };
    std::thread([&] {
        for (int i = 0; i < 100000; ++i) universe->midi->receive(message(i));
    }).join();
    frameAt(66);
    ASSERT_EQ(universe->midi->eventCount, MidiInput::kQueueSize);
    for (int i = 0; i < MidiInput::kQueueSize; ++i) ASSERT_EQ(universe->midi->events[i], message(i)) << i;
    for (int i = 3 * 1024; i < 4 * 1024; ++i)
        ASSERT_EQ(universe->controls->getByte(i % 16, 0, 32 + (i / 16) % 64), 120 + i % 7) << i;
    EXPECT_EQ(universe->currentChannel, (MidiInput::kQueueSize - 1) % 16);
    frameAt(99);  // the dropped messages do not come back
    EXPECT_EQ(universe->midi->eventCount, 0);
    EXPECT_EQ(universe->controls->getByte(15, 0, 95), 120 + 4095 % 7);
}

// Every loader index in every cell, every controller at 0, 127 (help pages drawn), 0; one long stall.
TEST_F(Flood, EveryReactorWithEveryControllerAtBothEnds) {
    buildStage();
    for (const int round : {0, 1}) {
        for (int c = 0; c < 11; ++c) {
            const int index = round == 0 ? c : (c + 11) % 12;
            universe->cells[c]->setReactor(index, universe->moduleHelps[index].get());
        }
        for (const int value : {0, 127, 0}) {
            SCOPED_TRACE("round " + std::to_string(round) + " value " + std::to_string(value));
            universe->helpMode = value == 127;
            universe->helpPage = value == 127 ? 1000 : -1000;
            for (uint32_t frame = 0, clock = 1000; frame < 10; ++frame) {
                driveTable(*universe->controls, value);
                ASSERT_EQ(cleanFrame(clock += frame == 5 ? 1000 : 33), "") << "frame " << frame;
            }
            EXPECT_GT(litPixels(readScreen()), 0);  // what the reactors kept stays finite too
        }
    }
}

// Four driver threads send in bursts while frames run: each thread's messages arrive once each and in
// order; a sequence may skip only after a fetch found the queue full (the newest are dropped then).
TEST_F(Flood, MidiFromFourThreadsWhileFramesRunArrivesOnceEachAndInOrder) {
    buildStage();  // no cell raised: frames are quick, so that many fetches meet the senders
    universe->midiOn = true;
    // A message carries its thread in the top two of 18 bits (the channel's
    // high bits) and its sequence number in the other 16.
    constexpr int kThreads = 4, kPerThread = 25000;
    auto message = [](int t, int i) {
        const int n = t << 16 | i;
        return midiMessage(0xB0 | n >> 14, (n >> 7) & 127, n & 127);
    };
    std::atomic<int> finished{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t)
        senders.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                universe->midi->receive(message(t, i));
                if (i % 500 == 499) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            ++finished;
        });
    int next[kThreads] = {};
    bool fullSince[kThreads] = {};
    long applied = 0;
    int busyFetches = 0;  // fetches that found something: a loss shows only in a later one
    uint32_t clock = 0;
    std::string fault;
    for (int fetches = 0; fault.empty() && fetches < 100000; ++fetches) {
        const bool done = finished == kThreads;  // read before the frame: nothing can arrive after it
        frameAt(clock += 16);
        const int count = universe->midi->eventCount;
        for (int k = 0; k < count && fault.empty(); ++k) {
            const uint32_t m = universe->midi->events[k];
            const int n = static_cast<int>((m & 15u) << 14 | ((m >> 8) & 127u) << 7 | ((m >> 16) & 127u));
            const int t = n >> 16, i = n & 0xFFFF;
            if (t >= kThreads || i < next[t] || (i > next[t] && !fullSince[t]))
                fault = "fetch " + std::to_string(fetches) + ": " + std::to_string(n) + " out of turn";
            else
                next[t] = i + 1, fullSince[t] = false;
        }
        applied += count;
        busyFetches += count > 0;
        if (count == MidiInput::kQueueSize) std::fill(std::begin(fullSince), std::end(fullSince), true);
        if (done && count == 0) break;
    }
    for (auto& s : senders) s.join();
    EXPECT_EQ(fault, "");
    EXPECT_GE(busyFetches, 3);
}

}  // namespace

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
