#pragma once
#include <memory>

#include "reactor/GeneReactor.h"

class qelParticles;
class ObjModel;

// A fountain of textured, coloured square sprites. Every emission parameter
// comes from the reactor's own channel each frame; the sprite width follows
// the right loudness and the height the left loudness of the wave input.
//
// Controllers (float values): 24/88 sprite size, 18 active share of the pool,
// 85 gravity, 21 damping, 22/86 spread, 23/87 speed, 19 kill all (below
// -0.5) / 83 life variation, 81/17 birth centre.
class Particles1 : public GeneReactor {
public:
    // The model argument is accepted and ignored: the fountain always draws
    // sprites.
    explicit Particles1(int poolSize, const ObjModel* model = nullptr);
    ~Particles1() override;

    void update() override;
    void draw() override;

    int poolSize = 0;
    std::unique_ptr<qelParticles> particles;
};
