#pragma once
#include <GL/gl.h>

// Binds a colourful 64x64 RGBA test texture (built on first use) and enables
// 2D texturing: image sets are not loaded in unit tests, and reactors draw
// with whatever texture is bound.
GLuint bindTestTexture();

// Saves the virtual screen as <dir>/<name>.png when STRATA_PICTURE_DIR names
// a directory (for looking at what a test drew).
void savePictureIfAsked(const char* name);
