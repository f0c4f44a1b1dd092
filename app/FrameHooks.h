#pragma once
#include <cstdint>

class qelUnivCell;
struct OscCommand;

// Narrow hooks into the universe's frame, for whatever watches or feeds its
// input steps: the show recorder (live) and the replay of a recording
// (offline renderer). The universe holds at most one, not owned. Every call
// happens on the main thread inside the frame, in the frame's own order.
class FrameHooks {
public:
    virtual ~FrameHooks() = default;

    // Right after the clock tick, with this frame's time.
    virtual void frameStarted(int /*frameMillis*/) {}
    // The sound step took a new block (512 bytes, 256 stereo frames).
    virtual void soundTaken(const uint8_t* /*block*/) {}

    // True: the MIDI and joystick steps (while switched on) take their input
    // from replayMidi / replayJoystick instead of the devices.
    virtual bool replacesDevices() const { return false; }
    virtual void replayMidi(qelUnivCell& /*universe*/) {}
    virtual void replayJoystick(qelUnivCell& /*universe*/) {}
    // Replaying: the control step right after MIDI, in place of the control
    // bus's own queue (it runs whether MIDI is on or not).
    virtual void replayControlStep(qelUnivCell& /*universe*/) {}

    // A MIDI message and a joystick reading as the frame applied them.
    virtual void midiApplied(uint32_t /*message*/) {}
    virtual void joystickApplied(uint32_t /*x*/, uint32_t /*y*/, uint32_t /*buttons*/) {}
    // In the MIDI step: the MIDI mapping wrote one entry (byte and float as
    // stored) in place of the frame's fixed rule.
    virtual void mappedWrite(int /*index*/, int /*byteValue*/, float /*floatValue*/) {}
    // In the control step: a command of the control bus that changed the
    // instrument, as it was applied (module names resolved to their index).
    virtual void commandApplied(const OscCommand& /*command*/) {}
    // The frame's inputs are done and its picture drawn.
    virtual void frameFinished() {}

    // A scene file was recalled with a fade time: between frames (keys) or
    // in the control step (the control bus). Outside the frame: an exact
    // controller write by any other writer (byte and float as stored).
    virtual void sceneRecalled(const char* /*path*/, int /*fadeMillis*/) {}
    virtual void controlWritten(int /*index*/, int /*byteValue*/, float /*floatValue*/) {}
};
