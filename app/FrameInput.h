#pragma once
#include <cstdint>

class qelUnivCell;

// Where a frame's input comes from: the MIDI, control and joystick steps of
// the frame call it in this order. The live instrument reads its devices
// (and its remote control); an offline render replays a recording. The
// universe holds one, not owned; without another it reads the devices.
class FrameInput {
public:
    virtual ~FrameInput() = default;
    // The MIDI step: only while MIDI is on.
    virtual void midiStep(qelUnivCell& universe) = 0;
    // Every frame, right after the MIDI step, whether MIDI is on or not.
    virtual void controlStep(qelUnivCell& /*universe*/) {}
    // The joystick step: only while the joystick is on.
    virtual void joystickStep(qelUnivCell& universe) = 0;
};

// The input devices themselves: every queued MIDI message is applied by the
// frame's fixed rule, the joystick is read once.
class DeviceInput : public FrameInput {
public:
    void midiStep(qelUnivCell& universe) override;
    void joystickStep(qelUnivCell& universe) override;

protected:
    // A message seen before the fixed rule: true when it was handled here
    // (mapped or dropped) and must not be applied by the rule.
    virtual bool takeMidi(qelUnivCell& /*universe*/, uint32_t /*message*/) { return false; }
};
