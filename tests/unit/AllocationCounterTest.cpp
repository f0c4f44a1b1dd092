#include <gtest/gtest.h>

#include <memory>
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
        int* volatile one = new int(1);
        int* volatile many = new int[10];
        int* volatile quiet = new (std::nothrow) int(2);
        Wide* volatile wide = new Wide();
        delete one;
        delete[] many;
        delete quiet;
        delete wide;
        EXPECT_EQ(count.count(), 4);
    }

    // Another thread's allocations (a driver's, a library's) are not ours:
    // starting a thread that allocates counts the same as one that does not.
    auto countThread = [](auto body) {
        CountAllocations count;
        std::thread other(body);
        other.join();
        return count.count();
    };
    const long idle = countThread([] {});
    const long busy = countThread([] {
        std::vector<int> v(1000, 1);
        auto p = std::make_unique<double>(2.0);
        (void)p;
    });
    EXPECT_EQ(busy, idle);

    // Outside a counting window nothing is counted.
    allocation_counter::start();
    allocation_counter::stop();
    std::vector<int> after(100, 3);
    EXPECT_EQ(allocation_counter::count(), 0);
}
