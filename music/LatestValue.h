#pragma once
#include <atomic>

// The newest of a series of values handed from one writing thread to one
// reading thread without either waiting: three slots, one the writer fills,
// one the reader holds and one in between that the two swap with theirs.
// The reader always gets a whole value, the newest published by then.
template <class T>
class LatestValue {
public:
    // Writer: makes value the newest.
    void publish(const T& value) {
        slots_[back_] = value;
        back_ = middle_.exchange(back_ | kFresh, std::memory_order_acq_rel) & kSlot;
    }
    // Reader: the newest value published (a default T before the first).
    const T& read() {
        if (middle_.load(std::memory_order_relaxed) & kFresh)
            front_ = middle_.exchange(front_, std::memory_order_acq_rel) & kSlot;
        return slots_[front_];
    }

private:
    static constexpr int kFresh = 4;
    static constexpr int kSlot = 3;
    T slots_[3]{};
    int back_ = 0;                 // the writer's
    std::atomic<int> middle_{1};   // the one in between, with kFresh once published
    int front_ = 2;                // the reader's
};
