#include "app/ControlTable.h"

ControlTable::ControlTable() {
    for (int i = 0; i < kEntries; ++i) {
        byteValue[i] = 63;
        floatValue[i] = 0.0f;
    }
    // Every cell starts invisible.
    for (int c = 0; c < kChannels; ++c) byteValue[indexOf(c, 0, 7)] = 0;
}

void ControlTable::setByte(int channel, int base, int n, int value) {
    if (validEntry(channel, base, n)) byteValue[indexOf(channel, base, n)] = static_cast<uint8_t>(value & 0xFF);
}

void ControlTable::setByteAt(int index, int value) {
    if (validIndex(index)) byteValue[index] = static_cast<uint8_t>(value & 0xFF);
}

void ControlTable::setFloat(int channel, int base, int n, float v) {
    if (validEntry(channel, base, n)) floatValue[indexOf(channel, base, n)] = 2.0f * (v - 0.5f);
}

void ControlTable::setFloatAt(int index, float v) {
    if (validIndex(index)) floatValue[index] = 2.0f * (v - 0.5f);
}

int ControlTable::getByte(int channel, int base, int n) const {
    return validEntry(channel, base, n) ? byteValue[indexOf(channel, base, n)] : 0;
}

int ControlTable::getByteAt(int index) const { return validIndex(index) ? byteValue[index] : 0; }

float ControlTable::getFloat(int channel, int base, int n) const {
    return validEntry(channel, base, n) ? floatValue[indexOf(channel, base, n)] : 0.0f;
}

float ControlTable::getFloatAt(int index) const { return validIndex(index) ? floatValue[index] : 0.0f; }
