// The control bus on a universe: OSC commands in the frame after MIDI, the MIDI map, soft takeover, learn.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include <thread>
#include <tuple>

#include <nlohmann/json.hpp>

#include "OscPackets.h"
#include "SgiWriter.h"
#include "TempStage.h"
#include "TextFile.h"
#include "UniverseFixture.h"
#include "app/ControlTable.h"
#include "app/FrameObserver.h"
#include "control/ControlBus.h"
#include "control/MidiMap.h"
#include "control/OscCommandQueue.h"
#include "control/OscQueryTree.h"
#include "control/OscServer.h"
#include "input/MidiInput.h"
#include "music/MusicalTime.h"
#include "platform/FileWriter.h"
#include "platform/Settings.h"
#include "projection/PinEditor.h"
#include "reactor/qelCell.h"

namespace {

class ControlBusTest : public UniverseFixture {
protected:
    void SetUp() override {
        UniverseFixture::SetUp();
        build();
        bus = std::make_unique<ControlBus>(*universe);
        universe->input = bus.get();
    }
    void TearDown() override { bus.reset(), UniverseFixture::TearDown(); }
    void send(const std::vector<uint8_t>& packet) { bus->oscServer()->handlePacket(packet.data(), packet.size(), nullptr); }
    void send(const char* path, std::initializer_list<OscArg> args) { send(oscMessage(path, args)); }
    void frame() { setClock(clock += 33), universe->frame(); }
    void midi(int status, int data1, int data2) {
        universe->midiOn = true;
        universe->midi->receive(midiMessage(status, data1, data2)), frame();
    }
    void setEntry(int channel, int entry, int byte) {
        universe->controls->setByte(channel, 0, entry, byte), universe->controls->setFloat(channel, 0, entry, byte / 127.0f);
    }
    void loadMap(const std::string& text) { stage->write("midi.map", text), bus->loadMidiMap("midi.map"); }
    int byteOf(int channel, int entry) const { return universe->controls->getByte(channel, 0, entry); }
    float floatOf(int channel, int entry) const { return universe->controls->getFloat(channel, 0, entry); }

    // The universe again, on a stage with the image sets imgs and imgs2.
    void buildWithImageSets() {
        bus.reset();
        for (const std::string set : {"imgs", "imgs2"}) {
            stage->makeDirectory(set);
            ASSERT_TRUE(writeSolidSgi((set + "/a.rgb").c_str(), 16, 16, 9, 9, 9));
        }
        build(), bus = std::make_unique<ControlBus>(*universe), universe->input = bus.get();
        ASSERT_TRUE(bus->startOsc("127.0.0.1:0"));
    }
    nlohmann::json query(const std::string& path, const std::string& attributes, int* status = nullptr) {
        int code = 0;
        const std::string text = OscQueryTree(bus->snapshot(), {}, 9000).respond(path, attributes, "127.0.0.1", code);
        if (status) *status = code;
        return nlohmann::json::parse(text);
    }

    std::unique_ptr<ControlBus> bus;
    uint32_t clock = 0;
};

// Every method of the tree as a generic OSCQuery client reads it: a TYPE with one RANGE entry per type tag, integer
// bounds for 'i', the names as VALS for modules and image sets, ACCESS, a VALUE where readable. The parser takes
// each bound and refuses one step past it; a value inside the range written through the bus reads back as VALUE.
TEST_F(ControlBusTest, TheTreeTellsAClientEverythingAndReadsBackWhatWasWritten) {
    buildWithImageSets();
    MusicalTime music(SoundAnalysis::Mode::Inline);
    bus->setMusic(&music);
    bus->setLiveFigures(LiveFigures{59.5f, 21.25f, "no sequencer", "demo.wav", "absent (/dev/input/js0)"});
    PinEditor pin;
    bus->setPinEditor(&pin);
    frame();
    std::vector<nlohmann::json> methods;
    std::function<void(const nlohmann::json&)> walk = [&](const nlohmann::json& n) {
        if (n.contains("TYPE")) methods.push_back(n);
        for (const auto& child : n.value("CONTENTS", nlohmann::json::object())) walk(child);
    };
    walk(query("/", ""));
    ASSERT_EQ(methods.size(), 79u);  // every address but the five without arguments
    for (const nlohmann::json& m : methods) EXPECT_EQ(query(m["FULL_PATH"], ""), m);  // asked alone, the same node
    std::vector<std::string> modules;
    for (int i = 0; i < universe->moduleCount; ++i) modules.emplace_back(universe->moduleName(i));
    for (const nlohmann::json& m : methods) {
        const std::string path = m["FULL_PATH"], type = m["TYPE"];
        const nlohmann::json& range = m["RANGE"];
        SCOPED_TRACE(path);
        ASSERT_TRUE(m["ACCESS"].is_number_integer() && range.size() == type.size());
        const std::vector<std::string> sets = {"imgs", "imgs2"};
        if (path.find("/module") != path.npos || path.find("/imageset") != path.npos) {
            EXPECT_EQ(range[0]["VALS"], path.find("/module") != path.npos ? modules : sets);
        }
        std::vector<OscArg> args;
        for (size_t a = 0; a < type.size(); ++a) {
            const nlohmann::json& r = range[a];
            EXPECT_TRUE(type[a] != 'i' || (r["MIN"].is_number_integer() && r["MAX"].is_number_integer()));
            if (type[a] == 'i') args.push_back(oscInt(r["MIN"].get<int>() + (r["MAX"].get<int>() - r["MIN"].get<int>()) / 3));
            if (type[a] == 'f') args.push_back(oscFloat(r["MIN"].get<double>() + (r["MAX"].get<double>() - r["MIN"].get<double>()) / 4));
            if (type[a] == 's') args.push_back(oscString(r.contains("VALS") ? r["VALS"][1].get_ref<const std::string&>().c_str() : "a"));
            if (type[a] == 'T') args.push_back(OscArg{'T', 0, 0.0, nullptr});
        }
        const int access = m["ACCESS"];
        EXPECT_EQ(m.contains("VALUE"), (access & 1) != 0);
        if (!(access & 2)) continue;
        OscCommand cmd;
        EXPECT_TRUE(parseOscCommand(path.c_str(), args.data(), int(args.size()), cmd));
        for (size_t a = 0; a < type.size(); ++a) {
            if (type[a] != 'i' && type[a] != 'f') continue;
            std::vector<OscArg> bound = args;
            for (const auto& [key, step, ok] : {std::tuple{"MIN", 0, true}, {"MAX", 0, true}, {"MIN", -1, false}, {"MAX", 1, false}}) {
                bound[a] = type[a] == 'i' ? oscInt(range[a][key].get<int>() + step) : oscFloat(range[a][key].get<double>() + step);
                EXPECT_EQ(parseOscCommand(path.c_str(), bound.data(), int(bound.size()), cmd), ok) << key << step;
            }
        }
        if (!(access & 1)) continue;
        if (path.rfind("/strata/output/corner/", 0) == 0)  // from the plain letterbox any corner to 0.375 folds nothing
            send("/strata/output/reset", {}), args[0] = oscFloat(0.375);
        send(oscMessage(path.c_str(), args)), frame();
        const nlohmann::json value = query(path, "VALUE")["VALUE"][0];
        const OscArg& w = args[0];
        const nlohmann::json expected = w.type == 'i' ? nlohmann::json(w.i) : w.type == 's' ? nlohmann::json(w.s) : nlohmann::json(true);
        if (w.type == 'f') {
            EXPECT_EQ(value.get<float>(), float(w.f));
        } else {
            EXPECT_EQ(value, expected);
        }
    }
    // Several attributes at once, an unknown one among them, the host's extensions, the live figures.
    int status = 0;
    EXPECT_EQ(query("/strata/layer/2/module", "VALUE&TYPE", &status), (nlohmann::json{{"VALUE", {"Tunnel"}}, {"TYPE", "s"}}));
    EXPECT_EQ((query("/strata/select", "VALUE&NOPE", &status), status), 404);
    EXPECT_EQ(query("/", "HOST_INFO")["EXTENSIONS"]["LISTEN"], true);
    EXPECT_EQ(query("/strata/frame", "")["CONTENTS"]["slowest"]["VALUE"][0], 21.25);
    EXPECT_EQ(query("/strata/device/joystick", "VALUE")["VALUE"][0], "absent (/dev/input/js0)");
}

// What a surface trips on first: a pattern writes all eleven layers; an opacity of 0.05 hides a layer yet reads back;
// shown shows it at that opacity; names choose modules and image sets and are recorded by index, each recorded line
// reading back to the command it came from.
TEST_F(ControlBusTest, PatternsHiddenOpacityAndNamesThroughTheBus) {
    buildWithImageSets();
    struct Lines : FrameObserver {
        std::vector<std::string> lines;
        void commandApplied(const char* words) override { lines.emplace_back(words); }
    } recorder;
    universe->observer = &recorder;
    send("/strata/layer/*/opacity", {oscFloat(0.05)});
    frame();
    for (const ControlSnapshot::Layer& layer : bus->snapshot().load().layers)
        EXPECT_EQ(std::make_pair(layer.opacity, layer.shown), std::make_pair(0.05f, false));
    send("/strata/layer/[1-3]/shown", {OscArg{'T', 0, 0.0, nullptr}});
    send("/strata/layer/2/module", {oscString("Tunnel")});
    send("/strata/layer/2/imageset", {oscString("imgs2")});
    frame();
    universe->observer = nullptr;
    const ControlSnapshot s = bus->snapshot().load();
    EXPECT_EQ(std::make_tuple(s.layers[2].shown, s.layers[3].shown, s.layers[2].opacity, s.layers[1].module, s.layers[1].imageSet),
              std::make_tuple(true, false, 0.05f, 1, 1));
    EXPECT_EQ(bytes({{0, 0, 7}, {3, 0, 7}}), (std::vector<int>{11, 6}));
    ASSERT_EQ(recorder.lines.size(), 16u);
    EXPECT_EQ(std::vector<std::string>(recorder.lines.end() - 3, recorder.lines.end()),
              (std::vector<std::string>{"/strata/layer/3/shown 1", "/strata/layer/2/module 1", "/strata/layer/2/imageset 1"}));
    for (const std::string& line : recorder.lines) {
        char again[160];
        ASSERT_GT(formatOscCommand(oscWords(line), again, sizeof again), 0);
        EXPECT_EQ(again, line);
    }
}

TEST_F(ControlBusTest, OscCommandsApplyAtTheNextFrameInOrder) {
    ASSERT_TRUE(bus->startOsc("127.0.0.1:0"));
    send("/strata/layer/2/opacity", {oscFloat(1.0)});
    send("/strata/layer/2/module", {oscString("Cloud")});
    send(oscControl(5, 40, 10));
    send(oscControl(5, 40, 90));  // the later write wins
    send("/strata/ctl", {oscInt(5), oscInt(41), oscFloat(-0.5)});
    send("/strata/select", {oscInt(4)});
    send("/strata/trail", {oscFloat(0.0)});
    send("/strata/key", {oscString("F3"), oscInt(639), oscInt(0)});
    EXPECT_EQ(byteOf(5, 40), 63);  // nothing before the frame
    frame();
    EXPECT_EQ(bytes({{1, 0, 7}, {5, 0, 40}, {5, 0, 41}, {2, 0, 7}}), (std::vector<int>{127, 90, 31, 126}));
    EXPECT_FLOAT_EQ(floatOf(5, 40), 2.0f * (90 / 127.0f - 0.5f));
    EXPECT_EQ((std::vector<float>{floatOf(5, 41), floatOf(11, 19)}), (std::vector<float>{-0.5f, -1.0f}));
    EXPECT_EQ(universe->cells[1]->reactorIndex, 2);
    EXPECT_EQ(universe->currentChannel, 2);  // F3 came after select 4
    const ControlSnapshot s = bus->snapshot().load();
    EXPECT_EQ((std::vector<float>{float(s.layers[1].module), s.layers[1].opacity, s.layers[0].opacity, float(s.selected)}),
              (std::vector<float>{2, 1, 0.5f, 3}));  // an untouched layer: hidden, at the table's middle
}

TEST_F(ControlBusTest, CommandsForWhatDoesNotExistChangeNothingAndAreReported) {
    ASSERT_TRUE(bus->startOsc("127.0.0.1:0"));
    send("/strata/layer/1/module", {oscInt(12)});  // twelve modules: 0..11
    send("/strata/layer/1/module", {oscString("Nothing")});
    send("/strata/layer/1/imageset", {oscInt(0)});  // no image sets
    send("/strata/ctl", {oscInt(16), oscInt(0), oscInt(0)});
    send("/strata/scene/recall", {oscInt(2)});
    send("/strata/scene/store", {oscInt(0)});  // scenes are 1..99, as the tree says
    send("/strata/layer/*/nothing", {oscInt(0)});  // a pattern that matches nothing
    const std::string err = captureStderr([&] { frame(); });
    EXPECT_EQ(universe->cells[0]->reactorIndex, 0);
    EXPECT_NE(err.find("scenes not available"), std::string::npos);
    EXPECT_NE(err.find("0 messages dropped (queue full), 6 bad messages ignored"), std::string::npos) << err;
    int recalled = -1;
    bus->recallScene = [&](int n) { recalled = n; };
    send("/strata/scene/recall", {oscInt(2)});
    frame();
    EXPECT_EQ(recalled, 2);
}

// The output mapping's addresses move the editor's corners in the frame, read back, and a fold is refused as bad.
TEST_F(ControlBusTest, OutputCornersMoveReadBackAndRefuseAFold) {
    ASSERT_TRUE(bus->startOsc("127.0.0.1:0"));
    PinEditor editor;
    bus->setPinEditor(&editor);
    send("/strata/output/corner", {oscInt(2), oscFloat(0.75), oscFloat(0.125)});
    send("/strata/output/corner/4/x", {oscFloat(0.25)});
    send("/strata/output/corner/1/y", {oscFloat(1.5)});  // below the bottom-left: folds
    const std::string err = captureStderr([&] { frame(); });
    EXPECT_NE(err.find(" 1 bad messages ignored"), std::string::npos) << err;
    const ControlSnapshot s = bus->snapshot().load();
    EXPECT_EQ(std::vector<float>(s.outputCorners, s.outputCorners + 8), (std::vector<float>{0, 0, 0.75f, 0.125f, 1, 1, 0.25f, 1}));
    EXPECT_EQ(editor.pin().corners[1].y, 0.125);
    send("/strata/output/reset", {});
    frame();
    EXPECT_TRUE(editor.pin().isIdentity());
}

// A flood between two frames applies the first kCapacity messages in order and reports the rest.
TEST_F(ControlBusTest, AFloodBetweenTwoFramesAppliesExactlyTheBoundInOrder) {
    ASSERT_TRUE(bus->startOsc("127.0.0.1:0"));
    // Message i writes entry 32 + i % 64 of channel (i / 64) % 16, rising per write; after the bound it writes 1.
    constexpr int kMessages = 100000;
    constexpr int kBound = OscCommandQueue::kCapacity;
    std::thread sender([&] {
        for (int i = 0; i < kMessages; ++i) send(oscControl((i / 64) % 16, 32 + i % 64, i < kBound ? i / 1024 * 30 + 1 : 1));
    });
    sender.join();
    const std::string err = captureStderr([&] { frame(); });
    for (int i = kBound - 1024; i < kBound; ++i)
        ASSERT_EQ(byteOf((i / 64) % 16, 32 + i % 64), 3 * 30 + 1) << i;
    EXPECT_NE(err.find("95904 messages dropped"), std::string::npos) << err;
    frame();
    EXPECT_EQ(byteOf(15, 95), 91);
}

// What the bus applied (as a recorder sees it) and the scene commands it ran, in one frame.
struct FrameWork : FrameObserver {
    int applied = 0, scenes = 0;
    void commandApplied(const char*) override { ++applied; }
};

std::vector<uint8_t> bundleOf(int count, const std::function<std::vector<uint8_t>(int)>& message) {
    std::vector<std::vector<uint8_t>> elements;
    for (int i = 0; i < count; ++i) elements.push_back(message(i));
    return oscBundle(elements);
}

// Floods of each costly command, and a mix, through the loopback socket while frames run (the 65 KB bundles
// of stores and recalls among them): the costly work of every frame and second stays within the budget, no
// frame takes 250 ms, and /strata/list is answered once a second.
TEST_F(ControlBusTest, CostlyFloodsStayWithinTheFrameBudget) {
    ASSERT_TRUE(bus->startOsc("127.0.0.1:0"));
    FrameWork work;
    universe->observer = &work;
    bus->recallScene = bus->storeScene = [&](int) { ++work.scenes; };
    const auto message = [](const char* path, std::initializer_list<OscArg> args) { return oscMessage(path, args); };
    const auto module = [&](int i) {
        const std::string path = "/strata/layer/" + std::to_string(1 + i % 11) + "/module";
        return message(path.c_str(), {oscInt(i % 12)});
    };
    const std::vector<uint8_t> floods[] = {
        bundleOf(2031, [&](int) { return message("/strata/scene/store", {oscInt(1)}); }),
        bundleOf(1805, [&](int i) { return message("/strata/scene/recall", {oscInt(1 + i % 99)}); }),
        bundleOf(1805, module), bundleOf(1500, [&](int) { return message("/strata/key", {oscString("Up")}); }),
        bundleOf(1500, [&](int) { return message("/strata/learn", {}); }),
        bundleOf(2000, [&](int) { return message("/strata/list", {}); }),
        bundleOf(1600, [&](int i) {
            const char* paths[] = {"/strata/scene/store", "/strata/scene/recall", "/strata/key", "/strata/learn"};
            return i % 5 == 4 ? module(i) : i % 5 == 2 ? message(paths[2], {oscString("Down")})
                              : message(paths[i % 5], i % 5 == 3 ? std::initializer_list<OscArg>{} : std::initializer_list<OscArg>{oscInt(1 + i % 7)});
        }),
    };
    const int client = ::socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in to{AF_INET, htons(static_cast<uint16_t>(bus->oscPort())), {htonl(INADDR_LOOPBACK)}, {}};
    for (const std::vector<uint8_t>& flood : floods) {
        SCOPED_TRACE("flood " + std::to_string(&flood - floods));
        ASSERT_LE(flood.size(), 65507u);
        std::atomic<bool> sent{false};
        std::thread sender([&] {
            for (int n = 0; n < 20; ++n, std::this_thread::sleep_for(std::chrono::milliseconds(20)))
                ::sendto(client, flood.data(), flood.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
            sent = true;
        });
        int mostApplied = 0, mostScenes = 0, applied = 0, scenes = 0, replies = 0, learns = 0;
        double slowest = 0;
        const auto start = std::chrono::steady_clock::now();
        const std::string err = captureStderr([&] {
            for (int after = 0; after < 40; after += sent) {
                work.applied = work.scenes = 0;
                const auto before = std::chrono::steady_clock::now();
                frame();
                slowest = std::max(slowest, std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count());
                mostApplied = std::max(mostApplied, work.applied), mostScenes = std::max(mostScenes, work.scenes);
                applied += work.applied, scenes += work.scenes;
                char reply[8192];
                while (::recv(client, reply, sizeof reply, MSG_DONTWAIT) > 0) ++replies;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        sender.join();
        const int seconds = 1 + static_cast<int>(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        for (size_t at = err.find("MIDI learn: "); at != std::string::npos; at = err.find("MIDI learn: ", at + 1)) ++learns;
        EXPECT_LT(slowest, 0.25);
        EXPECT_LE(mostApplied, ControlBus::kModulesPerFrame + ControlBus::kKeysPerFrame);
        EXPECT_LE(applied, (ControlBus::kModulesPerSecond + ControlBus::kKeysPerSecond) * (seconds + 1));
        EXPECT_LE(mostScenes, ControlBus::kScenesPerFrame);
        EXPECT_LE(scenes, ControlBus::kScenesPerSecond * (seconds + 1));  // a run of n s touches n + 1 windows
        EXPECT_LE(learns, ControlBus::kLearnsPerSecond * (seconds + 1));
        EXPECT_LE(replies, seconds + 1);
        EXPECT_GT(applied + scenes + replies + learns, 0);  // the flood was not lost on the way
    }
    ::close(client);
    universe->observer = nullptr;
}

// Beyond the budget the last module asked for a layer wins and waits for a later frame; scene commands keep
// their order, a store of a scene already waiting is stored once and a recall right after a recall replaces it.
TEST_F(ControlBusTest, WhatExceedsTheBudgetWaitsOrMerges) {
    ASSERT_TRUE(bus->startOsc("127.0.0.1:0"));
    std::vector<std::string> scenes;
    bus->storeScene = [&](int n) { scenes.push_back("store " + std::to_string(n)); };
    bus->recallScene = [&](int n) { scenes.push_back("recall " + std::to_string(n)); };
    std::vector<std::vector<uint8_t>> batch;
    for (const auto& [layer, module] : {std::pair{1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}, {1, 9}, {7, 8}})
        batch.push_back(oscMessage(("/strata/layer/" + std::to_string(layer) + "/module").c_str(), {oscInt(module)}));
    for (const auto& [path, n] : {std::pair{"store", 1}, {"store", 2}, {"store", 2}, {"recall", 4}, {"recall", 5}, {"store", 2}})
        batch.push_back(oscMessage((std::string("/strata/scene/") + path).c_str(), {oscInt(n)}));
    send(oscBundle(batch));
    std::vector<int> modules;
    for (int f = 0; f < 3; ++f) {
        frame();
        for (int layer = 0; layer < 7; ++layer) modules.push_back(universe->cells[layer]->reactorIndex);
    }
    EXPECT_EQ(modules, (std::vector<int>{0, 3, 4, 5, 6, 0, 0, 9, 3, 4, 5, 6, 7, 8, 9, 3, 4, 5, 6, 7, 8}));
    frame();
    EXPECT_EQ(scenes, (std::vector<std::string>{"store 1", "store 2", "recall 5", "store 2"}));
}

// A surface that sends back everything the output sends: for five seconds nothing applies (no effect is rebuilt,
// nothing recorded) and nothing is counted as bad, a channel only MIDI selects included.
TEST_F(ControlBusTest, AnEchoingSurfaceChangesNothing) {
    ASSERT_TRUE(bus->startOsc("127.0.0.1:0"));
    universe->setModule(2, 5), universe->setOpacity(2, 0.6f), universe->select(13);
    setEntry(4, 7, 100);
    frame();  // the output sends what the last frame published
    FrameWork work;
    universe->observer = &work;
    const std::string err = captureStderr([&] {
        ASSERT_TRUE(bus->startOutput("127.0.0.1:" + std::to_string(bus->oscPort())));
        for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5); std::chrono::steady_clock::now() < end;)
            frame(), std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    universe->observer = nullptr;
    EXPECT_EQ(work.applied, 0) << err;
    for (size_t at = err.find(" bad messages"); at != std::string::npos; at = err.find(" bad messages", at + 1))
        EXPECT_EQ(err.substr(at - 4, 4), "), 0") << err;  // echoes of the same module merge, harmlessly
    EXPECT_EQ(bytes({{4, 0, 7}, {2, 0, 7}}), (std::vector<int>{100, 76}));
}

// Mappings with their options read back from the line written for them; a later line replaces; a bad line is named.
TEST(MidiMapText, MappingsOptionsAndBadLines) {
    MidiMap map;
    testing::internal::CaptureStderr();
    const int bad = map.parseText("# comment\ncc 1 7 -> 0 7\ncc14 2 1 -> selected 22 range 0.2 0.8 curve exp\n"
                                  "rel 16 20 -> 3 23 step 0.05 nopickup   # trailing comment\nnote 10 60 -> 4 24\n"
                                  "ignore program\ncc14 1 32 -> 0 1\ncc 1 7 -> 2 8\n",
                                  "test.map");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "test.map:7: a 14-bit pair starts at controller 0..31\n");
    EXPECT_EQ(bad, 1);
    ASSERT_EQ(map.count(), 4);
    EXPECT_EQ(std::make_tuple(map.mapping(0).channel, map.mapping(0).entry, map.ignoreProgram, map.ignoreNotes),
              std::make_tuple(2, 8, true, false));
    EXPECT_EQ(MidiMap::formatMapping(map.mapping(1)), "cc14 2 1 -> selected 22 range 0.2 0.8 curve exp");
    for (int i = 0; i < map.count(); ++i) {
        MidiMapping again;
        const char* why = "";
        const std::string line = MidiMap::formatMapping(map.mapping(i));
        ASSERT_TRUE(MidiMap::parseMapping(line, again, why)) << line << ": " << why;
        EXPECT_EQ(MidiMap::formatMapping(again), line);
    }
    // A map that is no regular file (a FIFO would wait for a writer) is refused in one line.
    TempStage tmp("fifo-map");
    ASSERT_EQ(mkfifo("fifo.map", 0644), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(map.readFile("fifo.map"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Not a regular file, refused: fifo.map\n");
}

// Each step: a MIDI message on a frame, then the byte of an entry (channel 5 is "selected").
TEST_F(ControlBusTest, MappedControlsAndIgnoredMessages) {
    loadMap("cc 1 20 -> 2 21 range 1 0\ncc14 1 1 -> selected 22\nrel 1 30 -> 2 23 step 0.1\n"
            "note 1 60 -> 2 24\nignore program\nignore notes\n");
    universe->currentChannel = 5;
    universe->controls->setByte(3, 0, 7, 127);
    const int steps[][6] = {
        {0xB0, 20, 127, 2, 21, 0},    // inverted range; mapped messages do not select
        {0xB0, 1, 127, 5, 22, 126},   {0xB0, 33, 127, 5, 22, 127},  // 14 bits: the low half completes it
        {0xB0, 30, 2, 2, 23, 89},     // two ticks up from 0.5
        {0xB0, 30, 127, 2, 23, 76},   // one tick down
        {0x90, 60, 127, 2, 24, 127},  {0x80, 60, 64, 2, 24, 0},
        {0xC3, 6, 0, 3, 7, 127},      // a DAW's program change cannot hide a layer
        {0x93, 9, 100, 3, 7, 127},    // nor an unmapped note write entry 7
        {0xB3, 50, 77, 3, 50, 77},    // unmapped controls still follow the fixed rule
    };
    for (const auto& s : steps) {
        midi(s[0], s[1], s[2]);
        EXPECT_EQ(byteOf(s[3], s[4]), s[5]) << std::hex << s[0] << " " << std::dec << s[1] << " " << s[2];
        EXPECT_EQ(universe->currentChannel, s[0] == 0xB3 ? 3 : 5);
    }
    EXPECT_FLOAT_EQ(floatOf(5, 22), 1.0f);
    EXPECT_NEAR(floatOf(2, 23), 0.2f, 1e-5f);
}

// Each step: move the entry (-1: leave it), move the fader, then the entry's byte; without pickup a fader jumps.
TEST_F(ControlBusTest, AMovedEntryWaitsForTheFaderToPassIt) {
    loadMap("cc 1 20 -> 2 21\ncc 1 21 -> 2 22 nopickup\n");
    midi(0xB0, 20, 100);  // nothing else moved the entry: the fader has it
    EXPECT_EQ(byteOf(2, 21), 100);
    setEntry(2, 22, 30);
    midi(0xB0, 21, 90);
    EXPECT_EQ(byteOf(2, 22), 90);
    const int steps[][3] = {
        {30, 90, 30}, {-1, 50, 30},  // held: the fader is above and moving down
        {-1, 20, 20}, {-1, 60, 60},  // passes 30 on the way down: taken over
        {100, 99, 99},               // one step away
        {30, 90, 30}, {90, 127, 127},  // moved to exactly where the held fader rests: its next move takes it
    };
    for (const auto& [entry, fader, expected] : steps) {
        if (entry >= 0) setEntry(2, 21, entry);
        midi(0xB0, 20, fader);
        EXPECT_EQ(byteOf(2, 21), expected) << entry << " " << fader;
    }
}

// Within one MIDI step (2/127 of the float) takes over at once; the step itself is still within.
TEST_F(ControlBusTest, PickupWindowIncludesExactlyOneStep) {
    loadMap("cc 1 20 -> 2 21\n");
    const int index = ControlTable::indexOf(2, 0, 21);
    const float target = 2.0f * (64 / 127.0f - 0.5f);
    universe->controls->floatValue[index] = target - 2.0f / 127.0f;
    midi(0xB0, 20, 64);
    EXPECT_EQ(byteOf(2, 21), 64);
    universe->controls->floatValue[index] = target - 2.5f / 127.0f;
    midi(0xB0, 20, 64);  // half a step further: held
    EXPECT_EQ(universe->controls->floatValue[index], target - 2.5f / 127.0f);
}

TEST_F(ControlBusTest, LearnMapsTheNextControlToTheNextKeyAndSavesIt) {
    loadKeys(*stage, "q 21\n");
    loadMap("# my box\ncc 1 5 -> 0 30\ncc 2 9 -> 4 4\n");
    using L = ControlBus::LearnState;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(bus->keyboard('l', true));
    std::vector<L> states{bus->learnState()};
    midi(0xB1, 9, 64);  // the control moved is taken, not applied
    EXPECT_EQ(byteOf(1, 9), 63);
    states.push_back(bus->learnState());
    EXPECT_TRUE(bus->special(104));  // Page Up writes no controller: still waiting
    states.push_back(bus->learnState());
    EXPECT_TRUE(bus->keyboard('q', false));
    states.push_back(bus->learnState());
    EXPECT_EQ(states, (std::vector<L>{L::WaitControl, L::WaitKey, L::WaitKey, L::Off}));
    fileWriter().drain();  // the map is saved by the writer thread
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("MIDI learn: cc 2 9 -> selected 21 (saved to midi.map)"), std::string::npos) << err;
    // The old mapping of the same control is replaced, the rest kept.
    EXPECT_EQ(readText("midi.map"), "# my box\ncc 1 5 -> 0 30\ncc 2 9 -> selected 21\n");
    EXPECT_FALSE(std::filesystem::exists("midi.map.tmp"));
    universe->currentChannel = 6;
    midi(0xB1, 9, 64);
    EXPECT_EQ(byteOf(6, 21), 64);

    // Over OSC, and the F-keys map their layer's opacity up to F11.
    ASSERT_TRUE(bus->startOsc("127.0.0.1:0"));
    send("/strata/learn", {});
    testing::internal::CaptureStderr();
    frame();
    midi(0x90, 36, 100);
    EXPECT_TRUE(bus->keyboard('q', false));
    EXPECT_EQ(bus->learnState(), L::Off);
    for (const auto& [key, cc] : {std::pair{4, 70}, std::pair{11, 71}}) {
        bus->armLearn();
        midi(0xB0, cc, 1);
        EXPECT_TRUE(bus->special(key));
    }
    fileWriter().drain();
    testing::internal::GetCapturedStderr();
    const std::string map = readText("midi.map");
    for (const char* line : {"note 1 36 -> selected 21\n", "cc 1 70 -> 3 7\n", "cc 1 71 -> 10 7\n"})
        EXPECT_NE(map.find(line), std::string::npos) << line;
    MidiMap reread;
    EXPECT_EQ(reread.readFile("midi.map"), 0);
    EXPECT_EQ(reread.count(), 5);
}

}  // namespace

// A running MIDI clock leads the musical clock every frame until a tap takes
// the lead; without STRATA_MIDI_CLOCK the pulses lead nothing.
TEST_F(ControlBusTest, ARunningMidiClockLeadsUntilTheOperatorTaps) {
    MusicalTime music(SoundAnalysis::Mode::Inline);
    bus->setMusic(&music);
    std::vector<int> sources;
    const double now = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    universe->midi->clock.receive(0xFA, 0, now - 1);
    for (int n = 0; n < 48; ++n) universe->midi->clock.receive(0xF8, 0, now - 1 + n * 60.0 / 140 / 24);
    for (const char* chosen : {"0", "1"}) {
        setenv("STRATA_MIDI_CLOCK", chosen, 1), Settings::reloadForTests(), universe->midi->open();
        frame();
        sources.push_back(static_cast<int>(music.clock().source()));
    }
    EXPECT_NEAR(music.clock().bpm(), 140.0, 0.01);
    music.clock().tap(), frame();
    sources.push_back(static_cast<int>(music.clock().source()));
    unsetenv("STRATA_MIDI_CLOCK"), Settings::reloadForTests();
    using S = ClockSource;
    EXPECT_EQ(sources, (std::vector<int>{int(S::Detected), int(S::MidiClock), int(S::Tap)}));
}
