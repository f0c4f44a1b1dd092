#include "input/Joystick.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/joystick.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "TempStage.h"

namespace {

js_event event(uint8_t type, uint8_t number, int16_t value) { return {1234, value, type, number}; }

std::string eventBytes(const std::vector<js_event>& events) {
    return std::string(reinterpret_cast<const char*>(events.data()), events.size() * sizeof(js_event));
}

using Reading = std::vector<uint32_t>;

// (x, y, buttons) as read returns them; the members must agree.
Reading readOnce(Joystick& js) {
    uint32_t x = 1, y = 1, buttons = 1;
    js.read(x, y, buttons);
    EXPECT_EQ((Reading{js.x, js.y, js.buttons}), (Reading{x, y, buttons}));
    return {x, y, buttons};
}

}  // namespace

TEST(Joystick, AxisRangeMapsOntoZeroTo65535) {
    const std::pair<int, uint32_t> cases[] = {{-32768, 0}, {-32767, 0}, {0, 32767}, {16384, 49151}, {32767, 65535}};
    for (const auto& [axis, position] : cases) EXPECT_EQ(Joystick::axisToPosition(axis), position) << axis;
}

TEST(Joystick, PipeDeliversEventsAsTheyComeEvenCutInHalf) {
    TempStage stage("js");
    ASSERT_EQ(::mkfifo("fifo", 0600), 0);
    Joystick js;
    js.setup("fifo");  // opens without a writer and without waiting
    EXPECT_EQ(readOnce(js), (Reading{32767, 32767, 0})) << "centred before any event";

    const int writer = ::open("fifo", O_WRONLY | O_NONBLOCK);
    const std::string bytes = eventBytes({event(JS_EVENT_BUTTON, 1, 1), event(JS_EVENT_AXIS, 0, -32767)});
    ASSERT_EQ(::write(writer, bytes.data(), 11), 11);
    EXPECT_EQ(readOnce(js), (Reading{32767, 32767, 2})) << "half an event changes nothing";
    ASSERT_EQ(::write(writer, bytes.data() + 11, 5), 5);
    EXPECT_EQ(readOnce(js), (Reading{0, 32767, 2}));
    ::close(writer);
    EXPECT_EQ(readOnce(js), (Reading{0, 32767, 2})) << "a closed writer is not an unplug";
    EXPECT_TRUE(js.connected());
}

// An unplugged joystick is reopened at most once per interval.
TEST(Joystick, UnpluggedJoystickIsReopenedNoMoreThanOncePerInterval) {
    TempStage stage("js");
    ASSERT_EQ(::mkdir("replug", 0700), 0);  // opens but fails to read, as an unplugged device
    Joystick js;
    js.setup("replug");
    ASSERT_TRUE(js.connected());
    EXPECT_EQ(readOnce(js), (Reading{0, 0, 0}));
    EXPECT_FALSE(js.connected());

    ASSERT_EQ(::rmdir("replug"), 0);
    // The third axis and the fifth button and up are ignored.
    stage.write("replug", eventBytes({event(JS_EVENT_AXIS | JS_EVENT_INIT, 0, 0), event(JS_EVENT_AXIS, 0, 32767),
                                      event(JS_EVENT_AXIS, 1, -32767), event(JS_EVENT_AXIS, 2, 5000),
                                      event(JS_EVENT_BUTTON, 0, 1), event(JS_EVENT_BUTTON, 3, 1),
                                      event(JS_EVENT_BUTTON, 5, 1), event(JS_EVENT_BUTTON | JS_EVENT_INIT, 2, 1),
                                      event(JS_EVENT_BUTTON, 0, 0)}));
    js.retryMillis = 60 * 1000;
    EXPECT_EQ(readOnce(js), (Reading{0, 0, 0})) << "retried before the interval passed";
    EXPECT_FALSE(js.connected());
    js.retryMillis = 0;
    EXPECT_EQ(readOnce(js), (Reading{65535, 0, 4 + 8}));
    EXPECT_TRUE(js.connected());
    EXPECT_EQ(readOnce(js), (Reading{65535, 0, 4 + 8})) << "nothing new: the state holds";
}
