#pragma once
#include <cstdint>
#include <string>
#include <string_view>

class ControlTable;

// One line of midi.map: a MIDI source and the table entry it writes.
struct MidiMapping {
    enum class Source : uint8_t {
        Cc,          // control change, value 0..127
        Cc14,        // 14-bit pair: controller n (0..31) carries the high 7 bits, n + 32 the low 7
        Relative,    // relative encoder, two's complement: 1..63 up, 127..65 down
        Relative64,  // relative encoder centred on 64: 65.. up, 63.. down
        Note,        // note on velocity; note off writes 0
    };
    enum class Curve : uint8_t { Linear, Exp, Log };
    static constexpr int kSelected = -1;  // target channel: the currently selected one

    Source source = Source::Cc;
    int midiChannel = 0;  // 0..15 (written 1..16 in the file)
    int number = 0;       // controller or note
    int channel = 0;      // table channel 0..15 or kSelected
    int entry = 0;        // 0..1023
    float low = 0.0f;     // output range, in the writers' 0..1 scale
    float high = 1.0f;
    Curve curve = Curve::Linear;
    bool pickup = true;         // soft takeover for absolute sources
    float step = 1.0f / 127.0f;  // relative sources: change per encoder tick

    bool sameSource(const MidiMapping& other) const {
        return source == other.source && midiChannel == other.midiChannel && number == other.number;
    }
};

// The MIDI mapping of midi.map in the working directory. Without mappings
// and options every message goes to the frame's fixed rule; a mapped
// message writes its target instead, and the ignore options drop unmapped
// notes, program changes or everything unmapped.
//
// File format, one item per line, '#' starts a comment:
//   cc    <midi channel 1..16> <controller 0..127>  -> <channel 0..15 | selected> <entry 0..1023> [options]
//   cc14  <midi channel> <controller 0..31>         -> ...
//   rel   <midi channel> <controller>               -> ...   (also rel64)
//   note  <midi channel> <note 0..127>              -> ...
//   options: range <low> <high> (0..1, low > high inverts), curve linear|exp|log,
//            step <0..1> (relative sources), nopickup
//   ignore notes | ignore program | ignore unmapped
class MidiMap {
public:
    static constexpr int kMaxMappings = 256;
    static constexpr int kMaxLine = 256;
    static constexpr const char* kFileName = "midi.map";

    // Reads the file; a missing file is an empty map. Every bad line gives one
    // line on standard error naming the file and line. Returns the number of
    // bad lines.
    int readFile(const char* path);
    int parseText(std::string_view text, const char* name);
    // One mapping line (no options lines); false with why set on error.
    static bool parseMapping(std::string_view line, MidiMapping& mapping, const char*& why);
    static std::string formatMapping(const MidiMapping& mapping);
    // The grammar's parts that other maps share (sound.map): the target
    // "<channel|selected> <entry>" from the n words at t; one option at t
    // (range, curve, step, nopickup), returning the words it used, 0 for a
    // word that is no option, -1 for a bad one (why set).
    static bool parseTarget(const std::string_view* t, int n, MidiMapping& mapping, const char*& why);
    static int parseOption(const std::string_view* t, int n, MidiMapping& mapping, const char*& why);
    // v (0..1) through the mapping's curve into its range.
    static float shapeValue(const MidiMapping& mapping, float v);

    void clear();
    int count() const { return count_; }
    const MidiMapping& mapping(int i) const { return mappings_[i].m; }
    bool empty() const { return count_ == 0 && !ignoreNotes && !ignoreProgram && !ignoreUnmapped; }

    // Adds a mapping, replacing the one with the same source. False when full.
    bool add(const MidiMapping& mapping, const ControlTable& table);
    // Remembers the table's current values as what the mappings last wrote,
    // so that only later moves by other writers make a fader pick up.
    void attach(const ControlTable& table);

    // Applies one packed short message: true when it was mapped or ignored
    // (the frame must not apply it by the fixed rule).
    bool apply(uint32_t message, ControlTable& table, int selectedChannel);
    // The table index the last apply wrote, or -1 (ignored, unmapped, or a
    // fader still waiting to pick up).
    int lastWrite() const { return lastWrite_; }

    // Rewrites path with the mapping added (a line with the same source
    // replaced), atomically: a temporary file, flushed to disk, renamed over
    // the old one. False with a line on standard error when it fails.
    static bool saveMapping(const char* path, const MidiMapping& mapping);

    bool ignoreNotes = false;
    bool ignoreProgram = false;
    bool ignoreUnmapped = false;

private:
    struct Slot {
        MidiMapping m;
        float lastWritten[16];  // the float this mapping last left in each channel's entry
        bool engaged[16];       // false: waiting for the control to pass the entry's value
        float position;         // the last target value the control asked for (NaN: none yet)
        int highBits;           // 14-bit pairs: the last high 7 bits
        int lowBits;
    };
    void initialiseSlot(Slot& slot, const ControlTable& table);
    void writeAbsolute(Slot& slot, float v, ControlTable& table, int channel);
    void writeRelative(Slot& slot, int ticks, ControlTable& table, int channel);

    Slot mappings_[kMaxMappings];
    int count_ = 0;
    int lastWrite_ = -1;
};
