#pragma once
#include <GL/gl.h>

#include <cstdint>
#include <vector>

// Helpers for tests that look at rendered pictures.

// Binds a colourful 64x64 RGBA test texture (built on first use and kept) and
// enables 2D texturing. Image sets are not loaded in unit tests; reactors that
// draw with whatever texture is bound show this one.
GLuint bindTestTexture();

// Number of distinct coarse colours (3 bits per channel) that cover at least
// `minPixels` lit pixels of an RGBA picture.
int distinctHues(const std::vector<uint8_t>& rgba, int minPixels = 50);

// Saves the virtual screen as <dir>/<name>.png when the environment variable
// STRATA_PICTURE_DIR names a directory (for looking at what a test drew).
void savePictureIfAsked(const char* name);
