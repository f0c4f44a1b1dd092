#pragma once
#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "control/OscServer.h"
#include "platform/ByteRing.h"
#include "show/ShowLines.h"

class qelUnivCell;

// The leading side of several machines: every input the frames apply, as
// the show recorder writes it (show/ShowLines), goes to up to eight
// followers over OSC (follow/FollowWire.h) so that their tables stay equal
// to this one. The frame thread only formats into a fixed ring (no
// allocation, no waiting, no send); a sender thread of its own sends. The
// followers announce themselves to the OSC server; only its thread changes
// the list (take), the sender reads it. A follower silent for
// kSilentMillis is no longer sent to, and its place is free. The frame
// time and the sound (its blocks, level and routes) stay each machine's
// own and are not sent.
class FollowLeader final : public ShowLineObserver, public OscPacketTap {
public:
    static constexpr int kMaxFollowers = 8;
    static constexpr int64_t kSilentMillis = 5000;
    static constexpr size_t kRing = 4u << 20;
    static constexpr int64_t kTableMillis = 1000;  // the least time between two tables for one follower

    explicit FollowLeader(qelUnivCell& universe);
    ~FollowLeader() override;  // stops
    FollowLeader(const FollowLeader&) = delete;
    FollowLeader& operator=(const FollowLeader&) = delete;

    // The sending socket and thread; false with error set when there are none.
    bool start(std::string& error);
    void stop();

    // The OSC server's thread: hello and resync from followers.
    bool take(const char* data, size_t size, const sockaddr_in* from) override;
    bool takeAt(const char* data, size_t size, const sockaddr_in& from, int64_t nowMillis);
    // The followers heard from within kSilentMillis of nowMillis.
    int followersAt(int64_t nowMillis) const;

    // The sender thread's work, also for tests: sends what the ring holds
    // to the followers alive at nowMillis; the messages sent.
    int sendPending(int64_t nowMillis);
    // Every message sent goes through here (tests watch them).
    void (*sent)(const uint8_t* message, size_t size, const sockaddr_in& to, void* context) = nullptr;
    void* sentContext = nullptr;

    // What the frames applied (the frame thread): the recorder's lines
    // (show/ShowLines.h) but the sound routes', and the scenes with their text.
    void routedWrite(int, int, float) override {}
    void sceneRecalled(const char* path, int fadeMillis, const std::string& text) override;
    void frameFinished() override;

    uint32_t nextSequence() const { return sequence_; }

private:
    enum Kind : uint8_t { kLineRecord, kSceneRecord, kTableRecord };
    struct Slot {
        std::atomic<uint64_t> endpoint{0};  // address << 16 | port; 0: free
        std::atomic<int64_t> lastSeen{0};
        std::atomic<bool> wantsTable{false};
        int64_t tableAsked = -1000000;  // the server thread's: a table at most once a second
    };
    bool active() const { return anyone_.load(std::memory_order_relaxed); }
    void takeLine(const char* line, int length) override;
    void pushRecord(Kind kind, const void* a, size_t aSize, const void* b = nullptr, size_t bSize = 0,
                    const void* c = nullptr, size_t cSize = 0);
    void pushTable();
    void wake();
    void run();
    int send(const uint8_t* message, size_t size, int64_t nowMillis, bool tableOnly);

    qelUnivCell& universe_;
    ByteRing ring_{kRing};
    std::unique_ptr<uint8_t[]> record_;  // the sender's copy of one record
    Slot slots_[kMaxFollowers];
    std::atomic<bool> anyone_{false};       // a follower is alive (the sender says)
    std::atomic<bool> tableWanted_{false};  // a follower asked for the whole table
    uint64_t refused_ = 0;                  // the server thread's: the last follower refused
    bool tableSending_[kMaxFollowers] = {};  // the sender's: who gets the table being sent
    uint32_t sequence_ = 1;                 // the next event's number (frame thread)
    int32_t run_;                           // drawn at the start: tells a leader started again
    bool pushed_ = false;
    int socket_ = -1, wakeFd_ = -1;
    std::atomic<bool> running_{false};
    std::thread sender_;
    int alive_ = 0;  // the sender's last count, for its lines
};
