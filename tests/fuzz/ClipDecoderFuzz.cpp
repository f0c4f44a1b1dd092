// Fuzzes opening and decoding a clip: any file plays (or fails with a line)
// through a forward run, a jump, backwards and past the loop, each frame
// waiting at most 100 ms for the decoder, and the player shuts down cleanly.
#include "FuzzInput.h"
#include "resources/ClipPlayer.h"

const char* const kFuzzFileSuffix = ".mp4";

void fuzzOne(const uint8_t*, size_t, const char* path) {
    ClipPlayer::setExactFrames(true, 100);
    ClipPlayer clip(path, 12, 9);
    const struct {
        int ticks;
        float speed, position;
    } steps[] = {{6, 0, 0}, {2, 0.8f, 0.5f}, {4, -1, 0.5f}, {3, 1, -0.9f}};
    bool changed = false;
    for (const auto& step : steps)
        for (int t = 0; t < step.ticks && !clip.failed(); ++t) {
            setClipFrameClock(200);
            const unsigned char* pixels = clip.frame(step.speed, step.position, &changed);
            volatile unsigned sum = 0;
            for (int i = 0; i < 12 * 9 * 4; ++i) sum = sum + pixels[i];
        }
}
