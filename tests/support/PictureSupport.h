#pragma once
#include <GL/gl.h>

#include <cstdint>
#include <vector>

// Helpers for tests that look at rendered pictures.

// Builds, binds and enables a 64x64 RGBA test texture of coloured stripes and
// squares (the image sets of the instrument are not loaded in unit tests).
// The caller deletes it.
GLuint makeTestTexture();

// Number of distinct coarse colours (3 bits per channel) that cover at least
// `minPixels` lit pixels of an RGBA picture.
int distinctHues(const std::vector<uint8_t>& rgba, int minPixels = 50);

// Saves the current screen as `name` inside the directory named by the
// environment variable STRATA_PICTURE_DIR, when it is set.
void savePictureIfAsked(const char* name);
