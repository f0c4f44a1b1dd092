#pragma once
#include <memory>

#include "reactor/GeneReactor.h"

class qelParticles;
class MetaballPolygoniser;

// A small particle fountain turned into one blobby surface: a metaball of
// strength 16 (radius 0.25 alone) sits at a fifth of every active particle's
// position, and the iso-surface is re-meshed on every update and drawn
// environment-mapped with the cell's image.
//
// Controllers (float values), as for Particles1 without the size: 18 active
// share of the pool, 85 gravity, 21 damping, 22/86 spread, 23/87 speed,
// 19 kill all (below -0.5) / 83 life variation, 81/17 birth centre; plus the
// texture and object motion controllers of GeneReactor.
class MetaballViewer : public GeneReactor {
public:
    static constexpr float kBallScale = 0.2f;
    static constexpr float kBallStrength = 16.0f;

    explicit MetaballViewer(int poolSize);
    ~MetaballViewer() override;

    void update() override;
    void draw() override;

    int poolSize = 0;
    std::unique_ptr<qelParticles> particles;
    std::unique_ptr<MetaballPolygoniser> polygoniser;
};
