#pragma once
#include <GL/gl.h>

// Binds a colourful 64x64 RGBA test texture (built on first use) and enables
// 2D texturing: image sets are not loaded in unit tests, and reactors draw
// with whatever texture is bound.
GLuint bindTestTexture();
