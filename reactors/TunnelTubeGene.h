#pragma once
#include <GL/gl.h>

#include "reactor/Gene.h"

// The Tunnel's funnel: 10 rings of 36 segments, each ring 0.4 times the
// radius of the one before and one ring step deeper, textured along and
// around. Drawn as one triangle strip (or fan) between each pair of rings.
class TunnelTubeGene : public Gene {
public:
    static constexpr int kRings = 10;
    static constexpr int kSegments = 36;

    TunnelTubeGene(float radius, float ringStep);

    void draw() override;

    // The GL primitive of the ring bands: GL_TRIANGLE_STRIP or GL_TRIANGLE_FAN.
    void setPrimitive(GLenum kind) { primitive = kind; }

    float radius;
    float ringStep;
    int rings = kRings;
    int segments = kSegments;
    GLenum primitive = GL_TRIANGLE_STRIP;
    float texCoords[kRings * kSegments][2];  // vertex (r, s) at r * 36 + s
    float positions[kRings * kSegments][3];
};
