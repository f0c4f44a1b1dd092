#pragma once

// Counts heap allocations made through the global operator new (every form)
// on the calling thread while counting is switched on. The test binary's
// operator new and delete are replaced for this; outside a counting window
// they behave as the standard ones and count nothing, so the rest of the
// suite is unaffected.
namespace allocation_counter {

void start();   // reset the count and count on this thread
long stop();    // stop counting; returns the count
long count();   // the count so far

}  // namespace allocation_counter

// Counts the allocations of one scope.
class CountAllocations {
public:
    CountAllocations() { allocation_counter::start(); }
    ~CountAllocations() { allocation_counter::stop(); }
    CountAllocations(const CountAllocations&) = delete;
    CountAllocations& operator=(const CountAllocations&) = delete;
    long count() const { return allocation_counter::count(); }
};
