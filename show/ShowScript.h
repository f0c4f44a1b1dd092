#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "control/OscCommand.h"

// A show script: scripted input for an offline render, one event per line,
// each tied to the frame before which it is applied (frames count from 0).
//
//   # a comment (a '#' at the start of a line or after a blank)
//   <frame> ctl  <channel 0..15> <entry 0..1023> <value 0..127>
//   <frame> key  <key> [<x 0..639> <y 0..479>]
//   <frame> midi <status 0x80..0xFF> <data1 0..127> <data2 0..127>
//
// Recordings of a live show add the input exactly as the frame applied it:
//
//   <frame> ms     <milliseconds>            frame time from this frame on
//   <frame> uptime <milliseconds>            the clock's first reading, the
//                                            time of a show's first frame
//                                            (a frame time, but no duration)
//   <frame> sound  [<position>]              this frame takes the block at
//                                            that position of the sound file
//                                            (counted in 256-frame blocks
//                                            from 0), or the next one
//   <frame> set    <channel> <entry> <byte 0..255> <float>   exact write
//   <frame> midiin <status> <data1> <data2>  MIDI as the frame's MIDI step
//                                            applied it
//   <frame> joy    <x 0..65535> <y 0..65535> <buttons 0..15>  joystick
//                                            reading of the joystick step
//   <frame> special <GLUT code 1..255> [<x> <y>]  any special key
//   <frame> scene  <1..99 | file> [<fade ms> [bus]]  recalls a scene: a
//                                            number is scenes/NN.scene of the
//                                            working directory, a file name is
//                                            taken beside the script; with
//                                            bus, in the frame's control step
//                                            (a recall made by the control bus)
//   <frame> osc    <address> [<args>...]     a control-bus command (as OSC
//                                            sends it, at most 3 arguments;
//                                            floats with a decimal point),
//                                            applied in the control step right
//                                            after MIDI by the same code
//   <frame> mapped <channel> <entry> <byte 0..255> <float>  a write of the
//                                            MIDI mapping, in the MIDI step
//   <frame> routed <channel> <entry> <byte 0..255> <float>  a write of a
//                                            sound route (sound.map), in the
//                                            control step after the commands
//   <frame> end                              the show ends before this frame
//
// ctl writes one controller as a MIDI control change would: the byte value
// and the float value from value / 127. key presses a key with the mouse at
// (x, y) of the 640x480 screen (the centre, 320 240, when no position is
// given); <key> is a single character (a, h, 7, ...) or a name, in any case:
// F1..F12, Left, Up, Right, Down, PageUp, PageDown, Home, End, Insert (the
// special keys) or Esc, Space, Tab, Enter, Backspace, Delete, Hash (the
// characters 27, 32, 9, 13, 8, 127 and '#') or 0x00..0xFF, any character
// by its code. midi applies one short message
// exactly as the frame applies a message from the MIDI input. Numbers are
// decimal, or hexadecimal with 0x. Events of one frame apply in file order;
// the lines themselves need not be in frame order.
struct ShowEvent {
    enum class Type {
        Control, Key, SpecialKey, Midi, FrameTime, Sound, Set, MidiIn, Joystick, Scene, Osc, Mapped, Routed, End
    };

    int frame = 0;
    Type type = Type::Control;
    int line = 0;  // line number in the script, for messages
    // Control: channel, entry, value. Key: character code, x, y. SpecialKey:
    // GLUT key code, x, y. Midi and MidiIn: status, data1, data2. FrameTime:
    // the milliseconds (all 32 bits), b 1 for an uptime line. Sound: the
    // block position, -1 for the next. Set: channel, entry, byte (and f).
    // Joystick: x, y, buttons. Scene: number (0 for a file, named in text),
    // fade milliseconds (-1: the renderer's default), 1 when in the control
    // step. Mapped, Routed: channel, entry, byte (and f). Osc: the command.
    int a = 0;
    int b = 0;
    int c = 0;
    float f = 0.0f;
    std::string text;
    OscCommand command;

    // Recorded input that the frame itself applies (sound block, MIDI and
    // joystick steps, frame time) rather than a press before the frame.
    bool recorded() const {
        return type == Type::FrameTime || type == Type::Sound || type == Type::MidiIn || type == Type::Joystick ||
               type == Type::Osc || type == Type::Mapped || type == Type::Routed || inControlStep();
    }
    bool inControlStep() const { return type == Type::Scene && c == 1; }

    // The packed short message of a Midi event: status in the low byte,
    // data1 in the next, data2 in the third.
    uint32_t midiMessage() const {
        return static_cast<uint32_t>(a) | (static_cast<uint32_t>(b) << 8) | (static_cast<uint32_t>(c) << 16);
    }
};

class ShowScript {
public:
    static constexpr int kEscape = 27;

    // Reads a script file. On failure returns false with error set to
    // "<name>:<line>: <what was expected>" (or a line saying the file could
    // not be read) and keeps no events.
    bool parseFile(const std::string& path, std::string& error);
    // Parses script text; name is used in messages.
    bool parseText(std::string_view text, const std::string& name, std::string& error);

    // Every event, ordered by frame (file order within a frame).
    const std::vector<ShowEvent>& events() const { return events_; }
    // Frame of the first end event, or -1 without one.
    int endFrame() const;
    // True when the script holds input recorded from a live show.
    bool holdsRecording() const;
    // A recording without its end mark: the show was cut off while recording.
    bool cutShort() const;
    // The last line was cut off in the middle and left out (a cut recording).
    bool droppedCutLine() const { return cutLine_; }
    // Frame of the last event, or -1 without events.
    int lastFrame() const { return events_.empty() ? -1 : events_.back().frame; }

    // Hands out the events frame by frame without allocating: the events of
    // frame `frame` are [begin, end) of events(). Frames must be asked in
    // rising order (events of skipped frames are passed over).
    void eventsOfFrame(int frame, size_t& begin, size_t& end);
    void rewind() { cursor_ = 0; }


private:
    bool parseLine(std::string_view line, int number, const std::string& name, std::string& error);

    std::vector<ShowEvent> events_;
    size_t cursor_ = 0;
    bool cutLine_ = false;
};
