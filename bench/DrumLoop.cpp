#include "bench/DrumLoop.h"

#include <algorithm>
#include <cmath>

#include "platform/HashBits.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;

double noise(uint32_t i, uint32_t seed) { return (static_cast<int>(mixBits(i ^ mixBits(seed)) & 0xFFFF) - 32768) / 32768.0; }

void store(TestSound& s, size_t i, double left, double right) {
    s.bytes[2 * i] = static_cast<uint8_t>(std::lround(std::clamp(left, -1.0, 1.0) * 127.0) + 128);
    s.bytes[2 * i + 1] = static_cast<uint8_t>(std::lround(std::clamp(right, -1.0, 1.0) * 127.0) + 128);
}

}  // namespace

TestSound drumLoop(double bpm, double seconds, uint32_t seed) {
    TestSound s;
    const size_t frames = static_cast<size_t>(seconds * TestSound::kRate);
    s.bytes.resize(frames * 2);
    const double beat = 60.0 / bpm;
    static const double kBass[4] = {55.0, 65.41, 49.0, 73.42};
    for (int b = 0; b * beat < seconds; ++b) {
        s.beats.push_back(b * beat);
        s.onsets.push_back(b * beat);
        if ((b + 0.5) * beat < seconds) s.onsets.push_back((b + 0.5) * beat);
    }
    double hp = 0.0, previous = 0.0;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / TestSound::kRate;
        const int n = static_cast<int>(t / beat);
        const double inBeat = t - n * beat;
        const double inEighth = std::fmod(t, beat / 2);
        const double kick = std::exp(-inBeat * 20.0) * std::sin(kTwoPi * (50.0 * inBeat + 3.0 * (1.0 - std::exp(-inBeat * 40.0))));
        const double white = noise(static_cast<uint32_t>(i), seed);
        hp = white - previous;  // a crude high pass for the hat
        previous = white;
        const double hat = std::exp(-inEighth * 70.0) * hp * 0.5;
        const double snare =
            n % 2 == 1 ? std::exp(-inBeat * 25.0) * (0.6 * white + 0.4 * std::sin(kTwoPi * 185.0 * inBeat)) : 0.0;
        const double bass = std::exp(-inBeat * 5.0) * std::sin(kTwoPi * kBass[(n / 4) % 4] * t);
        const double floor = 0.02 * noise(static_cast<uint32_t>(i) + 0x9e3779b9U, seed);
        const double mix = 0.5 * kick + 0.25 * snare + 0.3 * hat + 0.2 * bass + floor;
        store(s, i, mix, mix * 0.9);
    }
    return s;
}

TestSound steadyNoise(double seconds, uint32_t seed) {
    TestSound s;
    const size_t frames = static_cast<size_t>(seconds * TestSound::kRate);
    s.bytes.resize(frames * 2);
    for (size_t i = 0; i < frames; ++i)
        store(s, i, 0.3 * noise(static_cast<uint32_t>(i), seed), 0.3 * noise(static_cast<uint32_t>(i), seed + 1));
    return s;
}

TestSound heldChord(double seconds) {
    TestSound s;
    const size_t frames = static_cast<size_t>(seconds * TestSound::kRate);
    s.bytes.resize(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / TestSound::kRate;
        const double v = 0.2 * (std::sin(kTwoPi * 220.0 * t) + std::sin(kTwoPi * 277.18 * t) + std::sin(kTwoPi * 329.63 * t));
        store(s, i, v, v);
    }
    return s;
}
