#pragma once
#include <memory>

#include "reactor/GeneReactor.h"

class TunnelTubeGene;
class TunnelPlaneGene;

// A textured funnel narrowing into the distance, or a textured floor and
// ceiling, tilted and spun about the viewing axis. Drawn in eye space: the
// frame's camera is replaced by an identity model-view matrix.
//
// Controllers (own channel, float values):
//   22  below 0: funnel (below -0.5 as triangle strips, else as fans);
//       0 and above: floor and ceiling
//   24/88 tilt (the length of (-24, 88) is the angle in radians)
//   28  spin speed, 0.01 turn per frame at full value
//   25/89 image selection, 29/93/30/94 texture motion, 31/95 texture generation
class Tunnel : public GeneReactor {
public:
    static constexpr int kTube = 1;
    static constexpr int kPlanes = 2;

    Tunnel();
    ~Tunnel() override;

    void draw() override;

    int mode = kTube;
    float spin = 0.0f;  // whole turns
    std::unique_ptr<TunnelTubeGene> tube;
    std::unique_ptr<TunnelPlaneGene> planes;
};
