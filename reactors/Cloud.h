#pragma once
#include "reactor/GeneReactor.h"

// A stack of large translucent textured planes drifting towards the viewer,
// fading and shrinking with depth and starting again at the back: flying
// through layers of cloud. Each plane shows the current image of image set 0
// with its own texture scroll and scale; texture generation may turn the
// mapping.
//
// Controllers (own channel, float values):
//   17 drift speed, 81 plane spacing, 7 overall opacity, 22 fade per plane,
//   86 number of planes, 29/93/30/94 texture motion, 31/95 texture generation.
class Cloud : public GeneReactor {
public:
    Cloud();

    void init() override;  // resets the drift values (the constructor sets the same)
    void draw() override;

    float cornerTex[4][2] = {{-0.5f, -0.5f}, {1.5f, -0.5f}, {1.5f, 1.5f}, {-0.5f, 1.5f}};
    float centreTex[2] = {0.5f, 0.5f};
    float corners[4][3];
    float centre[3] = {0.0f, 0.0f, 0.0f};
    float spacing = 1.0f;
    float speed = 0.01f;
    float phase = -2.0f;
    int layerCount = 3;  // index of the farthest plane: planes 0 .. layerCount are drawn
    float halfWidth = 5.2f;
    float halfHeight = 4.0f;
    float falloff = 1.0f;
};
