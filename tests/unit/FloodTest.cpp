// Input floods and extreme controller values: what a flooding MIDI box, a
// performer mashing keys with the mouse anywhere, or a controller box with
// every fader at an end does to a running universe. None of it may crash,
// write past a fixed array, or send a non-finite number to OpenGL.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "GlFiniteCheck.h"
#include "GlTestContext.h"
#include "UniverseFixture.h"
#include "app/ControlTable.h"
#include "app/KeyBindings.h"
#include "input/MidiInput.h"
#include "reactor/Reactor.h"
#include "reactor/qelCell.h"
#include "tools/SgiWriter.h"

namespace {

// Every byte and float value of every entry of the table set as a MIDI
// control change with this value would set it.
void driveWholeTable(ControlTable& table, int value) {
    for (int i = 0; i < ControlTable::kEntries; ++i) {
        table.setByteAt(i, value);
        table.setFloatAt(i, static_cast<float>(value / 127.0));
    }
}

void raiseCells(ControlTable& table) {
    for (int c = 0; c < 11; ++c) {
        table.setByte(c, 0, 7, 127);
        table.setFloat(c, 0, 7, 1.0f);
    }
}

bool allCellsValid(const qelUnivCell& u) {
    if (u.cellCount != 11 || u.currentChannel < 0 || u.currentChannel > 15) return false;
    for (int c = 0; c < 11; ++c) {
        if (!u.cells[c] || u.cells[c]->reactorIndex < 0 || u.cells[c]->reactorIndex >= u.moduleCount) return false;
    }
    return true;
}

class Flood : public UniverseFixture {
protected:
    // A stage with a small image set of two sizes, a small model set and
    // the twelve modules.
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
        ASSERT_NE(universe, nullptr);
        ASSERT_EQ(universe->moduleCount, 12);
    }

    void frameAt(uint32_t millis) {
        setClock(millis);
        universe->frame();
    }
};

TEST_F(Flood, NonFiniteCheckSeesWhatTheDriverWouldDropQuietly) {
    // The check the tests below rely on. A NaN vertex never shows in the
    // picture (the driver drops the triangle), so it is caught on its way in.
    const MatrixDepths before = matrixDepths();
    NonFiniteGlCheck check;
    glBegin(GL_TRIANGLES);
    glVertex3f(0.0f, 0.0f, -1.0f);
    glVertex3f(0.5f, 0.0f, -1.0f);
    glVertex3f(0.0f, 0.5f, -1.0f);
    glEnd();
    EXPECT_EQ(check.calls(), 3);
    EXPECT_EQ(check.nonFinite(), 0);
    glPushMatrix();
    glRotatef(std::nanf(""), 0.0f, 0.0f, 1.0f);
    glPopMatrix();
    const GLfloat positions[] = {0.0f, 0.0f, -1.0f, INFINITY, 0.0f, -1.0f, 0.0f, 0.5f, -1.0f};
    const GLuint indices[] = {0, 1, 2};
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, positions);
    glDrawElements(GL_TRIANGLES, 3, GL_UNSIGNED_INT, indices);
    glDisableClientState(GL_VERTEX_ARRAY);
    EXPECT_EQ(check.nonFinite(), 2);
    EXPECT_STREQ(check.firstOffender(), "glRotatef");
    EXPECT_EQ(matrixDepths(), before);
}

TEST_F(Flood, HundredThousandMidiMessagesBetweenTwoFramesApplyTheOldest4096InOrder) {
    buildStage();
    universe->midiOn = true;
    frameAt(33);  // empties whatever the (absent) device queued

    // Message i writes channel i % 16, controller 32 + (i / 16) % 64: each of
    // those 1024 entries is written four times within the first 4096
    // messages, with values that rise from write to write, so the value left
    // in the table tells whether the last write came last. Every later
    // message writes 1 and must be dropped.
    constexpr int kMessages = 100000;
    auto message = [](int i) {
        const int channel = i % 16;
        const int controller = 32 + (i / 16) % 64;
        const int value = i < MidiInput::kQueueSize ? (i / 1024) * 40 + i % 7 : 1;
        return midiMessage(0xB0 | channel, controller, value);
    };
    std::thread sender([&] {
        for (int i = 0; i < kMessages; ++i) universe->midi->receive(message(i));
    });
    sender.join();

    frameAt(66);
    ASSERT_EQ(universe->midi->eventCount, MidiInput::kQueueSize);
    for (int i = 0; i < MidiInput::kQueueSize; ++i) ASSERT_EQ(universe->midi->events[i], message(i)) << i;
    for (int i = 3 * 1024; i < 4 * 1024; ++i) {
        const int channel = i % 16;
        const int controller = 32 + (i / 16) % 64;
        ASSERT_EQ(universe->controls->getByte(channel, 0, controller), 120 + i % 7) << channel << "/" << controller;
    }
    EXPECT_EQ(universe->currentChannel, (MidiInput::kQueueSize - 1) % 16);

    // The dropped messages do not come back at the next frame.
    frameAt(99);
    EXPECT_EQ(universe->midi->eventCount, 0);
    EXPECT_EQ(universe->controls->getByte(15, 0, 95), 120 + 4095 % 7);
}

TEST_F(Flood, MidiSentWhileFramesRunArrivesOnceEachAndInOrder) {
    buildStage();
    raiseCells(*universe->controls);
    universe->midiOn = true;
    // Each control change carries an 18-bit sequence number: the high bits
    // in the channel (0..6), the rest in data1 and data2. Within one fetch
    // the numbers must run without a gap or a repeat; a gap between two
    // fetches is allowed only after a full queue (the newest are dropped).
    constexpr int kMessages = 100000;
    auto message = [](int i) { return midiMessage(0xB0 | (i >> 14), (i >> 7) & 127, i & 127); };
    auto sequenceOf = [](uint32_t m) {
        return static_cast<int>((m & 15u) << 14 | ((m >> 8) & 127u) << 7 | ((m >> 16) & 127u));
    };
    // The sender pushes in bursts with short pauses, so that some frames
    // find a few messages and some a full queue.
    std::atomic<bool> done{false};
    std::thread sender([&] {
        for (int i = 0; i < kMessages; ++i) {
            universe->midi->receive(message(i));
            if (i % 2000 == 1999) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        done = true;
    });
    int next = 0;  // the sequence number that must come next
    bool lastFetchFull = false;
    long applied = 0;
    int fetches = 0;
    uint32_t clock = 0;
    std::string fault;
    for (;;) {
        const bool finished = done;  // read before the frame: nothing can arrive after it
        frameAt(clock += 16);
        const int count = universe->midi->eventCount;
        for (int k = 0; k < count && fault.empty(); ++k) {
            const int sequence = sequenceOf(universe->midi->events[k]);
            const bool gapAllowed = k == 0 && lastFetchFull;
            if (sequence < next || (sequence > next && !gapAllowed))
                fault = "fetch " + std::to_string(fetches) + " event " + std::to_string(k) + ": " +
                        std::to_string(sequence) + " where " + std::to_string(next) + " was due";
            next = sequence + 1;
        }
        applied += count;
        lastFetchFull = count == MidiInput::kQueueSize;
        ++fetches;
        if (!fault.empty() || (finished && count == 0) || fetches > 100000) break;
    }
    sender.join();
    EXPECT_EQ(fault, "");
    EXPECT_GT(applied, 0);
    EXPECT_LE(applied, kMessages);
    EXPECT_TRUE(allCellsValid(*universe));
}

TEST_F(Flood, EveryKeyAndCodeWithTheMouseAnywhere) {
    // Bindings to codes the handler has no use for: 0, negative, far beyond
    // the table, and the device toggles.
    loadKeys(*stage, "a 0\nb -5\nc 99999\nd 1023\ne 1024\nf 105\ng 107\ni 106\nj 12\nk 100\nl 103\n");
    buildStage();
    setUniverse(universe.get());

    const int positions[][2] = {{0, 0},     {639, 479}, {320, 240},       {-1, -1},        {640, 480},
                                {-100000, 7}, {7, 100000}, {INT_MAX, INT_MIN}, {INT_MIN, INT_MAX}};
    testing::internal::CaptureStdout();
    uint32_t clock = 0;
    for (const auto& p : positions) {
        for (int key = 0; key < 256; ++key) {
            if (key == 27) continue;  // Esc ends the process
            keyboardKey(static_cast<unsigned char>(key), p[0], p[1]);
        }
        for (int key = -300; key < 300; ++key) specialKey(key, p[0], p[1]);  // F1..F12, arrows, paging and beyond
        ASSERT_TRUE(allCellsValid(*universe));
        raiseCells(*universe->controls);
        frameAt(clock += 33);
    }
    for (int code = -1000; code <= 1000; ++code) {
        for (const auto& p : positions) universe->handleCode(code, p[0], p[1]);
        ASSERT_TRUE(allCellsValid(*universe)) << code;
        if (code % 100 == 0) {
            raiseCells(*universe->controls);
            frameAt(clock += 33);
        }
    }
    testing::internal::GetCapturedStdout();
    setUniverse(nullptr);

    // Whatever was written, every float value is finite and the universe
    // still draws every raised cell without a GL error or a stray matrix.
    for (int i = 0; i < ControlTable::kEntries; ++i) ASSERT_TRUE(std::isfinite(universe->controls->floatValue[i])) << i;
    universe->helpMode = false;
    universe->joystickOn = false;
    raiseCells(*universe->controls);
    const MatrixDepths before = matrixDepths();
    while (glGetError() != GL_NO_ERROR) {
    }
    NonFiniteGlCheck check;
    frameAt(clock += 33);
    EXPECT_GT(check.calls(), 0);
    EXPECT_EQ(check.nonFinite(), 0) << check.firstOffender();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_EQ(matrixDepths(), before);
}

TEST_F(Flood, EveryReactorWithEveryControllerAtBothEnds) {
    buildStage();
    ControlTable& table = *universe->controls;
    // Two rounds put every loader index into a cell: cell c holds index c,
    // then index (c + 11) % 12, so index 11 runs too and each reactor meets
    // two channels.
    for (int round = 0; round < 2; ++round) {
        for (int c = 0; c < 11; ++c) {
            const int index = round == 0 ? c : (c + 11) % 12;
            universe->cells[c]->setReactor(index, universe->moduleHelps[index].get());
        }
        for (int value : {0, 127, 0}) {
            universe->helpMode = value == 127;  // help pages drawn as well
            universe->helpPage = value == 127 ? 1000 : -1000;
            uint32_t clock = 1000;
            for (int frame = 0; frame < 10; ++frame) {
                driveWholeTable(table, value);
                raiseCells(table);
                // One long stall (a second) among the frames.
                clock += frame == 5 ? 1000 : 33;
                const MatrixDepths before = matrixDepths();
                NonFiniteGlCheck check;
                frameAt(clock);
                ASSERT_EQ(check.nonFinite(), 0) << "round " << round << " value " << value << " frame " << frame
                                                << ": " << check.firstOffender();
                ASSERT_GT(check.calls(), 0);
                ASSERT_EQ(matrixDepths(), before);
            }
            // The reactors' own state stays finite too: whatever they keep
            // for the next frame, the picture of the next frame is finite.
            const std::vector<uint8_t> picture = readScreen();
            EXPECT_GT(litPixels(picture), 0) << "round " << round << " value " << value;
        }
    }
    while (glGetError() != GL_NO_ERROR) {
    }
}

}  // namespace
