// The OSC side of the control bus without a universe: validation, the address table, bundles, the bounded queue, the real sockets on loopback.
#include <gtest/gtest.h>
#include <lo/lo.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
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
        {"/strata/ctl", {i(16), i(0), i(0)}}, {"/strata/ctl", {i(0), i(1024), i(0)}}, {"/strata/ctl", {i(0), i(0), i(128)}},
        {"/strata/ctl", {i(0), i(0), f(1.5)}}, {"/strata/ctl", {i(0), i(0), f(NAN)}}, {"/strata/ctl", {f(0.5), i(0), i(0)}},
        {"/strata/ctl", {i(0), i(0)}}, {"/strata/ctl", {s("0"), i(0), i(0)}}, {"/strata/layer/0/opacity", {f(1.0)}},
        {"/strata/layer/12/opacity", {f(1.0)}}, {"/strata/layer/1/opacity", {f(-0.1)}}, {"/strata/layer/1x/opacity", {f(1.0)}},
        {"/strata/select", {i(0)}}, {"/strata/select", {i(17)}}, {"/strata/key", {s("Esc")}}, {"/strata/key", {s("a"), i(640), i(0)}},
        {"/strata/midi", {i(2)}}, {"/strata/learn", {i(1)}}, {"/other/ctl", {i(0), i(0), i(0)}},
        {"/strata/scene/recall", {i(0)}}, {"/strata/scene/store", {i(100)}}, {"/strata/layer/1/module", {T}},
        {"/strata/ctl", {T, i(0), i(0)}}, {"/strata/select", {T}},  // T and F are no numbers
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
    EXPECT_EQ(lo_message_get_argc(message), static_cast<int>(OscServer::addresses().size()));
    EXPECT_STREQ(&lo_message_get_argv(message)[0]->s, "/strata/ctl");
    lo_message_free(message);
}

}  // namespace
