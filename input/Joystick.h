#pragma once
#include <chrono>
#include <cstdint>
#include <string>

// The first joystick's position (0..65535 on each axis) and its four lowest
// buttons as a mask 1, 2, 4, 8, read from the Linux joystick device
// (/dev/input/js0, or the path in STRATA_JOYSTICK) without ever blocking.
// Without a joystick read gives (0, 0, 0). A joystick unplugged while running
// is looked for again about once a second and picked up when it returns.
class Joystick {
public:
    static constexpr int kButtons = 4;

    Joystick();
    ~Joystick();
    Joystick(const Joystick&) = delete;
    Joystick& operator=(const Joystick&) = delete;

    void setup();                        // the device from the environment
    void setup(const char* devicePath);  // an explicit device, pipe or file
    void read(uint32_t& x, uint32_t& y, uint32_t& buttonMask);

    // Axis value of the driver (-32767..32767; -32768 counts as -32767) to
    // 0..65535 with the centre at 32767.
    static uint32_t axisToPosition(int axis);
    bool connected() const { return fd_ >= 0; }
    const char* path() const { return path_.c_str(); }

    uint32_t buttons = 0;
    uint32_t x = 0;
    uint32_t y = 0;

    // Least time between two attempts to open a missing joystick.
    int retryMillis = 1000;

private:
    bool tryOpen();
    void closeDevice();
    void drainEvents();
    void decode(const uint8_t* event);

    std::string path_;
    int fd_ = -1;
    std::chrono::steady_clock::time_point lastAttempt_{};
    int axisX_ = 0;
    int axisY_ = 0;
    uint32_t pressed_ = 0;
    uint8_t partial_[8] = {};  // an event cut across two reads
    int partialBytes_ = 0;
};
