// Fuzzes the sound.map reader and the routes it builds: any text gives at
// most 64 routes, each within the table, and a few seconds of musical time
// through them keep every value they write finite and every byte in 0..127.
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "FuzzInput.h"
#include "app/ControlTable.h"
#include "control/SoundMap.h"
#include "music/MusicalTime.h"

const char* const kFuzzFileSuffix = nullptr;

void fuzzOne(const uint8_t* data, size_t size, const char*) {
    static SoundMap map;
    static ControlTable table;
    map.parseText(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.map");
    if (map.count() < 0 || map.count() > SoundMap::kMaxRoutes) abort();
    MusicFrame frame;
    for (int step = 0; step < 200; ++step) {
        frame.millis = step % 7 == 0 ? 0.0 : 16.0;
        frame.beats = step * 0.13;
        frame.beatPhase = frame.beats - std::floor(frame.beats);
        frame.onset = frame.beat = step % 9 == 0;
        frame.sound.low = frame.sound.level = static_cast<float>(step % 11) / 10.0f;
        map.apply(frame, table, step % 16, nullptr);
    }
    for (int i = 0; i < map.count(); ++i) {
        const SoundRoute& r = map.route(i);
        if (r.target.entry < 0 || r.target.entry > 1023 || r.target.channel < MidiMapping::kSelected ||
            r.target.channel > 15)
            abort();
        for (int channel = 0; channel < 16; ++channel) {
            const int index = ControlTable::indexOf(channel, 0, r.target.entry);
            if (!std::isfinite(table.floatValue[index]) || table.byteValue[index] > 127) abort();
        }
    }
}
