#pragma once
#include <cstdint>

// The virtual screen: every frame is drawn into an off-screen RGBA target
// with depth that keeps its content from frame to frame (the fade draws over
// the previous frame), then scaled onto the window with its aspect kept.
// Reads of "the back buffer" read this target. Its size is 640x480 unless
// another is asked for (STRATA_RESOLUTION, strata-render --size). With
// samples the drawing goes to a multisampled colour and depth buffer, which
// keeps the persisted picture, and is resolved into the target's texture
// before it is presented or read. Without framebuffer objects, frames go
// straight to the window in a viewport of the screen's size.
class VirtualScreen {
public:
    static constexpr int kWidth = 640;   // the size when none is asked for, and the
    static constexpr int kHeight = 480;  // mouse space whatever the size is

    VirtualScreen() = default;
    // samples 0: single-sampled; 2..16 asks for a multisampled drawing buffer.
    VirtualScreen(int width, int height, int samples = 0) : width_(width), height_(height), samplesAsked_(samples) {}

    // Needs a current context. False when the driver has no framebuffer
    // objects (the window is then drawn directly). A multisampled buffer the
    // driver does not offer leaves a single-sampled one.
    bool create();
    bool offscreen() const { return framebuffer_ != 0; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Samples of the drawing buffer after create (0: single-sampled).
    int samples() const { return samples_; }
    // One line on standard error saying what the asked samples gave; nothing
    // when none were asked for.
    void reportSamples(const char* program) const;

    // Makes the drawing buffer current for drawing and reading, viewport the
    // whole screen.
    void bind();
    // Copies the target onto the window (letterboxed) and rebinds it.
    void present(int windowWidth, int windowHeight);
    // Draws the target onto the window through a projective map instead:
    // the picture's texture square (0..1, v up) is drawn as one quad with
    // matrix (column-major, to clip space) as the projection, so the picture
    // is interpolated with perspective; the rest of the window is black.
    // Then rebinds the target. Without framebuffer objects nothing happens.
    void presentWarped(int windowWidth, int windowHeight, const double matrix[16]);
    // Reads the whole target as RGBA, bottom row first (width*height*4 bytes).
    void read(uint8_t* rgba);
    // Makes the bottom-left width x height of what was drawn readable by
    // glReadPixels (a multisampled buffer cannot be read directly: the
    // rectangle is resolved first); endRead returns to the drawing buffer.
    void beginRead(int width, int height);
    void endRead();

    // Where a picture of width x height sits in a window of the given size.
    struct Box {
        int x, y, width, height;
    };
    static Box letterbox(int windowWidth, int windowHeight, int width = kWidth, int height = kHeight);
    // Window mouse position over a picture of width x height to the 640x480
    // mouse space (clamped to the picture): whatever the size, x 0..639 runs
    // across the picture and y 0..479 down it, so scripts and recordings
    // keep their coordinates.
    static void windowToScreen(int windowWidth, int windowHeight, int wx, int wy, int& sx, int& sy,
                               int width = kWidth, int height = kHeight);

private:
    bool createMultisampled();
    // Blits the bottom-left width x height of the multisampled buffer into the target.
    void resolve(int width, int height);

    int width_ = kWidth;
    int height_ = kHeight;
    int samplesAsked_ = 0;
    int samples_ = 0;
    int samplesOffered_ = 0;  // the driver's most
    unsigned framebuffer_ = 0;  // the target: colour texture and depth
    unsigned colour_ = 0;
    unsigned depth_ = 0;
    unsigned multisampled_ = 0;  // the drawing buffer when multisampled
    unsigned multiColour_ = 0;
    unsigned multiDepth_ = 0;
};

// The virtual screen of the running process (null before it exists).
VirtualScreen* activeVirtualScreen();
void setActiveVirtualScreen(VirtualScreen* screen);

// "WxH" within 160..7680 x 120..4320 into width and height; false (both
// untouched) for anything else.
bool parseScreenSize(const char* text, int& width, int& height);
// 2, 4, 8 or 16 samples; false for anything else.
bool parseSampleCount(const char* text, int& samples);
