#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

#include "control/OscCommand.h"

// The bounded queue between the network threads (OSC over UDP and over the
// web server's WebSocket; OscServer lets one packet in at a time) and the frame. Every
// array is allocated with the queue; pushing and fetching never allocate.
//
// A full queue keeps the oldest commands and drops the new ones. The
// commands of a bundle are staged while it arrives and enter the queue
// together when its outermost bundle ends, so one fetch sees all of them or
// none: a bundle that does not fit whole is dropped whole.
class OscCommandQueue {
public:
    static constexpr int kCapacity = 4096;

    // Network thread.
    void push(const OscCommand& cmd);
    void beginBundle();
    void endBundle();
    void countBad() { bad_.fetch_add(1, std::memory_order_relaxed); }
    // Costly commands (and replies) refused by their budget, and costly
    // commands merged into a later one of the same effect (either thread).
    void countOverBudget() { overBudget_.fetch_add(1, std::memory_order_relaxed); }
    void countMerged() { merged_.fetch_add(1, std::memory_order_relaxed); }

    // Frame thread: moves everything queued into events; returns the count.
    // Never waits: while a network thread holds the queue, it fetches
    // nothing and the commands come with the next frame.
    int fetch();
    // The dropped and bad counts since the last call, and zeroes them.
    void takeCounts(uint64_t& dropped, uint64_t& bad);
    void takeBudgetCounts(uint64_t& overBudget, uint64_t& merged);

    OscCommand events[kCapacity];
    int eventCount = 0;

private:
    std::mutex lock_;
    OscCommand queue_[kCapacity];
    int queueCount_ = 0;

    // Only the network thread touches the staging area.
    OscCommand staged_[kCapacity];
    int stagedCount_ = 0;
    int bundleDepth_ = 0;
    uint64_t stagedDropped_ = 0;

    std::atomic<uint64_t> dropped_{0};
    std::atomic<uint64_t> bad_{0};
    std::atomic<uint64_t> overBudget_{0};
    std::atomic<uint64_t> merged_{0};
};
