#pragma once
#include <cstdint>

// The controller table: 16 channels x 1024 controllers, each with a byte
// value (normally 0..127) and a float value (normally -1..1). Writers give
// float values in 0..1; the table stores 2 * (v - 0.5).
//
// Entry (channel c, base b, controller n) is element c * 1024 + b + n.
// Every accessor checks the element index: a write outside the table is
// dropped, a read outside it gives 0.
class ControlTable {
public:
    static constexpr int kChannels = 16;
    static constexpr int kControllers = 1024;
    static constexpr int kEntries = kChannels * kControllers;

    ControlTable();

    static int indexOf(int channel, int base, int n) { return channel * kControllers + base + n; }
    static bool validIndex(int index) { return index >= 0 && index < kEntries; }
    static bool validEntry(int channel, int base, int n) {
        return channel >= 0 && channel < kChannels && validIndex(indexOf(channel, base, n));
    }

    void setByte(int channel, int base, int n, int value);
    void setByteAt(int index, int value);
    void setFloat(int channel, int base, int n, float v);
    void setFloatAt(int index, float v);

    int getByte(int channel, int base, int n) const;
    int getByteAt(int index) const;
    float getFloat(int channel, int base, int n) const;
    float getFloatAt(int index) const;
    // Fixed-controller reader: the float value of controller n of a channel.
    float getFloat(int channel, int n) const { return getFloat(channel, 0, n); }

    uint8_t byteValue[kEntries];
    float floatValue[kEntries];
};
