#pragma once
#include <cstdio>

class qelUnivCell;
class VirtualScreen;

// What a program adds around the instrument's window and frames (the live
// program's recording, remote control and operator view). Every call comes
// from a GLUT callback on the main thread. Keys arrive with the mouse already
// in the 640x480 space and GLUT's modifier bits.
class ShellExtension {
public:
    virtual ~ShellExtension() = default;
    // The universe is built (the key bindings are loaded): start what runs
    // beside it.
    virtual void started(qelUnivCell& /*universe*/) {}
    // A character or special key before the key map sees it: true when it
    // was taken here.
    virtual bool keyboard(unsigned char /*key*/, int /*modifiers*/, int /*x*/, int /*y*/) { return false; }
    virtual bool special(int /*key*/, int /*modifiers*/, int /*x*/, int /*y*/) { return false; }
    // After the universe's frame, before the picture is presented.
    virtual void frameDrawn(VirtualScreen* /*screen*/) {}
    // Puts the picture on the window itself (a mapped output): true when it
    // did; false leaves it to the plain letterboxed present.
    virtual bool present(VirtualScreen* /*screen*/, int /*windowWidth*/, int /*windowHeight*/) { return false; }
    // The mouse in window pixels (y down): a button pressed or let go, and
    // a move with a button held. True when it was taken here.
    virtual bool mouse(int /*button*/, int /*state*/, int /*x*/, int /*y*/) { return false; }
    virtual bool drag(int /*x*/, int /*y*/) { return false; }
    // The picture is on the window (before the swap): draw over it.
    virtual void presented(int /*windowWidth*/, int /*windowHeight*/) {}
    // The process ends (Esc): finish what must not be lost.
    virtual void ending() {}
};

// The instrument's entry: opens the window through GLUT, registers the
// callbacks, loads the key bindings (which builds the universe) and runs the
// GLUT main loop. extension may be null. Never returns once the loop runs.
int runInstrument(int argc, char** argv, ShellExtension* extension);

// `strata --help` and `strata --version` (the word as the only argument)
// print their text on out and return true; the program then ends with
// status 0, without a display. Anything else returns false and is left to
// the argument-count rule.
bool answerInformationRequest(int argc, char** argv, FILE* out);
