#pragma once
#include <cstdint>

// Lets a control source outside the universe take part in the frame's input
// steps: it sees each MIDI message before the fixed rule does and applies its
// own queued writes right after MIDI.
class FrameInputHook {
public:
    virtual ~FrameInputHook() = default;
    // True when the message was handled (mapped or dropped): the frame then
    // does not apply it by its fixed rule.
    virtual bool midiEvent(uint32_t message) = 0;
    // Runs every frame right after the MIDI step, whether MIDI is on or not.
    virtual void afterMidi() = 0;
};
