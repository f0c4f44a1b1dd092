#pragma once
#include <cstdint>

// The screen record every part of the system reads for the screen size and
// the frame clock. The instrument draws into a virtual screen (640x480 unless
// another size is asked for), whatever the size of the real window; the
// mouse space (width x height) stays 640x480 at any drawn size.
struct ScreenInfo {
    float invWidth = 1.0f / 640.0f;
    float invHeight = 1.0f / 480.0f;
    int width = 640;
    int height = 480;
    int drawWidth = 640;   // the virtual screen's pixels
    int drawHeight = 480;
    float frameSeconds = 0.0f;  // frame delta in seconds
    int frameMillis = 0;        // frame delta in milliseconds

    // Mouse position to 0..1 of the screen width / height.
    float normaliseX(int x) const { return static_cast<float>(x) * invWidth; }
    float normaliseY(int y) const { return static_cast<float>(y) * invHeight; }
    // Drawn pixels per pixel of the 640x480 picture (drawHeight / 480): line
    // widths and point sizes given in pixels are scaled by it.
    float pixelScale() const { return static_cast<float>(drawHeight) / 480.0f; }
    // The aspect of the view: 1.33333 for any 4:3 size (the figure the frame
    // always used), else drawWidth / drawHeight.
    double aspect() const {
        return drawWidth * 3 == drawHeight * 4 ? 1.33333 : static_cast<double>(drawWidth) / drawHeight;
    }
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
