#pragma once
#include <cstdint>

#include "music/SoundFeatures.h"

// The analysis itself, one capture block (256 unsigned 8-bit stereo frames
// at 22 050 Hz) per hop, on whatever thread calls it: onsets, beats and
// tempo from aubio, three band energies (below 200 Hz, to 2 kHz, above)
// with automatic gain and the RMS level. The same blocks give the same
// features on every run. Allocates only when built.
class SoundAnalyser {
public:
    static constexpr int kHop = 256;
    static constexpr int kWindow = 1024;
    static constexpr int kRate = 22050;

    SoundAnalyser();
    ~SoundAnalyser();
    SoundAnalyser(const SoundAnalyser&) = delete;
    SoundAnalyser& operator=(const SoundAnalyser&) = delete;

    // One block of kHop interleaved stereo bytes (128 is silence).
    void addBlock(const uint8_t* block);
    // One hop of mono samples in -1..1.
    void addSamples(const float* samples);
    const SoundFeatures& features() const { return features_; }
    // Stream time of the last detected onset and beat, in samples (-1: none).
    int64_t lastOnsetSample() const { return lastOnset_; }
    int64_t lastBeatSample() const { return lastBeat_; }

private:
    struct Aubio;
    Aubio* aubio_;
    float gain_[3] = {1e-6f, 1e-6f, 1e-6f};  // the bands' slowly falling peaks
    float beatIntervals_[8] = {};               // the latest beat intervals, in samples
    int intervalCount_ = 0;
    int64_t lastOnset_ = -1;
    int64_t lastBeat_ = -1;
    SoundFeatures features_;
};
