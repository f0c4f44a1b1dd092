#pragma once
#include <cstdint>

// The screen record every part of the system reads for the screen size and
// the frame clock. The instrument always draws into a virtual 640x480 screen,
// whatever the size of the real window.
struct ScreenInfo {
    float invWidth = 1.0f / 640.0f;
    float invHeight = 1.0f / 480.0f;
    int width = 640;
    int height = 480;
    float frameSeconds = 0.0f;  // frame delta in seconds
    int frameMillis = 0;        // frame delta in milliseconds

    // Mouse position to 0..1 of the screen width / height.
    float normaliseX(int x) const { return static_cast<float>(x) * invWidth; }
    float normaliseY(int y) const { return static_cast<float>(y) * invHeight; }
};

// The process-wide screen record, created first by the entry point.
ScreenInfo* screenInfo();

// Millisecond clock behind the frame clock: 32 bits that wrap like the
// platform's millisecond counter. The default source is the monotonic clock;
// the offline renderer replaces it with a clock that advances by a fixed
// frame time.
using MillisSource = uint32_t (*)();
uint32_t monotonicMillis();
void setMillisSource(MillisSource source);
uint32_t currentMillis();

namespace FrameClock {
// Once at the start of every frame: frameMillis = now - previous reading
// (unsigned 32-bit difference), frameSeconds = frameMillis * 0.001.
void tick(ScreenInfo& screen);
// The previous clock reading (0 before the first tick).
uint32_t previousReading();
void setPreviousReading(uint32_t millis);
}  // namespace FrameClock
