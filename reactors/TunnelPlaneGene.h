#pragma once
#include "reactor/Gene.h"

// The Tunnel's floor and ceiling: two textured squares of half extent a, at
// heights -b and +b.
class TunnelPlaneGene : public Gene {
public:
    TunnelPlaneGene(float halfExtent, float height);

    void draw() override;

    float texCoords[4][2] = {{0.0f, 0.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}, {0.0f, 1.0f}};
    float corners[8][3];  // 0..3 the floor, 4..7 the ceiling
};
