#include "app/ScreenInfo.h"

#include <time.h>

namespace {
MillisSource gMillisSource = &monotonicMillis;
uint32_t gPreviousReading = 0;
}  // namespace

ScreenInfo* screenInfo() {
    static ScreenInfo screen;
    return &screen;
}

uint32_t monotonicMillis() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);  // wraps every ~49.7 days, like the platform counter
}

void setMillisSource(MillisSource source) { gMillisSource = source ? source : &monotonicMillis; }

uint32_t currentMillis() { return gMillisSource(); }

namespace FrameClock {
void tick(ScreenInfo& screen) {
    const uint32_t now = currentMillis();
    const uint32_t delta = now - gPreviousReading;
    screen.frameMillis = static_cast<int>(delta);
    screen.frameSeconds = static_cast<float>(screen.frameMillis) * 0.001f;
    gPreviousReading = now;
}
uint32_t previousReading() { return gPreviousReading; }
void setPreviousReading(uint32_t millis) { gPreviousReading = millis; }
}  // namespace FrameClock
