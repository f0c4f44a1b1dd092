#include "input/WavFileCapture.h"

#include <cstring>

#include <samplerate.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>

namespace {

// Larger files are refused rather than decoded into memory (about 100 minutes
// of CD-quality stereo).
constexpr off_t kMaxFileBytes = off_t{1} << 30;
// Frames decoded (and resampled) per step while loading.
constexpr int kChunkFrames = 4096;

using SoundFile = std::unique_ptr<SNDFILE, decltype(&sf_close)>;
using Resampler = std::unique_ptr<SRC_STATE, decltype(&src_delete)>;

uint8_t toUnsigned8(double v) {
    if (!std::isfinite(v)) return 128;
    long b = std::lround(v * 128.0) + 128;
    if (b < 0) b = 0;
    if (b > 255) b = 255;
    return static_cast<uint8_t>(b);
}

const char* openFailure(int error) {
    switch (error) {
        case SF_ERR_UNRECOGNISED_FORMAT: return "not a sound file";
        case SF_ERR_SYSTEM: return "cannot open the file";
        case SF_ERR_MALFORMED_FILE: return "malformed file";
        case SF_ERR_UNSUPPORTED_ENCODING: return "unsupported sample format";
        default: return sf_error_number(error);  // libsndfile's own words for the finer cases
    }
}

// What the file holds, for the quality line; lossy encodings count as 16-bit.
void describeSource(const SF_INFO& info, WavSound& sound) {
    sound.sourceRate = info.samplerate;
    sound.sourceChannels = info.channels;
    sound.sourceBits = 16;
    sound.sourceFloat = false;
    switch (info.format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8: sound.sourceBits = 8; break;
        case SF_FORMAT_PCM_24: sound.sourceBits = 24; break;
        case SF_FORMAT_PCM_32: sound.sourceBits = 32; break;
        case SF_FORMAT_FLOAT: sound.sourceBits = 32, sound.sourceFloat = true; break;
        case SF_FORMAT_DOUBLE: sound.sourceBits = 64, sound.sourceFloat = true; break;
        default: break;
    }
}

// Decodes a whole file to unsigned 8-bit stereo at the capture rate, a chunk
// at a time. Mono is copied to both sides; of more channels the first two are
// used. A file at the capture rate is converted sample by sample; any other
// rate goes through the resampler.
class Decoder {
public:
    Decoder(SNDFILE* file, const SF_INFO& info, std::vector<uint8_t>& out)
        : file_(file), channels_(info.channels), rate_(info.samplerate), out_(out) {}

    bool run(const char** reason) {
        const double ratio = static_cast<double>(CaptureBackend::kFrameRate) / rate_;
        decoded_.resize(static_cast<size_t>(kChunkFrames) * channels_);
        Resampler resampler(nullptr, &src_delete);
        if (rate_ != CaptureBackend::kFrameRate) {
            int error = 0;
            // Linear interpolation: a sinc converter decodes a five-minute
            // 44.1 kHz file about eight times slower (seconds at start), and
            // 8-bit sound for pictures gains nothing visible from it.
            resampler.reset(src_new(SRC_LINEAR, 2, &error));
            if (!resampler) {
                *reason = "cannot be resampled";
                return false;
            }
            stereo_.resize(static_cast<size_t>(kChunkFrames) * 2);
            resampled_.resize(static_cast<size_t>(std::ceil(kChunkFrames * ratio) + 64) * 2);
            data_.src_ratio = ratio;
        }
        int64_t framesRead = 0;
        for (;;) {
            const sf_count_t got = sf_readf_double(file_, decoded_.data(), kChunkFrames);
            if (got <= 0) break;
            framesRead += got;
            if (!resampler) {
                appendFirstTwoChannels(static_cast<int>(got));
            } else if (!resample(resampler.get(), static_cast<int>(got), reason)) {
                return false;
            }
        }
        if (framesRead < 1) {
            *reason = "no samples";
            return false;
        }
        if (resampler && !resample(resampler.get(), 0, reason)) return false;
        // The resampler may end a few frames off the file's duration at the
        // capture rate: cut or hold the last frame to match it.
        const int64_t frames = std::max<int64_t>(1, framesRead * CaptureBackend::kFrameRate / rate_);
        const size_t bytes = static_cast<size_t>(frames) * 2;
        if (out_.size() > bytes) out_.resize(bytes);
        while (out_.size() < bytes) {
            const size_t n = out_.size();
            out_.push_back(n ? out_[n - 2] : 128);
            out_.push_back(n ? out_[n - 1] : 128);
        }
        return true;
    }

private:
    int rightChannel() const { return channels_ > 1 ? 1 : 0; }

    void appendFirstTwoChannels(int frames) {
        for (int i = 0; i < frames; ++i) {
            const double* frame = decoded_.data() + static_cast<size_t>(i) * channels_;
            out_.push_back(toUnsigned8(frame[0]));
            out_.push_back(toUnsigned8(frame[rightChannel()]));
        }
    }

    // Feeds one decoded chunk (none: the end of the file, which flushes the
    // resampler) and appends what comes out.
    bool resample(SRC_STATE* state, int frames, const char** reason) {
        for (int i = 0; i < frames; ++i) {
            const double* frame = decoded_.data() + static_cast<size_t>(i) * channels_;
            const double left = frame[0], right = frame[rightChannel()];
            stereo_[2 * i] = std::isfinite(left) ? static_cast<float>(left) : 0.0f;
            stereo_[2 * i + 1] = std::isfinite(right) ? static_cast<float>(right) : 0.0f;
        }
        data_.data_in = stereo_.data();
        data_.input_frames = frames;
        data_.end_of_input = frames == 0;
        for (;;) {
            data_.data_out = resampled_.data();
            data_.output_frames = static_cast<long>(resampled_.size() / 2);
            if (src_process(state, &data_) != 0) {
                *reason = "cannot be resampled";
                return false;
            }
            for (long i = 0; i < 2 * data_.output_frames_gen; ++i) out_.push_back(toUnsigned8(resampled_[i]));
            data_.data_in += 2 * data_.input_frames_used;
            data_.input_frames -= data_.input_frames_used;
            const bool progressed = data_.input_frames_used > 0 || data_.output_frames_gen > 0;
            if (!progressed || (data_.input_frames == 0 && !data_.end_of_input)) return true;
        }
    }

    SNDFILE* file_;
    int channels_;
    int rate_;
    std::vector<uint8_t>& out_;
    std::vector<double> decoded_;  // one chunk as read, every channel
    std::vector<float> stereo_;    // one chunk, first two channels
    std::vector<float> resampled_;
    SRC_DATA data_{};
};

}  // namespace

bool loadWavSound(const char* path, WavSound& sound, const char** reason) {
    struct stat status {};
    if (::stat(path, &status) != 0) {
        *reason = "cannot open the file";
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        *reason = "not a regular file";
        return false;
    }
    if (status.st_size > kMaxFileBytes) {
        *reason = "file larger than 1 GiB";
        return false;
    }
    SF_INFO info{};
    SoundFile file(sf_open(path, SFM_READ, &info), &sf_close);
    if (!file) {
        *reason = openFailure(sf_error(nullptr));
        return false;
    }
    if (info.channels < 1 || info.samplerate < 1000 || info.samplerate > 768000) {
        *reason = "bad channel count or rate";
        return false;
    }
    // Integer samples map onto -1..1 exactly; float files keep their values
    // (anything beyond full scale is clipped when converted to 8 bits).
    sf_command(file.get(), SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
    sound.frames.clear();
    try {
        if (!Decoder(file.get(), info, sound.frames).run(reason)) return false;
    } catch (const std::bad_alloc&) {
        *reason = "out of memory";
        return false;
    }
    describeSource(info, sound);
    return true;
}

WavFileCapture::WavFileCapture(WavSound&& sound, Pacing pacing)
    : sound_(std::move(sound)), pacing_(pacing) {}

bool WavFileCapture::start() {
    startTime_ = std::chrono::steady_clock::now();
    callerMillis_ = 0.0;
    blocksTaken_ = 0;
    countsBlocks_ = false;
    blocksAdvanced_ = 0;
    return sound_.frameCount() > 0;
}

void WavFileCapture::advanceClock(double millis) {
    if (millis > 0.0) callerMillis_ += millis;
}

void WavFileCapture::advanceBlocks(int blocks) {
    if (pacing_ != Pacing::Caller) return;
    countsBlocks_ = true;
    if (blocks > 0) blocksAdvanced_ += blocks;
}

double WavFileCapture::elapsedMillis() const {
    if (pacing_ == Pacing::Caller) return callerMillis_;
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - startTime_)
        .count();
}

void WavFileCapture::copyBlock(int64_t index, uint8_t* block) const {
    const int64_t length = sound_.frameCount();
    int64_t frame = index * kBlockFrames;
    // A recording's sound played back block by block ends where the show
    // ended (or was cut): beyond it the input is silent, not looped.
    if (countsBlocks_ && frame >= length) {
        std::memset(block, 128, kBlockBytes);
        return;
    }
    frame %= length;
    const uint8_t* src = sound_.frames.data();
    for (int i = 0; i < kBlockFrames; ++i) {
        block[2 * i] = src[2 * frame];
        block[2 * i + 1] = src[2 * frame + 1];
        if (++frame == length) frame = 0;
    }
}

bool WavFileCapture::takeNewestBlock(uint8_t* block) {
    // The tiny offset keeps a clock that lands exactly on a block boundary
    // (advanced by whole block durations) from falling just short of it.
    const double framesPlayed = elapsedMillis() * (kFrameRate / 1000.0) + 1e-6;
    const int64_t completed = countsBlocks_ ? blocksAdvanced_ : static_cast<int64_t>(framesPlayed) / kBlockFrames;
    if (completed <= blocksTaken_) return false;
    // Every block completed since the last take goes to the stream, the
    // newest last; after a very long stall the oldest are counted, not copied.
    int64_t first = blocksTaken_;
    if (completed - first > kMaxStreamedPerTake) {
        streamGap(completed - kMaxStreamedPerTake - first);
        first = completed - kMaxStreamedPerTake;
    }
    for (int64_t index = first; index < completed - 1; ++index) {
        copyBlock(index, block);
        streamBlock(block);
    }
    blocksTaken_ = completed;
    copyBlock(completed - 1, block);
    streamBlock(block);
    return true;
}

std::unique_ptr<CaptureBackend> openWavCapture(const char* path, WavFileCapture::Pacing pacing) {
    WavSound sound;
    const char* reason = "unknown";
    if (!loadWavSound(path, sound, &reason)) {
        printf("WaveInput::open wave file not usable: %s (%s)\n", path, reason);
        return nullptr;
    }
    const bool cd = sound.sourceRate >= 44100 && sound.sourceBits >= 16 && sound.sourceChannels >= 2;
    // Without throwing: out of memory is one more reason the file is not usable.
    std::unique_ptr<CaptureBackend> capture(new (std::nothrow) WavFileCapture(std::move(sound), pacing));
    if (!capture) {
        printf("WaveInput::open wave file not usable: %s (out of memory)\n", path);
        return nullptr;
    }
    printf(cd ? "CD Stereo quality \n" : "Mono 22.05 \n");
    printf("WaveFile is Successfully Opened\n");
    return capture;
}
