#pragma once

// A solid cube of edge `size` centred at the origin: six quads with one
// normal per face, counter-clockwise seen from outside, in immediate mode.
// It stands in for glutSolidCube (the same geometry) so that reactors drawing
// cubes also run without a GLUT window, as in the headless renderer and tests,
// where glutSolidCube would end the process.
void solidCube(float size);
