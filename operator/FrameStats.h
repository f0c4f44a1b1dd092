#pragma once

// Frame figures over whole seconds: frames per second, the mean frame time
// and the slowest frame. The figures of a second are published when it ends
// and stand for the next second, so the operator reads steady numbers.
class FrameStats {
public:
    // One frame that took millis (from the previous frame's start).
    void addFrame(double millis);

    bool ready() const { return published_; }
    double fps() const { return fps_; }
    double meanMillis() const { return mean_; }
    double slowestMillis() const { return slowest_; }

private:
    double elapsed_ = 0.0;
    int frames_ = 0;
    double slowestNow_ = 0.0;
    bool published_ = false;
    double fps_ = 0.0;
    double mean_ = 0.0;
    double slowest_ = 0.0;
};
