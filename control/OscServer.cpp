#include "control/OscServer.h"

#include <arpa/inet.h>
#include <lo/lo.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "control/OscAddresses.h"
#include "control/OscCommand.h"
#include "control/OscCommandQueue.h"
#include "platform/LatencyLog.h"

namespace {

// One argument value copied out of the packet, whatever its alignment.
template <class T>
T readArg(const char* raw) {
    T value;
    std::memcpy(&value, raw, sizeof value);
    return value;
}

constexpr int kMaxArgs = 8;
constexpr int kMaxBundleDepth = 8;
constexpr size_t kMaxPacket = 65536;

uint32_t bigEndian32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 | static_cast<uint32_t>(b[2]) << 8 |
           b[3];
}
}  // namespace

OscServer::OscServer(OscCommandQueue& queue) : queue_(queue) {}

OscServer::~OscServer() { stop(); }

const std::vector<std::string>& OscServer::addresses() {
    static const std::vector<std::string> list = [] {
        std::vector<std::string> paths;
        int count = 0;
        const OscAddress* rows = oscAddresses(count);
        char path[64];
        for (int i = 0; i < count; ++i)
            for (int layer = 0; layer < (rows[i].perLayer() ? kOscLayers : 1); ++layer)
                if (rows[i].fullPath(layer, path, sizeof path) > 0) paths.emplace_back(path);
        return paths;
    }();
    return list;
}

bool OscServer::start(const std::string& host, int port, std::string& error) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        error = "\"" + host + "\" is not an IPv4 address";
        return false;
    }
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = std::string("cannot listen on UDP ") + host + ":" + std::to_string(port) + " (" +
                std::strerror(errno) + ")";
        if (socket_ >= 0) ::close(socket_);
        socket_ = -1;
        return false;
    }
    socklen_t length = sizeof address;
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    running_ = true;
    thread_ = std::thread([this] { run(); });
    return true;
}

void OscServer::stop() {
    running_ = false;
    if (thread_.joinable()) thread_.join();
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
}

void OscServer::run() {
    std::vector<char> buffer(kMaxPacket);
    while (running_) {
        pollfd wait{socket_, POLLIN, 0};
        if (::poll(&wait, 1, 100) <= 0) continue;
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n =
            ::recvfrom(socket_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (n > 0) latency::arrived(LatencyInput::Osc);
        if (n > 0) handlePacket(buffer.data(), static_cast<size_t>(n), &from);
    }
}

void OscServer::handlePacket(const void* data, size_t size, const sockaddr_in* from) {
    std::lock_guard<std::mutex> guard(packetLock_);
    handleElement(static_cast<const char*>(data), size, from, 0);
}

void OscServer::handleElement(const char* data, size_t size, const sockaddr_in* from, int depth) {
    static const char kBundle[8] = {'#', 'b', 'u', 'n', 'd', 'l', 'e', '\0'};
    if (size >= 16 && std::memcmp(data, kBundle, 8) == 0) {
        if (depth >= kMaxBundleDepth) {
            queue_.countBad();
            return;
        }
        // A bundle: an 8-byte time tag (ignored: everything applies at the
        // next frame), then elements of a 4-byte big-endian size and content.
        queue_.beginBundle();
        size_t offset = 16;
        while (offset < size) {
            if (size - offset < 4) {
                queue_.countBad();
                break;
            }
            const uint32_t length = bigEndian32(data + offset);
            offset += 4;
            if (length == 0 || length % 4 != 0 || length > size - offset) {
                queue_.countBad();
                break;
            }
            handleElement(data + offset, length, from, depth + 1);
            offset += length;
        }
        queue_.endBundle();
        return;
    }
    handleMessage(data, size, from);
}

void OscServer::handleMessage(const char* data, size_t size, const sockaddr_in* from) {
    if (size < 4 || data[0] != '/' || size % 4 != 0 || size > kMaxPacket) {
        queue_.countBad();
        return;
    }
    const size_t pathLength = strnlen(data, size);
    if (pathLength == size) {
        queue_.countBad();
        return;
    }
    if (OscPacketTap* tap = tap_.load(std::memory_order_acquire); tap && tap->take(data, size, from)) return;
    // The output's read-only values coming back from an echoing surface.
    int layer = -1;
    const OscAddress* row = findOscAddress(data, layer);
    if (row && !(row->access & OscAddress::kWrite)) return;
    // liblo checks the type tags and the argument sizes against the packet.
    int result = 0;
    lo_message message = lo_message_deserialise(const_cast<char*>(data), size, &result);
    if (!message) {
        queue_.countBad();
        return;
    }
    const int argc = lo_message_get_argc(message);
    const char* types = lo_message_get_types(message);
    lo_arg** argv = lo_message_get_argv(message);
    OscArg args[kMaxArgs];
    bool ok = argc <= kMaxArgs && types;
    for (int i = 0; ok && i < argc; ++i) {
        OscArg& a = args[i];
        a.type = types[i];
        // liblo points into the packet, where an argument is aligned to 4
        // bytes only: the values are copied out rather than read through the
        // 8-byte aligned lo_arg union.
        const char* raw = reinterpret_cast<const char*>(argv[i]);
        switch (types[i]) {
            case 'i': a.i = readArg<int32_t>(raw); break;
            case 'h': a.i = readArg<int64_t>(raw); break;
            case 'c': a.i = static_cast<unsigned char>(readArg<char>(raw)); break;
            case 'f': a.f = readArg<float>(raw); break;
            case 'd': a.f = readArg<double>(raw); break;
            case 's':
            case 'S': a.s = raw; break;
            default: break;  // T, F and the rest carry nothing the parser reads
        }
    }
    if (ok && isOscPattern(data)) {
        handlePattern(data, args, argc, from);
        lo_message_free(message);
        return;
    }
    OscCommand cmd;
    ok = ok && parseOscCommand(data, args, argc, cmd);
    lo_message_free(message);
    if (!ok) {
        queue_.countBad();
        return;
    }
    take(cmd, from);
}

void OscServer::take(const OscCommand& cmd, const sockaddr_in* from) {
    if (cmd.kind == OscCommand::Kind::List) {
        if (from && mayReply(*from)) replyList(*from);
        return;
    }
    queue_.push(cmd);
}

// Each address the pattern matches (every one at most once) takes the
// arguments if it can; the commands enter the queue together, as a bundle's
// do. Bad: the pattern matches no address, or the writable ones it matches
// all refuse the arguments. Read-only matches (an echo) are passed over.
void OscServer::handlePattern(const char* pattern, const OscArg* args, int argc, const sockaddr_in* from) {
    int count = 0, matched = 0, writable = 0, taken = 0;
    const OscAddress* rows = oscAddresses(count);
    char path[64];
    queue_.beginBundle();
    for (int r = 0; r < count; ++r)
        for (int layer = 0; layer < (rows[r].perLayer() ? kOscLayers : 1); ++layer) {
            if (rows[r].fullPath(layer, path, sizeof path) <= 0 || !oscPatternMatches(pattern, path)) continue;
            ++matched;
            if (!(rows[r].access & OscAddress::kWrite)) continue;
            ++writable;
            OscCommand cmd;
            if (!parseOscCommand(path, args, argc, cmd)) continue;
            ++taken;
            take(cmd, from);
        }
    queue_.endBundle();
    if (taken == 0 && (writable > 0 || matched == 0)) queue_.countBad();
}

void OscServer::replyList(const sockaddr_in& to) {
    lo_message reply = lo_message_new();
    for (const std::string& address : addresses()) lo_message_add_string(reply, address.c_str());
    size_t size = 0;
    char listPath[32];
    oscAddressOf(OscCommand::Kind::List)->fullPath(0, listPath, sizeof listPath);
    void* bytes = lo_message_serialise(reply, listPath, nullptr, &size);
    if (bytes && socket_ >= 0)
        ::sendto(socket_, bytes, size, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    std::free(bytes);
    lo_message_free(reply);
}

bool OscServer::mayReply(const sockaddr_in& to) {
    using namespace std::chrono;
    const int64_t now = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    if (now - replySecond_ >= 1000) replySecond_ = now, repliesThisSecond_ = 0;
    Replied* slot = &replied_[0];
    for (Replied& r : replied_) {
        if (r.host == to.sin_addr.s_addr && r.port == to.sin_port) {
            slot = &r;
            break;
        }
        if (r.at < slot->at) slot = &r;  // else the sender answered longest ago makes room
    }
    const bool same = slot->host == to.sin_addr.s_addr && slot->port == to.sin_port;
    if ((same && now - slot->at < 1000) || repliesThisSecond_ >= kRepliesPerSecond) {
        queue_.countOverBudget();
        return false;
    }
    *slot = Replied{to.sin_addr.s_addr, to.sin_port, now};
    ++repliesThisSecond_;
    return true;
}
