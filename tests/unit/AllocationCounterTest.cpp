#include <gtest/gtest.h>

#include <new>
#include <thread>
#include <vector>

#include "support/AllocationCounter.h"

namespace {
struct alignas(64) Wide {
    float lanes[16];
};
}  // namespace

TEST(AllocationCounter, CountsEveryFormOfNewOnTheCountingThreadOnly) {
    {
        CountAllocations count;
        // Hand-written new and delete on purpose: every form of the operator
        // must be counted. Volatile pointers: the compiler may not elide these pairs.
        int* volatile one = new int(1);
        int* volatile many = new int[10];
        int* volatile quiet = new (std::nothrow) int(2);
        Wide* volatile wide = new Wide();
        Wide* volatile wides = new Wide[3];
        delete one;
        delete[] many;
        delete quiet;
        delete wide;
        delete[] wides;
        EXPECT_EQ(count.count(), 5);
    }
    // Another thread's allocations (a driver's) are not ours.
    auto countThread = [](auto body) {
        CountAllocations count;
        std::thread(body).join();
        return count.count();
    };
    EXPECT_EQ(countThread([] { std::vector<int> v(1000, 1); }), countThread([] {}));
    // Outside a counting window nothing is counted.
    allocation_counter::start();
    allocation_counter::stop();
    std::vector<int> after(100, 3);
    EXPECT_EQ(allocation_counter::count(), 0);
}
