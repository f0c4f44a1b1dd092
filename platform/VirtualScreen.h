#pragma once
#include <cstdint>

// The virtual 640x480 screen: every frame is drawn into an off-screen RGBA
// target with depth that keeps its content from frame to frame (the fade
// draws over the previous frame), then scaled onto the window with its aspect
// kept. Reads of "the back buffer" read this target. Without framebuffer
// objects, frames go straight to the window in a 640x480 viewport.
class VirtualScreen {
public:
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;

    // Needs a current context. False when the driver has no framebuffer
    // objects (the window is then drawn directly).
    bool create();
    bool offscreen() const { return framebuffer_ != 0; }

    // Makes the target current for drawing and reading, viewport 640x480.
    void bind();
    // Copies the target onto the window (letterboxed) and rebinds it.
    void present(int windowWidth, int windowHeight);
    // Draws the target onto the window through a projective map instead:
    // the picture's texture square (0..1, v up) is drawn as one quad with
    // matrix (column-major, to clip space) as the projection, so the picture
    // is interpolated with perspective; the rest of the window is black.
    // Then rebinds the target. Without framebuffer objects nothing happens.
    void presentWarped(int windowWidth, int windowHeight, const double matrix[16]);
    // Reads the whole target as RGBA, bottom row first (640*480*4 bytes).
    void read(uint8_t* rgba);

    // Where the 640x480 picture sits in a window of the given size.
    struct Box {
        int x, y, width, height;
    };
    static Box letterbox(int windowWidth, int windowHeight);
    // Window mouse position to the 640x480 space (clamped to the picture).
    static void windowToScreen(int windowWidth, int windowHeight, int wx, int wy, int& sx, int& sy);

private:
    unsigned framebuffer_ = 0;
    unsigned colour_ = 0;
    unsigned depth_ = 0;
};

// The virtual screen of the running process (null before it exists).
VirtualScreen* activeVirtualScreen();
void setActiveVirtualScreen(VirtualScreen* screen);
