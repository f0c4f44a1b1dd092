#pragma once
#include <chrono>

// Caps the frame rate: after each frame, sleeps what is left of the frame
// period, measured on the monotonic clock. Deadlines advance by whole periods
// so the mean rate stays at the cap; a frame that runs more than a period late
// starts the count again instead of letting the next frames rush to catch up.
class FramePacer {
public:
    using Clock = std::chrono::steady_clock;

    // fps 0: no cap (wait returns at once).
    explicit FramePacer(int fps = 0);

    // The arithmetic of one frame, in milliseconds on any monotonic clock:
    // moves deadline to the end of the frame that began at the previous
    // deadline and returns how long to wait from now until then (0 or more).
    static double plan(double& deadline, double now, double period);

    // Sleeps until the end of the current frame period.
    void wait();
    int fps() const { return fps_; }

private:
    int fps_;
    double periodMillis_;
    double deadline_ = 0.0;
    bool started_ = false;
    Clock::time_point origin_{};
};
