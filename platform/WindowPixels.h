#pragma once

// Flat drawing over the window: beginWindowPixels binds the window's back
// buffer, sets a viewport and projection in window pixels (y down from the
// top edge) with every switch that would change a flat drawing off and
// blending on; the state and the three matrices are kept for
// endWindowPixels. The operator overlay and the mapping mode's handles draw
// this way.
void beginWindowPixels(int windowWidth, int windowHeight);
void endWindowPixels();
