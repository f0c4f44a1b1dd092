#pragma once
#include <cstdint>

// Who leads the musical clock.
enum class ClockSource : uint8_t {
    Detected,   // the tempo and beats heard in the sound (the default)
    Tap,        // the operator's taps
    Fixed,      // a tempo set by number (/strata/tempo)
    MidiClock,  // 24 pulses a quarter note from the MIDI input
    Link,       // a network session of other machines
};
constexpr int kClockSources = 5;
// "detected", "tap", "fixed", "midi clock", "link".
const char* clockSourceName(ClockSource source);

// The musical clock: a tempo and a position in beats that runs on the frame
// time, so it keeps the tempo through a silent passage. By default it
// follows the detected tempo whenever the detection is confident and pulls
// its phase onto the detected beats; a tap or a set tempo takes the lead
// until handBack(). An external leader (MIDI clock, Link) drives it with
// follow() once per frame, before advance.
class MusicalClock {
public:
    static constexpr double kMinBpm = 20.0;
    static constexpr double kMaxBpm = 300.0;
    static constexpr double kStartBpm = 120.0;
    // Taps further apart than this start a new count.
    static constexpr double kTapGapMillis = 2000.0;

    // Moves the clock on by millis at its tempo.
    void advance(double millis);
    // The detection's latest reading; newBeat: a beat was detected since the
    // last call. Used only while the detection leads.
    void detected(double bpm, double beatPhase, bool confident, bool newBeat);
    // An external leader's tempo and beat phase (0..1) for this frame: it
    // takes the lead (Detected hands it back). The phase is taken as is, the
    // whole beats keep counting.
    void follow(ClockSource source, double bpm, double beatPhase);
    // A tap at the clock's own time: the beat lands on it; two taps or more
    // within kTapGapMillis of each other give the tempo. The tap leads.
    // laterMillis: how long after the clock's last advance the tap came.
    void tap(double laterMillis = 0.0);
    // A fixed tempo, which leads.
    void setBpm(double bpm);
    // Moves the phase by beats (a fraction, either way) without changing the
    // tempo or the leader.
    void nudge(double beats);
    // The detection leads again.
    void handBack();

    double bpm() const { return bpm_; }
    double beats() const { return beats_; }  // beats since the start
    double beatPhase() const;                 // 0..1
    double barPhase() const;                  // 0..1 over four beats
    int64_t beatCount() const;                // whole beats since the start
    ClockSource source() const { return source_; }
    double millis() const { return millis_; }

private:
    void setPhase(double phase);

    double bpm_ = kStartBpm;
    double beats_ = 0.0;
    double millis_ = 0.0;
    ClockSource source_ = ClockSource::Detected;
    double taps_[8] = {};
    int tapCount_ = 0;
};
