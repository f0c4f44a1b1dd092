#include "input/Joystick.h"

#include <linux/joystick.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/Settings.h"

static_assert(sizeof(js_event) == 8, "js_event is 8 bytes");

namespace {
constexpr int kEventBytes = static_cast<int>(sizeof(js_event));
// Events taken per read call and read calls per frame: a frame looks at no
// more than 4096 events and never waits.
constexpr int kEventsPerRead = 64;
constexpr int kReadsPerFrame = 64;
}  // namespace

Joystick::Joystick() = default;

Joystick::~Joystick() { closeDevice(); }

void Joystick::setup() {
    setup(settings().joystick.c_str());
}

void Joystick::setup(const char* devicePath) {
    closeDevice();
    path_ = devicePath ? devicePath : "";
    tryOpen();
}

uint32_t Joystick::axisToPosition(int axis) {
    if (axis < -32767) axis = -32767;
    if (axis > 32767) axis = 32767;
    return static_cast<uint32_t>((static_cast<int64_t>(axis) + 32767) * 65535 / 65534);
}

bool Joystick::tryOpen() {
    lastAttempt_ = std::chrono::steady_clock::now();
    if (path_.empty()) return false;
    fd_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    // A freshly opened device reports its state through its first events;
    // until then the stick is centred with no button down.
    axisX_ = 0;
    axisY_ = 0;
    pressed_ = 0;
    partialBytes_ = 0;
    return fd_ >= 0;
}

void Joystick::closeDevice() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void Joystick::decode(const uint8_t* bytes) {
    js_event event;
    std::memcpy(&event, bytes, sizeof event);
    const unsigned type = event.type & ~JS_EVENT_INIT;
    if (type == JS_EVENT_AXIS) {
        if (event.number == 0) axisX_ = event.value;
        if (event.number == 1) axisY_ = event.value;
    } else if (type == JS_EVENT_BUTTON && event.number < kButtons) {
        const uint32_t bit = 1u << event.number;
        if (event.value)
            pressed_ |= bit;
        else
            pressed_ &= ~bit;
    }
}

void Joystick::drainEvents() {
    uint8_t buffer[kEventsPerRead * kEventBytes];
    for (int reads = 0; reads < kReadsPerFrame && fd_ >= 0; ++reads) {
        std::memcpy(buffer, partial_, partialBytes_);
        ssize_t n = ::read(fd_, buffer + partialBytes_, sizeof buffer - partialBytes_);
        if (n < 0) {
            if (errno == EINTR) continue;
            // Unplugged (ENODEV) or any other failure: give the device up and
            // look for it again later.
            if (errno != EAGAIN && errno != EWOULDBLOCK) closeDevice();
            return;
        }
        if (n == 0) return;  // end of a file, or a pipe without a writer
        const int total = partialBytes_ + static_cast<int>(n);
        const int whole = total / kEventBytes;
        for (int i = 0; i < whole; ++i) decode(buffer + i * kEventBytes);
        partialBytes_ = total - whole * kEventBytes;
        std::memcpy(partial_, buffer + whole * kEventBytes, partialBytes_);
    }
}

void Joystick::read(uint32_t& outX, uint32_t& outY, uint32_t& outButtons) {
    if (fd_ < 0 && !path_.empty()) {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastAttempt_ >= std::chrono::milliseconds(retryMillis)) tryOpen();
    }
    if (fd_ >= 0) drainEvents();
    if (fd_ >= 0) {
        x = axisToPosition(axisX_);
        y = axisToPosition(axisY_);
        buttons = pressed_;
    } else {
        // No joystick: the position query fails and gives (0, 0, 0).
        x = 0;
        y = 0;
        buttons = 0;
    }
    outX = x;
    outY = y;
    outButtons = buttons;
}
