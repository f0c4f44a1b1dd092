#pragma once

// Counts heap allocations made through operator new (every form) on the
// calling thread while counting is on. Outside a counting window the
// replaced operators behave as the standard ones.
namespace allocation_counter {
void start();  // reset the count and count on this thread
long stop();   // stop counting; returns the count
long count();
}  // namespace allocation_counter

class CountAllocations {
public:
    CountAllocations() { allocation_counter::start(); }
    ~CountAllocations() { allocation_counter::stop(); }
    CountAllocations(const CountAllocations&) = delete;
    CountAllocations& operator=(const CountAllocations&) = delete;
    long count() const { return allocation_counter::count(); }
};
