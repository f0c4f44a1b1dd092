#pragma once
#include <chrono>
#include <cstdint>
#include <memory>

#include "music/MusicalClock.h"
#include "music/SoundAnalysis.h"
#include "music/SoundFeatures.h"

// What one frame knows of musical time: the analysis as the frame read it,
// the pulses since the previous frame and the clock.
struct MusicFrame {
    SoundFeatures sound;
    bool onset = false;  // an onset was detected since the previous frame
    bool beat = false;   // the clock passed a beat since the previous frame
    bool bar = false;    // ... a bar (every fourth beat)
    double bpm = MusicalClock::kStartBpm;
    double beatPhase = 0.0;
    double barPhase = 0.0;
    double beats = 0.0;
    ClockSource source = ClockSource::Detected;
    double millis = 0.0;  // the frame's time
};

// Musical time for the frame: the analysis of the sound stream (give
// sink() to WaveInput::setAnalysisSink) and the musical clock it drives.
// frameStep runs once per frame on the frame thread; it never waits.
class MusicalTime {
public:
    explicit MusicalTime(SoundAnalysis::Mode mode);

    SoundStreamSink& sink() { return analysis_; }
    SoundAnalysis& analysis() { return analysis_; }
    MusicalClock& clock() { return clock_; }

    // Reads the newest analysis, lets the detection steer the clock and
    // moves the clock on by the frame's time.
    void frameStep(double frameMillis);
    const MusicFrame& frame() const { return frame_; }
    // A tap now (a key between frames, or a command in the frame): placed by
    // the wall clock since the last frameStep.
    void tapNow();

private:
    SoundAnalysis analysis_;
    MusicalClock clock_;
    MusicFrame frame_;
    int64_t seenOnsets_ = 0;
    int64_t seenBeats_ = 0;
    int64_t pulsedBeat_ = 0;
    std::chrono::steady_clock::time_point stepped_{};  // the last beat that pulsed
};
