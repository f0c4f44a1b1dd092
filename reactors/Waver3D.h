#pragma once
#include <memory>

#include "reactor/GeneReactor.h"
#include "reactors/GeodesicWaveGene.h"
#include "reactors/TorusRippleGene.h"

// A closed surface on which waves run, environment-mapped with the cell's
// image: a geodesic sphere or a torus, each with its own wave simulation.
//
// Controllers of its own channel:
//   22  float >= 0: sphere (mode 1); below 0: torus (mode 0)
// plus the texture motion, image selection and object motion of GeneReactor.
// The sphere always runs and draws its finest level; controller 21 does not
// choose a coarser one, so the surface keeps its smooth look whatever the
// controller box sends there.
class Waver3D : public GeneReactor {
public:
    // The three arguments are accepted and not used.
    Waver3D(int width, int height, int extra);
    ~Waver3D() override = default;

    void init() override {}
    void update() override;
    void draw() override;

    int mode = 0;  // 1 sphere, 0 torus
    std::unique_ptr<GeodesicWaveGene> sphere;
    std::unique_ptr<TorusRippleGene> torus;
};
