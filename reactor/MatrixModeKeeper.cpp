#include "reactor/MatrixModeKeeper.h"

MatrixModeKeeper::MatrixModeKeeper() { store(); }

void MatrixModeKeeper::store() {
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    // Without a current context nothing is read; keep the model-view default.
    if (mode == GL_MODELVIEW || mode == GL_PROJECTION || mode == GL_TEXTURE) savedMode = mode;
}

void MatrixModeKeeper::push(GLenum mode) {
    store();
    glMatrixMode(mode);
    glPushMatrix();
}

void MatrixModeKeeper::pushIdentity(GLenum mode) {
    store();
    glMatrixMode(mode);
    glPushMatrix();
    glLoadIdentity();
}

void MatrixModeKeeper::pop(GLenum mode) {
    store();
    glMatrixMode(mode);
    glPopMatrix();
    glMatrixMode(static_cast<GLenum>(savedMode));
}

void MatrixModeKeeper::restore() { glMatrixMode(static_cast<GLenum>(savedMode)); }
