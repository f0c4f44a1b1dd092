#include "input/Joystick.h"

// Without a joystick every position query fails and read gives (0, 0, 0).
Joystick::Joystick() = default;
Joystick::~Joystick() = default;

void Joystick::setup() {}

void Joystick::read(uint32_t& outX, uint32_t& outY, uint32_t& outButtons) {
    x = 0;
    y = 0;
    buttons = 0;
    outX = x;
    outY = y;
    outButtons = buttons;
}
