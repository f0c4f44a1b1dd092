#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/ShowScript.h"

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

TEST(ShowScript, ParsesEveryEventKindWithCommentsAndBlankLines) {
    ShowScript script;
    std::string error;
    const char* text =
        "# warm-up\n"
        "\n"
        "0 ctl 0 7 127   # raise cell 0\n"
        "  12 key F1 639 240\n"
        "12 key a 10 20\r\n"
        "13 key Down\n"
        "30 midi 0xB3 7 100\n"
        "31 key Hash 0 479\n"
        "32 key esc\n";
    ASSERT_TRUE(script.parseText(text, "show.txt", error)) << error;
    const auto& e = script.events();
    ASSERT_EQ(e.size(), 7u);

    EXPECT_EQ(e[0].type, ShowEvent::Type::Control);
    EXPECT_EQ(e[0].frame, 0);
    EXPECT_EQ(e[0].line, 3);
    EXPECT_EQ(e[0].a, 0);
    EXPECT_EQ(e[0].b, 7);
    EXPECT_EQ(e[0].c, 127);

    EXPECT_EQ(e[1].type, ShowEvent::Type::SpecialKey);
    EXPECT_EQ(e[1].a, 1);
    EXPECT_EQ(e[1].b, 639);
    EXPECT_EQ(e[1].c, 240);

    EXPECT_EQ(e[2].type, ShowEvent::Type::Key);
    EXPECT_EQ(e[2].a, 'a');
    EXPECT_EQ(e[2].b, 10);
    EXPECT_EQ(e[2].c, 20);

    // Without a position the mouse is at the centre.
    EXPECT_EQ(e[3].type, ShowEvent::Type::SpecialKey);
    EXPECT_EQ(e[3].a, 103);
    EXPECT_EQ(e[3].b, 320);
    EXPECT_EQ(e[3].c, 240);

    EXPECT_EQ(e[4].type, ShowEvent::Type::Midi);
    EXPECT_EQ(e[4].midiMessage(), 0xB3u | (7u << 8) | (100u << 16));

    EXPECT_EQ(e[5].a, '#');
    EXPECT_EQ(e[6].type, ShowEvent::Type::Key);
    EXPECT_EQ(e[6].a, ShowScript::kEscape);
    EXPECT_EQ(script.lastFrame(), 32);
}

TEST(ShowScript, KeyNamesCoverEverySpecialKeyInAnyCase) {
    const char* names[] = {"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12",
                           "Left", "Up", "Right", "Down", "PageUp", "PageDown", "Home", "End", "Insert"};
    const int codes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 100, 101, 102, 103, 104, 105, 106, 107, 108};
    for (size_t i = 0; i < std::size(names); ++i) EXPECT_EQ(ShowScript::specialKeyCode(names[i]), codes[i]) << names[i];
    EXPECT_EQ(ShowScript::specialKeyCode("pagedown"), 105);
    EXPECT_EQ(ShowScript::specialKeyCode("f13"), 0);
    EXPECT_EQ(ShowScript::specialKeyCode("F"), 0);
    // A single character is that key, never a special key.
    EXPECT_EQ(ShowScript::characterKey("F"), 'F');
    EXPECT_EQ(ShowScript::characterKey("SPACE"), ' ');
    EXPECT_EQ(ShowScript::characterKey("Escape"), 27);
    EXPECT_EQ(ShowScript::characterKey("ab"), -1);
    EXPECT_EQ(ShowScript::characterKey("\x80"), -1);
}

TEST(ShowScript, OrdersEventsByFrameKeepingFileOrderWithinAFrame) {
    ShowScript script;
    std::string error;
    ASSERT_TRUE(script.parseText("5 ctl 0 20 1\n2 ctl 0 20 2\n5 ctl 0 20 3\n2 ctl 0 20 4\n9 ctl 0 20 5\n", "s",
                                 error));
    const auto& e = script.events();
    ASSERT_EQ(e.size(), 5u);
    const int order[] = {2, 4, 1, 3, 5};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(e[i].c, order[i]);

    size_t begin = 0, end = 0;
    script.eventsOfFrame(0, begin, end);
    EXPECT_EQ(begin, end);
    script.eventsOfFrame(2, begin, end);
    EXPECT_EQ(end - begin, 2u);
    EXPECT_EQ(e[begin].c, 2);
    // Frame 5 skipped: its events are passed over, frame 9 still found.
    script.eventsOfFrame(9, begin, end);
    ASSERT_EQ(end - begin, 1u);
    EXPECT_EQ(e[begin].c, 5);
    script.eventsOfFrame(10, begin, end);
    EXPECT_EQ(begin, end);
    script.rewind();
    script.eventsOfFrame(5, begin, end);
    EXPECT_EQ(end - begin, 2u);
}

TEST(ShowScript, RejectsBadLinesNamingFileLineAndWhatWasExpected) {
    EXPECT_EQ(rejection("0 ctl 0 7 127\n\nx ctl 0 7 1\n"),
              "show.txt:3: expected a frame number (0 or more) at the start of the line, found 'x'");
    EXPECT_EQ(rejection("-1 ctl 0 7 1\n"),
              "show.txt:1: expected a frame number (0 or more) at the start of the line, found '-1'");
    EXPECT_EQ(rejection("4\n"), "show.txt:1: expected an event after the frame number: ctl, key or midi");
    EXPECT_EQ(rejection("4 cc 0 7 1\n"), "show.txt:1: expected ctl, key or midi after the frame number, found 'cc'");
    EXPECT_EQ(rejection("4 ctl 16 7 1\n"), "show.txt:1: expected a channel 0..15, found '16'");
    EXPECT_EQ(rejection("4 ctl 0 1024 1\n"), "show.txt:1: expected an entry 0..1023, found '1024'");
    EXPECT_EQ(rejection("4 ctl 0 7 128\n"), "show.txt:1: expected a value 0..127, found '128'");
    EXPECT_EQ(rejection("4 ctl 0 7\n"), "show.txt:1: expected 'ctl <channel> <entry> <value>'");
    EXPECT_EQ(rejection("4 ctl 0 7 1 9\n"), "show.txt:1: expected 'ctl <channel> <entry> <value>'");
    EXPECT_EQ(rejection("4 ctl 0 7 1 9 9 9 9\n"), "show.txt:1: expected 'ctl <channel> <entry> <value>'");
    EXPECT_EQ(rejection("4 ctl 0 7 1x\n"), "show.txt:1: expected a value 0..127, found '1x'");
    EXPECT_EQ(rejection("4 key F1 640 0\n"), "show.txt:1: expected a mouse x 0..639, found '640'");
    EXPECT_EQ(rejection("4 key F1 0 480\n"), "show.txt:1: expected a mouse y 0..479, found '480'");
    EXPECT_EQ(rejection("4 key F1 10\n"), "show.txt:1: expected 'key <key> [<x> <y>]'");
    EXPECT_NE(rejection("4 key F13 1 1\n").find("show.txt:1: expected a key (one character, F1..F12"),
              std::string::npos);
    // A '#' token begins a comment, so the key is missing.
    EXPECT_EQ(rejection("4 key # 1 1\n"), "show.txt:1: expected 'key <key> [<x> <y>]'");
    EXPECT_EQ(rejection("4 midi 0x7F 1 1\n"), "show.txt:1: expected a status byte 0x80..0xFF, found '0x7F'");
    EXPECT_EQ(rejection("4 midi 0xB0 128 1\n"), "show.txt:1: expected data1 0..127, found '128'");
    EXPECT_EQ(rejection("4 midi 0xB0 1 0x80\n"), "show.txt:1: expected data2 0..127, found '0x80'");
    EXPECT_EQ(rejection("4 midi 0xB0 1\n"), "show.txt:1: expected 'midi <status> <data1> <data2>'");
}

TEST(ShowScript, ReadsAFileAndReportsOneThatIsMissing) {
    const std::string path = testing::TempDir() + "show-script-test.show";
    {
        FILE* f = std::fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("1 midi 144 60 100\n2 key Up 1 2\n", f);
        std::fclose(f);
    }
    ShowScript script;
    std::string error;
    ASSERT_TRUE(script.parseFile(path, error)) << error;
    EXPECT_EQ(script.events().size(), 2u);
    std::remove(path.c_str());

    EXPECT_FALSE(script.parseFile(path, error));
    EXPECT_EQ(error, path + ": cannot read the show script");
    EXPECT_TRUE(script.events().empty());
}
