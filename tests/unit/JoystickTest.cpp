#include "input/Joystick.h"

#include <gtest/gtest.h>

#include <linux/joystick.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

js_event event(uint8_t type, uint8_t number, int16_t value) {
    js_event e{};
    e.time = 1234;
    e.type = type;
    e.number = number;
    e.value = value;
    return e;
}

std::string tempPath(const std::string& name) {
    return ::testing::TempDir() + "strata_js_" + std::to_string(::getpid()) + "_" + name;
}

void writeEvents(const std::string& path, const std::vector<js_event>& events) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(events.data(), sizeof(js_event), events.size(), f);
    std::fclose(f);
}

struct Reading {
    uint32_t x, y, buttons;
    bool operator==(const Reading& o) const { return x == o.x && y == o.y && buttons == o.buttons; }
};
std::ostream& operator<<(std::ostream& os, const Reading& r) {
    return os << "(" << r.x << ", " << r.y << ", " << r.buttons << ")";
}

Reading readOnce(Joystick& js) {
    Reading r{};
    js.read(r.x, r.y, r.buttons);
    EXPECT_EQ(js.x, r.x);
    EXPECT_EQ(js.y, r.y);
    EXPECT_EQ(js.buttons, r.buttons);
    return r;
}

}  // namespace

TEST(JoystickAxis, DriverRangeMapsOntoZeroTo65535) {
    EXPECT_EQ(Joystick::axisToPosition(-32767), 0u);
    EXPECT_EQ(Joystick::axisToPosition(-32768), 0u);
    EXPECT_EQ(Joystick::axisToPosition(0), 32767u);
    EXPECT_EQ(Joystick::axisToPosition(32767), 65535u);
    EXPECT_EQ(Joystick::axisToPosition(16384), 49151u);
}

TEST(JoystickEvents, FileOfEventsDecodesAxesAndFourButtons) {
    const std::string path = tempPath("events");
    writeEvents(path, {
                          event(JS_EVENT_AXIS | JS_EVENT_INIT, 0, 0),
                          event(JS_EVENT_AXIS | JS_EVENT_INIT, 1, 0),
                          event(JS_EVENT_AXIS, 0, 32767),
                          event(JS_EVENT_AXIS, 1, -32767),
                          event(JS_EVENT_AXIS, 2, 5000),       // third axis: ignored
                          event(JS_EVENT_BUTTON, 0, 1),
                          event(JS_EVENT_BUTTON, 3, 1),
                          event(JS_EVENT_BUTTON, 5, 1),        // fifth button and up: ignored
                          event(JS_EVENT_BUTTON | JS_EVENT_INIT, 2, 1),
                          event(JS_EVENT_BUTTON, 0, 0),
                      });
    Joystick js;
    js.setup(path.c_str());
    EXPECT_TRUE(js.connected());
    EXPECT_EQ(readOnce(js), (Reading{65535, 0, 4 + 8}));
    // Nothing new: the state holds.
    EXPECT_EQ(readOnce(js), (Reading{65535, 0, 4 + 8}));
    std::remove(path.c_str());
}

TEST(JoystickEvents, PipeDeliversEventsAsTheyComeEvenCutInHalf) {
    const std::string path = tempPath("fifo");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    Joystick js;
    js.setup(path.c_str());  // opens without a writer and without waiting
    ASSERT_TRUE(js.connected());
    EXPECT_EQ(readOnce(js), (Reading{32767, 32767, 0})) << "centred before any event";

    const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    js_event e = event(JS_EVENT_BUTTON, 1, 1);
    ASSERT_EQ(::write(writer, &e, sizeof e), static_cast<ssize_t>(sizeof e));
    EXPECT_EQ(readOnce(js), (Reading{32767, 32767, 2}));

    e = event(JS_EVENT_AXIS, 0, -32767);
    const char* bytes = reinterpret_cast<const char*>(&e);
    ASSERT_EQ(::write(writer, bytes, 3), 3);
    EXPECT_EQ(readOnce(js), (Reading{32767, 32767, 2})) << "half an event changes nothing";
    ASSERT_EQ(::write(writer, bytes + 3, 5), 5);
    EXPECT_EQ(readOnce(js), (Reading{0, 32767, 2}));

    ::close(writer);
    EXPECT_EQ(readOnce(js), (Reading{0, 32767, 2})) << "a closed writer is not an unplug";
    EXPECT_TRUE(js.connected());
    std::remove(path.c_str());
}

TEST(JoystickDevice, MissingJoystickReadsZero) {
    const std::string path = tempPath("absent");
    setenv("STRATA_JOYSTICK", path.c_str(), 1);
    Joystick js;
    testing::internal::CaptureStdout();
    js.setup();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    unsetenv("STRATA_JOYSTICK");
    EXPECT_FALSE(js.connected());
    EXPECT_EQ(readOnce(js), (Reading{0, 0, 0}));
}

TEST(JoystickDevice, UnpluggedJoystickIsReopenedNoMoreThanOncePerInterval) {
    // A directory opens but fails to read, as an unplugged device does.
    const std::string path = tempPath("replug");
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    Joystick js;
    js.setup(path.c_str());
    ASSERT_TRUE(js.connected());
    EXPECT_EQ(readOnce(js), (Reading{0, 0, 0}));
    EXPECT_FALSE(js.connected());

    ASSERT_EQ(::rmdir(path.c_str()), 0);
    writeEvents(path, {event(JS_EVENT_AXIS | JS_EVENT_INIT, 1, 32767), event(JS_EVENT_BUTTON | JS_EVENT_INIT, 0, 1)});
    js.retryMillis = 60 * 1000;
    EXPECT_EQ(readOnce(js), (Reading{0, 0, 0})) << "retried before the interval passed";
    EXPECT_FALSE(js.connected());

    js.retryMillis = 0;
    EXPECT_EQ(readOnce(js), (Reading{32767, 65535, 1}));
    EXPECT_TRUE(js.connected());
    std::remove(path.c_str());
}
