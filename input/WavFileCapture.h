#pragma once
#include "input/CaptureBackend.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

// A sound file converted to the capture format: interleaved unsigned 8-bit
// stereo at 22 050 frames per second, plus what the file itself held.
struct WavSound {
    std::vector<uint8_t> frames;  // 2 bytes per frame, left then right
    int sourceRate = 0;
    int sourceBits = 0;
    int sourceChannels = 0;
    bool sourceFloat = false;

    int frameCount() const { return static_cast<int>(frames.size() / 2); }
};

// Decodes a sound file with libsndfile (WAV in any PCM or float encoding,
// FLAC, Ogg Vorbis and the other formats it reads) and converts it. Mono is
// copied to both sides; of more than two channels the first two are used.
// Files at another rate than 22 050 are resampled to it. Non-regular files and
// files over 1 GiB are refused. On failure returns false and points reason at
// a short description.
bool loadWavSound(const char* path, WavSound& sound, const char** reason);

// Plays a converted wave file as if it were the sound card's input, looping
// for ever. Blocks complete in real time against either the wall clock
// (started by start()) or a clock that only the caller moves with
// advanceClock (an offline renderer advances it by its fixed frame time).
class WavFileCapture final : public CaptureBackend {
public:
    enum class Pacing { WallClock, Caller };

    WavFileCapture(WavSound&& sound, Pacing pacing);

    bool start() override;
    bool takeNewestBlock(uint8_t* block) override;
    void advanceClock(double millis) override;
    void advanceBlocks(int blocks) override;

    bool streamsEveryBlock() const override { return true; }

    const WavSound& sound() const { return sound_; }

private:
    // Most blocks copied to the stream in one take (about 12 s).
    static constexpr int64_t kMaxStreamedPerTake = 1024;
    double elapsedMillis() const;
    void copyBlock(int64_t index, uint8_t* block) const;

    WavSound sound_;
    Pacing pacing_;
    std::chrono::steady_clock::time_point startTime_{};
    double callerMillis_ = 0.0;
    int64_t blocksTaken_ = 0;  // blocks completed up to the previous take
    bool countsBlocks_ = false;
    int64_t blocksAdvanced_ = 0;
};

// Loads path and wraps it as a capture source, printing the quality line and
// the open result as WaveInput::open does. A file that cannot be used gives
// one line naming it and the reason, and null.
std::unique_ptr<CaptureBackend> openWavCapture(const char* path, WavFileCapture::Pacing pacing);
