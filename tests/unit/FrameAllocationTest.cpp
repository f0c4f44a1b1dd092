#include <gtest/gtest.h>

#include <new>
#include <string>
#include <thread>
#include <vector>

#include "AllocationCounter.h"
#include "GlTestContext.h"
#include "TempStage.h"
#include "app/qelUnivCell.h"
#include "operator/OperatorOverlay.h"
#include "reactor/qelCell.h"
#include "show/OfflineRenderer.h"
#include "show/ShowRecorder.h"
#include "show/ShowReplay.h"

// The benchmark scene (eleven raised cells, the heaviest reactors, wave-file sound),
// recorded and with the operator view: 100 frames after warm-up allocate nothing.
TEST(FrameAllocation, BenchmarkSceneAllocatesNothingPerFrame) {
    ASSERT_TRUE(ensureGlContext());
    resetGlState();
    TempStage tmp("allocation");
    RenderOptions options;
    options.directory = STRATA_SOURCE_DIR "/tests/golden/stage", options.frames = 140;
    options.scriptPath = STRATA_SOURCE_DIR "/bench/frame-benchmark.show";
    options.wavPath = STRATA_SOURCE_DIR "/tests/golden/sound.wav";
    testing::internal::CaptureStdout();
    long allocations = -1;
    int raised = 0;
    {
        OfflineRenderer renderer(options);
        ShowRecorder recorder((tmp.path() / "rec").string());
        std::string error;
        const bool ready = renderer.setUp(error) && recorder.start(renderer.replay().scenes(), true, error);
        if (ready) {
            while (renderer.framesRendered() < 40 && renderer.renderFrame()) {  // past the script's last event
            }
            for (int i = 0; i < renderer.universe()->cellCount; ++i) raised += renderer.universe()->cellLevel[i] > 10;
            renderer.universe()->observer = &recorder;
            OperatorOverlay overlay;
            overlay.update(OperatorOverlay::sample(*renderer.universe(), "no sequencer"), 16.0);
            allocation_counter::start();
            for (int i = 0; i < 100; ++i)
                renderer.renderFrame(), overlay.update(OperatorOverlay::sample(*renderer.universe(), "no sequencer"), 16.0);
            allocations = allocation_counter::stop();
            renderer.universe()->observer = nullptr;
        }
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(ready) << error;
        EXPECT_EQ(renderer.framesRendered(), 140);
        EXPECT_EQ(recorder.framesRecorded(), 100);
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
