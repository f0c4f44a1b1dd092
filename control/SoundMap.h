#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "control/MidiMap.h"
#include "music/Modulators.h"

class ControlTable;
class FrameObserver;
struct MusicFrame;

// One line of sound.map: a source of musical time and the entry it writes.
struct SoundRoute {
    enum class Source : uint8_t {
        Onset, Beat, Bar,              // pulses, shaped by an envelope
        BeatPhase, BarPhase,           // the clock's phases 0..1
        Tempo, Confidence,             // clock tempo 60..180 BPM as 0..1; the detection's confidence
        Low, Mid, High, Level,         // the analysis' bands and level
        Lfo,                           // a beat-synced oscillator
    };
    Source source = Source::Beat;
    Lfo lfo;
    // Target channel (or selected), entry, range and curve as in midi.map.
    MidiMapping target;
    float smoothMillis = 0.0f;  // a one-pole smoothing of the value (0: none)
    Envelope envelope;          // pulses only
    bool pulse() const { return source <= Source::Bar; }
};

// Routes of musical time into the controller table, read from sound.map in
// the working directory (the user's directory on stage). Without the file
// nothing is written. One route a line, '#' starts a comment:
//   <source> -> <channel 0..15 | selected> <entry 0..1023> [options]
//   sources: onset | beat | bar | phase | barphase | tempo | confidence
//            | band low|mid|high | level
//            | lfo sine|triangle|saw|square|random <period in bars: 1/16..16> [phase <0..1>]
//   options: range <low> <high>, curve linear|exp|log (as in midi.map),
//            smooth <ms>, and for onset, beat and bar: attack <ms>, decay <ms>
// A bad line gives one line on standard error naming the file and line.
class SoundMap {
public:
    static constexpr int kMaxRoutes = 64;
    static constexpr int kMaxLine = 256;
    static constexpr const char* kFileName = "sound.map";

    // Reads the file (missing: no routes); returns the number of bad lines.
    int readFile(const char* path);
    int parseText(std::string_view text, const char* name);
    // One route; false with why set on error. lineNumber seeds a random LFO.
    static bool parseRoute(std::string_view line, SoundRoute& route, const char*& why, int lineNumber = 1);

    int count() const { return count_; }
    const SoundRoute& route(int i) const { return routes_[i].r; }

    // The frame's control step: writes each route's value (byte and float as
    // a MIDI mapping writes them) where it changed, and shows each write to
    // observer (the show recorder).
    void apply(const MusicFrame& frame, ControlTable& table, int selectedChannel, FrameObserver* observer);

private:
    struct Slot {
        SoundRoute r;
        float smoothed;
    };
    Slot routes_[kMaxRoutes];
    int count_ = 0;
};
