#pragma once
#include <GL/gl.h>

#include <functional>
#include <vector>

// What drawing code sends to the rasteriser, through GL feedback mode: each
// polygon after transformation and clipping, vertices in window coordinates
// (x, y pixels, z depth 0..1) with their lit RGBA colour.
struct FeedbackVertex {
    float x, y, z;
    float rgba[4];
};
struct FeedbackPolygon {
    std::vector<FeedbackVertex> vertices;
};

// Runs `draw` in GL_3D_COLOR feedback mode; returns the polygons in drawing
// order (other primitives are skipped). Fails the test on overflow.
std::vector<FeedbackPolygon> capturePolygons(const std::function<void()>& draw);

// glOrtho(left, right, bottom, top, -far, far) on a 640x480 viewport, and the
// eye-space coordinates of a feedback vertex under it.
struct OrthoBox {
    float left, right, bottom, top, far;
    void apply() const;  // loads the projection and an identity model-view
    float eyeX(const FeedbackVertex& v) const { return left + v.x / 640.0f * (right - left); }
    float eyeY(const FeedbackVertex& v) const { return bottom + v.y / 480.0f * (top - bottom); }
    float eyeZ(const FeedbackVertex& v) const { return far * (1.0f - 2.0f * v.z); }
};
