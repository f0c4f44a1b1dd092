#include <gtest/gtest.h>
#include <thread>
#include <atomic>
#include <chrono>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "TextFile.h"
#include "UniverseFixture.h"
#include "app/ControlFade.h"
#include "app/ControlTable.h"
#include "app/KeyBindings.h"
#include "platform/AtomicFile.h"
#include "platform/FileWriter.h"
#include "reactor/qelCell.h"
#include "show/SceneBank.h"

namespace {
// Writes half of what it is given, then fails as a full disk would.
int gWrites = 0;
ssize_t halfThenFail(int fd, const void* data, size_t size) {
    if (gWrites++ == 0) return ::write(fd, data, size / 2);
    errno = ENOSPC;
    return -1;
}
}  // namespace

namespace fs = std::filesystem;
using SceneBankTest = UniverseFixture;

// A recall restores values, modules and channel, rebuilds only changed cells, and leaves the frame's own entries.
TEST_F(SceneBankTest, RecallRestoresValuesModulesAndChannelRebuildingOnlyChangedCells) {
    build();
    qelUnivCell& u = *universe;
    ControlTable& t = *u.controls;
    SceneBank bank(u);
    bank.setDefaultFadeMillis(0);
    const auto set = [&](int module, int byte, float value, int channel) {
        captureStdout([&] { u.cells[2]->setReactor(module, u.moduleHelps[module].get()); });
        t.setByte(0, 0, 7, byte), t.setFloat(3, 64, 20, value), u.currentChannel = channel;
    };
    set(4, 100, 0.1f, 5);
    ASSERT_TRUE(bank.storeScene(3));
    ControlTable stored = t;
    set(1, 3, 0.9f, 9);
    t.setByte(15, 0, 1, 77);  // the frame's own entry
    stored.setByte(15, 0, 1, 77);
    Reactor* untouched = u.cells[0]->reactor(0);
    const std::string out = captureStdout([&] { ASSERT_TRUE(bank.recallScene(3)); });
    EXPECT_EQ(countOf(out, "qelCell::setReactor "), 1) << out;  // cell 2 only
    EXPECT_TRUE(u.cells[2]->reactorIndex == 4 && u.cells[0]->reactor(0) == untouched && u.currentChannel == 5);
    EXPECT_EQ(std::memcmp(t.byteValue, stored.byteValue, sizeof t.byteValue), 0);
    EXPECT_EQ(std::memcmp(t.floatValue, stored.floatValue, sizeof t.floatValue), 0);
}

// Floats glide over the fade time in frame milliseconds, bytes follow, and the end lands exactly on the scene.
TEST_F(SceneBankTest, CrossFadeIsLinearInFrameTimeAndEndsExactlyOnTheScene) {
    build();
    qelUnivCell& u = *universe;
    ControlTable& t = *u.controls;
    SceneBank bank(u);
    t.setByte(1, 0, 20, 100), t.setFloat(1, 0, 20, 1.0f);  // stored float 1
    ASSERT_TRUE(bank.storeFile("fade.scene"));
    t.setByte(1, 0, 20, 0), t.setFloat(1, 0, 20, 0.0f);  // stored float -1
    ASSERT_TRUE(bank.recallFile("fade.scene", 1000));
    struct Step { int millis; float value; int byte; bool fading; };
    const Step steps[] = {{0, -1.0f, 0, true}, {250, -0.5f, 25, true}, {250, 0.0f, 50, true},
                          {400, 0.8f, 90, true}, {100, 1.0f, 100, false}};  // ends exactly at 1000 ms
    for (const Step& s : steps) {
        u.fade->step(t, s.millis);
        EXPECT_FLOAT_EQ(t.getFloat(1, 0, 20), s.value) << s.millis;
        EXPECT_EQ(t.getByte(1, 0, 20), s.byte) << s.millis;
        EXPECT_EQ(u.fade->running(), s.fading);
    }
    // A fade of 0 cuts at once, whatever the default.
    t.setFloat(1, 0, 20, 0.5f), bank.setDefaultFadeMillis(500);
    ASSERT_TRUE(bank.recallFile("fade.scene", 0));
    EXPECT_EQ(t.getFloat(1, 0, 20), 1.0f);
    EXPECT_FALSE(u.fade->running());
}

// A missing or malformed file changes nothing and names file and line in one line.
TEST_F(SceneBankTest, BadFilesChangeNothingAndNameFileAndLine) {
    build();
    qelUnivCell& u = *universe;
    SceneBank bank(u);
    const std::pair<const char*, const char*> cases[] = {
        {"", "bad.scene:1: empty"},
        {"strata-scene 1\nselected 16\n", "bad.scene:2: expected 'selected <channel 0..15>'"},
        {"strata-scene 1\ncell 0 1 -1\ncell 11 0 0\n", "bad.scene:3: expected a cell 0..10, found '11'"},
        {"strata-scene 1\ncell 0 1 -1\ncell 0 12 -1\n", "bad.scene:3: module '12' is not in modules.db (0..11)"},
        {"strata-scene 1\nvalue 0 1024 1 0\n", "bad.scene:2: expected a controller 0..1023, found '1024'"},
        {"strata-scene 1\nvalue 0 7 1 inf\n", "bad.scene:2: expected a float value, found 'inf'"},
        {"strata-scene 1\nlayer 0\n", "bad.scene:2: expected selected, cell or value, found 'layer'"}};
    const ControlTable before = *u.controls;
    for (const auto& [text, message] : cases) {
        stage->write("bad.scene", text);
        bool recalled = true;
        const std::string err = captureStderr([&] { recalled = bank.recallFile("bad.scene", 0); });
        EXPECT_FALSE(recalled) << text;
        EXPECT_NE(err.find(message), std::string::npos) << err;
        EXPECT_EQ(countOf(err, "\n"), 1) << err;
    }
    // What is no scene file is refused at once, in one short line: a FIFO
    // (no writer ever comes), a link to an endless device, a directory, a
    // file too big, a line too long, and a word too long to echo whole.
    ASSERT_EQ(mkfifo("fifo.scene", 0644), 0);
    fs::create_symlink("/dev/zero", "zero.scene"), fs::create_directory("dir.scene");
    stage->write("huge.scene", "strata-scene 1\nvalue " + std::string(10 << 20, '7') + "\n");
    stage->write("long.scene", "strata-scene 1\n" + std::string(300, ' ') + "selected 1\n");
    stage->write("junk.scene", "strata-scene 1\nvalue " + std::string(100, 'x') + " 1 2 3\n");
    const std::pair<const char*, const char*> files[] = {
        {"fifo.scene", "Not a regular file, refused: fifo.scene\n"},
        {"zero.scene", "Not a regular file, refused: zero.scene\n"},
        {"dir.scene", "Not a regular file, refused: dir.scene\n"},
        {"huge.scene", "strata: huge.scene: more than 1048576 bytes, too big for a scene; nothing changed\n"},
        {"long.scene", "strata: long.scene:2: a line longer than 200 characters; nothing changed\n"},
        {"junk.scene", "strata: junk.scene:2: expected a channel 0..15, found 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...'; "
                       "nothing changed\n"}};
    const auto start = std::chrono::steady_clock::now();
    for (const auto& [file, message] : files)
        EXPECT_EQ(captureStderr([&] { EXPECT_FALSE(bank.recallFile(file, 0)); }), message);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    const std::string err = captureStderr([&] { EXPECT_FALSE(bank.recallScene(4)); });
    EXPECT_NE(err.find("scenes/04.scene: no scene there"), std::string::npos) << err;
    EXPECT_EQ(std::memcmp(before.floatValue, u.controls->floatValue, sizeof before.floatValue), 0);
    EXPECT_EQ(std::memcmp(before.byteValue, u.controls->byteValue, sizeof before.byteValue), 0);
    for (int i = 0; i < 11; ++i) EXPECT_EQ(u.cells[i]->reactorIndex, 0);
}

// A store that fails half-way leaves the previous scene file whole and no temporary file behind.
TEST_F(SceneBankTest, AFailedStoreLeavesThePreviousFileWhole) {
    build();
    qelUnivCell& u = *universe;
    SceneBank bank(u);
    ASSERT_TRUE(bank.storeScene(1));
    fileWriter().drain();  // stores are written by the writer thread
    const std::string previous = readText("scenes/01.scene");
    u.controls->setByte(2, 0, 7, 99);
    gWrites = 0;
    setAtomicWriteCall(&halfThenFail);
    const std::string err = captureStderr([&] { bank.storeScene(1), fileWriter().drain(); });
    setAtomicWriteCall(nullptr);
    EXPECT_NE(err.find("scenes/01.scene.tmp: cannot write it"), std::string::npos) << err;
    EXPECT_EQ(readText("scenes/01.scene"), previous);
    EXPECT_FALSE(std::filesystem::exists("scenes/01.scene.tmp"));
    ASSERT_TRUE(bank.storeScene(1));  // and the next store goes through
    fileWriter().drain();
    EXPECT_NE(readText("scenes/01.scene").find("value 2 7 99 "), std::string::npos);
}

// What X11 delivers for Ctrl+digit and Ctrl+Shift+digit (US layout).
TEST(SceneKeys, ControlDigitsAsX11DeliversThem) {
    const unsigned char ctrl[] = {'1', 0, 27, 28, 29, 30, 31, 127, '9'};
    const unsigned char ctrlShift[] = {'!', 0, '#', '$', '%', 30, '&', '*', '('};
    for (int d = 1; d <= 9; ++d)
        EXPECT_TRUE(controlDigit(ctrl[d - 1], false) == d && controlDigit(ctrlShift[d - 1], true) == d) << d;
    for (const unsigned char other : {'a', '0', '\x12', ' ', '!'}) EXPECT_EQ(controlDigit(other, false), 0) << int(other);
}

// A store only captures the look on the frame; the writer thread writes the
// files in order. While it is busy, a recall of that scene takes the look
// just stored, not the older file.
TEST_F(SceneBankTest, StoresAreWrittenOffTheFrameInOrderAndRecalledBeforeThat) {
    build();
    qelUnivCell& u = *universe;
    SceneBank bank(u);
    std::atomic<bool> hold{true};
    fileWriter().call([&hold] {
        while (hold) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    std::vector<int> seen;
    for (int byte : {40, 90}) u.controls->setByte(2, 0, 7, byte), bank.storeScene(5);
    seen.push_back(fs::exists("scenes/05.scene"));
    u.controls->setByte(2, 0, 7, 0);
    captureStderr([&] { bank.recallFile(SceneBank::scenePath(5), 0); });
    seen.push_back(u.controls->getByte(2, 0, 7));
    hold = false;
    const std::string err = captureStderr([] { fileWriter().drain(); });
    seen.push_back(countOf(err, "strata: scene stored in scenes/05.scene\n"));
    EXPECT_EQ(seen, (std::vector<int>{0, 90, 2}));
    EXPECT_NE(readText("scenes/05.scene").find("value 2 7 90 "), std::string::npos);
}
