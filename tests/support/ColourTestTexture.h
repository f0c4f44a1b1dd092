#pragma once
#include <GL/gl.h>

// Binds (and on first use builds) a 64x64 RGBA test texture: a checkerboard
// of 8x8-texel squares whose colours run red to green across and blue up,
// repeating, with linear filtering; enables 2D texturing. Stands in for an
// image set in pictures of reactors that draw "whatever texture is bound".
GLuint bindColourTestTexture();
