#include "reactors/RippleObjViewer.h"

#include <GL/gl.h>

#include "platform/VirtualScreen.h"
#include "reactor/GlSwitches.h"
#include "reactors/DrawModel.h"

// The base's transform record is already fresh (identity orientation) when
// this constructor runs, so it is used as it is.
RippleObjViewer::RippleObjViewer(const char* modelName)
    : surfaceTexGen(std::make_unique<texGenRecord>()),
      modelKeeper(std::make_unique<MatrixModeKeeper>()),
      model(std::make_unique<ObjModel>(modelName ? modelName : "")),
      ripple(std::make_unique<RippleGene>(kWidth, kHeight, "QWERT")),
      slice(static_cast<size_t>(kSliceWidth) * kSliceHeight, 0.0f) {}

void RippleObjViewer::update() {
    transform->rotateBall(controlFloat(17), controlFloat(81), 2.0f);
    ripple->setKernel(slice.data(), kSliceWidth, kSliceHeight, controlFloat(19) * 0.3f + 0.3f);
}

void RippleObjViewer::draw() {
    slicePass();

    switchDepth(true);
    glClear(GL_DEPTH_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.0f);

    // The slice is stamped every frame; the 78 x 58 kernel keeps the drop
    // cell in columns 1..2 and rows 1..2, so it covers the grid almost edge
    // to edge.
    ripple->dropPending = true;
    ripple->dropXControl = 1;
    ripple->dropYControl = 1;
    ripple->update();

    const float a = controlFloat(21);
    const float b = controlFloat(85);
    const float sum = a + b;
    if (sum <= -0.03f || sum >= 0.03f) {
        const float millis = static_cast<float>(frameMillisByte());
        surfaceTexGen->mode = 1;
        surfaceTexGen->apply(millis * 0.03f * a, millis * 0.03f * b);
    }
    textureMotion(1.0f, 1.0f);
    ripple->draw();
    keeper().pop(GL_TEXTURE);

    modelPass();
    switchTexGen(false);
}

void RippleObjViewer::slicePass() {
    GLint savedViewport[4] = {0, 0, VirtualScreen::kWidth, VirtualScreen::kHeight};
    glGetIntegerv(GL_VIEWPORT, savedViewport);
    glViewport(0, 0, width, height);
    // The slice viewport is 4:3: on a wider screen the view's projection is
    // narrowed back to 4:3 for it, so the kernel is the same at any size.
    const bool wide = savedViewport[2] * 3 != savedViewport[3] * 4 && savedViewport[3] > 0;
    if (wide) {
        GLfloat projection[16];
        modelKeeper->push(GL_PROJECTION);
        glGetFloatv(GL_PROJECTION_MATRIX, projection);
        projection[0] *= static_cast<float>(savedViewport[2]) / static_cast<float>(savedViewport[3]) * 0.75f;
        glLoadMatrixf(projection);
        modelKeeper->restore();
    }
    // The whole buffers, not only the viewport: what earlier cells drew this
    // frame is gone.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    switchBlend(false);
    glDisable(GL_TEXTURE_2D);

    // An empty model (the loader names none) leaves the slice black: the
    // clear above already gives the picture, and the slice buffer keeps the
    // zeros it was built with, so the draw and the read-back (a wait for the
    // renderer) are skipped.
    if (model->cornerLength() > 0) {
        // Only the part of the model with -0.03 <= z <= 0.03, in the
        // model-view space current here, survives.
        static const GLdouble kBelow[4] = {0.0, 0.0, -1.0, 0.03};
        static const GLdouble kAbove[4] = {0.0, 0.0, 1.0, 0.03};
        glClipPlane(GL_CLIP_PLANE0, kBelow);
        glClipPlane(GL_CLIP_PLANE1, kAbove);
        glEnable(GL_CLIP_PLANE0);
        glEnable(GL_CLIP_PLANE1);

        modelKeeper->push(GL_MODELVIEW);
        glMultMatrixf(transform->matrix);
        const float s = model->scale;
        glScalef(s, s, s);
        modelKeeper->restore();
        drawModel(model.get());
        modelKeeper->pop(GL_MODELVIEW);

        glDisable(GL_CLIP_PLANE0);
        glDisable(GL_CLIP_PLANE1);

        // The current read buffer is the one being drawn into. The rectangle
        // is the kernel's (set by update) and exactly fills the slice buffer;
        // 78 floats a row are 312 bytes, whole rows for any pack alignment.
        // A multisampled screen is resolved there first. The slice keeps its
        // 80 x 60 pixels at any screen size: it is the kernel, not a picture.
        VirtualScreen* screen = activeVirtualScreen();
        if (screen) screen->beginRead(kSliceWidth, kSliceHeight);
        glReadPixels(0, 0, kSliceWidth, kSliceHeight, GL_RED, GL_FLOAT, slice.data());
        if (screen) screen->endRead();
    }

    switchBlend(true);
    glEnable(GL_TEXTURE_2D);
    if (wide) modelKeeper->pop(GL_PROJECTION);
    glViewport(savedViewport[0], savedViewport[1], savedViewport[2], savedViewport[3]);
}

void RippleObjViewer::modelPass() {
    switchBlend(false);
    // The frame's two lights, placed in the current model-view space.
    placeTwoLights();

    modelKeeper->push(GL_MODELVIEW);
    glMultMatrixf(transform->matrix);
    const float s = model->scale;
    glScalef(s, s, s);
    modelKeeper->restore();
    glEnable(GL_TEXTURE_2D);
    // No geometry here: the model carries no material groups, so it shows
    // only through its slice.
    switchTexGen(false);
    modelKeeper->pop(GL_MODELVIEW);
    switchLighting(false);
    switchBlend(true);
}
