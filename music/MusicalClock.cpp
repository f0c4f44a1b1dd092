#include "music/MusicalClock.h"

#include <algorithm>
#include <cmath>

namespace {
double clampBpm(double bpm) { return std::clamp(bpm, MusicalClock::kMinBpm, MusicalClock::kMaxBpm); }
// The phase error, wrapped into -0.5..0.5 beats.
double wrapped(double d) { return d - std::floor(d + 0.5); }
// Each detected beat closes this share of the phase error: a few beats
// settle it without a visible jump.
constexpr double kPhasePull = 0.3;
}  // namespace

const char* clockSourceName(ClockSource source) {
    switch (source) {
        case ClockSource::Detected: return "detected";
        case ClockSource::Tap: return "tap";
        case ClockSource::Fixed: return "fixed";
        case ClockSource::MidiClock: return "midi clock";
        case ClockSource::Link: return "link";
    }
    return "?";
}

void MusicalClock::advance(double millis) {
    if (!(millis > 0.0)) return;
    millis_ += millis;
    beats_ += millis * bpm_ / 60000.0;
}

void MusicalClock::detected(double bpm, double beatPhase, bool confident, bool newBeat) {
    if (source_ != ClockSource::Detected || !confident || !(bpm > 0.0)) return;
    bpm_ = clampBpm(bpm);
    if (newBeat) beats_ += kPhasePull * wrapped(beatPhase - this->beatPhase());
}

void MusicalClock::follow(ClockSource source, double bpm, double beatPhase) {
    if (!(bpm > 0.0) || !std::isfinite(beatPhase)) return;
    source_ = source;
    bpm_ = clampBpm(bpm);
    setPhase(beatPhase - std::floor(beatPhase));
}

void MusicalClock::setPhase(double phase) { beats_ += wrapped(phase - beatPhase()); }

void MusicalClock::tap(double laterMillis) {
    const double at = millis_ + std::clamp(laterMillis, 0.0, 1000.0);
    if (tapCount_ > 0 && at - taps_[tapCount_ - 1] > kTapGapMillis) tapCount_ = 0;
    if (tapCount_ == 8) {
        std::copy(taps_ + 1, taps_ + 8, taps_);
        --tapCount_;
    }
    taps_[tapCount_++] = at;
    if (tapCount_ >= 2) bpm_ = clampBpm(60000.0 * (tapCount_ - 1) / (taps_[tapCount_ - 1] - taps_[0]));
    // The beat lands on the tap, which lies laterMillis after the clock's time.
    setPhase(-(at - millis_) * bpm_ / 60000.0);
    source_ = ClockSource::Tap;
}

void MusicalClock::setBpm(double bpm) {
    if (!std::isfinite(bpm)) return;
    bpm_ = clampBpm(bpm);
    source_ = ClockSource::Fixed;
}

void MusicalClock::nudge(double beats) {
    if (std::isfinite(beats)) beats_ += std::clamp(beats, -0.5, 0.5);
}

void MusicalClock::handBack() {
    source_ = ClockSource::Detected;
    tapCount_ = 0;
}

double MusicalClock::beatPhase() const { return beats_ - std::floor(beats_); }

double MusicalClock::barPhase() const { return std::fmod(beats_, 4.0) / 4.0; }

int64_t MusicalClock::beatCount() const { return static_cast<int64_t>(std::floor(beats_)); }
