#include "show/ShowScript.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

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

}  // namespace

int ShowScript::endFrame() const {
    for (const ShowEvent& event : events_)
        if (event.type == ShowEvent::Type::End) return event.frame;
    return -1;
}

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

    const std::string where = name + ":" + std::to_string(number) + ": ";
    auto fail = [&](const std::string& what) {
        error = where + what;
        return false;
    };

    ShowEvent event;
    event.line = number;
    long frame = 0;
    if (!parseWholeNumber(tokens[0], 0, 100000000, frame))
        return fail("expected a frame number (0 or more) at the start of the line, found " + quoted(tokens[0]));
    event.frame = static_cast<int>(frame);
    if (count < 2)
        return fail("expected an event after the frame number: ctl, key, midi, ms, sound, set, midiin, joy, "
                    "special, scene, osc, mapped or end");

    const std::string_view kind = tokens[1];
    long a = 0, b = 0, c = 0;
    if (kind == "ctl") {
        if (count != 5 || tooMany) return fail("expected 'ctl <channel> <entry> <value>'");
        if (!parseWholeNumber(tokens[2], 0, 15, a)) return fail("expected a channel 0..15, found " + quoted(tokens[2]));
        if (!parseWholeNumber(tokens[3], 0, 1023, b)) return fail("expected an entry 0..1023, found " + quoted(tokens[3]));
        if (!parseWholeNumber(tokens[4], 0, 127, c)) return fail("expected a value 0..127, found " + quoted(tokens[4]));
        event.type = ShowEvent::Type::Control;
    } else if (kind == "key") {
        if ((count != 3 && count != 5) || tooMany) return fail("expected 'key <key> [<x> <y>]'");
        const int special = KeyNames::specialKeyCode(tokens[2]);
        const int character = special ? -1 : KeyNames::characterKey(tokens[2]);
        if (!special && character < 0)
            return fail("expected a key (one character, F1..F12, Left, Up, Right, Down, PageUp, PageDown, Home, "
                        "End, Insert, Esc, Space, Tab, Enter, Backspace, Delete or Hash), found " +
                        quoted(tokens[2]));
        a = special ? special : character;
        b = 320;
        c = 240;
        if (count == 5) {
            if (!parseWholeNumber(tokens[3], 0, 639, b)) return fail("expected a mouse x 0..639, found " + quoted(tokens[3]));
            if (!parseWholeNumber(tokens[4], 0, 479, c)) return fail("expected a mouse y 0..479, found " + quoted(tokens[4]));
        }
        event.type = special ? ShowEvent::Type::SpecialKey : ShowEvent::Type::Key;
    } else if (kind == "midi") {
        if (count != 5 || tooMany) return fail("expected 'midi <status> <data1> <data2>'");
        if (!parseWholeNumber(tokens[2], 0x80, 0xFF, a))
            return fail("expected a status byte 0x80..0xFF, found " + quoted(tokens[2]));
        if (!parseWholeNumber(tokens[3], 0, 127, b)) return fail("expected data1 0..127, found " + quoted(tokens[3]));
        if (!parseWholeNumber(tokens[4], 0, 127, c)) return fail("expected data2 0..127, found " + quoted(tokens[4]));
        event.type = ShowEvent::Type::Midi;
    } else if (kind == "midiin") {
        if (count != 5 || tooMany) return fail("expected 'midiin <status> <data1> <data2>'");
        if (!parseWholeNumber(tokens[2], 0, 0xFF, a)) return fail("expected a status byte 0..0xFF, found " + quoted(tokens[2]));
        if (!parseWholeNumber(tokens[3], 0, 0xFF, b)) return fail("expected data1 0..255, found " + quoted(tokens[3]));
        if (!parseWholeNumber(tokens[4], 0, 0xFF, c)) return fail("expected data2 0..255, found " + quoted(tokens[4]));
        event.type = ShowEvent::Type::MidiIn;
    } else if (kind == "ms") {
        if (count != 3 || tooMany) return fail("expected 'ms <milliseconds>'");
        if (!parseWholeNumber(tokens[2], 0, 0xFFFFFFFFL, a))
            return fail("expected a frame time 0..4294967295 ms, found " + quoted(tokens[2]));
        a = static_cast<long>(static_cast<int32_t>(static_cast<uint32_t>(a)));
        event.type = ShowEvent::Type::FrameTime;
    } else if (kind == "sound" || kind == "end") {
        if (count != 2 || tooMany) return fail("expected nothing after '" + std::string(kind) + "'");
        event.type = kind == "sound" ? ShowEvent::Type::Sound : ShowEvent::Type::End;
    } else if (kind == "set" || kind == "mapped") {
        if (count != 6 || tooMany) return fail("expected '" + std::string(kind) + " <channel> <entry> <byte> <float>'");
        if (!parseWholeNumber(tokens[2], 0, 15, a)) return fail("expected a channel 0..15, found " + quoted(tokens[2]));
        if (!parseWholeNumber(tokens[3], 0, 1023, b)) return fail("expected an entry 0..1023, found " + quoted(tokens[3]));
        if (!parseWholeNumber(tokens[4], 0, 255, c)) return fail("expected a byte 0..255, found " + quoted(tokens[4]));
        if (!parseFloatNumber(tokens[5], event.f)) return fail("expected a float value, found " + quoted(tokens[5]));
        event.type = kind == "set" ? ShowEvent::Type::Set : ShowEvent::Type::Mapped;
    } else if (kind == "joy") {
        if (count != 5 || tooMany) return fail("expected 'joy <x> <y> <buttons>'");
        if (!parseWholeNumber(tokens[2], 0, 65535, a)) return fail("expected a joystick x 0..65535, found " + quoted(tokens[2]));
        if (!parseWholeNumber(tokens[3], 0, 65535, b)) return fail("expected a joystick y 0..65535, found " + quoted(tokens[3]));
        if (!parseWholeNumber(tokens[4], 0, 15, c)) return fail("expected a button mask 0..15, found " + quoted(tokens[4]));
        event.type = ShowEvent::Type::Joystick;
    } else if (kind == "special") {
        if ((count != 3 && count != 5) || tooMany) return fail("expected 'special <code> [<x> <y>]'");
        if (!parseWholeNumber(tokens[2], 1, 255, a)) return fail("expected a special key code 1..255, found " + quoted(tokens[2]));
        b = 320;
        c = 240;
        if (count == 5) {
            if (!parseWholeNumber(tokens[3], 0, 639, b)) return fail("expected a mouse x 0..639, found " + quoted(tokens[3]));
            if (!parseWholeNumber(tokens[4], 0, 479, c)) return fail("expected a mouse y 0..479, found " + quoted(tokens[4]));
        }
        event.type = ShowEvent::Type::SpecialKey;
    } else if (kind == "scene") {
        if (count < 3 || count > 5 || tooMany || (count == 5 && tokens[4] != "bus"))
            return fail("expected 'scene <1..99 or file> [<fade ms> [bus]]'");
        const std::string_view what = tokens[2];
        const bool number = std::all_of(what.begin(), what.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
        if (number) {
            if (!parseWholeNumber(what, 1, 99, a)) return fail("expected a scene number 1..99, found " + quoted(what));
        } else {
            if (what.size() > 255) return fail("expected a scene file name of at most 255 characters");
            event.text.assign(what);
        }
        b = -1;
        if (count >= 4 && !parseWholeNumber(tokens[3], 0, 3600000, b))
            return fail("expected a fade time 0..3600000 ms, found " + quoted(tokens[3]));
        c = count == 5 ? 1 : 0;
        event.type = ShowEvent::Type::Scene;
    } else if (kind == "osc") {
        using Kind = OscCommand::Kind;
        if (count < 3 || tooMany) return fail("expected 'osc <address> [<arguments>...]'");
        if (!parseOscWords(tokens[2], tokens + 3, count - 3, event.command))
            return fail("expected a control command such as '/strata/ctl 0 7 127', found " + quoted(tokens[2]) +
                        " with those arguments");
        const Kind k = event.command.kind;
        if (k == Kind::SceneStore || k == Kind::Learn || k == Kind::List)
            return fail(quoted(tokens[2]) + " changes no picture and cannot be played in a show");
        event.type = ShowEvent::Type::Osc;
    } else {
        return fail("expected ctl, key, midi, ms, sound, set, midiin, joy, special, scene, osc, mapped or end after "
                    "the frame number, found " + quoted(kind));
    }
    event.a = static_cast<int>(a);
    event.b = static_cast<int>(b);
    event.c = static_cast<int>(c);
    events_.push_back(event);
    return true;
}

void ShowScript::eventsOfFrame(int frame, size_t& begin, size_t& end) {
    while (cursor_ < events_.size() && events_[cursor_].frame < frame) ++cursor_;
    begin = cursor_;
    while (cursor_ < events_.size() && events_[cursor_].frame == frame) ++cursor_;
    end = cursor_;
}
