// The web server on real loopback sockets: its limits, the access token and the Host and Origin checks, the WebSocket.
#include <gtest/gtest.h>
#include <lo/lo.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>  // before asio (Boost 1.74)

#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "OscPackets.h"
#include "control/ControlSnapshot.h"
#include "control/OscCommandQueue.h"
#include "control/OscServer.h"
#include "surface/TerminalQr.h"
#include "surface/WebServer.h"

namespace {

namespace beast = boost::beast;
namespace websocket = beast::websocket;
using Clock = std::chrono::steady_clock;

int connectFrom(int port, const char* from = "127.0.0.1") {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{AF_INET, 0, {}, {}}, to{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    inet_pton(AF_INET, from, &local.sin_addr);
    ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    return fd;
}

// What arrives until the peer closes (closed: true) or ms pass.
std::string readAll(int fd, int ms, bool* closed = nullptr) {
    std::string text;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (char chunk[4096];;) {
        const int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
        pollfd wait{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&wait, 1, left) != 1) break;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            if (closed) *closed = true;
            break;
        }
        text.append(chunk, static_cast<size_t>(n));
    }
    return text;
}

// One request (its first line and extra header lines) with Host 127.0.0.1:port and Connection: close; the whole answer.
std::string ask(int port, const std::string& line, const std::string& headers = "", const char* from = "127.0.0.1") {
    const int fd = connectFrom(port, from);
    const std::string request = line + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                "\r\nConnection: close\r\n" + headers + "\r\n";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string answer = readAll(fd, 3000);
    ::close(fd);
    return answer;
}
int status(const std::string& answer) { return answer.size() > 12 ? std::stoi(answer.substr(9, 3)) : 0; }

long residentPages() {
    long size = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> size >> resident;
    return resident;
}

struct Served {
    ControlSnapshotBox box;
    OscCommandQueue queue;
    OscServer osc{queue};
    WebServer web{box, {"Waver", "Tunnel"}, 9000, [this](const void* d, size_t n) { osc.handlePacket(d, n, nullptr); }};
    explicit Served(const char* host = "127.0.0.1") {
        std::string error;
        EXPECT_TRUE(web.start(host, 0, "", error)) << error;
    }
};

// A WebSocket client on its own loop; every operation gives up after two seconds.
struct Socket {
    boost::asio::io_context io;
    websocket::stream<beast::tcp_stream> ws{io};
    beast::flat_buffer in;
    template <class Op>
    beast::error_code run(Op op, int ms = 2000) {
        beast::error_code result = boost::asio::error::timed_out;
        op([&](beast::error_code ec, auto...) { result = ec; });
        io.restart();
        io.run_for(std::chrono::milliseconds(ms));
        if (!io.stopped()) beast::get_lowest_layer(ws).cancel(), io.restart(), io.run();
        return result;
    }
    // The handshake's status (101: open).
    int open(int port, const std::string& header = "", const std::string& value = "") {
        beast::get_lowest_layer(ws).connect({boost::asio::ip::make_address("127.0.0.1"), static_cast<uint16_t>(port)});
        if (!header.empty())
            ws.set_option(websocket::stream_base::decorator([=](websocket::request_type& r) { r.set(header, value); }));
        websocket::response_type response;
        run([&](auto h) { ws.async_handshake(response, "127.0.0.1:" + std::to_string(port), "/", h); });
        return response.result_int();
    }
    beast::error_code text(const std::string& t) {
        ws.text(true);
        return run([&](auto h) { ws.async_write(boost::asio::buffer(t), h); });
    }
    beast::error_code binary(const std::vector<uint8_t>& b) {
        ws.binary(true);
        return run([&](auto h) { ws.async_write(boost::asio::buffer(b), h); });
    }
    // The next message as an OSC address and its first float (or int), or an empty address.
    std::pair<std::string, double> next() {
        in.clear();
        if (run([&](auto h) { ws.async_read(in, h); })) return {"", 0};
        std::vector<char> bytes(static_cast<const char*>(in.data().data()), static_cast<const char*>(in.data().data()) + in.size());
        int result = 0;
        lo_message m = lo_message_deserialise(bytes.data(), bytes.size(), &result);
        if (!m) return {"?", 0};
        const char type = lo_message_get_types(m)[0];
        // liblo's arguments are 4-aligned, its union wants 8: copy the bytes out.
        float f = 0;
        int32_t i = 0;
        if (type == 'f') std::memcpy(&f, lo_message_get_argv(m)[0], 4);
        if (type == 'i') std::memcpy(&i, lo_message_get_argv(m)[0], 4);
        const double v = type == 'f' ? f : type == 'i' ? i : -1;
        lo_message_free(m);
        return {bytes.data(), v};
    }
};

// Fifty idle connections from five other addresses and one trickling a header line a second while a normal client is
// served at once; the request and idle deadlines close them; headers, target and body limits; the per-address cap;
// 2,690 byte ranges; HEAD, OPTIONS, 404, the page.
TEST(WebServer, LimitsKeepOneClientFromStarvingOthers) {
    Served s;
    const int port = s.web.port();
    std::vector<int> idle;
    for (int i = 0; i < 50; ++i) idle.push_back(connectFrom(port, ("127.0.0." + std::to_string(2 + i / 10)).c_str()));
    bool trickleClosed = false;
    double trickleSeconds = 0;
    std::thread trickler([&] {
        const int fd = connectFrom(port);
        const auto start = Clock::now();
        ::send(fd, "GET / HTTP/1.1\r\n", 16, MSG_NOSIGNAL);
        for (int i = 0; i < 9 && !trickleClosed; ++i) {
            readAll(fd, 1000, &trickleClosed);
            ::send(fd, "X-Slow: 1\r\n", 11, MSG_NOSIGNAL);
        }
        trickleSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        ::close(fd);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto before = Clock::now();
    const std::string tree = ask(port, "GET /strata/layer/1");
    EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(200));
    EXPECT_EQ(status(tree), 200) << tree;
    EXPECT_NE(tree.find("Access-Control-Allow-Origin: *"), std::string::npos);
    EXPECT_NE(tree.find("\"FULL_PATH\":\"/strata/layer/1\""), std::string::npos);
    const std::string info = ask(port, "GET /?HOST_INFO");
    EXPECT_NE(info.find("\"OSC_IP\":\"127.0.0.1\""), std::string::npos);
    EXPECT_NE(info.find("\"LISTEN\":true"), std::string::npos);

    const long pages = residentPages();
    std::string ranges = "Range: bytes=-1";
    for (int i = 1; i < 2690; ++i) ranges += ",-1";
    const std::string ranged = ask(port, "GET /", ranges + "\r\n");
    EXPECT_EQ(status(ranged), 200);
    EXPECT_LT((residentPages() - pages) * sysconf(_SC_PAGESIZE), 4l << 20);

    const struct {
        std::string line, headers;
        int status;
        const char* contains;
    } cases[] = {
        {"GET /", "X-Big: " + std::string(40000, 'x') + "\r\n", 431, ""},
        {"GET /" + std::string(WebServer::kMaxTarget, 'a'), "", 414, ""},
        {"POST /", "Content-Length: 2048\r\n", 413, ""},
        {"GET /strata/layer/12", "", 404, ""},
        {"HEAD /", "", 200, "Content-Length: "},
        {"OPTIONS /", "", 204, "Allow: GET, HEAD, OPTIONS"},
        {"DELETE /", "", 405, ""},
        {"GET /ui", "", 200, "<!doctype html>"},
        {"GET /ui/missing.js", "", 404, ""},
        {"GET /", "Host: evil.example:" + std::to_string(port) + "\r\n", 403, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.substr(0, 40) + " " + c.headers.substr(0, 40));
        std::string headers = c.headers;
        if (c.headers.rfind("Host:", 0) == 0) {  // replaces ask's own Host line
            const int fd = connectFrom(port);
            const std::string request = c.line + " HTTP/1.1\r\n" + headers + "Connection: close\r\n\r\n";
            ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
            EXPECT_EQ(status(readAll(fd, 2000)), c.status);
            ::close(fd);
            continue;
        }
        bool closed = false;
        const int fd = connectFrom(port);
        const std::string request = c.line + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n" + headers +
                                    "\r\n" + (c.status == 413 ? std::string(2048, 'x') : "");
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        const std::string answer = readAll(fd, c.status >= 413 ? 3000 : 300, &closed);
        ::close(fd);
        EXPECT_EQ(status(answer), c.status) << answer.substr(0, 200);
        EXPECT_NE(answer.find(c.contains), std::string::npos);
        EXPECT_TRUE(closed || c.status < 413);  // a broken limit ends the connection
        EXPECT_TRUE(c.line.rfind("HEAD", 0) != 0 || answer.find("{") == std::string::npos);
    }

    // Sixteen connections from one address live; the seventeenth is closed unanswered.
    std::vector<int> many;
    for (int i = 0; i < WebServer::kConnectionsPerAddress; ++i) many.push_back(connectFrom(port, "127.0.0.7"));
    bool closed = false;
    const int extra = connectFrom(port, "127.0.0.7");
    EXPECT_EQ(readAll(extra, 1000, &closed), "");
    EXPECT_TRUE(closed);
    // 67 open (50 idle, 16, the trickling one): of 70 more from other addresses, those beyond 128 in all are closed.
    int refused = 0;
    for (int i = 0; i < 70; ++i) many.push_back(connectFrom(port, ("127.0.0." + std::to_string(8 + i / 14)).c_str()));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // all accepted or refused by now
    for (size_t i = WebServer::kConnectionsPerAddress; i < many.size(); ++i) {
        closed = false;
        readAll(many[i], 20, &closed);
        refused += closed;
    }
    EXPECT_EQ(refused, 67 + 70 - WebServer::kConnections);
    for (int fd : many) ::close(fd);
    ::close(extra);

    trickler.join();
    EXPECT_TRUE(trickleClosed);
    EXPECT_GE(trickleSeconds, WebServer::kRequestSeconds - 0.5);
    EXPECT_LE(trickleSeconds, WebServer::kRequestSeconds + 1.5);
    // The idle ones close at the idle deadline, counted from their connection.
    std::this_thread::sleep_for(std::chrono::milliseconds(WebServer::kIdleSeconds * 1000 - 5000));
    int idleClosed = 0;
    for (int fd : idle) {
        closed = false;
        readAll(fd, 500, &closed);
        idleClosed += closed;
        ::close(fd);
    }
    EXPECT_EQ(idleClosed, 50);
}

// Bound to 0.0.0.0 (talked to on 127.0.0.1 only): the page and the WebSocket need the token, in any of its carriers.
TEST(WebServer, TokenGuardsThePageAndTheSocket) {
    Served s("0.0.0.0");
    const int port = s.web.port();
    const std::string t = s.web.token();
    ASSERT_TRUE(s.web.tokenRequired());
    EXPECT_EQ(t.size(), 32u);
    EXPECT_NE(s.web.pageUrl().find(":" + std::to_string(port) + "/ui?token=" + t), std::string::npos);
    // The address's QR code: square (two rows a line), light quiet zone all round, dark modules inside.
    const std::string qr = TerminalQr::draw(s.web.pageUrl()), block = "\u2588";
    const size_t width = qr.find('\n') / block.size(), lines = std::count(qr.begin(), qr.end(), '\n');
    EXPECT_EQ(lines, (width + 1) / 2);
    EXPECT_EQ(qr.substr(0, qr.find('\n')), [&] { std::string row; for (size_t i = 0; i < width; ++i) row += block; return row; }());
    EXPECT_NE(qr.find(' '), std::string::npos);
    EXPECT_GE(width, 21u + 2 * TerminalQr::kQuietZone);
    const struct {
        std::string line, headers;
        int status;
    } cases[] = {
        {"GET /ui", "", 401},
        {"GET /ui?token=" + std::string(32, '0'), "", 401},
        {"GET /ui?token=" + t, "", 200},
        {"GET /ui", "Authorization: Bearer " + t + "\r\n", 200},
        {"GET /ui", "Authorization: Bearer x" + t + "\r\n", 401},
        {"GET /ui/index.html", "Cookie: a=b; strata_token=" + t + "\r\n", 200},
        {"GET /?HOST_INFO", "", 200},  // reading the namespace needs no token
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line + " " + c.headers);
        const std::string answer = ask(port, c.line, c.headers);
        EXPECT_EQ(status(answer), c.status);
        EXPECT_EQ(answer.find("Access-Control-Allow-Origin"), std::string::npos);
        EXPECT_EQ(answer.find("Set-Cookie: strata_token=" + t + "; HttpOnly; SameSite=Strict; Path=/") != std::string::npos,
                  c.line.find("?token=" + t) != std::string::npos);
        EXPECT_TRUE(c.line != "GET /?HOST_INFO" || answer.find("\"OSC_IP\":\"127.0.0.1\"") != std::string::npos);
    }
    EXPECT_EQ(Socket().open(port), 401);
    EXPECT_EQ(Socket().open(port, "Authorization", "Bearer " + t.substr(1) + "0"), 401);
    const std::string own = "http://127.0.0.1:" + std::to_string(port);
    Socket evil, good;
    evil.ws.set_option(websocket::stream_base::decorator([&](websocket::request_type& r) {
        r.set("Authorization", "Bearer " + t);
        r.set("Origin", "http://evil.example");
    }));
    EXPECT_EQ(evil.open(port), 403);
    good.ws.set_option(websocket::stream_base::decorator([&](websocket::request_type& r) {
        r.set("Cookie", "strata_token=" + t);
        r.set("Origin", own);
    }));
    EXPECT_EQ(good.open(port), 101);
}

// LISTEN sends the value at once and again when it changes; IGNORE stops it; OSC packets reach the command queue; bad
// commands are counted; a message over 64 KiB closes the socket.
TEST(WebServer, SocketListensAndWrites) {
    Served s;
    Socket c;
    ASSERT_EQ(c.open(s.web.port()), 101);
    ControlSnapshot snap;
    snap.layers[0].opacity = 0.25f;
    s.box.store(snap);
    ASSERT_FALSE(c.text(R"({"COMMAND":"LISTEN","DATA":"/strata/layer/1/opacity"})"));
    EXPECT_EQ(c.next(), std::make_pair(std::string("/strata/layer/1/opacity"), 0.25));
    snap.layers[0].opacity = 0.75f;
    s.box.store(snap);
    EXPECT_EQ(c.next(), std::make_pair(std::string("/strata/layer/1/opacity"), 0.75));
    for (const char* bad : {"{", R"({"COMMAND":"LISTEN","DATA":"/strata/nothing"})", R"({"COMMAND":"SHOUT","DATA":"/"})", "[1]"})
        ASSERT_FALSE(c.text(bad));
    ASSERT_FALSE(c.text(R"({"COMMAND":"IGNORE","DATA":"/strata/layer/1/opacity"})"));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    snap.layers[0].opacity = 0.5f;
    s.box.store(snap);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // six ticks: the opacity would have been sent
    ASSERT_FALSE(c.text(R"({"COMMAND":"LISTEN","DATA":"/strata/select"})"));
    EXPECT_EQ(c.next().first, "/strata/select");
    EXPECT_EQ(s.web.ignoredCommands(), 4u);

    ASSERT_FALSE(c.binary(oscControl(0, 21, 100)));
    int fetched = 0;
    for (int i = 0; i < 100 && fetched == 0; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
        fetched = s.queue.fetch();
    ASSERT_EQ(fetched, 1);
    EXPECT_EQ(s.queue.events[0].kind, OscCommand::Kind::Control);

    c.binary(std::vector<uint8_t>(WebServer::kMaxMessage + 1, 0));
    EXPECT_EQ(c.next().first, "");
    EXPECT_TRUE(c.text(R"({"COMMAND":"LISTEN","DATA":"/strata/layer/1/opacity"})") || c.next().first.empty());
}

// A client that asks for values and does not read them: past 1 MiB unsent it is closed, not buffered further.
TEST(WebServer, SocketThatDoesNotReadIsClosed) {
    Served s;
    Socket c;
    auto& tcp = beast::get_lowest_layer(c.ws).socket();
    tcp.open(boost::asio::ip::tcp::v4());
    tcp.set_option(boost::asio::socket_base::receive_buffer_size(4096));
    ASSERT_EQ(c.open(s.web.port()), 101);
    const std::string listen = R"({"COMMAND":"LISTEN","DATA":"/strata/layer/1/opacity"})";
    const int asked = 2 * WebServer::kMaxSendQueue / 32;  // each answer is a 32-byte OSC message
    int sent = 0;
    std::function<void()> more = [&] {
        if (sent < asked) c.ws.async_write(boost::asio::buffer(listen), [&](beast::error_code ec, size_t) { ec ? void() : (++sent, more()); });
    };
    c.ws.text(true);
    more();
    c.io.restart();
    const auto start = Clock::now();
    c.io.run_for(std::chrono::seconds(20));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(15));
    // The server hung up (without the cap it would hold the answers and wait for the reader).
    pollfd wait{tcp.native_handle(), POLLRDHUP, 0};
    ASSERT_EQ(::poll(&wait, 1, 5000), 1);
    EXPECT_TRUE(wait.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

}  // namespace
