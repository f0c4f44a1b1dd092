// Several machines: the messages between a leader and its followers, the show reaching a follower whole, gaps,
// kept layers, the list of followers, and a frame-thread handoff that never allocates.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <GL/freeglut.h>

#include <cstring>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "OscPackets.h"
#include "UniverseFixture.h"
#include "app/ControlTable.h"
#include "control/ControlBus.h"
#include "follow/FollowClient.h"
#include "follow/FollowLeader.h"
#include "follow/FollowWire.h"
#include "reactor/qelCell.h"
#include "show/SceneBank.h"

namespace {

using Packet = std::vector<uint8_t>;
namespace fw = followwire;

sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET, a.sin_port = htons(static_cast<uint16_t>(port)), a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

Packet message(const char* path, std::initializer_list<fw::Arg> args) {
    Packet p(fw::kMaxPacket);
    p.resize(fw::encode(p.data(), p.size(), path, args.begin(), static_cast<int>(args.size())));
    return p;
}

// The table and modules a frame left.
struct Look {
    std::vector<uint8_t> bytes;
    std::vector<float> floats;
    std::vector<int> modules;
    int selected;
    bool operator==(const Look&) const = default;
};

class FollowTest : public UniverseFixture {
protected:
    void SetUp() override {
        UniverseFixture::SetUp();
        build();
        loadKeys(*stage, "q 17\nw 18\n");
        bus = std::make_unique<ControlBus>(*universe);
        scenes = std::make_unique<SceneBank>(*universe);
        leader = std::make_unique<FollowLeader>(*universe);
        leader->sentContext = &sent;
        leader->sent = [](const uint8_t* m, size_t n, const sockaddr_in&, void* to) {
            static_cast<std::vector<Packet>*>(to)->emplace_back(m, m + n);
        };
        universe->observer = leader.get();
    }
    void TearDown() override {
        client.reset(), leader.reset(), scenes.reset(), bus.reset();
        UniverseFixture::TearDown();
    }
    void hello(int port, int64_t at, const char* path = fw::kHello) {
        const Packet p = message(path, {{'i', port, {}}});
        leader->takeAt(reinterpret_cast<const char*>(p.data()), p.size(), loopback(40000), at);
    }
    // The live program's inputs with the leader watching, as the window and the frame steps show them.
    void play(int layer) {
        const int channel = layer - 1;
        leader->specialPressed(GLUT_KEY_F1 + channel, 639, 10), universe->handleCode(GLUT_KEY_F1 + channel, 639, 10);
        leader->keyPressed('q', 100, 200), pressCharacterKey(*universe, 'q', 100, 200);
        leader->frameStarted(16);
        for (const char* words : {"/strata/ctl 1 20 0.25", "/strata/layer/2/module 3", "/strata/layer/4/module 2",
                                  "/strata/trail 0.3"})
            bus->apply(oscWords(words));
        universe->applyMidiEvent(0x4A15B3), leader->midiApplied(0x4A15B3);
        universe->applyJoystick(9000, 40000, 2), leader->joystickApplied(9000, 40000, 2);
        universe->controls->byteValue[777] = 9, universe->controls->floatValue[777] = -0.5f;
        leader->mappedWrite(777, 9, -0.5f);
        leader->frameFinished();
        set(ControlTable::indexOf(channel, 0, 30), 5);
        scenes->recallText("scene", "strata-scene 1\nselected 6\ncell 5 4 -1\nvalue 5 40 99 0.75\n", 0);
    }
    // An exact write between frames, as the leader tells it.
    void set(int index, int value, bool told = true) {
        universe->controls->byteValue[index] = static_cast<uint8_t>(value), universe->controls->floatValue[index] = value / 8.0f;
        if (told) leader->controlSet(index, value, value / 8.0f);
    }
    Look look() const {
        const ControlTable& t = *universe->controls;
        Look l{{t.byteValue, t.byteValue + ControlTable::kEntries}, {t.floatValue, t.floatValue + ControlTable::kEntries}, {},
               universe->currentChannel};
        for (int c = 0; c < universe->cellCount; ++c) l.modules.push_back(universe->cells[c]->reactorIndex);
        return l;
    }
    void follow(uint32_t keep, size_t skip = SIZE_MAX) {
        if (!client) client = std::make_unique<FollowClient>(loopback(9000), 40000, keep);
        const sockaddr_in from = loopback(50000);
        for (size_t i = 0; i < sent.size(); ++i)
            if (i != skip) client->take(reinterpret_cast<const char*>(sent[i].data()), sent[i].size(), &from);
        sent.clear();
        universe->observer = nullptr;  // the follower's own watcher would be another machine's leader
        client->apply(*universe, *bus, *scenes);
        universe->observer = leader.get();
    }

    std::unique_ptr<ControlBus> bus;
    std::unique_ptr<SceneBank> scenes;
    std::unique_ptr<FollowLeader> leader;
    std::unique_ptr<FollowClient> client;
    std::vector<Packet> sent;
};

}  // namespace

// Each message reads back as written; every shorter or altered packet is refused.
TEST(FollowWire, MessagesReadBackAndBrokenOnesAreRefused) {
    const std::string text(1500, 'x');
    const std::vector<std::pair<const char*, std::vector<fw::Arg>>> cases = {
        {fw::kHello, {{'i', 9001, {}}}},
        {fw::kEvent, {{'i', -7, {}}, {'s', 0, "12 key q 100 200"}}},
        {fw::kText, {{'i', 3, {}}, {'i', 0, {}}, {'i', 1500, {}}, {'b', 0, std::string_view(text).substr(0, 1021)}}},
        {fw::kState, {{'i', 1, {}}, {'b', 0, ""}}},
    };
    for (const auto& [path, args] : cases) {
        SCOPED_TRACE(path);
        const Packet p = message(path, {});  // the path alone
        Packet full(fw::kMaxPacket);
        full.resize(fw::encode(full.data(), full.size(), path, args.data(), static_cast<int>(args.size())));
        ASSERT_GT(full.size(), p.size());
        fw::Message m;
        ASSERT_TRUE(fw::decode(full.data(), full.size(), m));
        EXPECT_EQ(m.path, path);
        ASSERT_EQ(m.count, static_cast<int>(args.size()));
        for (size_t i = 0; i < args.size(); ++i)
            EXPECT_TRUE(m.args[i].type == args[i].type && m.args[i].value == args[i].value && m.args[i].bytes == args[i].bytes);
        for (size_t cut = 0; cut < full.size(); cut += 4) EXPECT_FALSE(fw::decode(full.data(), cut, m)) << cut;
        Packet longer = full;
        longer.insert(longer.end(), 4, 0);  // four bytes beyond the last argument
        EXPECT_FALSE(fw::decode(longer.data(), longer.size(), m));
    }
    EXPECT_EQ(fw::encode(std::vector<uint8_t>(64).data(), 64, fw::kText, cases[2].second.data(), 4), 0u);  // too big
    fw::State state, back;
    state.selected = 4, state.midiOn = 1, state.module[10] = 11, state.imageSet[3] = -1;
    uint8_t packed[fw::kStateBytes];
    fw::putState(state, packed);
    ASSERT_TRUE(fw::getState(std::string_view(reinterpret_cast<char*>(packed), sizeof packed), back));
    EXPECT_EQ(std::memcmp(&state, &back, sizeof state), 0);
}

// A follower that joins gets the whole table, then every input the leader applied: it ends with the leader's look.
TEST_F(FollowTest, AShowReachesTheFollowerWhole) {
    hello(9001, 0);
    leader->frameFinished();  // the new follower's table, before the show
    const Look before = look();
    play(3);
    const Look played = look();
    ASSERT_NE(before, played);
    EXPECT_GT(leader->sendPending(0), fw::kTablePieces + 10);
    // The follower's own look before it follows: anything else.
    universe->setModule(1, 0), universe->setModule(5, 1), set(ControlTable::indexOf(7, 0, 9), 99, false);
    follow(0);
    EXPECT_TRUE(client->inStep());
    EXPECT_EQ(client->gaps(), 0);
    EXPECT_TRUE(look() == played);
}

// A lost event puts the follower out of step until the next table; what arrives meanwhile applies after it.
TEST_F(FollowTest, AGapAsksForTheTableAndLaterEventsFollowIt) {
    hello(9001, 0);
    leader->frameFinished();
    leader->sendPending(0);
    follow(0);
    ASSERT_TRUE(client->inStep());
    const int at = ControlTable::indexOf(2, 0, 40);
    for (int i = 0; i < 3; ++i) set(at + i, 40 + i);
    leader->sendPending(0);
    for (int i = 0; i < 3; ++i) set(at + i, 0, false);  // the follower's own values
    follow(0, 1);  // the second event lost
    EXPECT_FALSE(client->inStep());
    EXPECT_EQ(client->gaps(), 1);
    EXPECT_EQ(bytes({{2, 0, 40}, {2, 0, 41}, {2, 0, 42}}), (std::vector<int>{40, 0, 0}));  // the third waits
    hello(9001, 1000, fw::kResync);
    for (int i = 0; i < 3; ++i) set(at + i, 40 + i, false);  // the leader's table holds them
    leader->frameFinished();
    set(at + 3, 43);
    leader->sendPending(0);
    for (int i = 0; i < 4; ++i) set(at + i, 0, false);
    follow(0);
    EXPECT_TRUE(client->inStep());
    EXPECT_EQ(bytes({{2, 0, 40}, {2, 0, 41}, {2, 0, 42}, {2, 0, 43}}), (std::vector<int>{40, 41, 42, 43}));
    // A table asked for twice holds nothing new: the follower keeps what it applied.
    hello(9001, 2000, fw::kResync);
    set(at + 5, 99, false), leader->frameFinished(), leader->sendPending(0), set(at + 5, 0, false);
    follow(0);
    EXPECT_EQ(universe->controls->getByte(2, 0, 45), 0);
    // The leader started again: its numbers begin anew, and the table it gives its new follower leads.
    const auto hook = leader->sent;
    leader = std::make_unique<FollowLeader>(*universe);
    leader->sentContext = &sent, leader->sent = hook, universe->observer = leader.get();
    hello(9001, 0);
    set(at, 7, false);  // in the new leader's table
    leader->frameFinished();
    set(at + 1, 8);  // its first event
    leader->sendPending(0);
    set(at, 0, false), set(at + 1, 0, false);
    follow(0);
    EXPECT_EQ(bytes({{2, 0, 40}, {2, 0, 41}}), (std::vector<int>{7, 8}));
}

// A kept layer keeps its controllers and its module; everything else follows.
TEST_F(FollowTest, AKeptLayerStaysTheFollowersOwn) {
    hello(9001, 0);
    leader->frameFinished();
    const Look before = look();
    play(2);
    Look expected = look();
    const int first = ControlTable::indexOf(1, 0, 0);
    std::copy_n(before.bytes.begin() + first, ControlTable::kControllers, expected.bytes.begin() + first);
    std::copy_n(before.floats.begin() + first, ControlTable::kControllers, expected.floats.begin() + first);
    expected.modules[1] = before.modules[1];
    leader->sendPending(0);
    // The follower's own look: layer 2 as before the show, another layer elsewhere.
    universe->setModule(1, before.modules[1]), universe->setModule(3, 0);
    std::copy_n(before.bytes.begin() + first, ControlTable::kControllers, universe->controls->byteValue + first);
    std::copy_n(before.floats.begin() + first, ControlTable::kControllers, universe->controls->floatValue + first);
    follow(1u << 1);
    const Look followed = look();
    EXPECT_TRUE(followed.bytes == expected.bytes && followed.floats == expected.floats);
    EXPECT_EQ(followed.modules, expected.modules);
    EXPECT_EQ(followed.selected, expected.selected);
}

// At most eight followers; one silent for five seconds is sent nothing and makes room.
TEST_F(FollowTest, TheLeaderForgetsSilentFollowers) {
    for (int port = 1; port <= 9; ++port) hello(port, port * 100);
    EXPECT_EQ(leader->followersAt(900), 8);
    hello(1, 4000);
    EXPECT_EQ(leader->followersAt(5199), 8);
    EXPECT_EQ(leader->followersAt(5200), 7);  // port 2 silent since 200
    hello(9, 5250);                           // takes port 2's place
    EXPECT_EQ(leader->followersAt(5250), 8);
    EXPECT_EQ(leader->followersAt(8999), 2);  // ports 1 and 9
    sent.clear();
    leader->keyPressed('q', 1, 2);
    EXPECT_EQ(leader->sendPending(8999), 2);
    leader->keyPressed('q', 1, 2);
    EXPECT_EQ(leader->sendPending(10250), 0);
    EXPECT_EQ(leader->followersAt(10250), 0);
}

// The frame thread's side allocates nothing: formatting into the ring, a table, applying events and tables.
TEST_F(FollowTest, TheFrameThreadHandoffAllocatesNothing) {
    hello(9001, 0);
    leader->frameFinished();
    play(3);  // warm: the parser's and the bus's first use
    leader->sendPending(0);
    follow(0);
    hello(9001, 1000, fw::kResync);  // a table in the first frame
    {
        CountAllocations counting;
        for (int i = 0; i < 50; ++i) {
            leader->frameStarted(16), leader->keyPressed('q', i, 2), leader->midiApplied(0x10B0);
            leader->commandApplied("/strata/trail 0.5"), leader->mappedWrite(i, 1, 0.5f), leader->frameFinished();
        }
        EXPECT_EQ(counting.count(), 0);
    }
    leader->sendPending(0);
    const sockaddr_in from = loopback(50000);
    for (const Packet& p : sent) client->take(reinterpret_cast<const char*>(p.data()), p.size(), &from);
    universe->observer = nullptr;
    CountAllocations counting;
    client->apply(*universe, *bus, *scenes);
    EXPECT_EQ(counting.count(), 0);
    EXPECT_EQ(universe->controls->byteValue[49], 1);
}
