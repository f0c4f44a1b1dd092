#include "surface/WebServer.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <pthread.h>

// Boost 1.74's asio uses std::exchange without including <utility>.
#include <utility>

#include <array>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "control/OscQueryTree.h"
#include "surface/SurfaceAssets.h"
#include "surface/TerminalQr.h"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using json = nlohmann::json;
using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

constexpr std::string_view kCookie = "strata_token";

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Takes as long whatever the first difference, so the answer's timing tells
// nothing of how much of a guessed token was right.
bool sameSecret(std::string_view given, std::string_view secret) {
    unsigned difference = given.size() != secret.size();
    for (size_t i = 0; i < secret.size(); ++i) difference |= static_cast<unsigned char>(secret[i]) ^
                                                             static_cast<unsigned char>(i < given.size() ? given[i] : 0);
    return difference == 0 && !secret.empty();
}

std::string randomToken() {
    std::random_device device;  // /dev/urandom or the processor's generator
    static const char kHex[] = "0123456789abcdef";
    std::string token;
    for (int i = 0; i < 8; ++i) {
        const uint32_t word = device();
        for (int j = 0; j < 8; j += 2) {
            const unsigned byte = (word >> (j * 4)) & 0xff;
            token += kHex[byte >> 4];
            token += kHex[byte & 15];
        }
    }
    return token.substr(0, 32);
}

// The machine's own IPv4 addresses, loopback ones included.
std::vector<std::string> ownAddresses() {
    std::vector<std::string> list;
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0) return list;
    for (ifaddrs* a = all; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN];
        if (inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof text))
            list.emplace_back(text);
    }
    freeifaddrs(all);
    return list;
}

void appendPadded(std::string& out, std::string_view text) {
    out.append(text);
    out += '\0';
    while (out.size() % 4) out += '\0';
}

void appendBig32(std::string& out, uint32_t v) {
    const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                           static_cast<char>(v)};
    out.append(bytes, 4);
}

// One OSC message of a node's VALUE, typed by its TYPE where it names a type
// this writer knows (else by the JSON value).
std::string oscMessageOf(const std::string& path, const json& node) {
    const json& value = node["VALUE"];
    const std::string types = node.contains("TYPE") && node["TYPE"].is_string() ? node["TYPE"].get<std::string>() : "";
    std::string tags = ",", args;
    for (size_t i = 0; i < value.size(); ++i) {
        const json& v = value[i];
        char tag = i < types.size() ? types[i] : 0;
        if (!std::strchr("ifs", tag) || !tag)
            tag = v.is_number_integer() ? 'i' : v.is_number() ? 'f' : v.is_boolean() ? (v.get<bool>() ? 'T' : 'F') : 's';
        if (tag == 'i' && v.is_number()) {
            appendBig32(args, static_cast<uint32_t>(v.get<int32_t>()));
        } else if (tag == 'f' && v.is_number()) {
            const float f = v.get<float>();
            uint32_t bits;
            std::memcpy(&bits, &f, 4);
            appendBig32(args, bits);
        } else if (tag == 's' && v.is_string()) {
            appendPadded(args, v.get<std::string>());
        } else if (tag != 'T' && tag != 'F') {
            continue;  // a value of another kind than its type: left out
        }
        tags += tag;
    }
    std::string out;
    appendPadded(out, path);
    appendPadded(out, tags);
    return out + args;
}

// Every node with a VALUE under node, as path -> its OSC message.
void collectValues(const json& node, std::unordered_map<std::string, std::string>& values) {
    if (!node.is_object()) return;
    const auto path = node.find("FULL_PATH");
    const auto value = node.find("VALUE");
    if (path != node.end() && path->is_string() && value != node.end() && value->is_array())
        values[path->get<std::string>()] = oscMessageOf(path->get<std::string>(), node);
    const auto contents = node.find("CONTENTS");
    if (contents != node.end() && contents->is_object())
        for (const auto& child : contents->items()) collectValues(child.value(), values);
}

// "host:port" or "[v6]:port" split; false when the port is missing or not a number.
bool splitHostPort(std::string_view text, std::string_view& host, int& port) {
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon + 1 >= text.size() || text.size() - colon > 6) return false;
    if (text.front() == '[' && text[colon - 1] != ']') return false;
    port = 0;
    for (char c : text.substr(colon + 1)) {
        if (c < '0' || c > '9') return false;
        port = port * 10 + (c - '0');
    }
    host = text.substr(0, colon);
    return true;
}

}  // namespace

struct WebServer::Impl {
    struct HttpSession;
    struct WsSession;

    Impl(const ControlSnapshotBox& state, std::vector<std::string> moduleNames, int oscPort, PacketSink sink)
        : tree(state, std::move(moduleNames), oscPort), packets(std::move(sink)) {}

    OscQueryTree tree;
    PacketSink packets;
    std::string host;  // the bound address
    int boundPort = 0;
    bool needToken = false;
    std::string secret;
    std::vector<std::string> own;  // the machine's addresses, when bound to 0.0.0.0
    std::atomic<uint64_t> ignored{0};

    std::unique_ptr<asio::io_context> io;
    std::optional<tcp::acceptor> acceptor;
    std::optional<asio::steady_timer> ticker, acceptPause;
    std::thread thread;

    // The open connections (server thread only).
    std::map<asio::ip::address, int> perAddress;
    int connections = 0;
    int64_t refusedSecond = 0;
    int refusedSince = 0;
    std::unordered_set<WsSession*> sockets;
    // The listened values of the last tick: path -> OSC message.
    std::unordered_map<std::string, std::string> values;
    std::string treeText;
    int64_t valuesTick = -1, tickCount = 0;

    // Counts a connection while it lives.
    struct Slot {
        Impl* server = nullptr;
        asio::ip::address address;
        Slot(Impl* s, asio::ip::address a) : server(s), address(a) {}
        Slot(Slot&& other) noexcept : server(other.server), address(other.address) { other.server = nullptr; }
        Slot(const Slot&) = delete;
        ~Slot() {
            if (!server) return;
            --server->connections;
            if (--server->perAddress[address] <= 0) server->perAddress.erase(address);
        }
    };

    void accept();
    void tick();
    void refreshValues();
    bool hostAllowed(const Request& request) const;
    bool sameOrigin(const Request& request) const;
    // The token a request carries (query, bearer or cookie) is right.
    bool authorised(const Request& request, std::string_view queryToken) const;
};

struct WebServer::Impl::WsSession : std::enable_shared_from_this<WsSession> {
    WsSession(Impl& s, beast::tcp_stream&& stream, Slot&& slot)
        : server(s), ws(std::move(stream)), slot(std::move(slot)) {
        server.sockets.insert(this);
    }
    ~WsSession() { server.sockets.erase(this); }

    void start(Request&& request) {
        upgrade = std::move(request);
        ws.read_message_max(kMaxMessage);
        websocket::stream_base::timeout timeouts{};
        timeouts.handshake_timeout = std::chrono::seconds(kRequestSeconds);
        timeouts.idle_timeout = std::chrono::seconds(30);
        timeouts.keep_alive_pings = true;
        beast::get_lowest_layer(ws).expires_never();
        ws.set_option(timeouts);
        ws.async_accept(upgrade, [self = shared_from_this()](beast::error_code ec) {
            if (!ec) self->read();
        });
    }

    void read() {
        buffer.clear();
        ws.async_read(buffer, [self = shared_from_this()](beast::error_code ec, size_t) { self->received(ec); });
    }

    void received(beast::error_code ec) {
        if (ec) return;  // closed, failed, or a message over the limit (Beast closes with "too big")
        const auto data = buffer.data();
        if (!ws.got_text()) {
            if (server.packets) server.packets(data.data(), data.size());
        } else {
            command(std::string_view(static_cast<const char*>(data.data()), data.size()));
        }
        read();
    }

    // {"COMMAND":"LISTEN"|"IGNORE","DATA":"/path"}
    void command(std::string_view text) {
        const json message = json::parse(text, nullptr, false);
        const json* verb = message.is_object() && message.contains("COMMAND") ? &message["COMMAND"] : nullptr;
        const json* path = message.is_object() && message.contains("DATA") ? &message["DATA"] : nullptr;
        if (!verb || !path || !verb->is_string() || !path->is_string()) {
            ++server.ignored;
            return;
        }
        const std::string name = path->get<std::string>();
        if (*verb == "IGNORE") {
            listens.erase(name);
            return;
        }
        if (*verb != "LISTEN") {
            ++server.ignored;
            return;
        }
        server.refreshValues();
        const auto value = server.values.find(name);
        if (value == server.values.end() || (listens.size() >= kMaxListens && !listens.count(name))) {
            ++server.ignored;
            return;
        }
        listens[name] = value->second;
        send(value->second);
    }

    void send(const std::string& message) {
        if (closing) return;
        if (queued + message.size() > kMaxSendQueue) {
            // A client that does not read: closed rather than buffered.
            closing = true;
            beast::get_lowest_layer(ws).socket().close();
            return;
        }
        queued += message.size();
        outbox.push_back(message);
        if (outbox.size() == 1) write();
    }

    void write() {
        ws.binary(true);
        ws.async_write(asio::buffer(outbox.front()), [self = shared_from_this()](beast::error_code ec, size_t) {
            if (ec) return;
            self->queued -= self->outbox.front().size();
            self->outbox.pop_front();
            if (!self->outbox.empty()) self->write();
        });
    }

    Impl& server;
    websocket::stream<beast::tcp_stream> ws;
    Slot slot;
    Request upgrade;
    beast::flat_buffer buffer{kMaxMessage + 1024};
    std::unordered_map<std::string, std::string> listens;  // path -> the last message sent
    std::deque<std::string> outbox;
    size_t queued = 0;
    bool closing = false;
};

struct WebServer::Impl::HttpSession : std::enable_shared_from_this<HttpSession> {
    HttpSession(Impl& s, tcp::socket&& socket, Slot&& slot)
        : server(s), stream(std::move(socket)), slot(std::move(slot)) {
        beast::error_code ec;
        const auto local = stream.socket().local_endpoint(ec);
        localHost = ec ? server.host : local.address().to_string();
    }

    // Waits (at most the idle time) for the first byte of a request; the
    // whole request then has its own deadline.
    void waitRequest() {
        if (buffer.size() > 0) return readHeader();
        stream.expires_after(std::chrono::seconds(kIdleSeconds));
        stream.async_read_some(buffer.prepare(1024), [self = shared_from_this()](beast::error_code ec, size_t n) {
            if (ec) return self->close();
            self->buffer.commit(n);
            self->readHeader();
        });
    }

    void readHeader() {
        stream.expires_after(std::chrono::seconds(kRequestSeconds));
        parser.emplace();
        parser->header_limit(kMaxHeader);
        parser->body_limit(kMaxBody);
        http::async_read_header(stream, buffer, *parser, [self = shared_from_this()](beast::error_code ec, size_t) {
            self->headerRead(ec);
        });
    }

    void headerRead(beast::error_code ec) {
        if (ec == http::error::header_limit) return refuse(431, "request header too large");
        if (ec == http::error::body_limit) return refuse(413, "request body too large");
        if (ec) return failed(ec);
        if (parser->get().target().size() > kMaxTarget) return refuse(414, "request target too long");
        const auto length = parser->content_length();
        if (length && *length > kMaxBody) return refuse(413, "request body too large");
        if (parser->is_done()) return handle();
        http::async_read(stream, buffer, *parser, [self = shared_from_this()](beast::error_code ec2, size_t) {
            if (ec2 == http::error::body_limit) return self->refuse(413, "request body too large");
            if (ec2) return self->failed(ec2);
            self->handle();
        });
    }

    // A request that broke off (timeout, the client went) closes; one that
    // is not HTTP gets a 400 first.
    void failed(beast::error_code ec) {
        if (ec == beast::error::timeout || ec == http::error::end_of_stream || ec == asio::error::eof ||
            ec == asio::error::connection_reset || ec == asio::error::operation_aborted)
            return close();
        refuse(400, "bad request");
    }

    void handle() {
        Request request = parser->release();
        const std::string_view target(request.target().data(), request.target().size());
        const size_t mark = target.find('?');
        const std::string path(target.substr(0, mark));
        // The query without the token parameter, which is ours alone.
        std::string query, queryToken;
        if (mark != std::string_view::npos) {
            std::string_view rest = target.substr(mark + 1);
            while (!rest.empty()) {
                const size_t amp = rest.find('&');
                const std::string_view part = rest.substr(0, amp);
                if (part.substr(0, 6) == "token=")
                    queryToken = part.substr(6);
                else if (!part.empty())
                    query += (query.empty() ? "" : "&") + std::string(part);
                rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
            }
        }
        if (!server.hostAllowed(request)) return answer(request, plain(request, 403, "unknown host"));
        if (websocket::is_upgrade(request)) {
            if (server.needToken && !server.authorised(request, queryToken))
                return answer(request, plain(request, 401, "token required"));
            if (!server.sameOrigin(request)) return answer(request, plain(request, 403, "foreign origin"));
            auto socket = std::make_shared<WsSession>(server, std::move(stream), std::move(slot));
            return socket->start(std::move(request));
        }
        const auto method = request.method();
        if (method == http::verb::options) {
            Response response{http::status::no_content, request.version()};
            response.set(http::field::allow, "GET, HEAD, OPTIONS");
            response.set(http::field::access_control_allow_methods, "GET, HEAD, OPTIONS");
            if (!server.needToken) response.set(http::field::access_control_allow_origin, "*");
            return answer(request, std::move(response));
        }
        if (method != http::verb::get && method != http::verb::head) {
            Response response = plain(request, 405, "method not allowed");
            response.set(http::field::allow, "GET, HEAD, OPTIONS");
            return answer(request, std::move(response));
        }
        if (path == "/ui" || path.rfind("/ui/", 0) == 0) return page(request, path, queryToken);
        int status = 200;
        Response response{static_cast<http::status>(200), request.version()};
        response.body() = server.tree.respond(path, query, localHost, status);
        response.result(status);
        response.set(http::field::content_type, "application/json");
        response.set(http::field::cache_control, "no-store");
        if (!server.needToken) response.set(http::field::access_control_allow_origin, "*");
        answer(request, std::move(response));
    }

    void page(const Request& request, const std::string& path, const std::string& queryToken) {
        if (server.needToken && !server.authorised(request, queryToken))
            return answer(request, plain(request, 401, "token required"));
        const std::string name = path == "/ui" || path == "/ui/" ? "index.html" : path.substr(4);
        const SurfaceAsset* asset = surfaceAsset(name);
        if (!asset) return answer(request, plain(request, 404, "not found"));
        Response response{http::status::ok, request.version()};
        response.body().assign(reinterpret_cast<const char*>(asset->bytes), asset->size);
        response.set(http::field::content_type, asset->contentType);
        response.set(http::field::cache_control, "no-cache");
        if (server.needToken && !queryToken.empty())
            response.set(http::field::set_cookie,
                         std::string(kCookie) + "=" + server.secret + "; HttpOnly; SameSite=Strict; Path=/");
        answer(request, std::move(response));
    }

    Response plain(const Request& request, int status, const char* text) {
        Response response{static_cast<http::status>(status), request.version()};
        response.body() = std::string(text) + "\n";
        response.set(http::field::content_type, "text/plain; charset=utf-8");
        response.set(http::field::cache_control, "no-store");
        return response;
    }

    // Sends the answer (without its body to HEAD) and waits for the next
    // request, or closes.
    void answer(const Request& request, Response&& response) {
        response.keep_alive(request.keep_alive());
        response.prepare_payload();
        if (request.method() == http::verb::head) response.body().clear();
        send(std::move(response));
    }

    // An answer that ends the connection (a limit broken): the rest of what
    // the client sends is read and dropped for a moment, so that closing
    // does not reset the connection before the answer is read.
    void refuse(int status, const char* text) {
        Response response{static_cast<http::status>(status), 11};
        response.body() = std::string(text) + "\n";
        response.set(http::field::content_type, "text/plain; charset=utf-8");
        response.set(http::field::cache_control, "no-store");
        response.keep_alive(false);
        response.prepare_payload();
        send(std::move(response));
    }

    void send(Response&& response) {
        out.emplace(std::move(response));
        stream.expires_after(std::chrono::seconds(kRequestSeconds));
        http::async_write(stream, *out, [self = shared_from_this()](beast::error_code ec, size_t) {
            const bool more = !ec && self->out->keep_alive();
            self->out.reset();
            if (ec) return self->close();
            if (more) return self->waitRequest();
            self->linger();
        });
    }

    void linger() {
        beast::error_code ec;
        stream.socket().shutdown(tcp::socket::shutdown_send, ec);
        stream.expires_after(std::chrono::seconds(1));
        drain();
    }

    void drain() {
        stream.async_read_some(asio::buffer(scratch), [self = shared_from_this()](beast::error_code ec, size_t n) {
            self->drained += n;
            if (ec || self->drained > 256 * 1024) return self->close();
            self->drain();
        });
    }

    void close() {
        beast::error_code ec;
        stream.socket().close(ec);
    }

    Impl& server;
    beast::tcp_stream stream;
    Slot slot;
    std::string localHost;
    beast::flat_buffer buffer{kMaxHeader + kMaxBody + 2048};
    std::optional<http::request_parser<http::string_body>> parser;
    std::optional<Response> out;
    std::array<char, 2048> scratch{};
    size_t drained = 0;
};

void WebServer::Impl::accept() {
    acceptor->async_accept([this](beast::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted) return;
        if (ec) {
            // Out of descriptors, say: wait a little rather than spin.
            acceptPause->expires_after(std::chrono::milliseconds(50));
            acceptPause->async_wait([this](beast::error_code e) {
                if (!e) accept();
            });
            return;
        }
        beast::error_code peerError;
        const auto peer = socket.remote_endpoint(peerError).address();
        if (peerError || connections >= kConnections || perAddress[peer] >= kConnectionsPerAddress) {
            if (!peerError && perAddress[peer] == 0) perAddress.erase(peer);
            socket.close(peerError);
            const int64_t second = std::chrono::duration_cast<std::chrono::seconds>(
                                       std::chrono::steady_clock::now().time_since_epoch())
                                       .count();
            ++refusedSince;
            if (second != refusedSecond) {
                std::fprintf(stderr, "OSC: web server: %d connection(s) refused, over %d from one address or %d in all\n",
                             refusedSince, kConnectionsPerAddress, kConnections);
                refusedSecond = second;
                refusedSince = 0;
            }
        } else {
            ++connections;
            ++perAddress[peer];
            // A fixed kernel buffer: what a stalled client leaves unsent
            // stays in our own bounded queue, not in the kernel's.
            socket.set_option(asio::socket_base::send_buffer_size(kSocketSendBuffer), peerError);
            auto session = std::make_shared<HttpSession>(*this, std::move(socket), Slot(this, peer));
            session->waitRequest();
        }
        accept();
    });
}

void WebServer::Impl::refreshValues() {
    if (valuesTick == tickCount) return;
    valuesTick = tickCount;
    // The whole tree once per tick rather than one answer per listened path
    // (each would build the whole tree again); parsed again only when its
    // text changed. With eight clients listening to every address the thread
    // takes about 3.5 % of a core (bench/WebServerBench.cpp).
    int status = 200;
    std::string text = tree.respond("/", "", host, status);
    if (text == treeText) return;
    treeText = std::move(text);
    values.clear();
    collectValues(json::parse(treeText, nullptr, false), values);
}

void WebServer::Impl::tick() {
    ++tickCount;
    bool listening = false;
    for (WsSession* s : sockets) listening = listening || !s->listens.empty();
    if (listening) {
        refreshValues();
        for (WsSession* s : sockets)
            for (auto& [path, last] : s->listens) {
                const auto now = values.find(path);
                if (now == values.end() || now->second == last) continue;
                last = now->second;
                s->send(last);
            }
    }
    ticker->expires_after(std::chrono::microseconds(1000000 / kTicksPerSecond));
    ticker->async_wait([this](beast::error_code ec) {
        if (!ec) tick();
    });
}

bool WebServer::Impl::hostAllowed(const Request& request) const {
    const auto field = request.find(http::field::host);
    if (field == request.end()) return false;
    std::string_view name;
    int port = 0;
    if (!splitHostPort(std::string_view(field->value().data(), field->value().size()), name, port) ||
        port != boundPort)
        return false;
    if (name == host || equalIgnoringCase(name, "localhost") || name == "[::1]") return true;
    in_addr address{};
    const std::string text(name);
    if (inet_pton(AF_INET, text.c_str(), &address) != 1) return false;
    if ((ntohl(address.s_addr) >> 24) == 127) return true;
    for (const std::string& own : this->own)
        if (own == text) return true;
    return false;
}

bool WebServer::Impl::sameOrigin(const Request& request) const {
    const auto origin = request.find(http::field::origin);
    if (origin == request.end()) return true;  // not a browser: nothing to forge
    const std::string_view text(origin->value().data(), origin->value().size());
    const size_t scheme = text.find("://");
    if (scheme == std::string_view::npos) return false;
    const auto host = request.find(http::field::host);
    return host != request.end() &&
           equalIgnoringCase(text.substr(scheme + 3), std::string_view(host->value().data(), host->value().size()));
}

bool WebServer::Impl::authorised(const Request& request, std::string_view queryToken) const {
    if (!queryToken.empty()) return sameSecret(queryToken, secret);
    const auto bearer = request.find(http::field::authorization);
    if (bearer != request.end()) {
        const std::string_view value(bearer->value().data(), bearer->value().size());
        return value.substr(0, 7) == "Bearer " && sameSecret(value.substr(7), secret);
    }
    for (auto cookie = request.find(http::field::cookie); cookie != request.end() && cookie->name() == http::field::cookie;
         ++cookie) {
        std::string_view rest(cookie->value().data(), cookie->value().size());
        while (!rest.empty()) {
            const size_t semi = rest.find(';');
            std::string_view part = rest.substr(0, semi);
            while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
            if (part.substr(0, kCookie.size() + 1) == std::string(kCookie) + "=")
                return sameSecret(part.substr(kCookie.size() + 1), secret);
            rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
        }
    }
    return false;
}

WebServer::WebServer(const ControlSnapshotBox& state, std::vector<std::string> moduleNames, int oscPort,
                     PacketSink packets)
    : impl_(std::make_unique<Impl>(state, std::move(moduleNames), oscPort, std::move(packets))) {}

WebServer::~WebServer() { stop(); }

bool WebServer::start(const std::string& host, int port, const std::string& token, std::string& error) {
    Impl& s = *impl_;
    beast::error_code ec;
    const auto address = asio::ip::make_address_v4(host, ec);
    if (ec) {
        error = "cannot listen for OSCQuery on TCP " + host + ":" + std::to_string(port) + " (not an IPv4 address)";
        return false;
    }
    s.io = std::make_unique<asio::io_context>(1);
    s.acceptor.emplace(*s.io);
    const tcp::endpoint endpoint(address, static_cast<uint16_t>(port));
    s.acceptor->open(endpoint.protocol(), ec);
    if (!ec) s.acceptor->set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) s.acceptor->bind(endpoint, ec);
    if (!ec) s.acceptor->listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        error = "cannot listen for OSCQuery on TCP " + host + ":" + std::to_string(port) + " (" + ec.message() + ")";
        s.acceptor.reset();
        s.io.reset();
        return false;
    }
    s.host = host;
    s.boundPort = s.acceptor->local_endpoint().port();
    s.needToken = !address.is_loopback();
    s.secret = token.empty() ? randomToken() : token;
    if (address.is_unspecified()) s.own = ownAddresses();
    s.ticker.emplace(*s.io);
    s.acceptPause.emplace(*s.io);
    s.accept();
    s.tick();
    s.thread = std::thread([&s] { s.io->run(); });
    pthread_setname_np(s.thread.native_handle(), kThreadName);
    return true;
}

void WebServer::stop() {
    Impl& s = *impl_;
    if (!s.io) return;
    s.io->stop();
    if (s.thread.joinable()) s.thread.join();
    // The connections end with the handlers that hold them, before the
    // loop, the acceptor and the timers they use.
    s.acceptor.reset();
    s.ticker.reset();
    s.acceptPause.reset();
    s.io.reset();
}

int WebServer::port() const { return impl_->boundPort; }
bool WebServer::tokenRequired() const { return impl_->needToken; }
const std::string& WebServer::token() const { return impl_->secret; }
uint64_t WebServer::ignoredCommands() const { return impl_->ignored.load(); }

std::string WebServer::pageUrl() const {
    std::string host = impl_->host;
    if (host == "0.0.0.0") {
        host = "127.0.0.1";
        for (const std::string& own : ownAddresses())
            if (own.rfind("127.", 0) != 0) {
                host = own;
                break;
            }
    }
    return "http://" + host + ":" + std::to_string(impl_->boundPort) + "/ui?token=" + impl_->secret;
}

void WebServer::printAccess(FILE* out) const {
    if (!impl_->needToken) return;
    const std::string url = pageUrl();
    std::fprintf(out, "OSC: the control surface (with its access token): %s\n%s", url.c_str(),
                 TerminalQr::draw(url).c_str());
}
