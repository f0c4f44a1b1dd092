#include "input/WaveInput.h"

#include "input/AlsaCapture.h"
#include "input/CaptureBackend.h"
#include "input/WavFileCapture.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

// STRATA_AUDIO names a file when it ends in ".wav" (any case) or holds a
// path separator; ALSA device names ("default", "pulse", "hw:1,0",
// "plughw:CARD=USB,DEV=0") do neither.
bool namesWaveFile(const char* source) {
    size_t n = std::strlen(source);
    if (n >= 4 && strcasecmp(source + n - 4, ".wav") == 0) return true;
    return std::strchr(source, '/') != nullptr;
}

}  // namespace

WaveInput::WaveInput() {
    captureBlock = new uint8_t[kBufferLength]();
    history = new SoundSnapshot[kHistory];
    std::memset(history, 0, sizeof(SoundSnapshot) * kHistory);
    historyIndex = 0;
    current = &history[0];
}

WaveInput::~WaveInput() {
    stopAndClose();
    delete[] captureBlock;
    delete[] history;
}

void WaveInput::start() {
    open();
    startRecording();
}

int WaveInput::open() {
    stopAndClose();
    const char* source = std::getenv("STRATA_AUDIO");
    if (source && *source && namesWaveFile(source))
        device = openWavCapture(source, WavFileCapture::Pacing::WallClock);
    else
        device = openAlsaCapture(source && *source ? source : "default");
    return device ? 1 : 0;
}

void WaveInput::startRecording() {
    if (!device || !device->start()) {
        printf("Record Failed\n");
        stopAndClose();
    }
}

void WaveInput::stopAndClose() {
    delete device;
    device = nullptr;
}

int WaveInput::startWavFile(const char* path, bool pacedByCaller) {
    stopAndClose();
    device = openWavCapture(path, pacedByCaller ? WavFileCapture::Pacing::Caller
                                                : WavFileCapture::Pacing::WallClock);
    startRecording();
    return device ? 1 : 0;
}

void WaveInput::advanceClock(double millis) {
    if (device) device->advanceClock(millis);
}

void WaveInput::advanceBlocks(int blocks) {
    if (device) device->advanceBlocks(blocks);
}

void WaveInput::startWith(CaptureBackend* backend) {
    stopAndClose();
    device = backend;
    startRecording();
}

float WaveInput::update() {
    // Without a source (after a failed start) nothing is taken: the history,
    // the snapshot and the levels stay as they are and the system runs
    // without sound.
    if (device && device->takeNewestBlock(captureBlock)) {
        historyIndex = historyIndex == kHistory - 1 ? 0 : historyIndex + 1;
        current = &history[historyIndex];
        std::memcpy(current->bytes, captureBlock, kBufferLength);

        float left = 0.0f, right = 0.0f;
        const uint8_t* b = current->bytes;
        for (int i = 0; i < kBufferLength; i += 2) {
            left += std::fabs((b[i] - 128) * 0.0078125f);
            right += std::fabs((b[i + 1] - 128) * 0.0078125f);
        }
        // Over the whole buffer length, so each channel lies in 0..0.5.
        leftLevel = left * (1.0f / kBufferLength);
        rightLevel = right * (1.0f / kBufferLength);
        level = rightLevel + leftLevel;
    }
    byteCount = kBufferLength;
    return level;
}
