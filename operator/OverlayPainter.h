#pragma once

class OperatorOverlay;

// Draws the operator view onto the window (framebuffer 0, back buffer) over
// the presented picture: a translucent dark panel at the top left with the
// rows in a GLUT bitmap font and their bars. Every OpenGL state it touches is
// saved and restored; the caller binds its own target again afterwards.
void paintOperatorOverlay(const OperatorOverlay& overlay, int windowWidth, int windowHeight);
