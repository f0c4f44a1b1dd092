#include "input/MidiClock.h"

namespace {
// A gap longer than this between two pulses starts the tempo afresh.
constexpr double kLostSeconds = 0.5;
}  // namespace

void MidiClock::restartEstimate() {
    count_ = 0;
    next_ = 0;
    interval_ = 0.0;
}

void MidiClock::receive(uint8_t status, int data, double seconds) {
    switch (status) {
        case 0xFA:  // Start: from the top, the next pulse is the first of beat 0
            pulses_ = 0;
            running_ = true;
            lastTime_ = seconds;
            break;
        case 0xFB:  // Continue: from where Stop left it (or the song position)
            running_ = true;
            lastTime_ = seconds;
            break;
        case 0xFC:
            running_ = false;
            break;
        case 0xF2:  // Song Position: in 16ths, six pulses each
            if (data >= 0 && data < (1 << 14)) pulses_ = static_cast<int64_t>(data) * 6;
            break;
        case 0xF8: {
            if (lastTime_ >= 0.0 && seconds - lastTime_ > kLostSeconds) restartEstimate();
            lastTime_ = seconds;
            times_[next_] = seconds;
            next_ = (next_ + 1) % kWindow;
            if (count_ < kWindow) ++count_;
            if (running_) ++pulses_;
            // Least squares over the window: time = a + interval * index.
            if (count_ >= kPulsesPerBeat) {
                const int first = (next_ - count_ + kWindow) % kWindow;
                const double meanIndex = (count_ - 1) / 2.0;
                double meanTime = 0.0;
                for (int i = 0; i < count_; ++i) meanTime += times_[(first + i) % kWindow] - times_[first];
                meanTime /= count_;
                double covariance = 0.0, variance = 0.0;
                for (int i = 0; i < count_; ++i) {
                    const double di = i - meanIndex;
                    covariance += di * (times_[(first + i) % kWindow] - times_[first] - meanTime);
                    variance += di * di;
                }
                if (covariance > 0.0) interval_ = covariance / variance;
            }
            break;
        }
        default:
            return;
    }
    publish();
}

void MidiClock::publish() {
    sequence_.fetch_add(1, std::memory_order_acq_rel);  // odd: being written
    publishedRunning_.store(running_, std::memory_order_relaxed);
    publishedInterval_.store(interval_, std::memory_order_relaxed);
    publishedLastTime_.store(lastTime_, std::memory_order_relaxed);
    publishedPulses_.store(pulses_, std::memory_order_relaxed);
    sequence_.fetch_add(1, std::memory_order_release);  // even: complete
}

MidiClock::Reading MidiClock::read(double seconds) const {
    bool running = false;
    double interval = 0.0, last = -1.0;
    int64_t pulses = 0;
    // A few tries at most: the writer holds the figures odd for nanoseconds.
    for (int attempt = 0; attempt < 64; ++attempt) {
        const uint32_t before = sequence_.load(std::memory_order_acquire);
        if (before & 1u) continue;
        running = publishedRunning_.load(std::memory_order_relaxed);
        interval = publishedInterval_.load(std::memory_order_relaxed);
        last = publishedLastTime_.load(std::memory_order_relaxed);
        pulses = publishedPulses_.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (sequence_.load(std::memory_order_relaxed) == before) break;
    }
    Reading r;
    r.running = running;
    r.locked = interval > 0.0;
    r.bpm = r.locked ? 60.0 / (interval * kPulsesPerBeat) : 0.0;
    // Pulse n marks the start of its 24th of a beat: between pulses the
    // position moves on at the tempo, never past the next pulse.
    double position = pulses > 0 ? static_cast<double>(pulses - 1) : 0.0;
    if (running && r.locked && pulses > 0 && last >= 0.0) {
        double fraction = (seconds - last) / interval;
        if (fraction < 0.0) fraction = 0.0;
        if (fraction > 1.0) fraction = 1.0;
        position += fraction;
    }
    r.beats = position / kPulsesPerBeat;
    return r;
}
