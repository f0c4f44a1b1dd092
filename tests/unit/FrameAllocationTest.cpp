#include <gtest/gtest.h>

#include <new>
#include <string>
#include <thread>
#include <vector>

#include "AllocationCounter.h"
#include "GlTestContext.h"
#include "app/qelUnivCell.h"
#include "reactor/qelCell.h"
#include "show/OfflineRenderer.h"

// The benchmark scene (eleven raised cells with the heaviest reactor mix)
// with the wave-file sound input runs 100 frames after warm-up without a
// single heap allocation on the frame's thread: update, draw, sound, input
// events and the frame steps included.
TEST(FrameAllocation, BenchmarkSceneAllocatesNothingPerFrame) {
    ASSERT_TRUE(ensureGlContext());
    resetGlState();
    RenderOptions options;
    options.directory = STRATA_SOURCE_DIR "/tests/golden/stage";
    options.scriptPath = STRATA_SOURCE_DIR "/bench/frame-benchmark.show";
    options.wavPath = STRATA_SOURCE_DIR "/tests/golden/sound.wav";
    options.frames = 140;

    testing::internal::CaptureStdout();
    long allocations = -1;
    int raised = 0;
    {
        OfflineRenderer renderer(options);
        std::string error;
        const bool ready = renderer.setUp(error);
        if (ready) {
            // Warm-up past the script's last event, so every reactor is built
            // and every controller move has happened once.
            while (renderer.framesRendered() < 40 && renderer.renderFrame()) {
            }
            for (int i = 0; i < renderer.universe()->cellCount; ++i)
                if (renderer.universe()->cellLevel[i] > 10) ++raised;
            allocation_counter::start();
            for (int i = 0; i < 100; ++i) renderer.renderFrame();
            allocations = allocation_counter::stop();
        }
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(ready) << error;
        EXPECT_EQ(renderer.framesRendered(), 140);
    }
    EXPECT_EQ(raised, 11);
    EXPECT_EQ(allocations, 0);
}

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
