// Fuzzes the OSC packet handler: any packet (a message, a bundle, nested
// bundles, garbage) queues only commands whose fields lie within what the
// frame accepts, and never more than the queue holds.
#include <cmath>
#include <cstdlib>

#include "FuzzInput.h"
#include "control/OscCommand.h"
#include "control/OscCommandQueue.h"
#include "control/OscServer.h"

const char* const kFuzzFileSuffix = nullptr;

namespace {
bool valid(const OscCommand& c) {
    using Kind = OscCommand::Kind;
    const bool layer = c.channel >= 0 && c.channel < 11;
    switch (c.kind) {
        case Kind::Control:
            return c.channel >= 0 && c.channel < 16 && c.entry >= 0 && c.entry < 1024 && c.byteValue >= 0 &&
                   c.byteValue <= 127 && std::isfinite(c.value) && c.value >= -1.0f && c.value <= 1.0f;
        case Kind::Opacity: case Kind::Trail: return layer && c.value >= 0.0f && c.value <= 1.0f;
        case Kind::ModuleIndex: case Kind::ImageSet: return layer && c.index >= 0 && c.index < 128;
        case Kind::ModuleName: case Kind::ImageSetName:
            return layer && c.name[OscCommand::kNameSize - 1] == '\0' && c.name[0] != '\0';
        case Kind::Select: return c.channel >= 0 && c.channel < 16;
        case Kind::Key:
            return c.index > 0 && (c.special || (c.index < 128 && c.index != 27)) && c.x >= 0 && c.x < 640 &&
                   c.y >= 0 && c.y < 480;
        case Kind::Midi: case Kind::Joystick: case Kind::Help: return c.index == 0 || c.index == 1;
        case Kind::Shown: return layer && (c.index == 0 || c.index == 1);
        case Kind::SceneFade: return c.index >= 0 && c.index <= 3600000;
        case Kind::Tempo: return c.value >= 20.0f && c.value <= 300.0f;
        case Kind::TempoNudge: return c.value >= -0.5f && c.value <= 0.5f;
        case Kind::TempoTap: case Kind::TempoFollow: return true;
        case Kind::SceneRecall: case Kind::SceneStore: return c.index >= 1 && c.index < 100;
        case Kind::Learn: case Kind::OutputReset: return true;
        case Kind::OutputCorner: {
            const auto axis = [](float v) { return std::isfinite(v) && v >= -1.0f && v <= 2.0f; };
            return c.index >= 0 && c.index < 4 && c.entry >= 1 && c.entry <= 3 && (!(c.entry & 1) || axis(c.value)) &&
                   (!(c.entry & 2) || axis(c.valueY));
        }
        default: return false;  // List is answered, never queued
    }
}
}  // namespace

void fuzzOne(const uint8_t* data, size_t size, const char*) {
    static OscCommandQueue queue;
    static OscServer server(queue);  // released before the queue it writes to
    server.handlePacket(data, size, nullptr);
    const int count = queue.fetch();
    if (count < 0 || count > OscCommandQueue::kCapacity) abort();
    for (int i = 0; i < count; ++i)
        if (!valid(queue.events[i])) abort();
    uint64_t dropped = 0, bad = 0;
    queue.takeCounts(dropped, bad);
}
