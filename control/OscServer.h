#pragma once
#include <netinet/in.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

class OscCommandQueue;

// The OSC input: a UDP socket bound to one address, read by its own thread.
// Each packet (a message or a bundle, bundles nested at most 8 deep) is
// decoded with liblo, validated into OscCommand records and queued; the
// frame applies them. /strata/list is answered at once to its sender with
// every address.
class OscServer {
public:
    explicit OscServer(OscCommandQueue& queue);
    ~OscServer();
    OscServer(const OscServer&) = delete;
    OscServer& operator=(const OscServer&) = delete;

    // Binds host:port (port 0: any free port) and starts the thread. False
    // with error set when the socket cannot be bound.
    bool start(const std::string& host, int port, std::string& error);
    void stop();
    int port() const { return port_; }

    // Decodes and queues one packet; `from` (may be null) gets replies.
    // Public for tests and the fuzzer: the thread calls nothing else.
    void handlePacket(const void* data, size_t size, const sockaddr_in* from);

    // Every address the server understands, with <n> for the layer number.
    static const std::vector<std::string>& addresses();

private:
    void run();
    void handleElement(const char* data, size_t size, const sockaddr_in* from, int depth);
    void handleMessage(const char* data, size_t size, const sockaddr_in* from);
    void replyList(const sockaddr_in& to);

    OscCommandQueue& queue_;
    int socket_ = -1;
    int port_ = 0;
    std::atomic<bool> running_{false};
    std::thread thread_;
};
