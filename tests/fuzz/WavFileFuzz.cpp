// Fuzzes the sound-file reader (libsndfile decoding, the conversion to 8-bit
// stereo and the resampler): any file gives either a reason or a sound of
// whole frames that plays as blocks.
#include <cstdlib>

#include "FuzzInput.h"
#include "input/WavFileCapture.h"

const char* const kFuzzFileSuffix = ".wav";

void fuzzOne(const uint8_t*, size_t, const char* path) {
    WavSound sound;
    const char* reason = nullptr;
    if (!loadWavSound(path, sound, &reason)) {
        if (!reason || !*reason) abort();
        return;
    }
    if (sound.frameCount() < 1 || sound.frames.size() % 2 != 0) abort();
    WavFileCapture capture(std::move(sound), WavFileCapture::Pacing::Caller);
    if (!capture.start()) abort();
    uint8_t block[CaptureBackend::kBlockBytes];
    capture.advanceClock(3 * CaptureBackend::kBlockFrames * 1000.0 / CaptureBackend::kFrameRate);
    if (!capture.takeNewestBlock(block)) abort();
}
