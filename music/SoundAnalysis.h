#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "input/CaptureBackend.h"
#include "music/LatestValue.h"
#include "music/SoundAnalyser.h"
#include "platform/ByteRing.h"

// Follows the whole sound stream (as a sink of WaveInput) and analyses it.
// Threaded, the capture's thread only copies each block into a lock-free
// ring and an analysis thread of its own runs the analyser; the frame reads
// the newest features without waiting. Inline (the offline renderer), each
// block is analysed as it arrives, so the same file gives the same features
// at the same frames on every run.
class SoundAnalysis final : public SoundStreamSink {
public:
    enum class Mode { Threaded, Inline };
    static constexpr size_t kRing = 64 * CaptureBackend::kBlockBytes;  // about 0.7 s of sound

    explicit SoundAnalysis(Mode mode);
    ~SoundAnalysis() override;  // stops the thread
    SoundAnalysis(const SoundAnalysis&) = delete;
    SoundAnalysis& operator=(const SoundAnalysis&) = delete;

    void blockCaptured(const uint8_t* block) override;
    void blocksMissed(int64_t blocks) override;

    // The reading thread (one): the newest features. Never waits.
    const SoundFeatures& latest() { return latest_.read(); }
    // Blocks the ring had no room for (the analysis fell behind).
    int64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }
    // Processor time the analysis has spent, in seconds.
    double busySeconds() const { return busyNanos_.load(std::memory_order_relaxed) * 1e-9; }

private:
    void run();
    void analyse(const uint8_t* block);

    const Mode mode_;
    SoundAnalyser analyser_;
    LatestValue<SoundFeatures> latest_;
    ByteRing ring_{kRing};
    std::atomic<int64_t> missed_{0};  // silent blocks owed to the analysis
    std::atomic<int64_t> dropped_{0};
    std::atomic<int64_t> busyNanos_{0};
    std::atomic<bool> stopping_{false};
    // Bumped with every block or owed silence: the analysis thread sleeps on
    // it (a futex), and the capture's notify never waits.
    std::atomic<uint32_t> arrivals_{0};
    void wake();
    std::thread thread_;
};
