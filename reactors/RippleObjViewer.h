#pragma once
#include <memory>
#include <vector>

#include "reactor/GeneReactor.h"
#include "reactor/MatrixModeKeeper.h"
#include "reactor/ReactorRecords.h"
#include "reactors/RippleGene.h"
#include "resources/ObjModel.h"

// The ripple obj viewer: a water surface into which a model cuts. Every frame
// a thin slice of the model around z = 0 is rendered into a small viewport in
// the corner of the frame buffer, its red channel is read back and stamped
// into the ripple gene as the drop kernel, so the cross-section keeps making
// waves. The surface is drawn with whatever 2D texture is bound, scrolled by
// the texture motion and optionally mapped through turning texture planes.
// The model turns under a virtual trackball.
//
// Controllers of its own channel:
//   17, 81          trackball x and y
//   19              wave strength: kernel scale 0 .. 0.6
//   21, 85          texture plane turning speeds (sum within +-0.03: off)
//   29, 93, 30, 94  texture scroll and scale (textureMotion)
class RippleObjViewer : public GeneReactor {
public:
    static constexpr int kWidth = 80;   // ripple grid and slice viewport
    static constexpr int kHeight = 60;
    static constexpr int kSliceWidth = kWidth - 2;   // read-back kernel
    static constexpr int kSliceHeight = kHeight - 2;

    // Builds the model from the OBJ file `modelName`. The loader names none:
    // a null name counts as the empty one, which the OBJ reader reports as a
    // file it cannot open and gives an empty model. An empty model leaves the
    // slice black, and the surface shows only the image with its motion.
    explicit RippleObjViewer(const char* modelName);
    ~RippleObjViewer() override = default;

    // Trackball and ripple kernel set-up.
    void update() override;
    // Slice pass, ripple update and surface, model pass.
    void draw() override;

    // The slice: the model between the clip planes z = -0.03 and z = 0.03,
    // drawn white into the 80 x 60 viewport at the origin and read back as
    // the red channel of the 78 x 58 kernel. Clears the whole colour buffer.
    void slicePass();
    // Lights and the model's transform; draws no geometry.
    void modelPass();

    int width = kWidth;
    int height = kHeight;
    std::unique_ptr<texGenRecord> surfaceTexGen;    // mode 1 while 21/85 drive it
    std::unique_ptr<MatrixModeKeeper> modelKeeper;  // the model's pushes and pops
    std::unique_ptr<ObjModel> model;                // empty without a model file
    std::unique_ptr<RippleGene> ripple;
    std::vector<float> slice;  // 78 x 58 red values, bottom row first
};
