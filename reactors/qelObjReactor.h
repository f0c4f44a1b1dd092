#pragma once
#include <memory>

#include "reactor/GeneReactor.h"
#include "reactor/MatrixModeKeeper.h"

class ObjModel;

// The Obj viewer: one model of the cell's model set, textured with the
// current image of image set 0, moved and turned by the object motion of
// GeneReactor and scaled so that its half extents add up to 3 units.
//
// Controllers of its own channel:
//   17                      model choice, -1 .. 1 across the set (1 wraps to the first)
//   90, 26, 27 / 28, 92, 91 x, y, z angle speed / x, y, z offset (pushObjectMotion)
//   25, 89                  image choice (selectImage)
class qelObjReactor : public GeneReactor {
public:
    qelObjReactor();
    ~qelObjReactor() override = default;

    // Chooses the current model from controller 17.
    void update() override;
    // Draws the current model with face culling off and the depth test on.
    void draw() override;

    std::unique_ptr<MatrixModeKeeper> modelKeeper;  // for the model's scale
    ObjModel* currentModel = nullptr;  // not owned; null until the first update
    int modelCount = 0;                // only logged
};
