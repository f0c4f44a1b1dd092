#pragma once
#include <netinet/in.h>

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class OscCommandQueue;
struct OscArg;
struct OscCommand;

// Takes the messages of addresses no command uses (another machine's
// traffic: control/OscServer hands them over on its own thread, before the
// address table sees them). True when the message was taken.
class OscPacketTap {
public:
    virtual ~OscPacketTap() = default;
    virtual bool take(const char* data, size_t size, const sockaddr_in* from) = 0;
};

// The OSC input: a UDP socket bound to one address, read by its own thread.
// Each packet (a message or a bundle, bundles nested at most 8 deep) is
// decoded with liblo, validated into OscCommand records and queued; the
// frame applies them. /strata/list is answered at once to its sender with
// every address, at most once a second per sender and kRepliesPerSecond
// times a second in all (a bundle of many lists, or forged senders, cannot
// turn the server into an amplifier). Read-only addresses sent back by a
// surface that echoes the output are ignored without counting as bad. An
// address pattern (/strata/layer/*/opacity) applies to every address it
// matches.
class OscServer {
public:
    static constexpr int kRepliesPerSecond = 20;

    explicit OscServer(OscCommandQueue& queue);
    ~OscServer();
    OscServer(const OscServer&) = delete;
    OscServer& operator=(const OscServer&) = delete;

    // Binds host:port (port 0: any free port) and starts the thread. False
    // with error set when the socket cannot be bound.
    bool start(const std::string& host, int port, std::string& error);
    void stop();
    int port() const { return port_; }
    // The tap that sees every message first (null: none); it must outlive
    // the server or be taken away before it goes.
    void setTap(OscPacketTap* tap) { tap_.store(tap, std::memory_order_release); }

    // Decodes and queues one packet; `from` (may be null) gets replies.
    // Called by the UDP thread and the web server's (OSC over WebSocket):
    // one packet at a time, since a bundle is staged in the queue.
    void handlePacket(const void* data, size_t size, const sockaddr_in* from);

    // Every address of the table, the layers' numbered 1..11.
    static const std::vector<std::string>& addresses();

private:
    void run();
    void handleElement(const char* data, size_t size, const sockaddr_in* from, int depth);
    void handleMessage(const char* data, size_t size, const sockaddr_in* from);
    void handlePattern(const char* pattern, const OscArg* args, int argc, const sockaddr_in* from);
    // Queues a parsed command, or answers a list.
    void take(const OscCommand& cmd, const sockaddr_in* from);
    void replyList(const sockaddr_in& to);
    // True when a reply to `to` is within the bounds (network thread only).
    bool mayReply(const sockaddr_in& to);

    OscCommandQueue& queue_;
    std::mutex packetLock_;  // between the network threads only, never the frame
    int socket_ = -1;
    int port_ = 0;
    std::atomic<bool> running_{false};
    std::atomic<OscPacketTap*> tap_{nullptr};
    std::thread thread_;

    // The last senders answered, and the replies of the current second.
    struct Replied {
        uint32_t host = 0;
        uint16_t port = 0;
        int64_t at = -1000000;
    };
    static constexpr int kRepliedSenders = 16;
    Replied replied_[kRepliedSenders];
    int64_t replySecond_ = 0;
    int repliesThisSecond_ = 0;
};
