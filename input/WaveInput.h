#pragma once
#include <cstdint>

// 256 interleaved unsigned 8-bit stereo frames (byte 2i left, 2i+1 right;
// 128 is silence).
struct SoundSnapshot {
    static constexpr int kBytes = 512;
    uint8_t bytes[kBytes];
};

// The system's only sound source. Polled once per frame: update() takes the
// newest completed capture block into a ring of 128 snapshots and computes
// the left, right and total loudness.
class WaveInput {
public:
    static constexpr int kHistory = 128;
    static constexpr int kBufferLength = 512;

    WaveInput();
    ~WaveInput();
    WaveInput(const WaveInput&) = delete;
    WaveInput& operator=(const WaveInput&) = delete;

    void start();  // open, then startRecording
    int open();    // 1 when a device is open, else 0
    void startRecording();
    void stopAndClose();
    float update();  // the total level after the poll

    SoundSnapshot* current = nullptr;  // newest snapshot, one of history
    SoundSnapshot* history = nullptr;  // kHistory slots, zero-filled
    int historyIndex = 0;
    int byteCount = 0;
    float level = 0.0f;
    float rightLevel = 0.0f;
    float leftLevel = 0.0f;
};
