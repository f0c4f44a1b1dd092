#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class ControlSnapshotBox;

// The instrument's web server: HTTP and WebSocket on one TCP port (the OSC
// port), served by one thread that runs an event loop over every connection,
// so slow or idle clients cannot starve the others.
//
// HTTP: the OSCQuery namespace as JSON at / and every OSC path, the control
// surface's built-in files at /ui. WebSocket (any path): OSCQuery's LISTEN
// and IGNORE commands as text, the listened values sent back as binary OSC
// messages when they change, and binary OSC packets from the client handed
// to the same decoder as UDP OSC.
//
// Safe by default: bound to a loopback address everything is open to the
// machine itself; bound to any other address the page, the WebSocket and so
// every write need the access token. The Host header must name this server
// (against DNS rebinding), a WebSocket from a page of another origin is
// refused, and every request and connection is bounded by the limits below.
class WebServer {
public:
    static constexpr size_t kMaxHeader = 8192;            // request header bytes; more: 431
    static constexpr size_t kMaxTarget = 512;             // request target; longer: 414
    static constexpr size_t kMaxBody = 1024;              // request body; larger: 413
    static constexpr int kRequestSeconds = 5;             // one whole request, from its first byte
    static constexpr int kIdleSeconds = 10;               // waiting for a request's first byte
    static constexpr int kConnectionsPerAddress = 16;     // from one client address
    static constexpr int kConnections = 128;              // in all
    static constexpr size_t kMaxMessage = 64 * 1024;      // one WebSocket message; larger: closed
    static constexpr size_t kMaxSendQueue = 1024 * 1024;  // unsent bytes to one client; more: closed
    static constexpr size_t kMaxListens = 256;            // listened paths per WebSocket
    static constexpr int kSocketSendBuffer = 128 * 1024;  // the kernel's share of a client's unsent bytes
    static constexpr int kTicksPerSecond = 60;            // listened values are compared this often
    static constexpr const char* kThreadName = "strata-web";  // as top -H and /proc show it

    // Receives each binary WebSocket message (an OSC packet), on the
    // server's thread.
    using PacketSink = std::function<void(const void* data, size_t size)>;

    WebServer(const ControlSnapshotBox& state, std::vector<std::string> moduleNames, int oscPort, PacketSink packets);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Binds TCP host:port (an IPv4 address; port 0: any free port) and
    // starts the thread. token: the access token when one is needed (empty:
    // a random one of 32 hex digits). False with error set when the port
    // cannot be bound.
    bool start(const std::string& host, int port, const std::string& token, std::string& error);
    // Closes every connection and ends the thread; nothing is left running.
    void stop();

    int port() const;
    bool tokenRequired() const;
    const std::string& token() const;
    // http://<host>:<port>/ui?token=<token>, with the machine's first
    // non-loopback IPv4 address for a server bound to 0.0.0.0.
    std::string pageUrl() const;
    // When a token is needed: the page's address and its QR code on out.
    void printAccess(FILE* out) const;
    // WebSocket commands ignored (bad JSON, unknown command or path, too
    // many listened paths) since the start.
    uint64_t ignoredCommands() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
