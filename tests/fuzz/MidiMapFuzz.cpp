// Fuzzes the midi.map reader and the mapping it builds: any text gives at
// most 256 mappings, each within the table, and MIDI through them keeps every
// value of the table finite and every byte within 0..127.
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "FuzzInput.h"
#include "app/ControlTable.h"
#include "control/MidiMap.h"

const char* const kFuzzFileSuffix = nullptr;

void fuzzOne(const uint8_t* data, size_t size, const char*) {
    static MidiMap map;
    static ControlTable table;
    map.clear();
    map.parseText(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.map");
    if (map.count() < 0 || map.count() > MidiMap::kMaxMappings) abort();
    map.attach(table);
    for (int i = 0; i < map.count(); ++i) {
        const MidiMapping& m = map.mapping(i);
        if (m.entry < 0 || m.entry > 1023 || m.channel < MidiMapping::kSelected || m.channel > 15) abort();
        // Every message that could reach this mapping, at both ends.
        for (int status : {0x80, 0x90, 0xB0})
            for (int value : {0, 1, 64, 127})
                map.apply(static_cast<uint32_t>(status | m.midiChannel) | static_cast<uint32_t>(m.number) << 8 |
                              static_cast<uint32_t>(value) << 16,
                          table, i % 16);
        const int index = ControlTable::indexOf(m.channel < 0 ? 0 : m.channel, 0, m.entry);
        if (!std::isfinite(table.floatValue[index]) || table.byteValue[index] > 127) abort();
    }
}
