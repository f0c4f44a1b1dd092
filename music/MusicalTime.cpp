#include "music/MusicalTime.h"

MusicalTime::MusicalTime(SoundAnalysis::Mode mode) : analysis_(mode) {}

void MusicalTime::tapNow() {
    const auto now = std::chrono::steady_clock::now();
    const double later = stepped_.time_since_epoch().count() == 0
                             ? 0.0
                             : std::chrono::duration<double, std::milli>(now - stepped_).count();
    clock_.tap(later);
}

void MusicalTime::frameStep(double frameMillis) {
    stepped_ = std::chrono::steady_clock::now();
    const SoundFeatures& sound = analysis_.latest();
    frame_.sound = sound;
    frame_.onset = sound.onsets != seenOnsets_;
    const bool newBeat = sound.beats != seenBeats_;
    seenOnsets_ = sound.onsets;
    seenBeats_ = sound.beats;

    clock_.advance(frameMillis);
    clock_.detected(sound.bpm, sound.beatPhase, sound.confident, newBeat);
    // A phase pulled back over a beat does not pulse that beat twice.
    const int64_t beat = clock_.beatCount();
    frame_.beat = beat > pulsedBeat_;
    frame_.bar = frame_.beat && beat % 4 == 0;
    if (frame_.beat) pulsedBeat_ = beat;
    frame_.bpm = clock_.bpm();
    frame_.beatPhase = clock_.beatPhase();
    frame_.barPhase = clock_.barPhase();
    frame_.beats = clock_.beats();
    frame_.source = clock_.source();
    frame_.millis = frameMillis;
}
