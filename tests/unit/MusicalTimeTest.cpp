// Musical time: the sound map's grammar, the modulators, the clock's lead,
// the analysis on a drum loop and on sounds without a beat, and the routes
// an offline render computes from a wave file.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "AllocationCounter.h"
#include "GlTestContext.h"
#include "QuietRender.h"
#include "TempStage.h"
#include "app/ControlTable.h"
#include "app/FrameObserver.h"
#include "app/qelUnivCell.h"
#include "bench/DrumLoop.h"
#include "control/SoundMap.h"
#include "music/MusicalTime.h"
#include "show/OfflineRenderer.h"

namespace fs = std::filesystem;

// Each line read back as its fields, or the reason it was refused.
TEST(SoundMap, ReadsRoutesAndNamesWhatIsWrong) {
    const auto read = [](const char* line) {
        SoundRoute r;
        const char* why = "";
        if (!SoundMap::parseRoute(line, r, why)) return std::string(why);
        char text[160];
        std::snprintf(text, sizeof text, "%d %d %g %g %d %d %g %g %g %g %g", static_cast<int>(r.source),
                      static_cast<int>(r.lfo.shape), r.lfo.periodBeats, r.lfo.phase, r.target.channel, r.target.entry,
                      r.target.low, r.target.high, r.smoothMillis, r.envelope.attackMillis, r.envelope.decayMillis);
        return std::string(text);
    };
    const std::pair<const char*, const char*> cases[] = {
        {"beat -> selected 21 decay 200", "1 0 4 0 -1 21 0 1 0 0 200"},
        {"band low -> 2 22 range 0.3 0.9", "7 0 4 0 2 22 0.3 0.9 0 0 0"},
        {"lfo sine 1/2 -> 0 7 range 0.5 1", "11 0 2 0 0 7 0.5 1 0 0 0"},
        {"lfo random 16 phase 0.25 -> 3 9 smooth 50 # comment", "11 4 64 0.25 3 9 0 1 50 0 0"},
        {"onset -> 1 2 attack 5 curve exp", "0 0 4 0 1 2 0 1 0 5 100"},
        {"lfo saw 1/32 -> 0 7", "expected: lfo sine|triangle|saw|square|random <period in bars 1/16..16> [phase <0..1>]"},
        {"band bass -> 0 7", "band must be low, mid or high"},
        {"level -> 0 7 decay 10", "attack and decay shape pulses (onset, beat, bar)"},
        {"beat 0 7 1", "expected -> after the source"},
        {"tempo -> 16 7", "target channel must be 0..15 or selected"},
        {"phase -> 0 7 step 0.1", "unknown option (range, curve, smooth, attack, decay)"},
        {"beat -> 0 7 range 0.2", "range needs two numbers 0..1"},
        {"kick -> 0 7", "unknown source (onset, beat, bar, phase, barphase, tempo, confidence, band, level, lfo)"},
    };
    for (const auto& [line, expected] : cases) EXPECT_EQ(read(line), expected) << line;

    SoundMap map;
    const std::string said =
        captureStderr([&] { EXPECT_EQ(map.parseText("# routes\n\nbeat -> 0 7\nbeat -> 0\nlevel -> 1 7\n", "s.map"), 1); });
    EXPECT_EQ(said + std::to_string(map.count()), "s.map:4: expected: <source> -> <channel|selected> <entry> [options]\n2");
}

// Values along the beats, and an envelope's attack and decay.
TEST(Modulators, FollowTheBeatsAndTheirEnvelopes) {
    std::vector<float> got;
    for (const auto shape : {Lfo::Shape::Sine, Lfo::Shape::Triangle, Lfo::Shape::Saw, Lfo::Shape::Square})
        for (const double beats : {0.0, 1.0, 2.0, 3.0, 5.0}) got.push_back(Lfo{shape, 4.0, 0.0, 1}.value(beats));
    got.push_back(Lfo{Lfo::Shape::Saw, 2.0, 0.25, 1}.value(0.5));  // the phase offset moves the cycle on
    EXPECT_EQ(got, (std::vector<float>{0, 0.5f, 1, 0.5f, 0.5f, 0, 0.5f, 1, 0.5f, 0.5f, 0, 0.25f, 0.5f, 0.75f, 0.25f,
                                       1, 1, 0, 0, 1, 0.5f}));
    // Random steps hold for a cycle, differ between cycles and seeds, and come back the same.
    const Lfo a{Lfo::Shape::Random, 1.0, 0.0, 7}, b{Lfo::Shape::Random, 1.0, 0.0, 8};
    EXPECT_EQ(a.value(3.1), a.value(3.9));
    EXPECT_NE(a.value(3.1), a.value(4.1));
    EXPECT_NE(a.value(3.1), b.value(3.1));

    Envelope e;
    e.attackMillis = 20.0f, e.decayMillis = 100.0f;
    std::vector<float> steps;
    e.trigger();
    for (int i = 0; i < 5; ++i) steps.push_back(std::round(e.step(10.0f) * 1000.0f));
    for (int i = 0; i < 10; ++i) e.step(10.0f);
    steps.push_back(e.value());
    EXPECT_EQ(steps, (std::vector<float>{500, 1000, 900, 800, 700, 0}));
}

// Who leads: the confident detection, then a tap or a set tempo until the
// lead is handed back; an external leader; nudges.
TEST(MusicalClock, FollowsTheLeaderOfTheMoment) {
    MusicalClock c;
    std::vector<double> seen;
    const auto note = [&] { seen.insert(seen.end(), {c.bpm(), static_cast<double>(c.source())}); };
    c.detected(128.0, 0.0, false, true);  // not confident: ignored
    note();
    c.detected(128.0, 0.0, true, true);
    note();
    for (int i = 0; i < 4; ++i) {  // taps every 400 ms
        c.tap();
        c.advance(400.0);
    }
    note();
    seen.push_back(c.beatPhase());  // 400 ms after the last tap: a beat on
    c.detected(90.0, 0.5, true, true);
    note();  // the tap still leads
    c.setBpm(100.0);
    note();
    c.handBack();
    c.detected(90.0, 0.5, true, true);
    note();
    c.follow(ClockSource::Link, 140.0, 0.25);
    note();
    seen.push_back(c.beatPhase());
    c.nudge(0.125);
    seen.push_back(c.beatPhase());
    EXPECT_EQ(seen, (std::vector<double>{120, 0, 128, 0, 150, 1, 0, 150, 1, 100, 2, 90, 0, 140, 4, 0.25, 0.375}));
}

namespace {
SoundFeatures analyse(const TestSound& sound, int& confidentHops) {
    SoundAnalyser analyser;
    confidentHops = 0;
    for (size_t at = 0; at + 512 <= sound.bytes.size(); at += 512) {
        analyser.addBlock(&sound.bytes[at]);
        confidentHops += analyser.features().confident;
    }
    return analyser.features();
}
}  // namespace

// Loops give their tempo with confidence (the slowest and fastest on the
// right octave); noise and a chord give none.
TEST(SoundAnalyser, HearsTheTempoOfALoopAndNoneInNoiseOrAChord) {
    int confident = 0;
    for (const double bpm : {80.0, 120.0, 174.0}) {
        const SoundFeatures loop = analyse(drumLoop(bpm, 12.0), confident);
        EXPECT_GT(confident, 12 * 86 / 3) << bpm;  // confident for a third of the loop at least
        EXPECT_NEAR(loop.bpm, bpm, 1.0);
        EXPECT_NEAR(loop.onsets, std::floor(12.0 * bpm / 30.0), 2) << bpm;  // the eighths
        EXPECT_GT(loop.low * loop.level, 0.0f);
    }
    for (const TestSound& sound : {steadyNoise(12.0), heldChord(12.0)}) {
        analyse(sound, confident);
        EXPECT_EQ(confident, 0);
    }
}

namespace {
struct RouteWrites : FrameObserver {
    std::vector<int> indexes;
    void routedWrite(int index, int, float) override { indexes.push_back(index); }
};
}  // namespace

// The threaded analysis catches up with every block handed to it; a frame
// step and the routes allocate nothing; a beat pulses the selected channel's
// entry and decays; without routes nothing is written.
TEST(MusicalTime, RoutesPulsesIntoTheTableWithoutAllocating) {
    MusicalTime music(SoundAnalysis::Mode::Threaded);
    const TestSound sound = drumLoop(120.0, 1.0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (size_t at = 0; at + 512 <= sound.bytes.size(); at += 512) {
        music.sink().blockCaptured(&sound.bytes[at]);
        while (music.analysis().latest().hops < static_cast<int64_t>(at / 512) - 32 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    while (music.analysis().latest().hops < 86 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(music.analysis().latest().hops + music.analysis().dropped() * 1000, 86);

    SoundMap map, none;
    ASSERT_EQ(map.parseText("beat -> selected 21 decay 100\nlfo square 1/4 -> 0 7\n", "t"), 0);
    ControlTable table, untouched;
    RouteWrites writes;
    std::vector<float> pulse;
    pulse.reserve(40);
    writes.indexes.reserve(200);
    long allocations = 0;
    {
        CountAllocations counting;
        for (int frame = 0; frame < 40; ++frame) {  // 40 frames of 20 ms at 120 BPM: a beat every 25 frames
            music.frameStep(20.0);
            map.apply(music.frame(), table, 3, &writes);
            none.apply(music.frame(), untouched, 3, &writes);
            pulse.push_back(std::round(table.getFloat(3, 0, 21) * 1000.0f));
        }
        allocations = counting.count();
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ((std::vector<float>{pulse[23], pulse[24], pulse[25], pulse[26], pulse[30]}),
              (std::vector<float>{-1000, 1000, 600, 200, -1000}));  // the table's -1..1
    EXPECT_EQ(std::count(writes.indexes.begin(), writes.indexes.end(), ControlTable::indexOf(0, 0, 7)), 4);
    EXPECT_TRUE(std::equal(untouched.floatValue, untouched.floatValue + ControlTable::kEntries, ControlTable().floatValue));
}

// A script played with a wave file and a sound.map beside the stage: the
// routes write from the file's own analysis, the same on every render.
TEST(OfflineRenderer, RoutesTheWaveFilesAnalysisTheSameOnEveryRender) {
    ASSERT_TRUE(ensureGlContext());
    TempStage tmp{"sound-routes"};
    const fs::path stage = tmp.path() / "stage";
    fs::create_directories(stage);
    for (const auto& entry : fs::directory_iterator(STRATA_SOURCE_DIR "/tests/golden/stage"))
        fs::create_symlink(entry.path(), stage / entry.path().filename());
    std::ofstream(stage / "sound.map") << "level -> 0 40\nband low -> 0 41\nlfo saw 1/4 -> 0 42\n";
    std::vector<std::vector<float>> renders;
    for (int run = 0; run < 2; ++run) {
        resetGlState();
        RenderOptions options;
        options.directory = stage.string(), options.frames = 30;
        options.wavPath = STRATA_SOURCE_DIR "/tests/golden/sound.wav";
        OfflineRenderer renderer(options);
        ASSERT_TRUE(setUpQuietly(renderer));
        std::vector<float> values;
        while (renderQuietly(renderer))
            for (int entry : {40, 41, 42}) values.push_back(renderer.universe()->controls->getFloat(0, 0, entry));
        renders.push_back(values);
    }
    EXPECT_EQ(renders[0], renders[1]);
    ASSERT_EQ(renders[0].size(), 90u);
    EXPECT_GT(renders[0][87], -1.0f);  // the sound's level reached the table
    EXPECT_NE(renders[0][2], renders[0][89]);            // and the oscillator moved
}
