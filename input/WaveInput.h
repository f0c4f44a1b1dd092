#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "input/CaptureBackend.h"

// 256 interleaved unsigned 8-bit stereo frames (byte 2i left, 2i+1 right;
// 128 is silence).
struct SoundSnapshot {
    static constexpr int kBytes = 512;
    uint8_t bytes[kBytes];
};

// The system's only sound source. Polled once per frame: update() takes the
// newest completed capture block into a ring of 128 snapshots and computes
// the left, right and total loudness.
//
// Where the sound comes from is chosen by open() from the environment
// variable STRATA_AUDIO: unset, the ALSA device "default"; a path to a sound
// file (any name ending in ".wav", ".flac" or ".ogg", or holding a '/'), that
// file played in real time as the input, looping; anything else, that ALSA
// capture device.
//
// A sound card that disappears in the middle of a show (CaptureBackend::lost)
// is closed at once: the levels read 0 and the snapshot is silence while it
// is away, and it is opened again about once a second (retryMillis), without
// a console line, until it is back.
//
// The whole captured stream (every block, not only the ones the frames take)
// can be followed through setStreamSink (and setAnalysisSink); blockPosition() tells where in that
// stream the newest snapshot lies.
class WaveInput : private SoundStreamSink {
public:
    // The source as the operator sees it.
    enum class State { None, Live, Lost };

    static constexpr int kHistory = 128;
    static constexpr int kBufferLength = 512;

    WaveInput();
    ~WaveInput() override;  // stops and closes the device
    WaveInput(const WaveInput&) = delete;
    WaveInput& operator=(const WaveInput&) = delete;

    void start();  // open, then startRecording
    int open();    // 1 when a device is open, else 0
    void startRecording();
    void stopAndClose();
    float update();  // the total level after the poll

    // Replaces the current source by the wave file at path (console lines as
    // for open) and starts it. pacedByCaller: the file advances only through
    // advanceClock, so an offline renderer gets the same sound for the same
    // frame times on every run; otherwise it follows the wall clock.
    // Returns 1 when the file plays, else 0 (after "Record Failed\n").
    int startWavFile(const char* path, bool pacedByCaller);
    // Moves a caller-paced source forward by millis (no effect otherwise).
    void advanceClock(double millis);
    // Completes the next block(s) of a caller-paced source, in order.
    void advanceBlocks(int blocks);
    // Replaces the current source by backend and starts it; used by tests and
    // by any other source of blocks.
    void startWith(std::unique_ptr<CaptureBackend> backend);
    // How to open the current source again after it is lost (null: it is
    // not opened again). open() sets it for sound cards.
    void setReopen(std::function<std::unique_ptr<CaptureBackend>()> reopen);

    // Follows the whole stream from now on (null: stops); positions count
    // from the first block after this call.
    void setStreamSink(SoundStreamSink* sink);
    // A second follower of the whole stream (the sound analysis), beside
    // the one above and without touching its positions (null: none).
    void setAnalysisSink(SoundStreamSink* sink) {
        analysisSink_ = sink;
        attach();
    }
    // Position in the followed stream of the newest snapshot's block (-1:
    // no stream followed, or none taken since setStreamSink).
    int64_t blockPosition() const { return sink_ ? snapshotPosition_ : -1; }

    State state() const;
    // A few words on the source (name, rate, channels) or, without one, why
    // there is none. Never null.
    const char* description() const { return description_; }
    // Least time between two attempts to open a lost source.
    int retryMillis = 1000;

    std::unique_ptr<CaptureBackend> device;  // the open source; null without one
    std::unique_ptr<uint8_t[]> captureBlock;  // the block the source copies into
    SoundSnapshot* current = nullptr;         // newest snapshot, one of history
    std::unique_ptr<SoundSnapshot[]> history;  // kHistory slots, zero-filled
    int historyIndex = 0;
    int byteCount = 0;
    float level = 0.0f;
    float rightLevel = 0.0f;
    float leftLevel = 0.0f;

private:
    void blockCaptured(const uint8_t* block) override;
    void blocksMissed(int64_t blocks) override;
    void attach();  // makes this the device's stream sink
    void describe(const char* fallback);
    void loseDevice();
    void tryReopen();

    std::function<std::unique_ptr<CaptureBackend>()> reopen_;
    std::chrono::steady_clock::time_point lastAttempt_{};
    std::chrono::steady_clock::time_point lostAt_{};
    bool lost_ = false;
    SoundStreamSink* sink_ = nullptr;
    SoundStreamSink* analysisSink_ = nullptr;
    int64_t streamBlocks_ = 0;       // blocks of the followed stream so far
    int64_t snapshotPosition_ = -1;  // the newest snapshot's, or -1
    char description_[192] = "no sound input";
};
