#include "reactors/qelObjReactor.h"

#include <GL/gl.h>

#include <cstdio>

#include "reactor/GlSwitches.h"
#include "reactors/DrawModel.h"
#include "resources/ModelGene.h"
#include "resources/ObjModel.h"

qelObjReactor::qelObjReactor() : modelKeeper(std::make_unique<MatrixModeKeeper>()) {
    printf("qelObjReactor :: number of models %d\n", modelCount);
}

void qelObjReactor::update() {
    // -1 .. 1 becomes 0 .. 1; the centre (the start value) is the middle model.
    const float fraction = (controlFloat(17) + 1.0f) * 0.5f;
    // No model set, an empty set or a slot whose file was not read: null,
    // and draw leaves the model out.
    currentModel = modelSet ? modelSet->selectModel(fraction) : nullptr;
}

void qelObjReactor::draw() {
    selectImage(0);
    pushObjectMotion(true, true, true, true);
    modelKeeper->push(GL_MODELVIEW);
    if (currentModel) {
        const float s = currentModel->scale;
        glScalef(s, s, s);
    }
    modelKeeper->restore();

    // The state switches run with or without a model so that the cells drawn
    // after this one see the same state either way; only the triangles are
    // left out when there is no model.
    glDisable(GL_CULL_FACE);  // both sides of open meshes show
    switchDepth(true);
    drawModel(currentModel);
    switchDepth(false);
    glEnable(GL_CULL_FACE);  // back on for the cells drawn after this one

    modelKeeper->pop(GL_MODELVIEW);
    keeper().pop(GL_MODELVIEW);
}
