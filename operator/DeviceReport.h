#pragma once
#include <cstdio>

#include "input/WaveInput.h"

class qelUnivCell;

// What the operator is told about the input devices, on standard error (the
// console lines of standard output stay as they are): one line per device at
// start, then one line at each change, a toggle of End (MIDI), Page Down
// (joystick) or Home (cursor), or a device lost or back.
class DeviceReport {
public:
    // The part of the universe's state the report follows.
    struct Status {
        bool midiOn = false;
        bool joystickOn = false;
        bool cursorShown = false;
        WaveInput::State sound = WaveInput::State::None;
        bool joystickConnected = false;
        bool midiConnected = false;  // a MIDI port is open: messages can arrive
    };

    explicit DeviceReport(FILE* out = stderr) : out_(out) {}

    static Status statusOf(const qelUnivCell& universe);

    // The start lines of the universe's devices; remembers their state.
    void start(const qelUnivCell& universe);
    // One line per change since the previous call (or start); no allocation.
    void poll(const qelUnivCell& universe);

    // The lines themselves, for any status (the universe's or a test's).
    void printStart(const Status& status, const char* sound, const char* midi, const char* joystickPath);
    void printChanges(const Status& now, const char* sound, const char* joystickPath);

private:
    FILE* out_;
    Status last_;
};
