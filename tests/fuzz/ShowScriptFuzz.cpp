// Fuzzes the show-script parser of the offline renderer. Any text must either
// be refused with a message and no events, or give events in frame order
// whose every field lies in the range the format allows (the renderer hands
// them to the universe unchecked), and the frame-by-frame walk must hand out
// each event exactly once.
#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzInput.h"
#include "show/ShowScript.h"

const char* const kFuzzFileSuffix = nullptr;

namespace {
void fail(const char* why) {
    fprintf(stderr, "ShowScriptFuzz: %s\n", why);
    abort();
}

bool within(int v, int low, int high) { return v >= low && v <= high; }
}  // namespace

void fuzzOne(const uint8_t* data, size_t size, const char*) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ShowScript script;
    std::string error;
    if (!script.parseText(text, "fuzz.show", error)) {
        if (!script.events().empty()) fail("a refused script kept events");
        if (error.rfind("fuzz.show:", 0) != 0) fail("a refusal without the script's name and line");
        return;
    }

    const auto& events = script.events();
    int previousFrame = 0;
    for (const ShowEvent& e : events) {
        if (e.frame < previousFrame) fail("events out of frame order");
        previousFrame = e.frame;
        switch (e.type) {
            case ShowEvent::Type::Control:
                if (!within(e.a, 0, 15) || !within(e.b, 0, 1023) || !within(e.c, 0, 127)) fail("ctl outside its ranges");
                break;
            case ShowEvent::Type::Key:
                if (!within(e.a, 0, 255) || !within(e.b, 0, 639) || !within(e.c, 0, 479)) fail("key outside its ranges");
                break;
            case ShowEvent::Type::SpecialKey:
                if (!within(e.a, 1, 255) || !within(e.b, 0, 639) || !within(e.c, 0, 479)) fail("special key outside its ranges");
                break;
            case ShowEvent::Type::Midi:
                if (!within(e.a, 0x80, 0xFF) || !within(e.b, 0, 127) || !within(e.c, 0, 127)) fail("midi outside its ranges");
                if (e.midiMessage() > 0xFFFFFFu) fail("midi message wider than three bytes");
                break;
            case ShowEvent::Type::MidiIn:
                if (!within(e.a, 0, 0xFF) || !within(e.b, 0, 0xFF) || !within(e.c, 0, 0xFF)) fail("midiin outside its ranges");
                break;
            case ShowEvent::Type::Set:
            case ShowEvent::Type::Mapped:
                if (!within(e.a, 0, 15) || !within(e.b, 0, 1023) || !within(e.c, 0, 255) || !std::isfinite(e.f))
                    fail("set outside its ranges");
                break;
            case ShowEvent::Type::Joystick:
                if (!within(e.a, 0, 65535) || !within(e.b, 0, 65535) || !within(e.c, 0, 15)) fail("joy outside its ranges");
                break;
            case ShowEvent::Type::Scene:
                if (e.text.empty() ? !within(e.a, 1, 99) : (e.a != 0 || e.text.size() > 255)) fail("scene without a scene");
                if (!within(e.b, -1, 3600000)) fail("scene fade outside its range");
                break;
            case ShowEvent::Type::Osc: {
                // A replayed bus command: only what changes the instrument,
                // each field in the range its address allows.
                const OscCommand& c = e.command;
                using K = OscCommand::Kind;
                if (c.kind == K::None || c.kind == K::List || c.kind == K::Learn || c.kind == K::SceneStore)
                    fail("osc event that cannot be replayed");
                if (!within(c.channel, 0, 15) || !within(c.entry, 0, 1023) || !within(c.byteValue, 0, 127) ||
                    !std::isfinite(c.value) || !within(c.x, 0, 639) || !within(c.y, 0, 479))
                    fail("osc event outside its ranges");
                if (!memchr(c.name, '\0', sizeof c.name)) fail("osc module name not terminated");
                break;
            }
            case ShowEvent::Type::FrameTime:
            case ShowEvent::Type::Sound:
            case ShowEvent::Type::End:
                break;
        }
    }
    if (script.lastFrame() != (events.empty() ? -1 : events.back().frame)) fail("last frame wrong");

    // Walk the frames that hold events, in rising order.
    size_t handed = 0;
    for (size_t i = 0; i < events.size();) {
        size_t begin = 0, end = 0;
        script.eventsOfFrame(events[i].frame, begin, end);
        if (begin != i || end <= begin || end > events.size()) fail("frame walk lost its place");
        for (size_t k = begin; k < end; ++k)
            if (events[k].frame != events[i].frame) fail("frame walk handed another frame's event");
        handed += end - begin;
        i = end;
    }
    if (handed != events.size()) fail("frame walk missed events");
}
