// Fuzzes the show-script parser of the offline renderer. Any text must either
// be refused with a message and no events, or give events in frame order
// whose every field lies in the range the format allows (the renderer hands
// them to the universe unchecked), and the frame-by-frame walk must hand out
// each event exactly once.
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "FuzzInput.h"
#include "show/ShowScript.h"

const char* const kFuzzFileSuffix = nullptr;

namespace {
bool within(int v, int low, int high) { return v >= low && v <= high; }

bool fields(const ShowEvent& e, int aLow, int aHigh, int bLow, int bHigh, int cLow, int cHigh) {
    return within(e.a, aLow, aHigh) && within(e.b, bLow, bHigh) && within(e.c, cLow, cHigh);
}

bool valid(const ShowEvent& e) {
    using T = ShowEvent::Type;
    using K = OscCommand::Kind;
    const OscCommand& c = e.command;
    switch (e.type) {
        case T::Control: return fields(e, 0, 15, 0, 1023, 0, 127);
        case T::Key: return fields(e, 0, 255, 0, 639, 0, 479);
        case T::SpecialKey: return fields(e, 1, 255, 0, 639, 0, 479);
        case T::Midi: return fields(e, 0x80, 0xFF, 0, 127, 0, 127) && e.midiMessage() <= 0xFFFFFFu;
        case T::MidiIn: return fields(e, 0, 0xFF, 0, 0xFF, 0, 0xFF);
        case T::Set:
        case T::Mapped: return fields(e, 0, 15, 0, 1023, 0, 255) && std::isfinite(e.f);
        case T::Joystick: return fields(e, 0, 65535, 0, 65535, 0, 15);
        case T::Scene:
            return (e.text.empty() ? within(e.a, 1, 99) : (e.a == 0 && e.text.size() <= 255)) &&
                   within(e.b, -1, 3600000);
        case T::Osc:  // a replayed bus command: only what changes the instrument, within its address's ranges
            return c.kind != K::None && c.kind != K::List && c.kind != K::Learn && c.kind != K::SceneStore &&
                   within(c.channel, 0, 15) && within(c.entry, 0, 1023) && within(c.byteValue, 0, 127) &&
                   std::isfinite(c.value) && within(c.x, 0, 639) && within(c.y, 0, 479) &&
                   memchr(c.name, '\0', sizeof c.name);
        case T::FrameTime:
        case T::Sound:
        case T::End: return true;
    }
    return false;
}
}  // namespace

void fuzzOne(const uint8_t* data, size_t size, const char*) {
    ShowScript script;
    std::string error;
    if (!script.parseText(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.show", error)) {
        fuzzCheck(script.events().empty(), "a refused script kept events");
        fuzzCheck(error.rfind("fuzz.show:", 0) == 0, "a refusal without the script's name and line");
        return;
    }
    const auto& events = script.events();
    for (size_t i = 0; i < events.size(); ++i) {
        fuzzCheck(events[i].frame >= (i > 0 ? events[i - 1].frame : 0), "events out of frame order");
        fuzzCheck(valid(events[i]), "an event outside its ranges");
    }
    fuzzCheck(script.lastFrame() == (events.empty() ? -1 : events.back().frame), "last frame wrong");

    // Walk the frames that hold events, in rising order.
    size_t handed = 0;
    for (size_t i = 0; i < events.size();) {
        size_t begin = 0, end = 0;
        script.eventsOfFrame(events[i].frame, begin, end);
        fuzzCheck(begin == i && end > begin && end <= events.size(), "frame walk lost its place");
        for (size_t k = begin; k < end; ++k)
            fuzzCheck(events[k].frame == events[i].frame, "frame walk handed another frame's event");
        handed += end - begin;
        i = end;
    }
    fuzzCheck(handed == events.size(), "frame walk missed events");
}
