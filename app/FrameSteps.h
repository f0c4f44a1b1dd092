#pragma once

class ImageGene;
class MatrixModeKeeper;

// The fixed steps of every frame, shared by the universe and by tools that
// render single reactors.

// Pushes the projection (perspective 50 degrees, the screen's aspect: 1.33333
// at 4:3, near 0.1, far 500) and the model-view (translate 0, 0, -3)
// matrices; sets line width and point size to the screen's pixel scale.
void pushFrameView(MatrixModeKeeper& keeper);
// Pops both matrices pushed by pushFrameView.
void popFrameView(MatrixModeKeeper& keeper);
// trail > 0.01: clear depth and fade the previous picture by a black quad of
// alpha 1 - trail; otherwise clear colour and depth.
void clearOrFade(float trail);
// The two coloured lights, placed under an identity model-view matrix;
// lighting and two-sided lighting on.
void setFrameLights();
// Per-cell state before a visible cell runs: colour (1, 1, 1, alpha) and the
// blend switch on.
void beginCellLayer(float alpha);
// Clean layers: what a visible cell may rely on whatever the cells below it
// left behind: face culling off, the front face the frame had before the
// first cell, and 2D texturing on with the current image of images bound, so
// no layer hides the ones above it and none turns white for want of an image.
void beginCleanLayer(int frontFace, const ImageGene* images);
