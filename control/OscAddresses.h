#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "control/OscCommand.h"

struct ControlSnapshot;
class ControlBus;

// The instrument's OSC address space, one row per address. Everything that
// names an address takes it from here: the parser and the formatter of
// commands (and so show scripts), the /strata/list reply, the OSCQuery tree,
// the OSC output and the address table of the docs (a test compares them).
struct OscAddress {
    enum Access { kRead = 1, kWrite = 2 };
    // The OSCQuery range of an index argument: the whole parser range, or
    // narrowed to what the stage holds.
    enum class Stage { None, Modules, ImageSets };
    struct Range {
        double low = 0.0;
        double high = 0.0;
    };

    // The address; "<n>" stands for the layer number 1..11.
    const char* path;
    OscCommand::Kind kind;
    // OSCQuery type tags of the arguments ("" for none): 'i', 'f', 's', and
    // 'T' for a switch (a client shows a toggle; 0/1 and T/F are taken). A
    // module or image set is 's': the tree lists the names as VALS and reads
    // the current name, the parser takes a name or an index, and the OSC
    // output sends the index as an int.
    const char* types;
    Range ranges[3];
    Stage stage;
    int access;
    // OSC out sends the value about 30 times a second.
    bool sent;
    // What it takes, and what it does (the universe action it calls).
    const char* arguments;
    const char* description;

    // Reads the arguments into cmd (its kind, channel already set). False for
    // a wrong count, type or range.
    bool (*parse)(const OscAddress& row, const OscArg* args, int count, OscCommand& cmd);
    // Writes the arguments as words that parse back to cmd; the length, or
    // -1 when they do not fit. Null: the command is never written.
    int (*format)(const OscCommand& cmd, char* out, size_t size);
    // What applying a command came to: it named something that does not
    // exist (counted as bad), it changed the instrument (a recorder takes
    // it), or it changed nothing a replay needs (a key taken by learn, a
    // store; a recall reaches a recorder through the scene bank).
    enum class Outcome { Bad, Changed, Unchanged };
    // Applies the command through the bus.
    Outcome (*apply)(ControlBus& bus, const OscCommand& cmd);
    // The current value of a readable address in a snapshot (layer 0..10).
    double (*value)(const ControlSnapshot& snapshot, int layer);
    // The current text of a readable string address (a device line), or null.
    const char* (*text)(const ControlSnapshot& snapshot, int layer);

    bool perLayer() const;
    // The address itself, the layer number put in; the length, or 0.
    int fullPath(int layer, char* out, size_t size) const;
};

constexpr int kOscLayers = 11;

// Every row, in the order the docs list them.
const OscAddress* oscAddresses(int& count);
// The row a full address names, and its layer (0..10, or -1); null for an
// address outside the space.
const OscAddress* findOscAddress(std::string_view path, int& layer);
// The row of a command kind, or null.
const OscAddress* oscAddressOf(OscCommand::Kind kind);
// The docs' table of addresses as Markdown (the header and one row each).
std::string oscAddressTable();
// Whether a message's address is an OSC pattern ('*', '?', '[...]',
// '[!...]', '{a,b}'), and whether a full address matches one. Matching goes
// part by part, as OSC 1.0 has it ('*' does not cross a '/'), each part by
// liblo's matcher.
bool isOscPattern(std::string_view path);
bool oscPatternMatches(std::string_view pattern, std::string_view address);
// The opacity or trail amount 0..1 a controller's float reads as, rounded
// to a millionth so that what was written reads back as written.
float oscAmountOf(float tableFloat);
