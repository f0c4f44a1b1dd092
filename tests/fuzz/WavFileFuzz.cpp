// Fuzzes the sound-file reader (libsndfile decoding, the conversion to 8-bit
// stereo and the resampler): any file gives either a reason or a sound of
// whole frames that plays as blocks.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzInput.h"
#include "input/WavFileCapture.h"

namespace {
std::string gPath;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quietStandardOutput();
    gPath = fuzzFilePath(".wav");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!writeFuzzFile(gPath, data, size)) abort();
    WavSound sound;
    const char* reason = nullptr;
    if (!loadWavSound(gPath.c_str(), sound, &reason)) {
        if (!reason || !*reason) abort();
        return 0;
    }
    if (sound.frameCount() < 1 || sound.frames.size() % 2 != 0) abort();
    WavFileCapture capture(std::move(sound), WavFileCapture::Pacing::Caller);
    if (!capture.start()) abort();
    uint8_t block[CaptureBackend::kBlockBytes];
    capture.advanceClock(3 * CaptureBackend::kBlockFrames * 1000.0 / CaptureBackend::kFrameRate);
    if (!capture.takeNewestBlock(block)) abort();
    return 0;
}
