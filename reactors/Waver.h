#pragma once
#include <memory>

#include "reactor/GeneReactor.h"
#include "reactors/RippleGene.h"
#include "reactors/qelFlo.h"

// The start reactor of every cell: the cell's image on a flat grid, either
// rippled by a water surface or warped by a moving two-pole flow field.
//
// Controllers of its own channel:
//   22        float >= 0: flow field (mode 1); below 0: ripple (mode 0)
//   21, 85    ripple: byte values place drops (21 below 3: random drops)
//             flow:   float values are the pole orbit size and turning speed
// plus the texture motion, texture generation and image selection of
// GeneReactor.
class Waver : public GeneReactor {
public:
    Waver(int width, int height, int extra);
    ~Waver() override = default;

    void init() override {}
    void update() override;
    void draw() override;

    int mode = 0;  // 0 ripple gene, 1 flow gene
    std::unique_ptr<RippleGene> ripple;
    std::unique_ptr<qelFlo> flow;
};
