// The OSC side of the control bus without a universe: validation, the address table, bundles, the bounded queue, the real sockets on loopback.
#include <gtest/gtest.h>
#include <lo/lo.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "OscPackets.h"
#include "TextFile.h"
#include "control/ControlSnapshot.h"
#include "control/OscAddresses.h"
#include "control/OscCommand.h"
#include "control/OscCommandQueue.h"
#include "control/OscServer.h"

namespace {

using Kind = OscCommand::Kind;

OscArg i(int v) { return oscInt(v); }
OscArg f(double v) { return oscFloat(v); }
OscArg s(const char* v) { return oscString(v); }
const OscArg T{'T', 0, 0.0, nullptr};

// What the control bus test does not send: /strata/ctl extremes, whole floats, layer and device commands, key names.
TEST(OscCommand, ValidMessagesBecomeTheirCommands) {
    struct Case {  // keys by character or name have the mouse at the centre
        const char* path;
        std::vector<OscArg> args;
        Kind kind;
        int channel = 0, entry = 0, index = 0, byteValue = 0;
        float value = 0.0f;
        bool special = false;
        int x = 320, y = 240;
    };
    const Case cases[] = {
        {"/strata/ctl", {i(15), i(1023), f(-1.0)}, Kind::Control, 15, 1023, 0, 0, -1.0f},
        {"/strata/ctl", {f(2.0), f(7.0), f(1.0)}, Kind::Control, 2, 7, 0, 127, 1.0f},
        {"/strata/layer/11/module", {i(4)}, Kind::ModuleIndex, 10, 0, 4},
        {"/strata/layer/2/imageset", {i(1)}, Kind::ImageSet, 1, 0, 1},
        {"/strata/trail", {i(1)}, Kind::Trail, 0, 0, 0, 0, 1.0f},
        {"/strata/midi", {i(1)}, Kind::Midi, 0, 0, 1},
        {"/strata/joystick", {OscArg{'F', 0, 0.0, nullptr}}, Kind::Joystick},
        {"/strata/scene/recall", {i(3)}, Kind::SceneRecall, 0, 0, 3},
        {"/strata/learn", {}, Kind::Learn},
        {"/strata/key", {s("f5")}, Kind::Key, 0, 0, 5, 0, 0.0f, true},
        {"/strata/key", {s("Space")}, Kind::Key, 0, 0, ' '},
        {"/strata/key", {s("a"), i(639), i(479)}, Kind::Key, 0, 0, 'a', 0, 0.0f, false, 639, 479},
        {"/strata/layer/3/module", {s("Tunnel")}, Kind::ModuleName, 2},
        {"/strata/layer/3/imageset", {s("imgs2")}, Kind::ImageSetName, 2},
        {"/strata/layer/4/shown", {T}, Kind::Shown, 3, 0, 1},
        {"/strata/scene/fade", {i(3600000)}, Kind::SceneFade, 0, 0, 3600000},
        {"/strata/help", {T}, Kind::Help, 0, 0, 1},
        {"/strata/output/corner", {i(4), f(-0.5), f(2.0)}, Kind::OutputCorner, 0, 3, 3, 0, -0.5f},
        {"/strata/output/corner/2/x", {f(1.5)}, Kind::OutputCorner, 0, 1, 1, 0, 1.5f},
        {"/strata/output/corner/3/y", {i(1)}, Kind::OutputCorner, 0, 2, 2},
    };
    for (const Case& c : cases) {
        OscCommand cmd;
        ASSERT_TRUE(parseOscCommand(c.path, c.args.data(), static_cast<int>(c.args.size()), cmd)) << c.path;
        EXPECT_EQ(std::tie(cmd.kind, cmd.channel, cmd.entry, cmd.index, cmd.byteValue, cmd.special, cmd.x, cmd.y),
                  std::tie(c.kind, c.channel, c.entry, c.index, c.byteValue, c.special, c.x, c.y)) << c.path;
        EXPECT_FLOAT_EQ(cmd.value, c.value) << c.path;
    }
}

// Out of range (scenes are 1..99 everywhere), not whole, not a number (T/F), too few, wrong type, no such layer, key or address; Esc may not quit the show.
TEST(OscCommand, BadMessagesAreRefused) {
    const std::pair<const char*, std::vector<OscArg>> cases[] = {
        {"/strata/output/corner", {i(0), f(0), f(0)}}, {"/strata/output/corner", {i(1), f(2.5), f(0)}},
        {"/strata/output/corner/4/y", {f(-1.5)}},
        {"/strata/ctl", {i(16), i(0), i(0)}}, {"/strata/ctl", {i(0), i(1024), i(0)}}, {"/strata/ctl", {i(0), i(0), i(128)}},
        {"/strata/ctl", {i(0), i(0), f(1.5)}}, {"/strata/ctl", {i(0), i(0), f(NAN)}}, {"/strata/ctl", {f(0.5), i(0), i(0)}},
        {"/strata/ctl", {i(0), i(0)}}, {"/strata/ctl", {s("0"), i(0), i(0)}}, {"/strata/layer/0/opacity", {f(1.0)}},
        {"/strata/layer/12/opacity", {f(1.0)}}, {"/strata/layer/1/opacity", {f(-0.1)}}, {"/strata/layer/1x/opacity", {f(1.0)}},
        {"/strata/select", {i(0)}}, {"/strata/select", {i(17)}}, {"/strata/key", {s("Esc")}}, {"/strata/key", {s("a"), i(640), i(0)}},
        {"/strata/midi", {i(2)}}, {"/strata/learn", {i(1)}}, {"/other/ctl", {i(0), i(0), i(0)}},
        {"/strata/scene/recall", {i(0)}}, {"/strata/scene/store", {i(100)}}, {"/strata/layer/1/module", {T}},
        {"/strata/ctl", {T, i(0), i(0)}}, {"/strata/select", {T}},  // T and F are no numbers
        {"/strata/scene/store", {i(0)}}, {"/strata/scene/fade", {i(-1)}}, {"/strata/layer/1/shown", {i(2)}},
        {"/strata/key", {s("a"), i(1)}}, {"/strata/sound/low", {f(0.5)}},
    };
    for (const auto& [path, args] : cases) {
        OscCommand cmd;
        EXPECT_FALSE(parseOscCommand(path, args.data(), static_cast<int>(args.size()), cmd)) << path;
    }
}

// The docs' address table is the one the code uses: the Markdown file with the generated-table mark has it exactly.
TEST(OscAddresses, DocsHoldTheTable) {
    const std::string mark = "<!-- the table of control/OscAddresses.cpp -->\n";
    std::string found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(STRATA_SOURCE_DIR)) {
        if (entry.path().extension() != ".md" || entry.path().string().find("/build") != std::string::npos) continue;
        const std::string doc = readText(entry.path());
        const size_t at = doc.find(mark);
        if (at == std::string::npos) continue;
        const size_t start = at + mark.size(), end = doc.find("\n\n", start);
        found = doc.substr(start, end == std::string::npos ? end : end + 1 - start);
    }
    EXPECT_EQ(found, oscAddressTable()) << "paste this table after the mark:\n" << oscAddressTable();
}

// Each pattern form, matched part by part: what it queues (layer channels or kinds) and whether it counts as bad.
TEST(OscServerPackets, PatternsApplyToEveryAddressTheyMatch) {
    OscCommandQueue queue;
    OscServer server(queue);
    const std::vector<int> all = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const std::tuple<const char*, std::vector<OscArg>, std::vector<int>, uint64_t> cases[] = {
        {"/strata/layer/*/opacity", {f(0.5)}, all, 0},
        {"/strata/layer/?/opacity", {f(0.5)}, {0, 1, 2, 3, 4, 5, 6, 7, 8}, 0},
        {"/strata/layer/1[01]/shown", {T}, {9, 10}, 0},
        {"/strata/layer/[!1-8]/module", {s("Cloud")}, {8}, 0},
        {"/strata/layer/{2,5}/imageset", {i(1)}, {1, 4}, 0},
        {"/strata/{midi,joystick}", {i(1)}, {int(Kind::Midi), int(Kind::Joystick)}, 0},
        {"/strata/*", {f(0.5)}, {int(Kind::Trail)}, 0},      // '*' stays within its part
        {"/strata/sound/*", {f(0.5)}, {}, 0},                // read-only matches: an echo
        {"/strata/layer/*/opacity", {f(2.0)}, {}, 1},        // every match refuses the value
        {"/strata/nothing/*", {}, {}, 1}, {"/strata/layer/*", {f(1.0)}, {}, 1}, {"/strata/[", {}, {}, 1},
        {"/strata/{midi", {i(1)}, {}, 1}, {"/strata/layer/[!/opacity", {f(1.0)}, {}, 1},
    };
    for (const auto& [pattern, args, expected, bad] : cases) {
        const std::vector<uint8_t> packet = oscMessage(pattern, args);
        server.handlePacket(packet.data(), packet.size(), nullptr);
        std::vector<int> queued;  // the layers' channels, or the kinds
        const bool layered = std::string_view(pattern).find("/layer/") != std::string_view::npos;
        for (int n = queue.fetch(), k = 0; k < n; ++k)
            queued.push_back(layered ? queue.events[k].channel : int(queue.events[k].kind));
        uint64_t dropped = 0, counted = 0;
        queue.takeCounts(dropped, counted);
        EXPECT_EQ(std::tie(queued, counted), std::tie(expected, bad)) << pattern;
    }
}

// The frame thread stores snapshots whose every field comes from one count while readers copy them: no reader
// ever sees fields of two different stores.
TEST(ControlSnapshotBox, ReadersNeverSeeATornSnapshot) {
    ControlSnapshotBox box;
    ControlSnapshot s;
    const auto store = [&](int k) {
        s.selected = s.learn = s.clockSource = k;
        for (ControlSnapshot::Layer& layer : s.layers) layer.module = k, layer.opacity = static_cast<float>(k);
        std::snprintf(s.live.sound, sizeof s.live.sound, "%d", k);
        box.store(s);
    };
    store(0);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int k = 1; !done; ++k) store(k);
    });
    int torn = 0, seen = 0;
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300); std::chrono::steady_clock::now() < end;) {
        const ControlSnapshot r = box.load();
        bool same = r.learn == r.selected && r.clockSource == r.selected && std::to_string(r.selected) == r.live.sound;
        for (const ControlSnapshot::Layer& layer : r.layers) same = same && layer.module == r.selected && layer.opacity == float(r.selected);
        torn += !same, seen = std::max(seen, r.selected);
    }
    done = true;
    writer.join();
    EXPECT_EQ(torn, 0);
    EXPECT_GT(seen, 1000);  // the writer ran while the reader read
}

TEST(OscServerPackets, BundlesEnterWholeOrNotAtAll) {
    OscCommandQueue queue;
    OscServer server(queue);
    const auto handle = [&](const std::vector<uint8_t>& p) { server.handlePacket(p.data(), p.size(), nullptr); };
    // A nested bundle: the good messages arrive in order in one fetch, the bad one is counted.
    const std::vector<uint8_t> inner = oscBundle({oscControl(1, 2, 3), oscMessage("/strata/nothing")});
    const std::vector<uint8_t> outer = oscBundle({oscControl(1, 1, 1), inner, oscControl(1, 3, 9)});
    handle(outer);
    ASSERT_EQ(queue.fetch(), 3);
    EXPECT_EQ((std::vector<int>{queue.events[0].entry, queue.events[1].entry, queue.events[2].byteValue}),
              (std::vector<int>{1, 2, 9}));
    // A bundle filling the queue exactly enters; with one place fewer it is dropped whole, the messages before it stay.
    uint64_t dropped = 0, bad = 0;
    for (const int room : {3, 2}) {
        for (int i = 0; i < OscCommandQueue::kCapacity - room; ++i) handle(oscControl(0, 0, i % 128));
        handle(outer);
        queue.takeCounts(dropped, bad);
        EXPECT_EQ(dropped, room == 3 ? 0u : 3u);
        EXPECT_EQ(bad, room == 3 ? 2u : 1u);  // the bad message, once for each bundle since the last count
        ASSERT_EQ(queue.fetch(), room == 3 ? OscCommandQueue::kCapacity : OscCommandQueue::kCapacity - 2);
        EXPECT_EQ(queue.events[queue.eventCount - 1].byteValue, room == 3 ? 9 : (OscCommandQueue::kCapacity - 3) % 128);
    }
    // A bundle whose element sizes run past its end is cut there; garbage is counted, never queued.
    std::vector<uint8_t> cut = outer;
    cut[19] = 0xfc;
    handle(cut);
    handle({'/', 's', 0, 0, ',', 'i', 0, 0});  // an int tag without its int
    queue.takeCounts(dropped, bad);
    EXPECT_EQ(bad, 2u);
    EXPECT_EQ(queue.fetch(), 0);
}

// Two network threads (UDP and the web server) feed one queue while the frame
// fetches without ever waiting: every command arrives once, each thread's in order.
TEST(OscServerPackets, TwoSendersAndAFrameThatNeverWaits) {
    OscCommandQueue queue;
    OscServer server(queue);
    constexpr int kEach = 1500;  // both together fit the queue, however late the frame comes
    const auto send = [&](int channel) {
        for (int i = 0; i < kEach; ++i) {
            const std::vector<uint8_t> p = oscBundle({oscControl(channel, i % 1024, i % 128)});
            server.handlePacket(p.data(), p.size(), nullptr);
        }
    };
    std::thread a(send, 1), b(send, 2);
    int next[3] = {0, 0, 0}, fetched = 0;
    for (const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
         fetched < 2 * kEach && std::chrono::steady_clock::now() < until;) {
        queue.fetch();
        for (int e = 0; e < queue.eventCount; ++e, ++fetched) {
            const OscCommand& c = queue.events[e];
            ASSERT_EQ(c.entry, next[c.channel] % 1024) << "channel " << c.channel;
            ++next[c.channel];
        }
    }
    a.join();
    b.join();
    EXPECT_EQ(fetched, 2 * kEach);
}

// What the end-to-end run does not reach: a second server on a taken port, the list reply.
TEST(OscServerSockets, TakenPortAndListReply) {
    OscCommandQueue queue, other;
    OscServer server(queue), taken(other);
    std::string error;
    ASSERT_TRUE(server.start("127.0.0.1", 0, error)) << error;
    const int port = server.port();
    EXPECT_FALSE(taken.start("127.0.0.1", port, error));
    EXPECT_NE(error.find("cannot listen"), std::string::npos) << error;

    const int client = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    const std::vector<uint8_t> list = oscMessage("/strata/list");
    ::sendto(client, list.data(), list.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    pollfd wait{client, POLLIN, 0};
    ASSERT_EQ(::poll(&wait, 1, 2000), 1);
    char reply[4096];
    const ssize_t n = ::recv(client, reply, sizeof reply, 0);
    ::close(client);
    int result = 0;
    lo_message message = n > 0 ? lo_message_deserialise(reply, static_cast<size_t>(n), &result) : nullptr;
    ASSERT_NE(message, nullptr);
    EXPECT_STREQ(reply, "/strata/list");
    std::vector<std::string> addresses;
    for (int k = 0; k < lo_message_get_argc(message); ++k) addresses.emplace_back(reinterpret_cast<const char*>(lo_message_get_argv(message)[k]));
    EXPECT_EQ(addresses, OscServer::addresses());
    EXPECT_EQ(addresses.size(), 84u);  // 40 addresses, and 4 for each of the 11 layers
    EXPECT_EQ(std::count(addresses.begin(), addresses.end(), "/strata/layer/11/imageset"), 1);
    EXPECT_EQ(std::count_if(addresses.begin(), addresses.end(), [](auto& a) { return a.find('<') != a.npos; }), 0);
    lo_message_free(message);
}

}  // namespace
