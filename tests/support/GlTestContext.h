#pragma once
#include <cstdint>
#include <vector>

class Reactor;
class ControlTable;

// A process-wide OpenGL context for tests that draw: EGL without a window,
// with the virtual 640x480 screen bound. Fails the calling test when no
// context can be had.
bool ensureGlContext();

// Puts the fixed-function state a test may have changed back to its start:
// identity matrices, 640x480 viewport, black clear colour, the usual enables
// off; clears colour and depth.
void resetGlState();

// Depths of the three matrix stacks (to check that draws pop what they push).
struct MatrixDepths {
    int modelview;
    int projection;
    int texture;
    bool operator==(const MatrixDepths& o) const {
        return modelview == o.modelview && projection == o.projection && texture == o.texture;
    }
};
MatrixDepths matrixDepths();

// The virtual screen as RGBA, bottom row first.
std::vector<uint8_t> readScreen();
// Count of pixels whose RGB differs from black by more than `threshold`.
int litPixels(const std::vector<uint8_t>& rgba, int threshold = 8);
bool saveScreenPng(const char* path);

// Runs `frames` frames of one reactor as a raised cell of the universe would:
// view set-up, clear (no fade), lights, cell layer with alpha 1, update, draw.
// The reactor must have controls and a channel set.
void renderReactorFrames(Reactor& reactor, int frames, float timeFactor = 1.0f);
