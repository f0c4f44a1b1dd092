#pragma once
#include <atomic>
#include <cstdint>
#include <cstdio>

// The opt-in log of input latency (STRATA_LATENCY_LOG): when each input
// arrived in the process and when the frame that applied it was on the
// window. The process-wide log is off until latency::start(); every call is
// then a relaxed atomic load and nothing else. Once started, the calls write
// into fixed arrays allocated with the log (no allocation, no lock, no
// waiting): arrivals from any thread, fetches and frame ends from the frame
// thread. Full arrays stop logging; writeTo() says so on standard error.
//
// An input of a kind is applied by the first frame that fetches that kind
// after the input arrived; its latency is that frame's end less its arrival.
// Keys are handled by GLUT callbacks between frames, so a key is applied by
// the first frame to end after it.
enum class LatencyInput { Key, Midi, Osc };

class LatencyLog {
public:
    static constexpr int kKinds = 3;
    static constexpr int kArrivals = 1 << 16;  // per kind
    static constexpr int kFrames = 1 << 17;

    LatencyLog();
    // Any thread: an input of this kind arrived now.
    void arrived(LatencyInput kind);
    // Frame thread: the frame took the inputs of this kind queued until now.
    void fetched(LatencyInput kind);
    // Frame thread: the frame is on the window (after the swap).
    void frameShown();
    // The log as text, monotonic nanoseconds (CLOCK_MONOTONIC):
    //   arrive key|midi|osc <ns>
    //   frame <midi fetch ns or 0> <osc fetch ns or 0> <end ns>
    // Returns the lines written.
    long writeTo(FILE* out) const;

private:
    struct Frame {
        int64_t fetch[kKinds];  // 0: that kind was not fetched in the frame
        int64_t end;
    };
    // Slots are claimed by fetch_add and then stored; a claimed slot not yet
    // stored reads 0 and is left out.
    std::atomic<int64_t> arrivals_[kKinds][kArrivals];
    std::atomic<uint32_t> arrivalCount_[kKinds];
    Frame frames_[kFrames];
    Frame current_{};
    std::atomic<uint32_t> frameCount_{0};
};

// The process-wide log.
namespace latency {
// Allocates the log and switches it on (once; false when it was on).
bool start();
bool on();
void arrived(LatencyInput kind);
void fetched(LatencyInput kind);
void frameShown();
long writeTo(FILE* out);
}  // namespace latency
