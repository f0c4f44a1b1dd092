// Fuzzes the midi.map reader and the mapping it builds: any text gives at
// most 256 mappings, each within the table, and MIDI through them keeps every
// value of the table finite and every byte within 0..127.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "FuzzInput.h"
#include "app/ControlTable.h"
#include "control/MidiMap.h"

namespace {
std::unique_ptr<MidiMap> gMap;
std::unique_ptr<ControlTable> gTable;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quietStandardOutput();
    gMap = std::make_unique<MidiMap>();
    gTable = std::make_unique<ControlTable>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gMap->clear();
    gMap->parseText(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.map");
    if (gMap->count() < 0 || gMap->count() > MidiMap::kMaxMappings) abort();
    gMap->attach(*gTable);
    for (int i = 0; i < gMap->count(); ++i) {
        const MidiMapping& m = gMap->mapping(i);
        if (m.entry < 0 || m.entry > 1023 || m.channel < MidiMapping::kSelected || m.channel > 15) abort();
        // Every message that could reach this mapping, at both ends.
        for (int status : {0x80, 0x90, 0xB0})
            for (int value : {0, 1, 64, 127})
                gMap->apply(static_cast<uint32_t>(status | m.midiChannel) | static_cast<uint32_t>(m.number) << 8 |
                                static_cast<uint32_t>(value) << 16,
                            *gTable, i % 16);
        const int index = ControlTable::indexOf(m.channel < 0 ? 0 : m.channel, 0, m.entry);
        if (!std::isfinite(gTable->floatValue[index]) || gTable->byteValue[index] > 127) abort();
    }
    return 0;
}
