#include "show/ShowScript.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

#include "app/KeyNames.h"
#include "platform/Numbers.h"
#include "platform/TextLines.h"

namespace {

constexpr int kMaxTokens = 6;

std::string quoted(std::string_view token) {
    std::string text(1, '\'');
    text.append(token);
    text.push_back('\'');
    return text;
}

// A number an event takes: its range and how a message names it.
struct NumberWord {
    long low;
    long high;
    const char* what;  // "expected <what>, found '<word>'"
};

// The words of one line (the frame number first, then the event word and
// its arguments) and where its message goes.
class EventLine {
public:
    EventLine(const std::string_view* words, int count, bool tooMany, std::string where, std::string& error)
        : words_(words), count_(count), tooMany_(tooMany), where_(std::move(where)), error_(error) {}

    std::string_view operator[](int i) const { return words_[i]; }
    // The words from i on.
    const std::string_view* from(int i) const { return words_ + i; }
    int count() const { return count_; }
    bool tooMany() const { return tooMany_; }
    // Exactly n words, and nothing more on the line.
    bool holds(int n) const { return count_ == n && !tooMany_; }

    bool fail(const std::string& what) {
        error_ = where_ + what;
        return false;
    }
    // Word i as a whole number of the word's range.
    bool number(int i, const NumberWord& form, long& value) {
        return parseWholeNumber(words_[i], form.low, form.high, value) ||
               fail(std::string("expected ") + form.what + ", found " + quoted(words_[i]));
    }
    bool number(int i, const NumberWord& form, int& value) {
        long v = 0;
        if (!number(i, form, v)) return false;
        value = static_cast<int>(v);
        return true;
    }

private:
    const std::string_view* words_;
    int count_;
    bool tooMany_;
    std::string where_;
    std::string& error_;
};

// How one event word is read: its type, the message for a wrong number of
// words, the numbers it takes and the parser that reads the words after it.
struct EventForm {
    std::string_view word;
    ShowEvent::Type type;
    const char* usage;
    NumberWord numbers[3];
    bool (*parse)(EventLine& line, const EventForm& form, ShowEvent& event);
};

bool readThreeNumbers(EventLine& line, const EventForm& form, ShowEvent& event) {
    return line.number(2, form.numbers[0], event.a) && line.number(3, form.numbers[1], event.b) &&
           line.number(4, form.numbers[2], event.c);
}

// Three numbers (ctl, midi, midiin, joy).
bool parseNumbers(EventLine& line, const EventForm& form, ShowEvent& event) {
    return line.holds(5) ? readThreeNumbers(line, form, event) : line.fail(form.usage);
}

// An exact write (set, mapped): three numbers and the float.
bool parseWrite(EventLine& line, const EventForm& form, ShowEvent& event) {
    if (!line.holds(6)) return line.fail(form.usage);
    if (!readThreeNumbers(line, form, event)) return false;
    return parseFloatNumber(line[5], event.f) || line.fail("expected a float value, found " + quoted(line[5]));
}

bool parseNothing(EventLine& line, const EventForm& form, ShowEvent&) {
    return line.holds(2) || line.fail(form.usage);
}

// The mouse position after a key (the centre when none is given).
bool parseMouse(EventLine& line, ShowEvent& event) {
    event.b = 320;
    event.c = 240;
    return line.count() != 5 || (line.number(3, {0, 639, "a mouse x 0..639"}, event.b) &&
                                 line.number(4, {0, 479, "a mouse y 0..479"}, event.c));
}

bool parseKey(EventLine& line, const EventForm& form, ShowEvent& event) {
    if ((line.count() != 3 && line.count() != 5) || line.tooMany()) return line.fail(form.usage);
    const int special = KeyNames::specialKeyCode(line[2]);
    const int character = special ? -1 : KeyNames::characterKey(line[2]);
    if (!special && character < 0)
        return line.fail("expected a key (one character, F1..F12, Left, Up, Right, Down, PageUp, PageDown, Home, "
                         "End, Insert, Esc, Space, Tab, Enter, Backspace, Delete or Hash), found " + quoted(line[2]));
    event.a = special ? special : character;
    if (special) event.type = ShowEvent::Type::SpecialKey;
    return parseMouse(line, event);
}

bool parseSpecial(EventLine& line, const EventForm& form, ShowEvent& event) {
    if ((line.count() != 3 && line.count() != 5) || line.tooMany()) return line.fail(form.usage);
    return line.number(2, form.numbers[0], event.a) && parseMouse(line, event);
}

bool parseFrameTime(EventLine& line, const EventForm& form, ShowEvent& event) {
    if (!line.holds(3)) return line.fail(form.usage);
    long millis = 0;
    if (!line.number(2, form.numbers[0], millis)) return false;
    event.a = static_cast<int32_t>(static_cast<uint32_t>(millis));  // all 32 bits
    return true;
}

// The first frame of a show: the clock's first reading (b marks it).
bool parseUptime(EventLine& line, const EventForm& form, ShowEvent& event) {
    event.b = 1;
    return parseFrameTime(line, form, event);
}

// A sound block, at its position in the sound file or (a = -1) the next.
bool parseSound(EventLine& line, const EventForm& form, ShowEvent& event) {
    event.a = -1;
    if (line.holds(2)) return true;
    return line.holds(3) ? line.number(2, form.numbers[0], event.a) : line.fail(form.usage);
}

// A scene by number or by file name, with a fade time and the bus mark.
bool parseScene(EventLine& line, const EventForm& form, ShowEvent& event) {
    const int count = line.count();
    if (count < 3 || count > 5 || line.tooMany() || (count == 5 && line[4] != "bus")) return line.fail(form.usage);
    const std::string_view what = line[2];
    const bool number = std::all_of(what.begin(), what.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
    if (number) {
        if (!line.number(2, form.numbers[0], event.a)) return false;
    } else {
        if (what.size() > 255) return line.fail("expected a scene file name of at most 255 characters");
        event.text.assign(what);
    }
    event.b = -1;
    if (count >= 4 && !line.number(3, form.numbers[1], event.b)) return false;
    event.c = count == 5 ? 1 : 0;
    return true;
}

// A control-bus command that changes the picture.
bool parseOsc(EventLine& line, const EventForm& form, ShowEvent& event) {
    using Kind = OscCommand::Kind;
    if (line.count() < 3 || line.tooMany()) return line.fail(form.usage);
    if (!parseOscWords(line[2], line.from(3), line.count() - 3, event.command))
        return line.fail("expected a control command such as '/strata/ctl 0 7 127', found " + quoted(line[2]) +
                         " with those arguments");
    const Kind k = event.command.kind;
    if (k == Kind::SceneStore || k == Kind::Learn || k == Kind::List)
        return line.fail(quoted(line[2]) + " changes no picture and cannot be played in a show");
    return true;
}

using T = ShowEvent::Type;
constexpr NumberWord kChannel = {0, 15, "a channel 0..15"};
constexpr NumberWord kEntry = {0, 1023, "an entry 0..1023"};
constexpr NumberWord kByte = {0, 255, "a byte 0..255"};
const EventForm kEventForms[] = {
    {"ctl", T::Control, "expected 'ctl <channel> <entry> <value>'", {kChannel, kEntry, {0, 127, "a value 0..127"}},
     parseNumbers},
    {"key", T::Key, "expected 'key <key> [<x> <y>]'", {}, parseKey},
    {"midi", T::Midi, "expected 'midi <status> <data1> <data2>'",
     {{0x80, 0xFF, "a status byte 0x80..0xFF"}, {0, 127, "data1 0..127"}, {0, 127, "data2 0..127"}}, parseNumbers},
    {"midiin", T::MidiIn, "expected 'midiin <status> <data1> <data2>'",
     {{0, 0xFF, "a status byte 0..0xFF"}, {0, 0xFF, "data1 0..255"}, {0, 0xFF, "data2 0..255"}}, parseNumbers},
    {"ms", T::FrameTime, "expected 'ms <milliseconds>'", {{0, 0xFFFFFFFFL, "a frame time 0..4294967295 ms"}},
     parseFrameTime},
    {"uptime", T::FrameTime, "expected 'uptime <milliseconds>'", {{0, 0xFFFFFFFFL, "a clock reading 0..4294967295 ms"}},
     parseUptime},
    {"sound", T::Sound, "expected 'sound [<block position>]'", {{0, 0x7FFFFFFFL, "a block position 0..2147483647"}},
     parseSound},
    {"end", T::End, "expected nothing after 'end'", {}, parseNothing},
    {"set", T::Set, "expected 'set <channel> <entry> <byte> <float>'", {kChannel, kEntry, kByte}, parseWrite},
    {"mapped", T::Mapped, "expected 'mapped <channel> <entry> <byte> <float>'", {kChannel, kEntry, kByte},
     parseWrite},
    {"routed", T::Routed, "expected 'routed <channel> <entry> <byte> <float>'", {kChannel, kEntry, kByte},
     parseWrite},
    {"joy", T::Joystick, "expected 'joy <x> <y> <buttons>'",
     {{0, 65535, "a joystick x 0..65535"}, {0, 65535, "a joystick y 0..65535"}, {0, 15, "a button mask 0..15"}},
     parseNumbers},
    {"special", T::SpecialKey, "expected 'special <code> [<x> <y>]'", {{1, 255, "a special key code 1..255"}},
     parseSpecial},
    {"scene", T::Scene, "expected 'scene <1..99 or file> [<fade ms> [bus]]'",
     {{1, 99, "a scene number 1..99"}, {0, 3600000, "a fade time 0..3600000 ms"}}, parseScene},
    {"osc", T::Osc, "expected 'osc <address> [<arguments>...]'", {}, parseOsc},
};

}  // namespace

int ShowScript::endFrame() const {
    for (const ShowEvent& event : events_)
        if (event.type == ShowEvent::Type::End) return event.frame;
    return -1;
}

bool ShowScript::cutShort() const { return endFrame() < 0 && holdsRecording(); }

bool ShowScript::holdsRecording() const {
    for (const ShowEvent& event : events_)
        if (event.recorded()) return true;
    return false;
}

bool ShowScript::parseFile(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot read the show script";
        events_.clear();
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseText(text.str(), path, error);
}

bool ShowScript::parseText(std::string_view text, const std::string& name, std::string& error) {
    events_.clear();
    cutLine_ = false;
    cursor_ = 0;
    int number = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++number;
        if (!parseLine(line, number, name, error)) {
            // A recording cut off in the middle of writing (the instrument
            // was killed) ends in a line without its newline: it goes.
            if (end == text.size() && holdsRecording() && endFrame() < 0) {
                cutLine_ = true;
                break;
            }
            events_.clear();
            return false;
        }
        start = end + 1;
    }
    std::stable_sort(events_.begin(), events_.end(),
                     [](const ShowEvent& x, const ShowEvent& y) { return x.frame < y.frame; });
    return true;
}

bool ShowScript::parseLine(std::string_view line, int number, const std::string& name, std::string& error) {
    std::string_view tokens[kMaxTokens];
    bool tooMany = false;
    const int count = splitWords(line, tokens, kMaxTokens, &tooMany);
    if (count == 0 && !tooMany) return true;
    EventLine words(tokens, count, tooMany, name + ":" + std::to_string(number) + ": ", error);

    ShowEvent event;
    event.line = number;
    if (!parseWholeNumber(tokens[0], 0, 100000000, event.frame))
        return words.fail("expected a frame number (0 or more) at the start of the line, found " + quoted(tokens[0]));
    if (count < 2)
        return words.fail("expected an event after the frame number: ctl, key, midi, ms, uptime, sound, set, "
                          "midiin, joy, special, scene, osc, mapped, routed or end");
    for (const EventForm& form : kEventForms) {
        if (tokens[1] != form.word) continue;
        event.type = form.type;
        if (!form.parse(words, form, event)) return false;
        events_.push_back(event);
        return true;
    }
    return words.fail("expected ctl, key, midi, ms, uptime, sound, set, midiin, joy, special, scene, osc, mapped, "
                      "routed or end after the frame number, found " + quoted(tokens[1]));
}

void ShowScript::eventsOfFrame(int frame, size_t& begin, size_t& end) {
    while (cursor_ < events_.size() && events_[cursor_].frame < frame) ++cursor_;
    begin = cursor_;
    while (cursor_ < events_.size() && events_[cursor_].frame == frame) ++cursor_;
    end = cursor_;
}
