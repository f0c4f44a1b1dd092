#pragma once
#include <cstdint>

// A low-frequency oscillator on the musical clock: one cycle every
// periodBeats beats, shifted by phase (0..1 of a cycle). Its value 0..1 is
// a function of the clock's beat position only, so it keeps the tempo in
// silence and a re-render gives the same values at the same beats.
struct Lfo {
    enum class Shape : uint8_t { Sine, Triangle, Saw, Square, Random };
    static constexpr double kMinPeriod = 0.25;  // a sixteenth note
    static constexpr double kMaxPeriod = 64.0;  // sixteen bars

    Shape shape = Shape::Sine;
    double periodBeats = 4.0;
    double phase = 0.0;
    uint32_t seed = 1;  // the random steps' own sequence

    // Sine, triangle: 0 at the cycle's start, 1 halfway. Saw rises from 0 to
    // 1. Square: 1 in the first half. Random: a new value each cycle.
    float value(double beats) const;
};

// An envelope on pulses (onsets, beats): a trigger rises to 1 in attack
// milliseconds (at once when 0), then falls back to 0 in decay
// milliseconds, both straight lines.
struct Envelope {
    float attackMillis = 0.0f;
    float decayMillis = 100.0f;

    void trigger();
    // Moves on by millis; returns the value.
    float step(float millis);
    float value() const { return value_; }

private:
    float value_ = 0.0f;
    bool rising_ = false;
};
