#pragma once

// A sound level meter as a performer reads it: the bar follows the level,
// the peak mark jumps up with it, stays for a moment, then falls slowly, so a
// short hit stays readable at a glance.
class LevelMeter {
public:
    static constexpr double kHoldSeconds = 1.5;
    static constexpr double kFallPerSecond = 0.5;  // of full scale, after the hold

    // The newest level (clamped to 0..1) and the time since the previous one.
    void update(float level, double seconds);

    float level() const { return level_; }
    float peak() const { return peak_; }

private:
    float level_ = 0.0f;
    float peak_ = 0.0f;
    double held_ = 0.0;  // seconds the peak has stood
};
