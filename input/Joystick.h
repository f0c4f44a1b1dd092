#pragma once
#include <cstdint>

// The first joystick's position (0..65535 on each axis) and its four lowest
// buttons as a mask 1, 2, 4, 8.
class Joystick {
public:
    Joystick();
    ~Joystick();
    Joystick(const Joystick&) = delete;
    Joystick& operator=(const Joystick&) = delete;

    void setup();
    void read(uint32_t& x, uint32_t& y, uint32_t& buttonMask);

    uint32_t buttons = 0;
    uint32_t x = 0;
    uint32_t y = 0;
};
