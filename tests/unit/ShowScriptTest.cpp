#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "app/KeyNames.h"
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

// Every event kind among comments, blank lines and CR LF, a recording's
// events among them: a key without a position has the mouse at the centre,
// exact values and any key code are kept, scenes go by number or file, and
// only the frame's own input counts as recorded.
TEST(ShowScript, ParsesEveryEventKindWithCommentsAndBlankLines) {
    ShowScript script;
    std::string error;
    ASSERT_TRUE(script.parseText("# warm-up\n\n0 ctl 0 7 127   # raise cell 0\n  12 key F1 639 240\n"
                                 "12 key a 10 20\r\n13 key Down\n30 midi 0xB3 7 100\n31 key Hash 0 479\n32 key esc\n"
                                 "32 ms 3000000000\n32 sound\n33 set 11 19 200 -0.123456791\n33 midiin 0xB0 7 127\n"
                                 "34 joy 65535 0 9\n34 special 112 5 6\n34 key 0x12 1 2\n35 scene 7\n"
                                 "35 scene scene-000003.scene 250\n39 end\n",
                                 "show.txt", error))
        << error;
    using T = ShowEvent::Type;
    const std::tuple<int, int, T, int, int, int, bool> expected[] = {
        {0, 3, T::Control, 0, 7, 127, false},      {12, 4, T::SpecialKey, 1, 639, 240, false},
        {12, 5, T::Key, 'a', 10, 20, false},       {13, 6, T::SpecialKey, 103, 320, 240, false},
        {30, 7, T::Midi, 0xB3, 7, 100, false},     {31, 8, T::Key, '#', 0, 479, false},
        {32, 9, T::Key, ShowScript::kEscape, 320, 240, false}, {32, 10, T::FrameTime, -1294967296, 0, 0, true},
        {32, 11, T::Sound, 0, 0, 0, true},         {33, 12, T::Set, 11, 19, 200, false},
        {33, 13, T::MidiIn, 0xB0, 7, 127, true},   {34, 14, T::Joystick, 65535, 0, 9, true},
        {34, 15, T::SpecialKey, 112, 5, 6, false}, {34, 16, T::Key, 0x12, 1, 2, false},
        {35, 17, T::Scene, 7, -1, 0, false},       {35, 18, T::Scene, 0, 250, 0, false},
        {39, 19, T::End, 0, 0, 0, false}};
    ASSERT_EQ(script.events().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const ShowEvent& e = script.events()[i];
        const bool recorded = e.recorded();
        EXPECT_EQ(std::tie(e.frame, e.line, e.type, e.a, e.b, e.c, recorded), expected[i]) << "event " << i;
    }
    EXPECT_EQ(static_cast<uint32_t>(script.events()[7].a), 3000000000u);
    EXPECT_EQ(script.events()[9].f, -0.123456791f);
    EXPECT_EQ(script.events()[15].text, "scene-000003.scene");
    EXPECT_EQ(std::make_tuple(script.lastFrame(), script.endFrame(), script.holdsRecording()), std::make_tuple(39, 39, true));
    ASSERT_TRUE(script.parseText("0 key a\n5 ctl 0 7 1\n", "hand", error));
    EXPECT_EQ(std::make_tuple(script.lastFrame(), script.endFrame(), script.holdsRecording()), std::make_tuple(5, -1, false));
}

TEST(ShowScript, KeyNamesInAnyCaseAndSingleCharacters) {
    const std::pair<const char*, int> special[] = {{"F1", 1},         {"F12", 12}, {"Left", 100}, {"Insert", 108},
                                                   {"pagedown", 105}, {"f13", 0},  {"F", 0}};
    for (const auto& [name, code] : special) EXPECT_EQ(KeyNames::specialKeyCode(name), code) << name;
    const std::pair<const char*, int> characters[] = {
        {"F", 'F'}, {"SPACE", ' '}, {"Escape", 27}, {"ab", -1}, {"\x80", -1}};  // one character, never a special key
    for (const auto& [name, code] : characters) EXPECT_EQ(KeyNames::characterKey(name), code) << name;
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

TEST(ShowScript, RejectsBadLinesNamingFileLineAndWhatWasExpected) {
    const std::pair<const char*, const char*> cases[] = {
        {"0 ctl 0 7 127\n\nx ctl 0 7 1\n", "3: expected a frame number (0 or more) at the start of the line, found 'x'"},
        {"4\n", "1: expected an event after the frame number: ctl, key, midi, ms, sound, set, midiin, joy, special, "
                "scene, osc, mapped or end"},
        {"4 cc 0 7 1\n", "1: expected ctl, key, midi, ms, sound, set, midiin, joy, special, scene, osc, mapped or end "
                       "after the frame number, found 'cc'"},
        {"4 ctl 16 7 1\n", "1: expected a channel 0..15, found '16'"},
        {"4 ctl 0 1024 1\n", "1: expected an entry 0..1023, found '1024'"},
        {"4 ctl 0 7 1x\n", "1: expected a value 0..127, found '1x'"},
        {"4 ctl 0 7\n", "1: expected 'ctl <channel> <entry> <value>'"},
        {"4 key F1 0 480\n", "1: expected a mouse y 0..479, found '480'"},
        {"4 key # 1 1\n", "1: expected 'key <key> [<x> <y>]'"},  // '#' begins a comment: no key
        {"4 midi 0x7F 1 1\n", "1: expected a status byte 0x80..0xFF, found '0x7F'"},
        {"4 midi 0xB0 1 0x80\n", "1: expected data2 0..127, found '0x80'"},
        {"4 midi 0xB0 1\n", "1: expected 'midi <status> <data1> <data2>'"},
        {"4 ms 4294967296\n", "1: expected a frame time 0..4294967295 ms, found '4294967296'"},
        {"4 sound 1\n", "1: expected nothing after 'sound'"},
        {"4 set 0 7 256 0.5\n", "1: expected a byte 0..255, found '256'"},
        {"4 set 0 7 1 nan\n", "1: expected a float value, found 'nan'"},
        {"4 set 0 7 1 0.5x\n", "1: expected a float value, found '0.5x'"},
        {"4 joy 65536 0 0\n", "1: expected a joystick x 0..65535, found '65536'"},
        {"4 joy 1 1 16\n", "1: expected a button mask 0..15, found '16'"},
        {"4 special 0\n", "1: expected a special key code 1..255, found '0'"},
        {"4 scene 0\n", "1: expected a scene number 1..99, found '0'"},
        {"4 scene 3 -1\n", "1: expected a fade time 0..3600000 ms, found '-1'"},
        {"4 key 0x100\n", "1: expected a key (one character, F1..F12, Left, Up, Right, Down, PageUp, PageDown, Home, "
                          "End, Insert, Esc, Space, Tab, Enter, Backspace, Delete or Hash), found '0x100'"}};
    for (const auto& [text, message] : cases) EXPECT_EQ(rejection(text), std::string("show.txt:") + message);
    EXPECT_EQ(rejection("4 key F13 1 1\n").rfind("show.txt:1: expected a key (one character, F1..F12", 0), 0u);
}

TEST(ShowScript, ReadsAFileAndReportsOneThatIsMissing) {
    TempStage stage("show");
    ShowScript script;
    std::string error;
    ASSERT_TRUE(script.parseFile(stage.write("s.show", "1 midi 144 60 100\n2 key Up 1 2\n"), error)) << error;
    EXPECT_EQ(script.events().size(), 2u);
    EXPECT_FALSE(script.parseFile("absent.show", error));
    EXPECT_EQ(error, "absent.show: cannot read the show script");
    EXPECT_TRUE(script.events().empty());
}
