#include "operator/DeviceReport.h"

#include <cstring>

#include "app/qelUnivCell.h"
#include "input/Joystick.h"
#include "input/MidiInput.h"

DeviceReport::Status DeviceReport::statusOf(const qelUnivCell& universe) {
    Status status;
    status.midiOn = universe.midiOn;
    status.joystickOn = universe.joystickOn;
    // Home shows the cursor when the flag was clear and sets it.
    status.cursorShown = universe.cursorFlag;
    status.sound = universe.wave ? universe.wave->state() : WaveInput::State::None;
    status.joystickConnected = universe.joystick && universe.joystick->connected();
    status.midiConnected = universe.midi && universe.midi->connected();
    return status;
}

void DeviceReport::start(const qelUnivCell& universe) {
    char midi[256] = "no MIDI input";
    if (universe.midi) universe.midi->describe(midi, sizeof midi);
    printStart(statusOf(universe), universe.wave ? universe.wave->description() : "no sound input", midi,
               universe.joystick ? universe.joystick->path() : "");
}

void DeviceReport::poll(const qelUnivCell& universe) {
    printChanges(statusOf(universe), universe.wave ? universe.wave->description() : "",
                 universe.joystick ? universe.joystick->path() : "");
}

void DeviceReport::printStart(const Status& status, const char* sound, const char* midi, const char* joystickPath) {
    std::fprintf(out_, "strata: sound: %s\n", sound);
    if (status.midiConnected)
        std::fprintf(out_, "strata: MIDI: %s; input is off until End\n", midi);
    else
        std::fprintf(out_, "strata: MIDI: %s: no MIDI can arrive%s\n", midi,
                     std::strcmp(midi, "no sequencer") == 0 ? " (sudo modprobe snd-seq loads it; then start again)" : "");
    if (status.joystickConnected)
        std::fprintf(out_, "strata: joystick: %s; input is off until Page Down\n", joystickPath);
    else
        std::fprintf(out_, "strata: joystick: absent (%s)\n", joystickPath);
    last_ = status;
}

void DeviceReport::printChanges(const Status& now, const char* sound, const char* joystickPath) {
    if (now.midiOn != last_.midiOn) std::fprintf(out_, "strata: MIDI input %s (End)\n", now.midiOn ? "on" : "off");
    if (now.joystickOn != last_.joystickOn)
        std::fprintf(out_, "strata: joystick input %s (Page Down)\n", now.joystickOn ? "on" : "off");
    if (now.cursorShown != last_.cursorShown)
        std::fprintf(out_, "strata: cursor %s (Home)\n", now.cursorShown ? "shown" : "hidden");
    if (now.sound != last_.sound) {
        if (now.sound == WaveInput::State::Lost)
            std::fprintf(out_, "strata: sound: lost; levels read 0, trying again every second\n");
        else if (now.sound == WaveInput::State::Live)
            std::fprintf(out_, "strata: sound: back: %s\n", sound);
        else
            std::fprintf(out_, "strata: sound: %s\n", sound);
    }
    if (now.joystickConnected != last_.joystickConnected) {
        if (now.joystickConnected)
            std::fprintf(out_, "strata: joystick: back: %s\n", joystickPath);
        else
            std::fprintf(out_, "strata: joystick: lost (%s); looking for it every second\n", joystickPath);
    }
    last_ = now;
}
