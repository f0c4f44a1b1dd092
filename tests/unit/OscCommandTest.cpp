// The OSC side of the control bus without a universe: message validation,
// packet and bundle decoding, the bounded queue, and the real sockets on
// loopback.
#include <gtest/gtest.h>
#include <lo/lo.h>

#include <arpa/inet.h>
#include <httplib.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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
#include "control/OscEndpoint.h"
#include "control/OscQueryServer.h"
#include "control/OscServer.h"

namespace {

using Kind = OscCommand::Kind;

OscArg intArg(int v) { return oscInt(v); }
OscArg floatArg(double v) { return oscFloat(v); }
OscArg stringArg(const char* s) { return oscString(s); }

TEST(OscCommand, ValidMessagesBecomeTheirCommands) {
    struct Case {
        const char* path;
        std::vector<OscArg> args;
        Kind kind;
        int channel, entry, index, byteValue;
        float value;
    };
    const Case cases[] = {
        {"/strata/ctl", {intArg(3), intArg(21), intArg(100)}, Kind::Control, 3, 21, 0, 100, 2.0f * (100 / 127.0f - 0.5f)},
        {"/strata/ctl", {intArg(15), intArg(1023), floatArg(-1.0)}, Kind::Control, 15, 1023, 0, 0, -1.0f},
        {"/strata/ctl", {floatArg(2.0), floatArg(7.0), floatArg(1.0)}, Kind::Control, 2, 7, 0, 127, 1.0f},
        {"/strata/ctl", {intArg(0), intArg(0), floatArg(0.0)}, Kind::Control, 0, 0, 0, 63, 0.0f},
        {"/strata/layer/1/opacity", {floatArg(0.5)}, Kind::Opacity, 0, 0, 0, 0, 0.5f},
        {"/strata/layer/11/module", {intArg(4)}, Kind::ModuleIndex, 10, 0, 4, 0, 0.0f},
        {"/strata/layer/3/module", {stringArg("Tunnel")}, Kind::ModuleName, 2, 0, 0, 0, 0.0f},
        {"/strata/layer/2/imageset", {intArg(1)}, Kind::ImageSet, 1, 0, 1, 0, 0.0f},
        {"/strata/select", {intArg(12)}, Kind::Select, 11, 0, 0, 0, 0.0f},
        {"/strata/trail", {intArg(1)}, Kind::Trail, 0, 0, 0, 0, 1.0f},
        {"/strata/midi", {intArg(1)}, Kind::Midi, 0, 0, 1, 0, 0.0f},
        {"/strata/joystick", {OscArg{'F', 0, 0.0, nullptr}}, Kind::Joystick, 0, 0, 0, 0, 0.0f},
        {"/strata/scene/recall", {intArg(3)}, Kind::SceneRecall, 0, 0, 3, 0, 0.0f},
        {"/strata/learn", {}, Kind::Learn, 0, 0, 0, 0, 0.0f},
    };
    for (const Case& c : cases) {
        OscCommand cmd;
        ASSERT_TRUE(parseOscCommand(c.path, c.args.data(), static_cast<int>(c.args.size()), cmd)) << c.path;
        EXPECT_EQ(std::tie(cmd.kind, cmd.channel, cmd.entry, cmd.index, cmd.byteValue),
                  std::tie(c.kind, c.channel, c.entry, c.index, c.byteValue)) << c.path;
        EXPECT_FLOAT_EQ(cmd.value, c.value) << c.path;
    }
    OscCommand cmd;
    EXPECT_STREQ((parseOscCommand("/strata/layer/3/module", std::vector{stringArg("Tunnel")}.data(), 1, cmd), cmd.name),
                 "Tunnel");
}

TEST(OscCommand, KeysByCharacterOrNameWithAnOptionalPosition) {
    const struct {
        std::vector<OscArg> args;
        bool special;
        int index, x, y;
    } cases[] = {{{stringArg("f5")}, true, 5, 320, 240},
                 {{stringArg("a"), intArg(639), intArg(0)}, false, 'a', 639, 0},
                 {{stringArg("Space")}, false, ' ', 320, 240}};
    for (const auto& c : cases) {
        OscCommand cmd;
        ASSERT_TRUE(parseOscCommand("/strata/key", c.args.data(), static_cast<int>(c.args.size()), cmd));
        EXPECT_EQ(std::tie(cmd.special, cmd.index, cmd.x, cmd.y), std::tie(c.special, c.index, c.x, c.y));
    }
}

TEST(OscCommand, BadMessagesAreRefused) {
    struct Case {
        const char* path;
        std::vector<OscArg> args;
    };
    const Case cases[] = {
        {"/strata/ctl", {intArg(16), intArg(0), intArg(0)}},        // channel out of range
        {"/strata/ctl", {intArg(0), intArg(1024), intArg(0)}},      // entry out of range
        {"/strata/ctl", {intArg(0), intArg(0), intArg(128)}},       // byte out of range
        {"/strata/ctl", {intArg(0), intArg(0), floatArg(1.5)}},     // float out of range
        {"/strata/ctl", {intArg(0), intArg(0), floatArg(NAN)}},     // not a number
        {"/strata/ctl", {floatArg(0.5), intArg(0), intArg(0)}},     // channel not whole
        {"/strata/ctl", {intArg(0), intArg(0)}},                    // too few
        {"/strata/ctl", {stringArg("0"), intArg(0), intArg(0)}},    // wrong type
        {"/strata/layer/0/opacity", {floatArg(1.0)}},               // layers are 1..11
        {"/strata/layer/12/opacity", {floatArg(1.0)}}, {"/strata/layer/1/opacity", {floatArg(-0.1)}},
        {"/strata/layer/1x/opacity", {floatArg(1.0)}}, {"/strata/layer/1/colour", {floatArg(1.0)}},
        {"/strata/layer/1/module", {stringArg("")}}, {"/strata/select", {intArg(0)}},
        {"/strata/key", {stringArg("Esc")}},                        // a surface may not quit the show
        {"/strata/key", {stringArg("NoSuchKey")}}, {"/strata/key", {stringArg("a"), intArg(640), intArg(0)}},
        {"/strata/midi", {intArg(2)}}, {"/strata/learn", {intArg(1)}},
        {"/strata", {}}, {"/other/ctl", {intArg(0), intArg(0), intArg(0)}},
    };
    for (const Case& c : cases) {
        OscCommand cmd;
        EXPECT_FALSE(parseOscCommand(c.path, c.args.data(), static_cast<int>(c.args.size()), cmd)) << c.path;
    }
}

// The docs' address table is the one the code uses: the Markdown file
// holding the generated-table mark has it exactly, and every address a
// formatted command names parses back to its row.
TEST(OscAddresses, DocsHoldTheTableAndEveryRowRoundTrips) {
    const std::string mark = "<!-- the table of control/OscAddresses.cpp -->\n";
    std::string found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(STRATA_SOURCE_DIR)) {
        const std::string path = entry.path().string();
        if (entry.path().extension() != ".md" || path.find("/build") != std::string::npos) continue;
        const std::string doc = readText(path);
        const size_t at = doc.find(mark);
        if (at == std::string::npos) continue;
        const size_t start = at + mark.size();
        const size_t end = doc.find("\n\n", start);
        found = doc.substr(start, end == std::string::npos ? std::string::npos : end + 1 - start);
    }
    EXPECT_EQ(found, oscAddressTable()) << "paste this table after the mark:\n" << oscAddressTable();

    int count = 0;
    const OscAddress* rows = oscAddresses(count);
    for (int i = 0; i < count; ++i) {
        char path[64];
        ASSERT_GT(rows[i].fullPath(rows[i].perLayer() ? 10 : 0, path, sizeof path), 0);
        int layer = -2;
        EXPECT_EQ(findOscAddress(path, layer), &rows[i]) << path;
        EXPECT_EQ(layer, rows[i].perLayer() ? 10 : -1) << path;
    }
}

TEST(OscEndpoint, HostPortOrOff) {
    OscEndpoint e;
    std::string error;
    ASSERT_TRUE(OscEndpoint::parse("0.0.0.0:9001", e, error));
    EXPECT_EQ(e.host + ":" + std::to_string(e.port), "0.0.0.0:9001");
    ASSERT_TRUE(OscEndpoint::parse(":7000", e, error));
    EXPECT_EQ(e.host, "127.0.0.1");
    ASSERT_TRUE(OscEndpoint::parse("off", e, error));
    EXPECT_TRUE(e.off);
    for (const char* bad : {"9000", "host:", "host:70000", "host:12a", "host:1234567"})
        EXPECT_FALSE(OscEndpoint::parse(bad, e, error)) << bad;
}

TEST(OscServerPackets, BundlesEnterWholeOrNotAtAll) {
    OscCommandQueue queue;
    OscServer server(queue);
    // A nested bundle of three control changes and a bad message in the middle:
    // the good ones arrive in order in one fetch, the bad one is counted.
    const std::vector<uint8_t> inner = oscBundle({oscControl(1, 2, 3), oscMessage("/strata/nothing")});
    const std::vector<uint8_t> outer = oscBundle({oscControl(1, 1, 1), inner, oscControl(1, 3, 9)});
    server.handlePacket(outer.data(), outer.size(), nullptr);
    ASSERT_EQ(queue.fetch(), 3);
    EXPECT_EQ(queue.events[0].entry, 1);
    EXPECT_EQ(queue.events[1].entry, 2);
    EXPECT_EQ(queue.events[2].byteValue, 9);

    // A bundle that fills the queue exactly enters; with room for one fewer
    // than its messages it is dropped whole, and the single messages before
    // it stay.
    uint64_t dropped = 0, bad = 0;
    for (const int room : {3, 2}) {
        for (int i = 0; i < OscCommandQueue::kCapacity - room; ++i) {
            const std::vector<uint8_t> m = oscControl(0, 0, i % 128);
            server.handlePacket(m.data(), m.size(), nullptr);
        }
        server.handlePacket(outer.data(), outer.size(), nullptr);
        queue.takeCounts(dropped, bad);
        EXPECT_EQ(dropped, room == 3 ? 0u : 3u);
        EXPECT_EQ(bad, room == 3 ? 2u : 1u);  // the bad message, once for each bundle since the last count
        ASSERT_EQ(queue.fetch(), room == 3 ? OscCommandQueue::kCapacity : OscCommandQueue::kCapacity - 2);
        EXPECT_EQ(queue.events[queue.eventCount - 1].byteValue, room == 3 ? 9 : (OscCommandQueue::kCapacity - 3) % 128);
    }

    // A bundle whose element sizes run past its end is cut there, and
    // garbage is counted, never queued.
    std::vector<uint8_t> cut = outer;
    cut[19] = 0xfc;
    server.handlePacket(cut.data(), cut.size(), nullptr);
    const uint8_t junk[] = {'/', 's', 0, 0, ',', 'i', 0, 0};  // an int tag without its int
    server.handlePacket(junk, sizeof junk, nullptr);
    queue.takeCounts(dropped, bad);
    EXPECT_EQ(bad, 2u);
    EXPECT_EQ(queue.fetch(), 0);
}

// What nothing else checks on the real sockets (tests/e2e/control.sh drives
// the live connection and the query values): a taken port, the reply to
// /strata/list, and the query server's 404 and 413.
TEST(OscServerSockets, TakenPortListReplyAndQueryRefusals) {
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

    ControlSnapshotBox box;
    OscQueryServer query(box, {"Waver", "Tunnel"}, "127.0.0.1", port);
    ASSERT_TRUE(query.start("127.0.0.1", port, error)) << error;
    httplib::Client http("127.0.0.1", port);
    http.set_connection_timeout(2, 0);
    http.set_read_timeout(2, 0);
    auto missing = http.Get("/strata/layer/12");
    auto big = http.Post("/", std::string(OscQueryServer::kMaxBody * 4, 'x'), "text/plain");
    ASSERT_TRUE(missing && big);
    EXPECT_EQ(std::make_pair(missing->status, big->status), std::make_pair(404, 413));
}

}  // namespace
