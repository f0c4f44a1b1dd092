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

// The benchmark scene (eleven raised cells, the heaviest reactors, wave-file
// sound) runs 100 frames after warm-up without a heap allocation.
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
            // Warm-up past the script's last event: every reactor built.
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

// Every form of new counts, on the counting thread only and inside the window.
TEST(AllocationCounter, CountsEveryFormOfNewOnTheCountingThreadOnly) {
    {
        CountAllocations count;
        // Volatile pointers: the compiler may not elide these pairs.
        int* volatile one = new int(1);
        int* volatile many = new int[10];
        int* volatile quiet = new (std::nothrow) int(2);
        Wide* volatile wide = new Wide();
        Wide* volatile wides = new Wide[3];
        delete one, delete[] many, delete quiet, delete wide, delete[] wides;
        EXPECT_EQ(count.count(), 5);
    }
    auto countThread = [](auto body) {
        CountAllocations count;
        std::thread(body).join();
        return count.count();
    };
    const long idle = countThread([] {});  // a driver thread's allocations are not ours
    EXPECT_EQ(countThread([] { std::vector<int> v(1000, 1); }), idle);
    std::vector<int> after(100, 3);  // outside a counting window
    EXPECT_EQ(allocation_counter::count(), idle);
}
