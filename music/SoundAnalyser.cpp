#include "music/SoundAnalyser.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <cmath>

namespace {
// The band edges, in spectrum bins of kWindow samples (21.5 Hz each).
constexpr int kLowTop = 9;    // up to about 200 Hz
constexpr int kMidTop = 93;   // up to about 2 kHz
// Each band's gain follows its loudest moments and forgets them in about
// ten seconds, so a quiet room and a loud one both fill 0..1.
constexpr float kPeakFall = 0.9997f;
constexpr float kPeakFloor = 1e-4f;
// A tempo leads the clock when the tracker trusts it and the last eight
// beats came at steady intervals (within 4 % of their mean).
constexpr float kMinConfidence = 0.05f;
constexpr float kMaxSpread = 0.04f;
}  // namespace

struct SoundAnalyser::Aubio {
    fvec_t* hop = new_fvec(kHop);
    fvec_t* onsetOut = new_fvec(1);
    fvec_t* beatOut = new_fvec(1);
    cvec_t* spectrum = new_cvec(kWindow);
    aubio_onset_t* onset = new_aubio_onset("hfc", 512, kHop, kRate);
    aubio_tempo_t* tempo = new_aubio_tempo("default", kWindow, kHop, kRate);
    aubio_pvoc_t* pvoc = new_aubio_pvoc(kWindow, kHop);

    ~Aubio() {
        del_aubio_pvoc(pvoc);
        del_aubio_tempo(tempo);
        del_aubio_onset(onset);
        del_cvec(spectrum);
        del_fvec(beatOut);
        del_fvec(onsetOut);
        del_fvec(hop);
    }
};

SoundAnalyser::SoundAnalyser() : aubio_(new Aubio) {
    aubio_onset_set_minioi_ms(aubio_->onset, 40.0f);
    aubio_onset_set_threshold(aubio_->onset, 0.3f);
    aubio_onset_set_silence(aubio_->onset, -50.0f);
}

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

    aubio_onset_do(a.onset, a.hop, a.onsetOut);
    if (a.onsetOut->data[0] != 0.0f) {
        ++features_.onsets;
        lastOnset_ = aubio_onset_get_last(a.onset);
    }
    aubio_tempo_do(a.tempo, a.hop, a.beatOut);
    features_.bpm = aubio_tempo_get_bpm(a.tempo);
    features_.confidence = aubio_tempo_get_confidence(a.tempo);
    if (a.beatOut->data[0] != 0.0f) {
        ++features_.beats;
        const int64_t beat = aubio_tempo_get_last(a.tempo);
        if (lastBeat_ >= 0 && beat > lastBeat_) {
            std::copy(beatIntervals_ + 1, beatIntervals_ + 8, beatIntervals_);
            beatIntervals_[7] = static_cast<float>(beat - lastBeat_);
            intervalCount_ = std::min(intervalCount_ + 1, 8);
        }
        lastBeat_ = beat;
    }
    float spread = 1.0f;
    if (intervalCount_ == 8) {
        float mean = 0.0f, deviation = 0.0f;
        for (float v : beatIntervals_) mean += v * 0.125f;
        for (float v : beatIntervals_) deviation = std::max(deviation, std::fabs(v - mean));
        spread = mean > 0.0f ? deviation / mean : 1.0f;
    }
    const float period = aubio_tempo_get_period(a.tempo);
    // A tracker that has not beaten for two periods has lost the beat.
    const bool recent = lastBeat_ >= 0 && period > 0.0f && now + kHop - lastBeat_ < 2.0f * period;
    features_.confident = recent && features_.bpm > 0.0f && features_.confidence >= kMinConfidence &&
                          spread <= kMaxSpread;
    features_.beatPhase =
        lastBeat_ >= 0 && period > 0.0f ? std::fmod(std::max(0.0f, float(now + kHop - lastBeat_)) / period, 1.0f) : 0.0f;

    aubio_pvoc_do(a.pvoc, a.hop, a.spectrum);
    float bands[3] = {0.0f, 0.0f, 0.0f};
    const int bins = kWindow / 2 + 1;
    for (int k = 1; k < bins; ++k) {
        const float e = a.spectrum->norm[k] * a.spectrum->norm[k];
        bands[k < kLowTop ? 0 : k < kMidTop ? 1 : 2] += e;
    }
    float* out[3] = {&features_.low, &features_.mid, &features_.high};
    for (int b = 0; b < 3; ++b) {
        const float e = std::sqrt(bands[b]);
        gain_[b] = std::max({e, gain_[b] * kPeakFall, kPeakFloor});
        *out[b] = std::min(1.0f, e / gain_[b]);
    }
    const double rms = std::sqrt(power / kHop);
    const double db = rms > 1e-9 ? 20.0 * std::log10(rms) : -120.0;
    features_.level = static_cast<float>(std::clamp((db + 60.0) / 60.0, 0.0, 1.0));
}
