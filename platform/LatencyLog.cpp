#include "platform/LatencyLog.h"

#include <ctime>

namespace {

const char* const kKindNames[LatencyLog::kKinds] = {"key", "midi", "osc"};

int64_t nowNanos() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

std::atomic<LatencyLog*> gLog{nullptr};

}  // namespace

LatencyLog::LatencyLog() {
    for (auto& kind : arrivals_)
        for (auto& slot : kind) slot.store(0, std::memory_order_relaxed);
    for (auto& count : arrivalCount_) count.store(0, std::memory_order_relaxed);
}

void LatencyLog::arrived(LatencyInput kind) {
    const int k = static_cast<int>(kind);
    const uint32_t slot = arrivalCount_[k].fetch_add(1, std::memory_order_relaxed);
    if (slot < static_cast<uint32_t>(kArrivals)) arrivals_[k][slot].store(nowNanos(), std::memory_order_release);
}

void LatencyLog::fetched(LatencyInput kind) { current_.fetch[static_cast<int>(kind)] = nowNanos(); }

void LatencyLog::frameShown() {
    const uint32_t n = frameCount_.load(std::memory_order_relaxed);
    if (n < static_cast<uint32_t>(kFrames)) {
        current_.end = nowNanos();
        frames_[n] = current_;
        frameCount_.store(n + 1, std::memory_order_release);
    }
    current_ = Frame{};
}

long LatencyLog::writeTo(FILE* out) const {
    if (!out) return 0;
    long lines = 0;
    for (int k = 0; k < kKinds; ++k) {
        const uint32_t claimed = arrivalCount_[k].load(std::memory_order_acquire);
        const uint32_t count = claimed < static_cast<uint32_t>(kArrivals) ? claimed : kArrivals;
        for (uint32_t i = 0; i < count; ++i) {
            const int64_t t = arrivals_[k][i].load(std::memory_order_acquire);
            if (t != 0 && std::fprintf(out, "arrive %s %lld\n", kKindNames[k], static_cast<long long>(t)) > 0) ++lines;
        }
        if (claimed > count)
            std::fprintf(stderr, "latency: %u %s inputs beyond the log's %d were not logged\n", claimed - count,
                         kKindNames[k], kArrivals);
    }
    const uint32_t frames = frameCount_.load(std::memory_order_acquire);
    for (uint32_t i = 0; i < frames; ++i) {
        const Frame& f = frames_[i];
        if (std::fprintf(out, "frame %lld %lld %lld\n", static_cast<long long>(f.fetch[1]),
                         static_cast<long long>(f.fetch[2]), static_cast<long long>(f.end)) > 0)
            ++lines;
    }
    if (frames >= static_cast<uint32_t>(kFrames))
        std::fprintf(stderr, "latency: the log holds the first %d frames only\n", kFrames);
    return lines;
}

namespace latency {

bool start() {
    if (gLog.load(std::memory_order_acquire)) return false;
    // Static storage, made on the first start only: threads may still note
    // arrivals while the process exits, and nothing in it needs destroying.
    static LatencyLog log;
    gLog.store(&log, std::memory_order_release);
    return true;
}

bool on() { return gLog.load(std::memory_order_relaxed) != nullptr; }

void arrived(LatencyInput kind) {
    if (LatencyLog* log = gLog.load(std::memory_order_acquire)) log->arrived(kind);
}

void fetched(LatencyInput kind) {
    if (LatencyLog* log = gLog.load(std::memory_order_acquire)) log->fetched(kind);
}

void frameShown() {
    if (LatencyLog* log = gLog.load(std::memory_order_acquire)) log->frameShown();
}

long writeTo(FILE* out) {
    const LatencyLog* log = gLog.load(std::memory_order_acquire);
    return log ? log->writeTo(out) : 0;
}

}  // namespace latency
