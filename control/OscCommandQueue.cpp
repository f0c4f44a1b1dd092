#include "control/OscCommandQueue.h"

#include <algorithm>

#include "platform/LatencyLog.h"

void OscCommandQueue::push(const OscCommand& cmd) {
    if (bundleDepth_ > 0) {
        if (stagedCount_ < kCapacity)
            staged_[stagedCount_++] = cmd;
        else
            ++stagedDropped_;
        return;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (queueCount_ < kCapacity)
        queue_[queueCount_++] = cmd;
    else
        dropped_.fetch_add(1, std::memory_order_relaxed);
}

void OscCommandQueue::beginBundle() { ++bundleDepth_; }

void OscCommandQueue::endBundle() {
    if (bundleDepth_ == 0) return;
    if (--bundleDepth_ > 0) return;
    bool fits = stagedDropped_ == 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        fits = fits && queueCount_ + stagedCount_ <= kCapacity;
        if (fits) {
            std::copy(staged_, staged_ + stagedCount_, queue_ + queueCount_);
            queueCount_ += stagedCount_;
        }
    }
    if (!fits) dropped_.fetch_add(stagedCount_ + stagedDropped_, std::memory_order_relaxed);
    stagedCount_ = 0;
    stagedDropped_ = 0;
}

int OscCommandQueue::fetch() {
    // The frame never waits for a network thread: when one is adding to the
    // queue right now, its commands (and any before them) wait for the next
    // frame, in order.
    std::unique_lock<std::mutex> guard(lock_, std::try_to_lock);
    if (!guard.owns_lock()) {
        eventCount = 0;
        return 0;
    }
    std::copy(queue_, queue_ + queueCount_, events);
    eventCount = queueCount_;
    queueCount_ = 0;
    latency::fetched(LatencyInput::Osc);
    return eventCount;
}

void OscCommandQueue::takeCounts(uint64_t& dropped, uint64_t& bad) {
    dropped = dropped_.exchange(0, std::memory_order_relaxed);
    bad = bad_.exchange(0, std::memory_order_relaxed);
}

void OscCommandQueue::takeBudgetCounts(uint64_t& overBudget, uint64_t& merged) {
    overBudget = overBudget_.exchange(0, std::memory_order_relaxed);
    merged = merged_.exchange(0, std::memory_order_relaxed);
}
