#include "operator/LevelMeter.h"

void LevelMeter::update(float level, double seconds) {
    if (!(level > 0.0f)) level = 0.0f;  // also NaN
    if (level > 1.0f) level = 1.0f;
    if (!(seconds > 0.0)) seconds = 0.0;
    level_ = level;
    if (level >= peak_) {
        peak_ = level;
        held_ = 0.0;
        return;
    }
    held_ += seconds;
    if (held_ > kHoldSeconds) {
        // Only the time past the hold lets the mark fall.
        const double falling = held_ - kHoldSeconds < seconds ? held_ - kHoldSeconds : seconds;
        peak_ -= static_cast<float>(falling * kFallPerSecond);
        if (peak_ < level) peak_ = level;
    }
}
