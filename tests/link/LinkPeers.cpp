// Two sessions in one private network: they find each other, agree on the
// tempo and the beat, and a tempo one proposes reaches the other within a
// beat. Run by link-peers.sh inside its own network namespace.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "music/LinkSession.h"

namespace {
using Clock = std::chrono::steady_clock;

bool waitFor(double seconds, const auto& done) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
}  // namespace

int main() {
    LinkSession first(120.0), second(93.0);
    if (!waitFor(10, [&] { return first.now().peers == 1 && second.now().peers == 1; })) {
        std::puts("link-peers: the two sessions did not find each other in 10 s");
        return 1;
    }
    // The second adopts the session's tempo and timeline.
    waitFor(2, [&] { return std::abs(second.now().bpm - first.now().bpm) < 1e-6; });
    const int64_t t = first.clockMicros();
    const LinkSession::State a = first.at(t), b = second.at(t);
    const double beatMillis = std::abs(a.beats - b.beats) * 60000.0 / a.bpm;
    const auto proposed = Clock::now();
    second.proposeTempo(140.0);
    const bool followed = waitFor(60.0 / 140.0, [&] { return std::abs(first.now().bpm - 140.0) < 0.01; });
    const double followMillis = std::chrono::duration<double, std::milli>(Clock::now() - proposed).count();
    std::printf("link-peers: tempo %.4f and %.4f BPM, beats %.1f µs apart, 140 BPM followed in %.1f ms\n", a.bpm,
                b.bpm, beatMillis * 1000.0, followMillis);
    return std::abs(a.bpm - b.bpm) < 0.01 && beatMillis < 1.0 && followed ? 0 : 1;
}
