#include "music/SoundAnalysis.h"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {
int64_t threadNanos() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}
// A card away for long owes at most this much silence: enough to let the
// detectors settle, not minutes of work.
constexpr int64_t kMaxSilence = 512;
}  // namespace

SoundAnalysis::SoundAnalysis(Mode mode) : mode_(mode) {
    if (mode_ == Mode::Threaded) thread_ = std::thread([this] { run(); });
}

SoundAnalysis::~SoundAnalysis() {
    stopping_.store(true);
    wake();
    if (thread_.joinable()) thread_.join();
}

void SoundAnalysis::blockCaptured(const uint8_t* block) {
    if (mode_ == Mode::Inline) {
        analyse(block);
        return;
    }
    if (!ring_.push(block, CaptureBackend::kBlockBytes)) dropped_.fetch_add(1, std::memory_order_relaxed);
    wake();
}

void SoundAnalysis::wake() {
    arrivals_.fetch_add(1, std::memory_order_release);
    arrivals_.notify_one();
}

void SoundAnalysis::blocksMissed(int64_t blocks) {
    if (blocks <= 0) return;
    if (mode_ == Mode::Inline) {
        uint8_t silence[CaptureBackend::kBlockBytes];
        std::memset(silence, 128, sizeof silence);
        for (int64_t i = 0; i < std::min(blocks, kMaxSilence); ++i) analyse(silence);
        return;
    }
    missed_.fetch_add(blocks, std::memory_order_relaxed);
    wake();
}

void SoundAnalysis::analyse(const uint8_t* block) {
    const int64_t start = threadNanos();
    analyser_.addBlock(block);
    latest_.publish(analyser_.features());
    busyNanos_.fetch_add(threadNanos() - start, std::memory_order_relaxed);
}

void SoundAnalysis::run() {
    uint8_t block[CaptureBackend::kBlockBytes];
    uint8_t silence[CaptureBackend::kBlockBytes];
    std::memset(silence, 128, sizeof silence);
    while (!stopping_.load(std::memory_order_relaxed)) {
        // Read before looking at the ring: a block that comes in between
        // changes it, and the wait below returns at once.
        const uint32_t seen = arrivals_.load(std::memory_order_acquire);
        if (const int64_t owed = missed_.exchange(0, std::memory_order_relaxed); owed > 0)
            for (int64_t i = 0; i < std::min(owed, kMaxSilence); ++i) analyse(silence);
        if (ring_.readable() < sizeof block) {
            // Until the next block (or the end): no polling delay.
            arrivals_.wait(seen, std::memory_order_acquire);
            continue;
        }
        size_t got = 0;
        while (got < sizeof block) {
            size_t length = 0;
            const uint8_t* span = ring_.span(sizeof block - got, length);
            std::memcpy(block + got, span, length);
            ring_.consume(length);
            got += length;
        }
        analyse(block);
    }
}
