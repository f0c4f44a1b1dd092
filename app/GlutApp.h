#pragma once

// The instrument's entry: opens the window through GLUT, registers the
// callbacks, loads the key bindings (which builds the universe) and runs the
// GLUT main loop. Never returns.
int runInstrument(int argc, char** argv);
