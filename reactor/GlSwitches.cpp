#include "reactor/GlSwitches.h"

#include <GL/gl.h>

void switchBlend(bool on) {
    if (on) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDisable(GL_DEPTH_TEST);
        glDepthMask(GL_FALSE);
    } else {
        glDisable(GL_BLEND);
        glDepthMask(GL_TRUE);
    }
}

void switchDepth(bool on) {
    if (on) {
        glEnable(GL_DEPTH_TEST);
        glDepthMask(GL_TRUE);
    } else {
        glDisable(GL_DEPTH_TEST);
        glDepthMask(GL_FALSE);
    }
}

void switchTexGen(bool on) {
    if (on) {
        glEnable(GL_TEXTURE_GEN_S);
        glEnable(GL_TEXTURE_GEN_T);
    } else {
        glDisable(GL_TEXTURE_GEN_S);
        glDisable(GL_TEXTURE_GEN_T);
    }
}

void switchLighting(bool on) {
    if (on)
        glEnable(GL_LIGHTING);
    else
        glDisable(GL_LIGHTING);
}

void placeTwoLights() {
    static const float ambient[4] = {0.3f, 0.3f, 0.3f, 1.0f};
    static const float colour0[4] = {0.9f, 0.0f, 0.9f, 1.0f};
    static const float colour1[4] = {0.0f, 0.9f, 0.9f, 1.0f};
    static const float position0[4] = {-3.0f, 1.0f, -10.0f, 1.0f};
    static const float position1[4] = {3.0f, 1.0f, -10.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, colour0);
    glLightfv(GL_LIGHT0, GL_SPECULAR, colour0);
    glLightfv(GL_LIGHT0, GL_POSITION, position0);
    glLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, colour1);
    glLightfv(GL_LIGHT1, GL_SPECULAR, colour1);
    glLightfv(GL_LIGHT1, GL_POSITION, position1);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glEnable(GL_LIGHTING);
    glLightModelf(GL_LIGHT_MODEL_TWO_SIDE, 1.0f);
}
