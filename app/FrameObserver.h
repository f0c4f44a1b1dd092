#pragma once
#include <cstdint>
#include <string>

// Watches what the frame applies, for whatever keeps it (the show recorder).
// The universe holds at most one, not owned. Every call happens on the main
// thread, inside the frame in the frame's own order, or between frames where
// a call says so. An observer only watches: it never changes the universe.
class FrameObserver {
public:
    virtual ~FrameObserver() = default;

    // Between frames: a key about to reach the key map, with the mouse
    // position in the 640x480 space.
    virtual void keyPressed(unsigned char /*key*/, int /*x*/, int /*y*/) {}
    virtual void specialPressed(int /*key*/, int /*x*/, int /*y*/) {}
    // Between frames: an exact write of one entry by a writer outside the
    // frame (byte and float as stored).
    virtual void controlSet(int /*index*/, int /*byteValue*/, float /*floatValue*/) {}
    // Between frames: a MIDI message applied by the fixed rule outside the
    // MIDI step (a show script's midi line).
    virtual void scriptedMidi(uint32_t /*message*/) {}

    // Right after the clock tick, with this frame's time.
    virtual void frameStarted(int /*frameMillis*/) {}
    // The sound step took a new block (512 bytes, 256 stereo frames) at this
    // position of the followed sound stream (-1 when none is followed).
    virtual void soundTaken(const uint8_t* /*block*/, int64_t /*position*/) {}
    // A MIDI message and a joystick reading as the frame applied them.
    virtual void midiApplied(uint32_t /*message*/) {}
    virtual void joystickApplied(uint32_t /*x*/, uint32_t /*y*/, uint32_t /*buttons*/) {}
    // In the MIDI step: a mapping wrote one entry (byte and float as stored)
    // in place of the frame's fixed rule.
    virtual void mappedWrite(int /*index*/, int /*byteValue*/, float /*floatValue*/) {}
    // In the control step: a sound route wrote one entry (byte and float as
    // stored) from musical time.
    virtual void routedWrite(int /*index*/, int /*byteValue*/, float /*floatValue*/) {}
    // In the control step: a remote command that changed the instrument, as
    // one line of words ("<address> <arguments>") that reads back to it.
    virtual void commandApplied(const char* /*words*/) {}
    // A scene file was recalled with a fade time: between frames (keys) or in
    // the control step (remote control).
    // text: the scene as recalled (the file may change on the disk later).
    virtual void sceneRecalled(const char* /*path*/, int /*fadeMillis*/, const std::string& /*text*/) {}
    // The frame's inputs are done and its picture drawn.
    virtual void frameFinished() {}
};
