#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "operator/DeviceReport.h"
#include "operator/FrameStats.h"
#include "operator/LevelMeter.h"
#include "operator/OperatorOverlay.h"
#include "platform/FramePacer.h"

TEST(LevelMeter, PeakHoldsThenFallsButNeverBelowTheLevel) {
    LevelMeter meter;
    meter.update(0.8f, 0.016);
    EXPECT_FLOAT_EQ(meter.peak(), 0.8f);
    // Steps: level, seconds; then the expected level and peak.
    const struct { float level; double seconds; float shown, peak; } steps[] = {
        {0.1f, 1.0, 0.1f, 0.8f},    // held
        {0.1f, 0.4, 0.1f, 0.8f},    // 1.4 s: still held
        {0.1f, 0.2, 0.1f, 0.75f},   // 1.6 s: 0.1 s past the hold falls 0.05
        {0.1f, 1.0, 0.1f, 0.25f},   // falls 0.5 per second
        {0.1f, 1.0, 0.1f, 0.1f},    // stops at the level
        {0.6f, 0.0, 0.6f, 0.6f},    // a new peak
        {0.6f, 1.4, 0.6f, 0.6f},    // the level at the peak holds it anew
        {0.3f, 0.2, 0.3f, 0.6f},
        {2.0f, 0.01, 1.0f, 1.0f},   // clamped
        {-1.0f, 0.01, 0.0f, 1.0f},  // clamped, the peak held
    };
    for (const auto& s : steps) {
        meter.update(s.level, s.seconds);
        EXPECT_FLOAT_EQ(meter.level(), s.shown);
        EXPECT_NEAR(meter.peak(), s.peak, 1e-5);
    }
}

TEST(FrameStats, PublishesEachWholeSecond) {
    FrameStats stats;
    for (int i = 0; i < 59; ++i) stats.addFrame(16.0);
    EXPECT_FALSE(stats.ready());  // 944 ms
    stats.addFrame(56.0);         // one slow frame closes the second: 60 frames in 1000 ms
    ASSERT_TRUE(stats.ready());
    EXPECT_DOUBLE_EQ(stats.fps(), 60.0);
    EXPECT_DOUBLE_EQ(stats.meanMillis(), 1000.0 / 60);
    EXPECT_DOUBLE_EQ(stats.slowestMillis(), 56.0);
    for (int i = 0; i < 4; ++i) stats.addFrame(250.0);  // the slow frame belongs to the previous second
    EXPECT_DOUBLE_EQ(stats.fps(), 4.0);
    EXPECT_DOUBLE_EQ(stats.slowestMillis(), 250.0);
}

TEST(FramePacer, WaitsTheRestOfThePeriodWithoutCatchingUp) {
    // deadline before, now, period; then the wait and the deadline after.
    const struct { double deadline, now, period, wait, after; } cases[] = {
        {0, 5, 20, 15, 20},        // early: sleep the rest
        {20, 40, 20, 0, 40},       // exactly on time
        {40, 70, 20, 0, 60},       // a little late: no sleep, the next frame is shorter
        {60, 80, 20, 0, 80},       // a whole period late: still in step
        {80, 121, 20, 0, 121},     // more than a period late: count again from now
        {1000, 1001, 1000.0 / 60, 1000.0 / 60 - 1, 1000 + 1000.0 / 60},
    };
    for (const auto& c : cases) {
        double deadline = c.deadline;
        EXPECT_NEAR(FramePacer::plan(deadline, c.now, c.period), c.wait, 1e-9) << c.now;
        EXPECT_NEAR(deadline, c.after, 1e-9) << c.now;
    }
}

namespace {

OperatorOverlay::Snapshot twoLayers() {
    return {.layers = {{"Waver", 126}, {"ObjViewer", 10}}, .layerCount = 2, .selected = 1, .soundLevel = 0.5f,
            .sound = "default (ALSA), 22050 Hz, 2 channels", .midiOn = true, .midi = "Strata (virtual port)",
            .joystick = "/dev/input/js0", .trail = 0.5f, .images = "imgs2"};
}

std::string allText(const OperatorOverlay& o) {
    std::string text;
    for (int i = 0; i < o.rowCount(); ++i) text += std::string(o.row(i).text) + "\n";
    return text;
}

}  // namespace

// Layer rows (shown above 10, the selected marked, the bar at the opacity), devices and image set in words.
TEST(OperatorOverlay, RowsDescribeLayersAndDevices) {
    OperatorOverlay overlay;
    overlay.update(twoLayers(), 16.0);
    ASSERT_GE(overlay.rowCount(), 3);
    const OperatorOverlay::Row& first = overlay.row(1);
    const OperatorOverlay::Row& second = overlay.row(2);
    EXPECT_EQ(std::string(first.text) + "|" + second.text, "  1 Waver            shown  126|> 2 ObjViewer        hidden  10");
    EXPECT_TRUE(!first.highlight && second.highlight);
    EXPECT_FLOAT_EQ(first.bar, 126 / 127.0f);
    const std::string text = allText(overlay);
    for (const char* part : {"Sound    default (ALSA), 22050 Hz, 2 channels", "MIDI     on  Strata (virtual port)",
                             "Joystick off /dev/input/js0 (absent)", "Trail    0.50", "Help off",
                             "Images   layer 2: imgs2", "Level    0.50  peak 0.50"})
        EXPECT_NE(text.find(part), std::string::npos) << part << " not in\n" << text;
}

// The musical clock's row: tempo, the beat of the bar, who leads, what is heard, the analysis' cost.
TEST(OperatorOverlay, ShowsTheMusicalClock) {
    OperatorOverlay overlay;
    OperatorOverlay::Snapshot s = twoLayers();
    s.tempoShown = true, s.bpm = 128.0, s.beatPhase = 0.25, s.barPhase = 0.6, s.clockSource = "tap";
    s.detectedBpm = 127.5f, s.analysisShare = 0.004f;
    overlay.update(s, 16.0);
    const std::string text = allText(overlay);
    EXPECT_NE(text.find("Tempo    128.0 BPM ..*.  tap        heard 127.5?  cpu 0.4%\n"), std::string::npos) << text;
}

// One line per change of a device and none without (start lines: tests/e2e).
TEST(DeviceReport, OneLinePerChangeOfADevice) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&buffer, &size);
    DeviceReport report(out);
    DeviceReport::Status status{.sound = WaveInput::State::Live};
    report.printStart(status, "default (ALSA), 22050 Hz, 2 channels", "no sequencer", "/dev/input/js0");
    std::fflush(out);
    const size_t start = size;
    report.printChanges(status, "x", "/dev/input/js0");  // nothing changed
    status = {.sound = WaveInput::State::Lost, .joystickConnected = true};
    report.printChanges(status, "x", "/dev/input/js0");
    status = {.sound = WaveInput::State::Live};
    report.printChanges(status, "hw:1,0 (ALSA), 22050 Hz, 2 channels", "/dev/input/js0");
    std::fclose(out);
    EXPECT_EQ(std::string(buffer + start, size - start),
              "strata: sound: lost; levels read 0, trying again every second\n"
              "strata: joystick: back: /dev/input/js0\n"
              "strata: sound: back: hw:1,0 (ALSA), 22050 Hz, 2 channels\n"
              "strata: joystick: lost (/dev/input/js0); looking for it every second\n");
    std::free(buffer);
}
