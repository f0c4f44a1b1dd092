#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "show/ShowScript.h"
#include "support/TempStage.h"

namespace {
// Parses text that must be rejected and returns the message.
std::string rejection(const std::string& text) {
    ShowScript script;
    std::string error;
    EXPECT_FALSE(script.parseText(text, "show.txt", error)) << text;
    EXPECT_TRUE(script.events().empty());
    return error;
}
}  // namespace

// Comments, blank lines, CR LF; a key without a position has the mouse at the centre; only frame input is recorded.
TEST(ShowScript, ParsesEveryEventKindWithCommentsAndBlankLines) {
    ShowScript script;
    std::string error;
    ASSERT_TRUE(script.parseText("# warm-up\n\n0 ctl 0 7 127   # raise cell 0\n  12 key F1 639 240\n"
                                 "12 key a 10 20\r\n13 key Down\n31 key Hash 0 479\n32 ms 3000000000\n"
                                 "33 set 11 19 200 -0.123456791\n34 joy 65535 0 9\n35 scene scene-000003.scene 250\n39 end\n",
                                 "show.txt", error))
        << error;
    using T = ShowEvent::Type;
    const std::tuple<int, int, T, int, int, int, bool> expected[] = {
        {0, 3, T::Control, 0, 7, 127, false},   {12, 4, T::SpecialKey, 1, 639, 240, false},
        {12, 5, T::Key, 'a', 10, 20, false},    {13, 6, T::SpecialKey, 103, 320, 240, false},
        {31, 7, T::Key, '#', 0, 479, false},    {32, 8, T::FrameTime, -1294967296, 0, 0, true},
        {33, 9, T::Set, 11, 19, 200, false},    {34, 10, T::Joystick, 65535, 0, 9, true},
        {35, 11, T::Scene, 0, 250, 0, false},   {39, 12, T::End, 0, 0, 0, false}};
    ASSERT_EQ(script.events().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const ShowEvent& e = script.events()[i];
        const bool recorded = e.recorded();
        EXPECT_EQ(std::tie(e.frame, e.line, e.type, e.a, e.b, e.c, recorded), expected[i]) << "event " << i;
    }
    EXPECT_EQ(script.events()[6].f, -0.123456791f);
    EXPECT_EQ(script.events()[8].text, "scene-000003.scene");
    EXPECT_EQ(std::make_tuple(script.lastFrame(), script.endFrame(), script.holdsRecording()), std::make_tuple(39, 39, true));
    ASSERT_TRUE(script.parseText("0 key a\n5 ctl 0 7 1\n", "hand", error));
    EXPECT_EQ(std::make_tuple(script.lastFrame(), script.endFrame(), script.holdsRecording()), std::make_tuple(5, -1, false));
}

// Ordered by frame, file order within a frame; a skipped frame's events are passed over; rewind starts again.
TEST(ShowScript, OrdersEventsByFrameKeepingFileOrderWithinAFrame) {
    ShowScript script;
    std::string error;
    ASSERT_TRUE(script.parseText("5 ctl 0 20 1\n2 ctl 0 20 2\n5 ctl 0 20 3\n2 ctl 0 20 4\n9 ctl 0 20 5\n", "", error));
    const auto& e = script.events();
    ASSERT_EQ(e.size(), 5u);
    const int order[] = {2, 4, 1, 3, 5};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(e[i].c, order[i]);
    size_t begin = 0, end = 0;
    const std::tuple<int, size_t, int> frames[] = {{0, 0, 0}, {2, 2, 2}, {9, 1, 5}, {10, 0, 0}};  // frame, events, first
    for (const auto& [frame, count, first] : frames) {
        script.eventsOfFrame(frame, begin, end);
        ASSERT_EQ(end - begin, count) << frame;
        EXPECT_TRUE(count == 0 || e[begin].c == first) << frame;
    }
    script.rewind();
    script.eventsOfFrame(5, begin, end);
    EXPECT_EQ(end - begin, 2u);
}

// One line naming file, line and what was expected (the fuzzer tries the rest); a missing file is named.
TEST(ShowScript, RejectsBadLinesNamingFileLineAndWhatWasExpected) {
    const std::pair<const char*, const char*> cases[] = {
        {"0 ctl 0 7 127\n\nx ctl 0 7 1\n", "3: expected a frame number (0 or more) at the start of the line, found 'x'"},
        {"4 cc 0 7 1\n", "1: expected ctl, key, midi, ms, uptime, sound, set, midiin, joy, special, scene, osc, mapped, "
                       "routed or end after the frame number, found 'cc'"},
        {"4 ctl 0 7\n", "1: expected 'ctl <channel> <entry> <value>'"},
        {"4 key F1 0 480\n", "1: expected a mouse y 0..479, found '480'"},
        {"4 key # 1 1\n", "1: expected 'key <key> [<x> <y>]'"},  // '#' begins a comment: no key
        {"4 ms 4294967296\n", "1: expected a frame time 0..4294967295 ms, found '4294967296'"},
        {"4 scene 3 -1\n", "1: expected a fade time 0..3600000 ms, found '-1'"},
        {"4 sound 1 2\n", "1: expected 'sound [<block position>]'"}};
    for (const auto& [text, message] : cases) EXPECT_EQ(rejection(text), std::string("show.txt:") + message);
    EXPECT_EQ(rejection("4 key F13 1 1\n").rfind("show.txt:1: expected a key (one character, F1..F12", 0), 0u);
    ShowScript script;
    std::string error;
    EXPECT_FALSE(script.parseFile("absent.show", error));
    EXPECT_EQ(error, "absent.show: cannot read the show script");
}
