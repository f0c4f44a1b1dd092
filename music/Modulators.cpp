#include "music/Modulators.h"

#include <cmath>

#include "platform/HashBits.h"

float Lfo::value(double beats) const {
    const double cycles = beats / periodBeats + phase;
    const double x = cycles - std::floor(cycles);
    switch (shape) {
        case Shape::Sine: return static_cast<float>(0.5 - 0.5 * std::cos(2.0 * M_PI * x));
        case Shape::Triangle: return static_cast<float>(1.0 - std::fabs(2.0 * x - 1.0));
        case Shape::Saw: return static_cast<float>(x);
        case Shape::Square: return x < 0.5 ? 1.0f : 0.0f;
        case Shape::Random: {
            const auto step = static_cast<uint32_t>(static_cast<int64_t>(std::floor(cycles)));
            return static_cast<float>(mixBits(step ^ mixBits(seed)) >> 8) * (1.0f / 16777216.0f);
        }
    }
    return 0.0f;
}

void Envelope::trigger() {
    rising_ = attackMillis > 0.0f;
    if (!rising_) value_ = 1.0f;
}

float Envelope::step(float millis) {
    if (rising_) {
        value_ += millis / attackMillis;
        if (value_ >= 1.0f) {
            value_ = 1.0f;
            rising_ = false;
        }
    } else if (value_ > 0.0f) {
        value_ = decayMillis > 0.0f ? value_ - millis / decayMillis : 0.0f;
        if (value_ < 0.0f) value_ = 0.0f;
    }
    return value_;
}
