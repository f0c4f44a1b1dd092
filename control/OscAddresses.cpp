#include "control/OscAddresses.h"

#include <lo/lo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/ControlTable.h"
#include "app/KeyBindings.h"
#include "app/KeyNames.h"
#include "app/qelUnivCell.h"
#include "control/ControlBus.h"
#include "control/ControlSnapshot.h"
#include "music/MusicalTime.h"
#include "projection/PinEditor.h"
#include "reactor/qelCell.h"

namespace {

using Kind = OscCommand::Kind;
using Row = OscAddress;

// A whole number in [low, high] from an int or a float holding a whole
// number. T and F are not numbers: only the switches take them.
bool wholeArg(const OscArg& a, double low, double high, int& out) {
    double v = 0.0;
    switch (a.type) {
        case 'i':
        case 'h': v = static_cast<double>(a.i); break;
        case 'f':
        case 'd':
            v = a.f;
            if (!std::isfinite(v) || v != std::floor(v)) return false;
            break;
        default: return false;
    }
    if (v < low || v > high) return false;
    out = static_cast<int>(v);
    return true;
}

// A number in [low, high] from a float or an int.
bool realArg(const OscArg& a, double low, double high, float& out) {
    double v = 0.0;
    if (a.type == 'f' || a.type == 'd')
        v = a.f;
    else if (a.type == 'i' || a.type == 'h')
        v = static_cast<double>(a.i);
    else
        return false;
    if (!std::isfinite(v) || v < low || v > high) return false;
    out = static_cast<float>(v);
    return true;
}

bool stringArg(const OscArg& a, std::string_view& out) {
    if ((a.type != 's' && a.type != 'S') || !a.s) return false;
    out = a.s;
    return true;
}

bool whole(const Row& row, const OscArg& a, int argument, int& out) {
    return wholeArg(a, row.ranges[argument].low, row.ranges[argument].high, out);
}

bool real(const Row& row, const OscArg& a, int argument, float& out) {
    return realArg(a, row.ranges[argument].low, row.ranges[argument].high, out);
}

// A float argument: "%#.9g" reads back as the same float and always holds
// a decimal point (so 1.0 does not read back as the byte value 1).
int formatFloat(char* out, size_t size, float value) {
    return std::snprintf(out, size, "%#.9g", static_cast<double>(value));
}

// --- the addresses' arguments ---------------------------------------------

bool parseNothing(const Row&, const OscArg*, int count, OscCommand&) { return count == 0; }

bool parseControl(const Row& row, const OscArg* args, int count, OscCommand& cmd) {
    if (count != 3 || !whole(row, args[0], 0, cmd.channel) || !whole(row, args[1], 1, cmd.entry)) return false;
    if (args[2].type == 'i' || args[2].type == 'h') {
        int byte = 0;
        if (!wholeArg(args[2], 0, 127, byte)) return false;
        cmd.byteValue = byte;
        cmd.value = static_cast<float>(2.0 * (byte / 127.0 - 0.5));
        return true;
    }
    if (!real(row, args[2], 2, cmd.value)) return false;
    cmd.byteValue = static_cast<int>((cmd.value + 1.0f) * 0.5f * 127.0f);
    return true;
}

int formatControl(const OscCommand& cmd, char* out, size_t size) {
    // The int form when it gives back both values exactly.
    if (cmd.byteValue >= 0 && cmd.byteValue <= 127 &&
        cmd.value == static_cast<float>(2.0 * (cmd.byteValue / 127.0 - 0.5)))
        return std::snprintf(out, size, "%d %d %d", cmd.channel, cmd.entry, cmd.byteValue);
    char value[40];
    formatFloat(value, sizeof value, cmd.value);
    return std::snprintf(out, size, "%d %d %s", cmd.channel, cmd.entry, value);
}

bool parseValue(const Row& row, const OscArg* args, int count, OscCommand& cmd) {
    return count == 1 && real(row, args[0], 0, cmd.value);
}

int formatValue(const OscCommand& cmd, char* out, size_t size) { return formatFloat(out, size, cmd.value); }

bool parseIndex(const Row& row, const OscArg* args, int count, OscCommand& cmd) {
    return count == 1 && whole(row, args[0], 0, cmd.index);
}

int formatIndex(const OscCommand& cmd, char* out, size_t size) { return std::snprintf(out, size, "%d", cmd.index); }

// On/off: 0 or 1, or the booleans T and F.
bool parseSwitch(const Row& row, const OscArg* args, int count, OscCommand& cmd) {
    if (count == 1 && (args[0].type == 'T' || args[0].type == 'F')) {
        cmd.index = args[0].type == 'T';
        return true;
    }
    return parseIndex(row, args, count, cmd);
}

int formatSwitch(const OscCommand& cmd, char* out, size_t size) {
    return std::snprintf(out, size, "%d", cmd.index != 0);
}

// A module or image set by name (resolved in the frame, which knows the
// names) or by index.
bool parseNamed(const Row& row, const OscArg* args, int count, OscCommand& cmd) {
    if (count != 1) return false;
    std::string_view name;
    if (stringArg(args[0], name)) {
        if (name.empty() || name.size() >= OscCommand::kNameSize) return false;
        std::memcpy(cmd.name, name.data(), name.size());
        cmd.name[name.size()] = '\0';
        cmd.kind = row.kind == Kind::ImageSet ? Kind::ImageSetName : Kind::ModuleName;
        return true;
    }
    return whole(row, args[0], 0, cmd.index);
}

// Layers and channels travel as 1.. (as the F-keys number them).
bool parseChannel(const Row& row, const OscArg* args, int count, OscCommand& cmd) {
    if (count != 1 || !whole(row, args[0], 0, cmd.channel)) return false;
    cmd.channel -= 1;
    return true;
}

int formatChannel(const OscCommand& cmd, char* out, size_t size) {
    return std::snprintf(out, size, "%d", cmd.channel + 1);
}

bool parseKey(const Row& row, const OscArg* args, int count, OscCommand& cmd) {
    if (count != 1 && count != 3) return false;
    if (args[0].type == 'c') {
        if (args[0].i <= 0 || args[0].i > 127) return false;
        cmd.index = static_cast<int>(args[0].i);
    } else {
        std::string_view name;
        if (!stringArg(args[0], name)) return false;
        const int special = KeyNames::specialKeyCode(name);
        const int character = special ? -1 : KeyNames::characterKey(name);
        if (special) {
            cmd.special = true;
            cmd.index = special;
        } else if (character > 0 && character < 128) {
            cmd.index = character;
        } else {
            return false;
        }
    }
    // Esc ends the process at the keyboard; a remote surface may not quit the show.
    if (!cmd.special && cmd.index == KeyNames::kEscape) return false;
    return count == 1 || (whole(row, args[1], 1, cmd.x) && whole(row, args[2], 2, cmd.y));
}

// A character key by a name the key parser takes back: a letter as itself,
// anything else by its code (a digit would read back as a number, '#' as a
// comment).
int formatKey(const OscCommand& cmd, char* out, size_t size) {
    char key[16];
    if (cmd.special) {
        const char* name = KeyNames::specialKeyName(cmd.index);
        std::snprintf(key, sizeof key, "%s", name ? name : "?");
    } else if ((cmd.index >= 'a' && cmd.index <= 'z') || (cmd.index >= 'A' && cmd.index <= 'Z')) {
        std::snprintf(key, sizeof key, "%c", cmd.index);
    } else {
        std::snprintf(key, sizeof key, "0x%02x", cmd.index & 0xFF);
    }
    return std::snprintf(out, size, "%s %d %d", key, cmd.x, cmd.y);
}

// --- what each address does ------------------------------------------------

using Outcome = OscAddress::Outcome;

Outcome changedIf(bool ok) { return ok ? Outcome::Changed : Outcome::Bad; }

// Writes one entry through `write` and says whether it moved: the same value
// sent again (a surface echoing what it was sent) changes nothing and is not
// recorded.
template <class Write>
Outcome writeEntry(ControlBus& bus, int channel, int entry, Write write) {
    if (!ControlTable::validEntry(channel, 0, entry)) return write(), Outcome::Changed;
    const ControlTable& table = *bus.universe().controls;
    const int at = ControlTable::indexOf(channel, 0, entry);
    const int byte = table.byteValue[at];
    const float value = table.floatValue[at];
    write();
    return table.byteValue[at] == byte && table.floatValue[at] == value ? Outcome::Unchanged : Outcome::Changed;
}

Outcome applyControl(ControlBus& bus, const OscCommand& c) {
    return writeEntry(bus, c.channel, c.entry, [&] { bus.setControl(c.channel, c.entry, c.byteValue, c.value); });
}
Outcome applyOpacity(ControlBus& bus, const OscCommand& c) {
    // The opacity as it reads, sent back by an echoing surface, leaves the
    // layer as it is (shown or hidden).
    if (oscAmountOf(bus.universe().controls->getFloat(c.channel, 0, 7)) == c.value) return Outcome::Unchanged;
    return writeEntry(bus, c.channel, 7, [&] { bus.universe().setOpacity(c.channel, c.value); });
}
Outcome applyShown(ControlBus& bus, const OscCommand& c) {
    return writeEntry(bus, c.channel, 7, [&] { bus.universe().setShown(c.channel, c.index != 0); });
}
// The module already on the layer is not built again (an echo would restart
// the effect 30 times a second); the arrow keys still rebuild it.
Outcome applyModule(ControlBus& bus, const OscCommand& c) {
    qelUnivCell& u = bus.universe();
    if (c.channel >= 0 && c.channel < u.cellCount && c.index >= 0 && c.index < u.moduleCount &&
        u.cells[c.channel]->reactorIndex == c.index)
        return Outcome::Unchanged;
    return changedIf(u.setModule(c.channel, c.index));
}
Outcome applyImageSet(ControlBus& bus, const OscCommand& c) {
    if (c.index >= 0 && bus.universe().imageSetOf(c.channel) == c.index) return Outcome::Unchanged;
    return changedIf(bus.universe().setImageSet(c.channel, c.index));
}
Outcome applySelect(ControlBus& bus, const OscCommand& c) {
    if (bus.universe().currentChannel == c.channel) return Outcome::Unchanged;
    bus.universe().select(c.channel);
    return Outcome::Changed;
}
Outcome applyKey(ControlBus& bus, const OscCommand& c) {
    return bus.pressKey(c) ? Outcome::Changed : Outcome::Unchanged;
}
Outcome applyTrail(ControlBus& bus, const OscCommand& c) {
    return writeEntry(bus, qelUnivCell::kTrailChannel, qelUnivCell::kTrailEntry, [&] { bus.universe().setTrail(c.value); });
}
Outcome applySwitch(bool& on, const OscCommand& c) {
    if (on == (c.index != 0)) return Outcome::Unchanged;
    on = c.index != 0;
    return Outcome::Changed;
}
Outcome applyMidi(ControlBus& bus, const OscCommand& c) { return applySwitch(bus.universe().midiOn, c); }
Outcome applyJoystick(ControlBus& bus, const OscCommand& c) { return applySwitch(bus.universe().joystickOn, c); }
// Help goes on and off as the h key takes it there (the same console line),
// so the key map sees the key as from the keyboard; asking for the state it
// is in changes nothing.
Outcome applyHelp(ControlBus& bus, const OscCommand& c) {
    qelUnivCell& u = bus.universe();
    if (u.helpMode == (c.index != 0)) return Outcome::Unchanged;
    pressCharacterKey(u, 'h', 320, 240);
    return Outcome::Changed;
}
Outcome applyRecall(ControlBus& bus, const OscCommand& c) {
    bus.recall(c.index);
    return Outcome::Unchanged;
}
Outcome applyStore(ControlBus& bus, const OscCommand& c) {
    bus.store(c.index);
    return Outcome::Unchanged;
}
// Not recorded: a recording keeps each recall with the fade it took.
Outcome applySceneFade(ControlBus& bus, const OscCommand& c) {
    bus.setSceneFade(c.index);
    return Outcome::Unchanged;
}
Outcome applyLearn(ControlBus& bus, const OscCommand&) {
    bus.armLearn();
    return Outcome::Unchanged;
}

// The output mapping lies after the picture: a show script's replay draws
// the same picture without it, so its changes are never recorded. A move
// the editor refuses (out of range, folding the picture) is bad.
bool parseCorner(const Row& row, const OscArg* args, int count, OscCommand& cmd) {
    if (count != 3 || !whole(row, args[0], 0, cmd.index) || !real(row, args[1], 1, cmd.value) ||
        !real(row, args[2], 2, cmd.valueY))
        return false;
    cmd.index -= 1;
    cmd.entry = 3;
    return true;
}
// /strata/output/corner/<c>/<axis>: the corner and axis from the row's own
// address.
bool parseCornerAxis(const Row& row, const OscArg* args, int count, OscCommand& cmd) {
    const std::string_view p(row.path);
    cmd.index = p[p.size() - 3] - '1';
    cmd.entry = p.back() == 'x' ? 1 : 2;
    float v = 0.0f;
    if (count != 1 || !real(row, args[0], 0, v)) return false;
    (cmd.entry == 1 ? cmd.value : cmd.valueY) = v;
    return true;
}
Outcome applyCorner(ControlBus& bus, const OscCommand& c) {
    PinEditor* editor = bus.pinEditor();
    if (!editor || c.index < 0 || c.index > 3) return Outcome::Bad;
    const PinPoint& at = editor->pin().corners[c.index];
    const double x = c.entry & 1 ? c.value : at.x, y = c.entry & 2 ? c.valueY : at.y;
    // The corner where it is already (an echo of what was read) is no change.
    if (static_cast<float>(at.x) == static_cast<float>(x) && static_cast<float>(at.y) == static_cast<float>(y))
        return Outcome::Unchanged;
    return editor->setCorner(c.index, x, y) ? Outcome::Unchanged : Outcome::Bad;
}
Outcome applyOutputReset(ControlBus& bus, const OscCommand&) {
    if (!bus.pinEditor()) return Outcome::Bad;
    bus.pinEditor()->reset();
    return Outcome::Unchanged;
}

// The tempo commands change no entry themselves: what they do reaches the
// table through the sound routes, whose writes a recording keeps.
Outcome applyTempo(ControlBus& bus, const OscCommand& c) {
    if (!bus.music()) return Outcome::Bad;
    switch (c.kind) {
        case Kind::Tempo:
            // The tempo sent back as it was sent out does not take the lead.
            if (static_cast<float>(bus.music()->clock().bpm()) != c.value) bus.music()->clock().setBpm(c.value);
            break;
        case Kind::TempoTap: bus.music()->tapNow(); break;
        case Kind::TempoNudge: bus.music()->clock().nudge(c.value); break;
        default: bus.music()->clock().handBack(); break;
    }
    return Outcome::Unchanged;
}

// --- their values ----------------------------------------------------------

double opacityOf(const ControlSnapshot& s, int layer) { return s.layers[layer].opacity; }
double shownOf(const ControlSnapshot& s, int layer) { return s.layers[layer].shown ? 1 : 0; }
double helpOf(const ControlSnapshot& s, int) { return s.help ? 1 : 0; }
double learnOf(const ControlSnapshot& s, int) { return s.learn; }
double sceneFadeOf(const ControlSnapshot& s, int) { return s.sceneFadeMillis; }
double lowOf(const ControlSnapshot& s, int) { return s.low; }
double midOf(const ControlSnapshot& s, int) { return s.mid; }
double highOf(const ControlSnapshot& s, int) { return s.high; }
double fpsOf(const ControlSnapshot& s, int) { return s.live.fps; }
double slowestOf(const ControlSnapshot& s, int) { return s.live.slowestMillis; }
const char* midiLineOf(const ControlSnapshot& s, int) { return s.live.midi; }
const char* soundLineOf(const ControlSnapshot& s, int) { return s.live.sound; }
const char* joystickLineOf(const ControlSnapshot& s, int) { return s.live.joystick; }
double moduleOf(const ControlSnapshot& s, int layer) { return s.layers[layer].module; }
double imageSetOf(const ControlSnapshot& s, int layer) { return s.layers[layer].imageSet; }
double selectedOf(const ControlSnapshot& s, int) { return s.selected; }
double trailOf(const ControlSnapshot& s, int) { return s.trail; }
double midiOf(const ControlSnapshot& s, int) { return s.midi ? 1 : 0; }
double joystickOf(const ControlSnapshot& s, int) { return s.joystick ? 1 : 0; }
double levelOf(const ControlSnapshot& s, int) { return s.level; }
double tempoOf(const ControlSnapshot& s, int) { return s.tempo; }
double linkPeersOf(const ControlSnapshot& s, int) { return s.linkPeers; }
double detectedTempoOf(const ControlSnapshot& s, int) { return s.detectedTempo; }
double beatPhaseOf(const ControlSnapshot& s, int) { return s.beatPhase; }
double clockSourceOf(const ControlSnapshot& s, int) { return s.clockSource; }
template <int Word>
double outputCornerOf(const ControlSnapshot& s, int) {
    return s.outputCorners[Word];
}

constexpr int R = OscAddress::kRead;
constexpr int W = OscAddress::kWrite;
using Stage = OscAddress::Stage;

const OscAddress kAddresses[] = {
    {"/strata/ctl", Kind::Control, "iif", {{0, 15}, {0, 1023}, {-1, 1}}, Stage::None, W, false,
     "channel 0..15, entry 0..1023, value",
     "Writes one controller. An int value 0..127 is written as MIDI writes it: the byte, and the float from "
     "value / 127. A float value -1..1 is the table's float itself; the byte is (int)((v + 1) / 2 * 127). Does "
     "not change the selected channel.",
     parseControl, formatControl, applyControl, nullptr, nullptr},
    {"/strata/layer/<n>/opacity", Kind::Opacity, "f", {{0, 1}}, Stage::None, R | W, true, "0..1",
     "Opacity of layer n (1..11), written as F<n> writes it from the mouse: the layer shows above 10/127 and is "
     "hidden at or below it. Does not select the layer. Reads back as written, also while the layer is hidden.",
     parseValue, formatValue, applyOpacity, opacityOf, nullptr},
    {"/strata/layer/<n>/shown", Kind::Shown, "T", {{0, 1}}, Stage::None, R | W, false, "0 or 1, or T/F",
     "Shows or hides layer n without changing its opacity (a toggle in OSCQuery). An opacity other than the one "
     "it reads decides again, as F<n> does.",
     parseSwitch, formatSwitch, applyShown, shownOf, nullptr},
    {"/strata/layer/<n>/module", Kind::ModuleIndex, "s", {{0, 127}}, Stage::Modules, R | W, true,
     "the module's name as in modules.db, or its index",
     "Loads that module on layer n, as the Up and Down keys do. OSCQuery lists the names (VALS) and reads the "
     "name; the OSC output sends the index.",
     parseNamed, formatIndex, applyModule, moduleOf, nullptr},
    {"/strata/layer/<n>/imageset", Kind::ImageSet, "s", {{0, 127}}, Stage::ImageSets, R | W, false,
     "the image set's folder name (imgs, imgs2, ...), or its index 0..",
     "Gives layer n's effect that image set, as Left and Right do. OSCQuery lists the folder names (VALS) and "
     "reads the name (null while the effect holds none).",
     parseNamed, formatIndex, applyImageSet, imageSetOf, nullptr},
    {"/strata/select", Kind::Select, "i", {{1, 16}}, Stage::None, R | W, true, "1..16",
     "Selects channel n - 1, as F1..F12 do (and MIDI for 13..16), without changing its opacity.", parseChannel,
     formatChannel, applySelect, selectedOf, nullptr},
    {"/strata/key", Kind::Key, "sii", {{}, {0, 639}, {0, 479}}, Stage::None, W, false, "key [x y]",
     "Presses a key with the mouse at x 0..639, y 0..479 (default the centre): a character or a name as in "
     "show scripts (F1..F12, Left, Up, Right, Down, PageUp, PageDown, Home, End, Insert, Space, Tab, Enter, "
     "...). Esc is refused: a surface cannot end the show.",
     parseKey, formatKey, applyKey, nullptr, nullptr},
    {"/strata/trail", Kind::Trail, "f", {{0, 1}}, Stage::None, R | W, false, "0..1",
     "The trail (fade) amount of the frame's clear.", parseValue, formatValue, applyTrail, trailOf, nullptr},
    {"/strata/midi", Kind::Midi, "T", {{0, 1}}, Stage::None, R | W, false, "0 or 1, or T/F",
     "Switches MIDI input off or on.", parseSwitch, formatSwitch, applyMidi, midiOf, nullptr},
    {"/strata/joystick", Kind::Joystick, "T", {{0, 1}}, Stage::None, R | W, false, "0 or 1, or T/F",
     "Switches joystick input off or on.", parseSwitch, formatSwitch, applyJoystick, joystickOf, nullptr},
    {"/strata/help", Kind::Help, "T", {{0, 1}}, Stage::None, R | W, false, "0 or 1, or T/F",
     "Shows or hides the help pages, as the h key does.", parseSwitch, formatSwitch, applyHelp, helpOf, nullptr},
    {"/strata/level", Kind::None, "f", {{0, 1}}, Stage::None, R, true, "-", "The sound level 0..1 (read only).", nullptr,
     nullptr, nullptr, levelOf, nullptr},
    {"/strata/sound/low", Kind::None, "f", {{0, 1}}, Stage::None, R, false, "-",
     "The sound's energy below 200 Hz, 0..1 after automatic gain (read only; 0 without musical time).", nullptr,
     nullptr, nullptr, lowOf, nullptr},
    {"/strata/sound/mid", Kind::None, "f", {{0, 1}}, Stage::None, R, false, "-",
     "The sound's energy from 200 Hz to 2 kHz, 0..1 (read only).", nullptr, nullptr, nullptr, midOf, nullptr},
    {"/strata/sound/high", Kind::None, "f", {{0, 1}}, Stage::None, R, false, "-",
     "The sound's energy above 2 kHz, 0..1 (read only).", nullptr, nullptr, nullptr, highOf, nullptr},
    {"/strata/scene/recall", Kind::SceneRecall, "i", {{1, 99}}, Stage::None, W, false, "scene number 1..99",
     "Recalls scenes/NN.scene as Ctrl+n does, in the frame's control step.", parseIndex, formatIndex, applyRecall,
     nullptr, nullptr},
    {"/strata/scene/store", Kind::SceneStore, "i", {{1, 99}}, Stage::None, W, false, "scene number 1..99",
     "Stores the look as scenes/NN.scene as Ctrl+Shift+n does.", parseIndex, nullptr, applyStore, nullptr, nullptr},
    {"/strata/scene/fade", Kind::SceneFade, "i", {{0, 3600000}}, Stage::None, R | W, false, "milliseconds 0..3600000",
     "The cross-fade time of scene recalls (STRATA_SCENE_FADE at start; 0: a cut).", parseIndex, nullptr,
     applySceneFade, sceneFadeOf, nullptr},
    {"/strata/learn", Kind::Learn, "", {}, Stage::None, W, false, "-", "Arms MIDI learn.", parseNothing, nullptr,
     applyLearn, nullptr, nullptr},
    {"/strata/learn/state", Kind::None, "i", {{0, 2}}, Stage::None, R, false, "-",
     "MIDI learn (read only): 0 off, 1 waits for a control of the MIDI box, 2 for a key.", nullptr, nullptr, nullptr,
     learnOf, nullptr},
    {"/strata/tempo", Kind::Tempo, "f", {{20, 300}}, Stage::None, R | W, true, "BPM 20..300",
     "Sets the musical clock's tempo, which then leads (until /strata/tempo/follow); reads the clock's tempo.",
     parseValue, formatValue, applyTempo, tempoOf, nullptr},
    {"/strata/tempo/tap", Kind::TempoTap, "", {}, Stage::None, W, false, "-",
     "Taps the tempo, as Alt+T does: the beat lands on the tap, two taps or more give the tempo, and the tap leads.",
     parseNothing, nullptr, applyTempo, nullptr, nullptr},
    {"/strata/tempo/nudge", Kind::TempoNudge, "f", {{-0.5, 0.5}}, Stage::None, W, false, "beats -0.5..0.5",
     "Moves the beat forward (positive) or back without changing the tempo; Alt+] and Alt+[ nudge by 1/32 beat.",
     parseValue, nullptr, applyTempo, nullptr, nullptr},
    {"/strata/tempo/follow", Kind::TempoFollow, "", {}, Stage::None, W, false, "-",
     "Hands the lead back to the detected beat, as Alt+G does.", parseNothing, nullptr, applyTempo, nullptr, nullptr},
    {"/strata/tempo/detected", Kind::None, "f", {{0, 300}}, Stage::None, R, true, "-",
     "The tempo detected in the sound, in BPM (0: none yet; read only).", nullptr, nullptr, nullptr, detectedTempoOf,
     nullptr},
    {"/strata/tempo/source", Kind::None, "i", {{0, 4}}, Stage::None, R, true, "-",
     "Who leads the musical clock (read only): 0 detected, 1 tap, 2 fixed, 3 MIDI clock, 4 Link.", nullptr, nullptr,
     nullptr, clockSourceOf, nullptr},
    {"/strata/link/peers", Kind::None, "i", {{-1, 1000}}, Stage::None, R, true, "-",
     "Other machines in the Link session (read only; -1: Link is off, STRATA_LINK starts it).", nullptr, nullptr,
     nullptr, linkPeersOf, nullptr},
    {"/strata/beat/phase", Kind::None, "f", {{0, 1}}, Stage::None, R, true, "-",
     "The musical clock's beat phase 0..1 (read only).", nullptr, nullptr, nullptr, beatPhaseOf, nullptr},
    {"/strata/frame/fps", Kind::None, "f", {{0, 1000}}, Stage::None, R, false, "-",
     "Frames drawn in the last whole second (read only; 0 until the first second ends).", nullptr, nullptr, nullptr,
     fpsOf, nullptr},
    {"/strata/frame/slowest", Kind::None, "f", {{0, 60000}}, Stage::None, R, false, "-",
     "The slowest frame of the last whole second, in milliseconds (read only).", nullptr, nullptr, nullptr, slowestOf,
     nullptr},
    {"/strata/device/midi", Kind::None, "s", {{}}, Stage::None, R, false, "-",
     "The MIDI connections in a few words (read only).", nullptr, nullptr, nullptr, nullptr, midiLineOf},
    {"/strata/device/sound", Kind::None, "s", {{}}, Stage::None, R, false, "-",
     "The sound input in a few words (read only).", nullptr, nullptr, nullptr, nullptr, soundLineOf},
    {"/strata/device/joystick", Kind::None, "s", {{}}, Stage::None, R, false, "-",
     "The joystick's device, or that it is absent (read only).", nullptr, nullptr, nullptr, nullptr, joystickLineOf},
    {"/strata/output/corner", Kind::OutputCorner, "iff", {{1, 4}, {-1, 2}, {-1, 2}}, Stage::None, W, false,
     "corner 1..4, x, y",
     "Moves a corner of the picture on the output (1 top-left, 2 top-right, 3 bottom-right, 4 bottom-left) to x, "
     "y in units of the letterboxed picture (0..1 its width and height from its top-left; -1..2 reach past it). "
     "A move that would fold the picture is refused. Saved to output.map; never recorded.",
     parseCorner, nullptr, applyCorner, nullptr, nullptr},
    {"/strata/output/reset", Kind::OutputReset, "", {}, Stage::None, W, false, "-",
     "Puts every corner back where the letterbox has it (no mapping), as R in mapping mode (Alt+M).",
     parseNothing, nullptr, applyOutputReset, nullptr, nullptr},
    {"/strata/output/corner/1/x", Kind::OutputCorner, "f", {{-1, 2}}, Stage::None, R | W, false, "-1..2",
     "The x of corner 1 (top-left) of the output mapping, as /strata/output/corner sets it.", parseCornerAxis,
     nullptr, applyCorner, outputCornerOf<0>, nullptr},
    {"/strata/output/corner/1/y", Kind::OutputCorner, "f", {{-1, 2}}, Stage::None, R | W, false, "-1..2",
     "The y of corner 1 (top-left) of the output mapping, as /strata/output/corner sets it.", parseCornerAxis,
     nullptr, applyCorner, outputCornerOf<1>, nullptr},
    {"/strata/output/corner/2/x", Kind::OutputCorner, "f", {{-1, 2}}, Stage::None, R | W, false, "-1..2",
     "The x of corner 2 (top-right) of the output mapping, as /strata/output/corner sets it.", parseCornerAxis,
     nullptr, applyCorner, outputCornerOf<2>, nullptr},
    {"/strata/output/corner/2/y", Kind::OutputCorner, "f", {{-1, 2}}, Stage::None, R | W, false, "-1..2",
     "The y of corner 2 (top-right) of the output mapping, as /strata/output/corner sets it.", parseCornerAxis,
     nullptr, applyCorner, outputCornerOf<3>, nullptr},
    {"/strata/output/corner/3/x", Kind::OutputCorner, "f", {{-1, 2}}, Stage::None, R | W, false, "-1..2",
     "The x of corner 3 (bottom-right) of the output mapping, as /strata/output/corner sets it.", parseCornerAxis,
     nullptr, applyCorner, outputCornerOf<4>, nullptr},
    {"/strata/output/corner/3/y", Kind::OutputCorner, "f", {{-1, 2}}, Stage::None, R | W, false, "-1..2",
     "The y of corner 3 (bottom-right) of the output mapping, as /strata/output/corner sets it.", parseCornerAxis,
     nullptr, applyCorner, outputCornerOf<5>, nullptr},
    {"/strata/output/corner/4/x", Kind::OutputCorner, "f", {{-1, 2}}, Stage::None, R | W, false, "-1..2",
     "The x of corner 4 (bottom-left) of the output mapping, as /strata/output/corner sets it.", parseCornerAxis,
     nullptr, applyCorner, outputCornerOf<6>, nullptr},
    {"/strata/output/corner/4/y", Kind::OutputCorner, "f", {{-1, 2}}, Stage::None, R | W, false, "-1..2",
     "The y of corner 4 (bottom-left) of the output mapping, as /strata/output/corner sets it.", parseCornerAxis,
     nullptr, applyCorner, outputCornerOf<7>, nullptr},
    {"/strata/list", Kind::List, "", {}, Stage::None, W, false, "-",
     "Replies to the sender with a /strata/list message whose string arguments are every address, the layers' "
     "numbered 1..11.",
     parseNothing, nullptr, nullptr, nullptr, nullptr},
};

constexpr std::string_view kLayerMark = "<n>";

}  // namespace

const OscAddress* oscAddresses(int& count) {
    count = static_cast<int>(std::size(kAddresses));
    return kAddresses;
}

bool OscAddress::perLayer() const { return std::string_view(path).find(kLayerMark) != std::string_view::npos; }

int OscAddress::fullPath(int layer, char* out, size_t size) const {
    const std::string_view p(path);
    const size_t mark = p.find(kLayerMark);
    int n = 0;
    if (mark == std::string_view::npos)
        n = std::snprintf(out, size, "%s", path);
    else
        n = std::snprintf(out, size, "%.*s%d%s", static_cast<int>(mark), path, layer + 1, path + mark + kLayerMark.size());
    return n > 0 && static_cast<size_t>(n) < size ? n : 0;
}

const OscAddress* findOscAddress(std::string_view path, int& layer) {
    layer = -1;
    for (const OscAddress& row : kAddresses) {
        const std::string_view p(row.path);
        const size_t mark = p.find(kLayerMark);
        if (mark == std::string_view::npos) {
            if (p == path) return &row;
            continue;
        }
        // "<prefix><1..11><suffix>", the number in at most three digits.
        const std::string_view prefix = p.substr(0, mark), suffix = p.substr(mark + kLayerMark.size());
        if (path.size() <= prefix.size() + suffix.size() || path.substr(0, prefix.size()) != prefix ||
            path.substr(path.size() - suffix.size()) != suffix)
            continue;
        const std::string_view digits = path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
        if (digits.size() > 3) return nullptr;
        int n = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') return nullptr;
            n = n * 10 + (c - '0');
        }
        if (n < 1 || n > kOscLayers) return nullptr;
        layer = n - 1;
        return &row;
    }
    return nullptr;
}

const OscAddress* oscAddressOf(OscCommand::Kind kind) {
    if (kind == Kind::ModuleName) kind = Kind::ModuleIndex;
    if (kind == Kind::ImageSetName) kind = Kind::ImageSet;
    if (kind == Kind::None) return nullptr;
    for (const OscAddress& row : kAddresses)
        if (row.kind == kind) return &row;
    return nullptr;
}

std::string oscAddressTable() {
    std::string table = "| Address | Arguments | Effect |\n|---|---|---|\n";
    for (const OscAddress& row : kAddresses) {
        table += "| `";
        table += row.path;
        table += "` | ";
        table += row.arguments;
        table += " | ";
        table += row.description;
        table += " |\n";
    }
    return table;
}

bool parseOscCommand(const char* path, const OscArg* args, int count, OscCommand& cmd) {
    cmd = OscCommand{};
    if (!path || count < 0 || (count > 0 && !args)) return false;
    int layer = -1;
    const OscAddress* row = findOscAddress(path, layer);
    if (!row || !row->parse) return false;
    cmd.kind = row->kind;
    if (layer >= 0) cmd.channel = layer;
    if (row->parse(*row, args, count, cmd)) return true;
    cmd = OscCommand{};
    return false;
}

int formatOscCommand(const OscCommand& cmd, char* out, size_t size) {
    const bool named = cmd.kind == OscCommand::Kind::ModuleName || cmd.kind == OscCommand::Kind::ImageSetName;
    const OscAddress* row = named ? nullptr : oscAddressOf(cmd.kind);
    if (!row || !row->format || size == 0) return 0;
    int n = row->fullPath(cmd.channel, out, size);
    if (n <= 0 || static_cast<size_t>(n) + 1 >= size) return 0;
    out[n++] = ' ';
    const int m = row->format(cmd, out + n, size - n);
    if (m <= 0 || static_cast<size_t>(n + m) >= size) return 0;
    return n + m;
}

bool isOscPattern(std::string_view path) { return path.find_first_of("*?[]{}") != std::string_view::npos; }

bool oscPatternMatches(std::string_view pattern, std::string_view address) {
    constexpr size_t kPart = 64;
    char p[kPart], a[kPart];
    while (!pattern.empty() && !address.empty()) {
        const size_t pEnd = std::min(pattern.find('/', 1), pattern.size());
        const size_t aEnd = std::min(address.find('/', 1), address.size());
        if (pEnd >= kPart || aEnd >= kPart || pattern[0] != '/' || address[0] != '/') return false;
        pattern.copy(p, pEnd - 1, 1);
        address.copy(a, aEnd - 1, 1);
        p[pEnd - 1] = '\0';
        a[aEnd - 1] = '\0';
        if (!lo_pattern_match(a, p)) return false;
        pattern.remove_prefix(pEnd);
        address.remove_prefix(aEnd);
    }
    return pattern.empty() && address.empty();
}

float oscAmountOf(float tableFloat) {
    return static_cast<float>(std::round((tableFloat + 1.0) * 0.5 * 1e6) / 1e6);
}
