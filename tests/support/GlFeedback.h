#pragma once
#include <GL/gl.h>

#include <functional>
#include <vector>

// Captures what a piece of drawing code sends to the rasteriser, through the
// GL feedback mode: every polygon (after transformation and clipping) with
// its vertices in window coordinates (x, y in pixels, z the depth 0..1), and,
// with colour, the lit RGBA colour of each vertex.
struct FeedbackVertex {
    float x, y, z;
    float rgba[4];
};
struct FeedbackPolygon {
    std::vector<FeedbackVertex> vertices;
    // Signed area in window coordinates: positive when the vertices run
    // counter-clockwise on the screen.
    float signedArea() const;
};

// Runs `draw` in feedback mode (GL_3D_COLOR) and returns the polygons in the
// order they were drawn. Points, lines and pass-through markers are skipped.
// Fails the calling test when the feedback buffer overflows.
std::vector<FeedbackPolygon> capturePolygons(const std::function<void()>& draw);

// With the orthographic projection glOrtho(l, r, b, t, -far, far) and a
// 640x480 viewport: the eye-space point of a feedback vertex.
struct OrthoBox {
    float left, right, bottom, top, far;
    void apply() const;  // loads the projection (identity model-view)
    float eyeX(const FeedbackVertex& v) const;
    float eyeY(const FeedbackVertex& v) const;
    float eyeZ(const FeedbackVertex& v) const;
};
