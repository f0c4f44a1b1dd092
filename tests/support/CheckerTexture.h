#pragma once

// A colourful 64 x 64 test texture (red across, green up, blue checks of 8
// texels), created once and bound to GL_TEXTURE_2D with 2D texturing enabled.
// Reactors that draw with "whatever texture is bound" show it in pictures.
void bindCheckerTexture();

// Writes the virtual screen to $STRATA_PICTURE_DIR/name.png when that
// variable is set (for looking at pictures by hand); otherwise does nothing.
void savePictureIfAsked(const char* name);
