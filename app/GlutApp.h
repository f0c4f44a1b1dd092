#pragma once
#include <cstdio>

// The instrument's entry: opens the window through GLUT, registers the
// callbacks, loads the key bindings (which builds the universe) and runs the
// GLUT main loop. Never returns.
int runInstrument(int argc, char** argv);

// True when a STRATA_WINDOWED value asks for a plain window: 1, true, yes or
// on, in any case. Null, empty and every other value keep the full screen.
bool windowedValue(const char* value);

// `strata --help` and `strata --version` (the word as the only argument)
// print their text on out and return true; the program then ends with
// status 0, without a display. Anything else returns false and is left to
// the argument-count rule.
bool answerInformationRequest(int argc, char** argv, FILE* out);
