#include "input/WavFileCapture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Larger files are refused rather than read into memory (about 100 minutes of
// CD-quality stereo).
constexpr long kMaxFileBytes = 1L << 30;
constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool readWholeFile(const char* path, std::vector<uint8_t>& bytes, const char** reason) {
    FILE* file = std::fopen(path, "rb");
    if (!file) {
        *reason = "cannot open the file";
        return false;
    }
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    long size = ok ? std::ftell(file) : -1;
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        *reason = "cannot read the file";
        std::fclose(file);
        return false;
    }
    if (size > kMaxFileBytes) {
        *reason = "file larger than 1 GiB";
        std::fclose(file);
        return false;
    }
    try {
        bytes.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        *reason = "out of memory";
        std::fclose(file);
        return false;
    }
    size_t got = size > 0 ? std::fread(bytes.data(), 1, bytes.size(), file) : 0;
    std::fclose(file);
    if (got != bytes.size()) {
        *reason = "cannot read the file";
        return false;
    }
    return true;
}

struct SampleLayout {
    const uint8_t* data = nullptr;
    int64_t frames = 0;
    int channels = 0;
    int bytesPerSample = 0;
    int blockAlign = 0;
    bool isFloat = false;

    // Normalised sample (-1..1) of one channel of one source frame.
    double sample(int64_t frame, int channel) const {
        const uint8_t* p = data + frame * blockAlign + channel * bytesPerSample;
        if (isFloat) {
            if (bytesPerSample == 4) {
                float f;
                std::memcpy(&f, p, 4);
                return std::isfinite(f) ? f : 0.0;
            }
            double d;
            std::memcpy(&d, p, 8);
            return std::isfinite(d) ? d : 0.0;
        }
        switch (bytesPerSample) {
            case 1: return (p[0] - 128) / 128.0;
            case 2: return static_cast<int16_t>(le16(p)) / 32768.0;
            case 3: {
                int32_t v = static_cast<int32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
                if (v & 0x800000) v -= 0x1000000;
                return v / 8388608.0;
            }
            default: return static_cast<int32_t>(le32(p)) / 2147483648.0;
        }
    }
};

uint8_t toUnsigned8(double v) {
    long b = std::lround(v * 128.0) + 128;
    if (b < 0) b = 0;
    if (b > 255) b = 255;
    return static_cast<uint8_t>(b);
}

void convert(const SampleLayout& src, int sourceRate, std::vector<uint8_t>& out) {
    const int64_t outFrames =
        std::max<int64_t>(1, src.frames * CaptureBackend::kFrameRate / sourceRate);
    out.resize(static_cast<size_t>(outFrames) * 2);
    const double ratio = static_cast<double>(sourceRate) / CaptureBackend::kFrameRate;
    const int right = src.channels > 1 ? 1 : 0;
    for (int64_t j = 0; j < outFrames; ++j) {
        double left = 0.0, rightValue = 0.0;
        if (ratio > 1.0) {
            // Average of the source frames that fall into this output frame.
            int64_t first = static_cast<int64_t>(std::floor(j * ratio));
            int64_t last = static_cast<int64_t>(std::floor((j + 1) * ratio));
            if (last > src.frames) last = src.frames;
            if (last <= first) last = first + 1;
            for (int64_t i = first; i < last; ++i) {
                left += src.sample(i, 0);
                rightValue += src.sample(i, right);
            }
            left /= static_cast<double>(last - first);
            rightValue /= static_cast<double>(last - first);
        } else {
            // Linear interpolation; the last frame leads back to the first so
            // the loop has no seam.
            double position = j * ratio;
            int64_t i0 = static_cast<int64_t>(std::floor(position));
            if (i0 >= src.frames) i0 = src.frames - 1;
            int64_t i1 = i0 + 1 < src.frames ? i0 + 1 : 0;
            double t = position - static_cast<double>(i0);
            left = src.sample(i0, 0) * (1.0 - t) + src.sample(i1, 0) * t;
            rightValue = src.sample(i0, right) * (1.0 - t) + src.sample(i1, right) * t;
        }
        out[static_cast<size_t>(j) * 2] = toUnsigned8(left);
        out[static_cast<size_t>(j) * 2 + 1] = toUnsigned8(rightValue);
    }
}

}  // namespace

bool loadWavSound(const char* path, WavSound& sound, const char** reason) {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes, reason)) return false;
    const size_t size = bytes.size();
    if (size < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        *reason = "not a RIFF/WAVE file";
        return false;
    }

    const uint8_t* fmt = nullptr;
    uint32_t fmtSize = 0;
    const uint8_t* data = nullptr;
    size_t dataSize = 0;
    for (size_t at = 12; at + 8 <= size;) {
        const uint8_t* chunk = bytes.data() + at;
        size_t chunkSize = le32(chunk + 4);
        size_t bodyAt = at + 8;
        size_t available = size - bodyAt;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && !fmt) {
            fmt = bytes.data() + bodyAt;
            fmtSize = static_cast<uint32_t>(std::min(chunkSize, available));
        } else if (std::memcmp(chunk, "data", 4) == 0 && !data) {
            // A data size beyond the end of the file (streamed or cut short
            // recordings) is clamped to what is there.
            data = bytes.data() + bodyAt;
            dataSize = std::min(chunkSize, available);
        }
        if (chunkSize > available) break;
        at = bodyAt + chunkSize + (chunkSize & 1);
    }
    if (!fmt || fmtSize < 16) {
        *reason = "no format chunk";
        return false;
    }
    if (!data) {
        *reason = "no data chunk";
        return false;
    }

    uint16_t format = le16(fmt);
    const int channels = le16(fmt + 2);
    const uint32_t rate = le32(fmt + 4);
    const int blockAlign = le16(fmt + 12);
    const int bits = le16(fmt + 14);
    if (format == kFormatExtensible) {
        if (fmtSize < 40) {
            *reason = "extensible format chunk too short";
            return false;
        }
        format = le16(fmt + 24);  // first two bytes of the sub-format GUID
    }
    const bool isFloat = format == kFormatFloat;
    if (format != kFormatPcm && !isFloat) {
        *reason = "compressed sample format";
        return false;
    }
    const bool bitsOk = isFloat ? (bits == 32 || bits == 64)
                                : (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    if (!bitsOk) {
        *reason = "unsupported sample size";
        return false;
    }
    if (channels < 1 || rate < 1000 || rate > 768000) {
        *reason = "bad channel count or rate";
        return false;
    }
    const int bytesPerSample = bits / 8;
    if (blockAlign < channels * bytesPerSample) {
        *reason = "bad block alignment";
        return false;
    }

    SampleLayout layout;
    layout.data = data;
    layout.frames = static_cast<int64_t>(dataSize / static_cast<size_t>(blockAlign));
    layout.channels = channels;
    layout.bytesPerSample = bytesPerSample;
    layout.blockAlign = blockAlign;
    layout.isFloat = isFloat;
    if (layout.frames < 1) {
        *reason = "no samples";
        return false;
    }
    try {
        convert(layout, static_cast<int>(rate), sound.frames);
    } catch (const std::bad_alloc&) {
        *reason = "out of memory";
        return false;
    }
    sound.sourceRate = static_cast<int>(rate);
    sound.sourceBits = bits;
    sound.sourceChannels = channels;
    sound.sourceFloat = isFloat;
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

bool WavFileCapture::takeNewestBlock(uint8_t* block) {
    // The tiny offset keeps a clock that lands exactly on a block boundary
    // (advanced by whole block durations) from falling just short of it.
    const double framesPlayed = elapsedMillis() * (kFrameRate / 1000.0) + 1e-6;
    const int64_t completed = countsBlocks_ ? blocksAdvanced_ : static_cast<int64_t>(framesPlayed) / kBlockFrames;
    if (completed <= blocksTaken_) return false;
    blocksTaken_ = completed;

    const int64_t length = sound_.frameCount();
    int64_t frame = ((completed - 1) * kBlockFrames) % length;
    const uint8_t* src = sound_.frames.data();
    for (int i = 0; i < kBlockFrames; ++i) {
        block[2 * i] = src[2 * frame];
        block[2 * i + 1] = src[2 * frame + 1];
        if (++frame == length) frame = 0;
    }
    return true;
}

CaptureBackend* openWavCapture(const char* path, WavFileCapture::Pacing pacing) {
    WavSound sound;
    const char* reason = "unknown";
    if (!loadWavSound(path, sound, &reason)) {
        printf("WaveInput::open wave file not usable: %s (%s)\n", path, reason);
        return nullptr;
    }
    const bool cd = sound.sourceRate >= 44100 && sound.sourceBits >= 16 && sound.sourceChannels >= 2;
    auto* capture = new (std::nothrow) WavFileCapture(std::move(sound), pacing);
    if (!capture) {
        printf("WaveInput::open wave file not usable: %s (out of memory)\n", path);
        return nullptr;
    }
    printf(cd ? "CD Stereo quality \n" : "Mono 22.05 \n");
    printf("WaveFile is Successfully Opened\n");
    return capture;
}
