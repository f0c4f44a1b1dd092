#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

// One OSC argument as the parser sees it: its OSC type tag and value. Strings
// point into the message and live as long as it does.
struct OscArg {
    char type = 0;  // 'i', 'f', 'd', 'h', 's', 'S', 'c', 'T', 'F', ...
    int64_t i = 0;
    double f = 0.0;
    const char* s = nullptr;
};

// A validated OSC command, a small fixed-size record that the network thread
// queues and the frame thread applies. Layers are numbered 1..11 on the wire
// (as F1..F11) and held here as their channel 0..10.
struct OscCommand {
    enum class Kind : uint8_t {
        None,
        Control,       // channel, entry; byte and float value
        Opacity,       // layer channel; value 0..1
        ModuleIndex,   // layer channel; index
        ModuleName,    // layer channel; name
        ImageSet,      // layer channel; index
        Select,        // channel
        Key,           // character key (index = character) or special key (index = GLUT code); x, y
        Trail,         // value 0..1
        Midi,          // on/off in index
        Joystick,      // on/off in index
        SceneRecall,   // scene number in index
        SceneStore,    // scene number in index
        Learn,
        List,          // answered by the network thread itself, never queued
        Tempo,         // value: BPM
        TempoTap,
        TempoNudge,    // value: beats, -0.5..0.5
        TempoFollow,   // the detected beat leads again
        ImageSetName,  // layer channel; name (an image set's folder)
        Shown,         // layer channel; shown (1) or hidden (0) in index
        SceneFade,     // the scene recalls' cross-fade in milliseconds in index
        Help,          // help pages shown (1) or not (0) in index
        OutputCorner,  // output mapping: corner 0..3 in index, axes in entry (1 x, 2 y), value x, valueY y
        OutputReset,   // output mapping back to the plain letterbox
    };
    static constexpr int kNameSize = 48;

    Kind kind = Kind::None;
    bool special = false;  // Key: index is a GLUT special-key code
    int channel = 0;
    int entry = 0;
    int index = 0;
    int byteValue = 0;
    float value = 0.0f;  // Control: the table's float (-1..1); Opacity, Trail: 0..1
    float valueY = 0.0f;  // OutputCorner: y
    int x = 320;
    int y = 240;
    char name[kNameSize] = {};
};

// Parses one message into cmd by the address table (control/OscAddresses.h),
// which names every address with its arguments and ranges. False (cmd
// untouched in meaning) for an unknown address, a wrong argument count or
// type, or a value out of range. Layers are 1..11 on the wire. Integer
// arguments may come as OSC floats holding a whole number and float
// arguments as ints (control surfaces differ in what they send); booleans
// may also come as T/F.
bool parseOscCommand(const char* path, const OscArg* args, int count, OscCommand& cmd);

// A command as one line of words, "<address> <arguments...>", the way a show
// script holds what the control bus applied. Integer arguments are written
// as plain numbers, float arguments always with a decimal point (so 1.0 does
// not read back as the byte value 1), keys by name. Only commands that change
// the instrument can be written: module and image set names as their index,
// no scene store, scene fade, learn, list or output mapping. Returns the length, or 0 when the command has no text or
// does not fit.
int formatOscCommand(const OscCommand& cmd, char* out, size_t size);
// Reads such words back: numbers with a '.' or an exponent are floats, other
// numbers ints, anything else a string; then parseOscCommand. At most
// kMaxWordArgs arguments.
bool parseOscWords(std::string_view address, const std::string_view* args, int count, OscCommand& cmd);
constexpr int kMaxWordArgs = 3;
