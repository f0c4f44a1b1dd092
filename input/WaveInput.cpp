#include "input/WaveInput.h"

#include <cstdio>
#include <cstring>

// Capture without a device: open finds nothing, recording fails with the
// console line, and update keeps the all-zero snapshot and level 0.
WaveInput::WaveInput() {
    history = new SoundSnapshot[kHistory];
    std::memset(history, 0, sizeof(SoundSnapshot) * kHistory);
    historyIndex = 0;
    current = &history[0];
}

WaveInput::~WaveInput() { delete[] history; }

void WaveInput::start() {
    open();
    startRecording();
}

int WaveInput::open() { return 0; }

void WaveInput::startRecording() { printf("Record Failed\n"); }

void WaveInput::stopAndClose() {}

float WaveInput::update() {
    byteCount = kBufferLength;
    return level;
}
