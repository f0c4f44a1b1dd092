#pragma once
#include <cstdint>

#include "music/SoundFeatures.h"

// The analysis itself, one capture block (256 unsigned 8-bit stereo frames
// at 22 050 Hz) per hop, on whatever thread calls it: onsets (aubio's
// spectral flux, picked in the hop it ends), beats and tempo (aubio's beat
// tracker, set on the right octave and fitted), three band energies (below 200 Hz, to 2 kHz, above)
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
    static constexpr int kLowHistory = 1024;  // hops of low-band energy kept (about 12 s)
    static constexpr int kBeatHistory = 16;
    static constexpr int kOnsetHistory = 64;
    static constexpr int kOnsetWindow = 512;
    static constexpr int kFluxHistory = 16;

    struct Aubio;
    // The tracker's beat at sample `at` with its period: decides whether it
    // tracks the tempo, half or double it, and emits the beats that follow.
    void trackerBeat(int64_t at, float period);
    void emitBeat(int64_t at);
    // The loudest low-band energy from a hop before sample `at` to three
    // after (the spectrum's window shows a hit late).
    float lowAround(int64_t at) const;
    void updateConfidence(int64_t now);
    // Whether this hop's spectral flux is an onset.
    bool onsetPicked(float flux, int64_t now, double meanPower);

    Aubio* aubio_;
    float gain_[3] = {1e-6f, 1e-6f, 1e-6f};  // the bands' slowly falling peaks
    float lowEnergy_[kLowHistory] = {};
    float fluxHistory_[kFluxHistory] = {};
    int fluxAt_ = 0;
    // Low-band energy on the tracker's beats and halfway between them, and
    // on its even and odd beats (slow averages).
    float onBeat_ = 0.0f, midBeat_ = 0.0f, parityEnergy_[2] = {0.0f, 0.0f};
    int parity_ = 0;
    int seen_ = 0;               // which of the averages have a first value (bits)
    float trackerPeriod_ = 1.0f;  // the tracker's period at its last beat
    int64_t previousTrackerBeat_ = -1;
    int octave_ = 0;  // -1: half the tracker's tempo, 0: as it is, 1: double
    int64_t pendingMid_ = -1;  // a beat between two of the tracker's (double tempo)
    int64_t beatTimes_[kBeatHistory] = {};  // the beats emitted, newest last
    int64_t beatIndex_[kBeatHistory] = {};  // and their places on the grid
    int beatCount_ = 0;
    int64_t onsetTimes_[kOnsetHistory] = {};
    int onsetCount_ = 0;
    bool supported_[8] = {};  // whether each of the last beats had an onset near it
    int supportedCount_ = 0;
    int64_t unchecked_ = -1;  // the newest beat not yet checked for an onset
    float period_ = 0.0f;     // samples per beat, fitted to the emitted beats
    float gridPeriod_ = 0.0f;  // the same for the beats of the current grid only
    float fitError_ = 1.0f;   // the fit's worst deviation, as a share of the period
    int64_t lastOnset_ = -1;
    int64_t lastBeat_ = -1;
    SoundFeatures features_;
};
