#pragma once
#include <GL/gl.h>

// Remembers the current matrix mode around pushes and pops so that a reactor
// can work on another matrix stack and put the mode back afterwards.
class MatrixModeKeeper {
public:
    MatrixModeKeeper();  // reads the current matrix mode

    void push(GLenum mode);          // store mode, select mode, push
    void pushIdentity(GLenum mode);  // store mode, select mode, push, load identity
    void pop(GLenum mode);           // store mode, select mode, pop, select the stored mode
    void restore();                  // select the stored mode

    GLint savedMode = GL_MODELVIEW;

private:
    void store();
};
