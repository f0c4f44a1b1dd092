#pragma once
#include <memory>

#include "reactor/Reactor.h"
#include "reactor/ReactorRecords.h"

// The base of most effects: controller-driven image selection, texture
// motion, texture-coordinate generation and object motion.
//
// Controllers read on the reactor's own channel:
//   selectImage:      25 (speed or position), 89 (below 0: position mode)
//   textureMotion:    29/93 scroll speed, 30/94 scale
//   textureGen:       31/95 plane turning speed (31 near centre: off)
//   pushObjectMotion: 90/26/27 x/y/z angle speed, 28/92/91 x/y/z offset
class GeneReactor : public Reactor {
public:
    GeneReactor();
    ~GeneReactor() override;

    void selectImage(int set) override;
    virtual void reserved2() {}

    // Pushes the texture matrix (the caller pops it through the keeper) with
    // the scroll and scale of controllers 29/93 and 30/94.
    void textureMotion(float scale, float speed);
    // Turning object-linear texture planes from controllers 31/95.
    void textureGen();
    // Advances the object angles and pushes the model-view matrix with the
    // chosen translate and rotations (the caller pops it through the keeper).
    void pushObjectMotion(bool rotateY, bool rotateX, bool rotateZ, bool translate);

    std::unique_ptr<texGenRecord> texGen;
    std::unique_ptr<MaterialRecord> material;
    std::unique_ptr<TransformRecord> transform;
    float texAngleS = 0.0f;
    float texAngleT = 0.0f;
    float angleX = 0.0f;
    float angleY = 0.0f;
    float angleZ = 0.0f;
    float texScrollS = 0.0f;
    float texScrollT = 0.0f;
    float imagePosition = 0.0f;
};
