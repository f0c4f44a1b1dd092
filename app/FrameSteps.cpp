#include "app/FrameSteps.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>

#include "app/ScreenInfo.h"
#include "reactor/GlSwitches.h"
#include "reactor/MatrixModeKeeper.h"
#include "resources/ImageGene.h"

void pushFrameView(MatrixModeKeeper& keeper) {
    const ScreenInfo& screen = *screenInfo();
    // Lines and points keep their share of the picture at any size.
    glLineWidth(screen.pixelScale());
    glPointSize(screen.pixelScale());
    keeper.pushIdentity(GL_PROJECTION);
    // The vertical field stays 50 degrees: a wider screen sees more at the sides.
    gluPerspective(50.0, screen.aspect(), 0.1, 500.0);
    keeper.restore();
    keeper.pushIdentity(GL_MODELVIEW);
    glTranslatef(0.0f, 0.0f, -3.0f);
    keeper.restore();
}

void popFrameView(MatrixModeKeeper& keeper) {
    keeper.pop(GL_PROJECTION);
    keeper.pop(GL_MODELVIEW);
}

namespace {
void drawFadeQuad(float trail) {
    // At z = -2 the view is 0.93 high each side of the centre; 4 covers any
    // width up to an aspect of 4.3, and a wider view widens the quad.
    const float side = std::max(4.0f, 4.0f * static_cast<float>(screenInfo()->aspect() / 1.33333));
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_LIGHT0);
    glDisable(GL_LIGHT1);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    MatrixModeKeeper keeper;
    keeper.pushIdentity(GL_MODELVIEW);
    glFrontFace(GL_CCW);
    glColor4f(0.0f, 0.0f, 0.0f, 1.0f - trail);
    glBegin(GL_QUADS);
    glVertex3f(-side, -4.0f, -2.0f);
    glVertex3f(side, -4.0f, -2.0f);
    glVertex3f(side, 4.0f, -2.0f);
    glVertex3f(-side, 4.0f, -2.0f);
    glEnd();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glFrontFace(GL_CW);
    keeper.pop(GL_MODELVIEW);
    keeper.restore();
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
}
}  // namespace

void clearOrFade(float trail) {
    // A reactor may leave depth writes off (the depth switch), and a clear
    // honours the depth mask: without this the depth buffer would keep the
    // last frame and hide surfaces drawn again at the same depth.
    glDepthMask(GL_TRUE);
    if (trail > 0.01f) {
        glClear(GL_DEPTH_BUFFER_BIT);
        drawFadeQuad(trail);
    } else {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
}

void setFrameLights() {
    MatrixModeKeeper keeper;
    keeper.pushIdentity(GL_MODELVIEW);
    placeTwoLights();
    keeper.pop(GL_MODELVIEW);
    keeper.restore();
}

void beginCellLayer(float alpha) {
    glColor4f(1.0f, 1.0f, 1.0f, alpha);
    switchBlend(true);
}

void beginCleanLayer(int frontFace, const ImageGene* images) {
    glDisable(GL_CULL_FACE);
    glFrontFace(static_cast<GLenum>(frontFace));
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, images && images->texture ? images->texture->textureName : 0);
}
