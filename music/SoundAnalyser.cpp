#include "music/SoundAnalyser.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <cmath>

namespace {
// Onset picking: how far a flux must stand above the median of the recent
// hops, the least gap between two onsets (60 ms: a kick's sweep is one
// onset, sixteenths at 174 BPM are still apart) and the power below which
// the sound is silence (-50 dB).
constexpr float kFluxOverMedian = 5.0f;
constexpr int64_t kMinOnsetGap = 1323;
constexpr double kSilentPower = 1e-5;
// The band edges, in spectrum bins of kWindow samples (21.5 Hz each).
constexpr int kLowTop = 9;    // up to about 200 Hz
constexpr int kMidTop = 93;   // up to about 2 kHz
// Each band's gain follows its loudest moments and forgets them in about
// ten seconds, so a quiet room and a loud one both fill 0..1.
constexpr float kPeakFall = 0.9997f;
constexpr float kPeakFloor = 1e-4f;
// A tempo leads the clock when six of the last eight beats fell on an
// onset (within 60 ms) and the beats lie on a steady grid (within 5 % of a
// beat of the fitted line).
constexpr int kMinSupported = 6;
constexpr float kBeatOnsetWindow = 0.060f * 22050.0f;
constexpr float kMaxFitError = 0.05f;
// The tracker's octave: a tempo below 100 BPM whose half-beats carry as
// much bass as its beats is double; one above 150 BPM whose every other
// beat carries little bass is half.
constexpr float kDoubleBelow = 100.0f;
constexpr float kHalveAbove = 150.0f;
constexpr float kMidShare = 0.6f;
constexpr float kWeakShare = 0.35f;
constexpr float kAverage = 0.25f;  // the share of each beat in the slow averages
}  // namespace

struct SoundAnalyser::Aubio {
    fvec_t* hop = new_fvec(kHop);
    fvec_t* onsetOut = new_fvec(1);
    fvec_t* beatOut = new_fvec(1);
    cvec_t* spectrum = new_cvec(kWindow);
    // Onsets: aubio's spectral flux on a short window, picked without
    // looking ahead (aubio's own peak picker waits several hops to confirm).
    cvec_t* shortSpectrum = new_cvec(kOnsetWindow);
    aubio_pvoc_t* shortPvoc = new_aubio_pvoc(kOnsetWindow, kHop);
    aubio_specdesc_t* flux = new_aubio_specdesc("specflux", kOnsetWindow);
    aubio_tempo_t* tempo = new_aubio_tempo("default", kWindow, kHop, kRate);
    aubio_pvoc_t* pvoc = new_aubio_pvoc(kWindow, kHop);

    ~Aubio() {
        del_aubio_pvoc(pvoc);
        del_aubio_tempo(tempo);
        del_aubio_specdesc(flux);
        del_aubio_pvoc(shortPvoc);
        del_cvec(shortSpectrum);
        del_cvec(spectrum);
        del_fvec(beatOut);
        del_fvec(onsetOut);
        del_fvec(hop);
    }
};

SoundAnalyser::SoundAnalyser() : aubio_(new Aubio) {}

SoundAnalyser::~SoundAnalyser() { delete aubio_; }

void SoundAnalyser::addBlock(const uint8_t* block) {
    float samples[kHop];
    for (int i = 0; i < kHop; ++i) samples[i] = ((block[2 * i] - 128) + (block[2 * i + 1] - 128)) * (1.0f / 256.0f);
    addSamples(samples);
}

void SoundAnalyser::addSamples(const float* samples) {
    Aubio& a = *aubio_;
    double power = 0.0;
    for (int i = 0; i < kHop; ++i) {
        a.hop->data[i] = samples[i];
        power += static_cast<double>(samples[i]) * samples[i];
    }
    const int64_t now = features_.hops * kHop;
    ++features_.hops;

    aubio_pvoc_do(a.shortPvoc, a.hop, a.shortSpectrum);
    aubio_specdesc_do(a.flux, a.shortSpectrum, a.onsetOut);
    if (onsetPicked(a.onsetOut->data[0], now, power / kHop)) {
        ++features_.onsets;
        lastOnset_ = features_.onsetAt = now;
        std::copy(onsetTimes_ + 1, onsetTimes_ + kOnsetHistory, onsetTimes_);
        onsetTimes_[kOnsetHistory - 1] = lastOnset_;
        onsetCount_ = std::min(onsetCount_ + 1, kOnsetHistory);
    }
    aubio_tempo_do(a.tempo, a.hop, a.beatOut);
    features_.confidence = aubio_tempo_get_confidence(a.tempo);
    if (pendingMid_ >= 0 && pendingMid_ < now + kHop) {
        emitBeat(pendingMid_);
        pendingMid_ = -1;
    }
    if (a.beatOut->data[0] != 0.0f) trackerBeat(aubio_tempo_get_last(a.tempo), aubio_tempo_get_period(a.tempo));
    updateConfidence(now + kHop);
    features_.bpm = period_ > 0.0f ? 60.0f * kRate / period_ : 0.0f;
    features_.beatPhase = lastBeat_ >= 0 && period_ > 0.0f
                              ? std::fmod(std::max(0.0f, float(now + kHop - lastBeat_)) / period_, 1.0f)
                              : 0.0f;

    aubio_pvoc_do(a.pvoc, a.hop, a.spectrum);
    float bands[3] = {0.0f, 0.0f, 0.0f};
    const int bins = kWindow / 2 + 1;
    for (int k = 1; k < bins; ++k) {
        const float e = a.spectrum->norm[k] * a.spectrum->norm[k];
        bands[k < kLowTop ? 0 : k < kMidTop ? 1 : 2] += e;
    }
    float* out[3] = {&features_.low, &features_.mid, &features_.high};
    lowEnergy_[(features_.hops - 1) % kLowHistory] = std::sqrt(bands[0]);
    for (int b = 0; b < 3; ++b) {
        const float e = std::sqrt(bands[b]);
        gain_[b] = std::max({e, gain_[b] * kPeakFall, kPeakFloor});
        *out[b] = std::min(1.0f, e / gain_[b]);
    }
    const double rms = std::sqrt(power / kHop);
    const double db = rms > 1e-9 ? 20.0 * std::log10(rms) : -120.0;
    features_.level = static_cast<float>(std::clamp((db + 60.0) / 60.0, 0.0, 1.0));
}

bool SoundAnalyser::onsetPicked(float flux, int64_t now, double meanPower) {
    // The flux stands out from the last kFluxHistory hops, rises, is not
    // silence, and comes at least kMinOnsetGap after the previous onset.
    // Nothing waits for later hops, so an onset is known in the hop it ends.
    float sorted[kFluxHistory];
    std::copy(fluxHistory_, fluxHistory_ + kFluxHistory, sorted);
    std::nth_element(sorted, sorted + kFluxHistory / 2, sorted + kFluxHistory);
    const float median = sorted[kFluxHistory / 2];
    const float previous = fluxHistory_[(fluxAt_ + kFluxHistory - 1) % kFluxHistory];
    fluxHistory_[fluxAt_] = flux;
    fluxAt_ = (fluxAt_ + 1) % kFluxHistory;
    return flux > kFluxOverMedian * median && flux > previous && meanPower > kSilentPower &&
           (lastOnset_ < 0 || now - lastOnset_ >= kMinOnsetGap);
}

float SoundAnalyser::lowAround(int64_t at) const {
    const int64_t newest = features_.hops - 1;
    const int64_t hop = at / kHop;
    float most = 0.0f;
    for (int64_t h = hop - 1; h <= hop + 3; ++h)
        if (h >= 0 && h <= newest && newest - h < kLowHistory) most = std::max(most, lowEnergy_[h % kLowHistory]);
    return most;
}

void SoundAnalyser::trackerBeat(int64_t at, float period) {
    if (!(period > 0.0f)) return;
    // The tracker changed its mind about the period: what was learnt of
    // its beats no longer holds.
    if (std::fabs(period - trackerPeriod_) > 0.2f * trackerPeriod_) {
        seen_ = 0;
        previousTrackerBeat_ = -1;
    }
    trackerPeriod_ = period;
    // The spectrum shows a hit a few hops after it: the tracker's previous
    // beat, a period ago, is the newest whose bass can be weighed.
    if (previousTrackerBeat_ >= 0) {
        const float on = lowAround(previousTrackerBeat_);
        const float mid = lowAround(previousTrackerBeat_ - static_cast<int64_t>(period / 2));
        const auto average = [&](float& into, float value, int bit) {
            into = seen_ & bit ? into + (value - into) * kAverage : value;
            seen_ |= bit;
        };
        average(onBeat_, on, 1);
        average(midBeat_, mid, 2);
        average(parityEnergy_[parity_ ^ 1], on, 4 << (parity_ ^ 1));
        if (!(seen_ & (4 << parity_))) parityEnergy_[parity_] = on;
    }
    previousTrackerBeat_ = at;
    const float bpm = 60.0f * kRate / period;
    const float strong = std::max(parityEnergy_[0], parityEnergy_[1]);
    int octave = 0;
    if (!(seen_ & 1))
        octave = octave_;  // nothing weighed yet: as before
    else if (bpm < kDoubleBelow && midBeat_ > kMidShare * onBeat_) octave = 1;
    else if (bpm > kHalveAbove && std::min(parityEnergy_[0], parityEnergy_[1]) < kWeakShare * strong) octave = -1;
    if (octave != octave_) beatCount_ = 0;  // a new grid
    octave_ = octave;
    const bool strongBeat = parityEnergy_[parity_] >= strong;
    parity_ ^= 1;
    if (octave_ == -1 && !strongBeat) return;
    emitBeat(at);
    if (octave_ == 1) pendingMid_ = at + static_cast<int64_t>(period / 2);
}

void SoundAnalyser::emitBeat(int64_t at) {
    if (beatCount_ > 0 && at <= beatTimes_[kBeatHistory - 1]) return;
    ++features_.beats;
    // Each beat's place on the grid: a beat or two the tracker missed leave
    // a gap of whole periods; a beat off the grid (the tempo changed)
    // starts a new one.
    int64_t index = 0;
    if (beatCount_ >= 2 && gridPeriod_ > 0.0f) {
        const double steps = static_cast<double>(at - beatTimes_[kBeatHistory - 1]) / gridPeriod_;
        const double whole = std::round(steps);
        if (whole >= 1.0 && whole <= 4.0 && std::fabs(steps - whole) < 0.15)
            index = beatIndex_[kBeatHistory - 1] + static_cast<int64_t>(whole);
        else
            beatCount_ = 0;
    } else if (beatCount_ >= 1) {
        index = beatIndex_[kBeatHistory - 1] + 1;
    }
    std::copy(beatTimes_ + 1, beatTimes_ + kBeatHistory, beatTimes_);
    std::copy(beatIndex_ + 1, beatIndex_ + kBeatHistory, beatIndex_);
    beatTimes_[kBeatHistory - 1] = at;
    beatIndex_[kBeatHistory - 1] = index;
    beatCount_ = std::min(beatCount_ + 1, kBeatHistory);
    if (unchecked_ >= 0) {
        // Not checked in time (beats closer than the window): without support.
        std::copy(supported_ + 1, supported_ + 8, supported_);
        supported_[7] = false;
        supportedCount_ = std::min(supportedCount_ + 1, 8);
    }
    unchecked_ = at;
    lastBeat_ = at;
    if (beatCount_ < 2) return;
    // The period is the slope of the line through the beats (least squares).
    const int n = beatCount_;
    const int64_t* t = beatTimes_ + kBeatHistory - n;
    const int64_t* k = beatIndex_ + kBeatHistory - n;
    double meanI = 0.0, meanT = 0.0;
    for (int i = 0; i < n; ++i) {
        meanI += static_cast<double>(k[i] - k[0]) / n;
        meanT += static_cast<double>(t[i] - t[0]) / n;
    }
    double sxy = 0.0, sxx = 0.0;
    for (int i = 0; i < n; ++i) {
        const double di = static_cast<double>(k[i] - k[0]) - meanI;
        sxy += di * (static_cast<double>(t[i] - t[0]) - meanT);
        sxx += di * di;
    }
    const double slope = sxx > 0.0 ? sxy / sxx : 0.0;
    double worst = 0.0;
    for (int i = 0; i < n; ++i)
        worst = std::max(worst, std::fabs(static_cast<double>(t[i] - t[0]) -
                                          (meanT + slope * (static_cast<double>(k[i] - k[0]) - meanI))));
    // Two or three beats on a new grid say little: the old tempo stands
    // until four do, unless there is none.
    gridPeriod_ = static_cast<float>(slope);
    if (slope > 0.0 && (n >= 4 || period_ <= 0.0f)) period_ = static_cast<float>(slope);
    fitError_ = n >= 4 && slope > 0.0 ? static_cast<float>(worst / slope) : 1.0f;
}

void SoundAnalyser::updateConfidence(int64_t now) {
    if (unchecked_ >= 0 && now > unchecked_ + kBeatOnsetWindow) {
        bool near = false;
        for (int i = kOnsetHistory - onsetCount_; i < kOnsetHistory; ++i)
            near |= std::fabs(static_cast<float>(onsetTimes_[i] - unchecked_)) <= kBeatOnsetWindow;
        std::copy(supported_ + 1, supported_ + 8, supported_);
        supported_[7] = near;
        supportedCount_ = std::min(supportedCount_ + 1, 8);
        unchecked_ = -1;
    }
    int supported = 0;
    for (int i = 8 - supportedCount_; i < 8; ++i) supported += supported_[i];
    // A beat overdue by half a period more: the beat is lost.
    const bool recent = lastBeat_ >= 0 && period_ > 0.0f && now - lastBeat_ < 1.5f * period_;
    features_.confident = recent && supported >= kMinSupported && fitError_ <= kMaxFitError && beatCount_ >= 4;
}
