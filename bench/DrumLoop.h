#pragma once
#include <cstdint>
#include <vector>

// Test sounds for the sound analysis, in the capture's own format
// (interleaved unsigned 8-bit stereo at 22 050 Hz), with the truth they hold.
struct TestSound {
    static constexpr int kRate = 22050;
    std::vector<uint8_t> bytes;
    std::vector<double> beats;   // seconds of every beat
    std::vector<double> onsets;  // seconds of every drum hit (kick, snare, hat)
};

// A drum loop: a kick on every beat, a snare on beats 2 and 4, a hi-hat on
// the eighths, a plucked bass line on the beats and a quiet noise floor.
// The same arguments give the same bytes.
TestSound drumLoop(double bpm, double seconds, uint32_t seed = 1);
// Sounds without a beat: steady noise, and a held chord.
TestSound steadyNoise(double seconds, uint32_t seed = 1);
TestSound heldChord(double seconds);
