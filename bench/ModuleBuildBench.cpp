// What a module change costs: the frame in which a cell builds a new reactor
// (loader index 0..11) against that reactor's steady frame, in the headless
// GL context (Mesa's software renderer).
//   BM_ModuleBuildFrame/i   the old reactor is gone (untimed); timed: the
//                           cell builds reactor i and runs its first frame,
//                           finished with glFinish
//   BM_ModuleSteadyFrame/i  one frame of reactor i after a few warm-up frames
//   BM_ModuleFirstBuild/i/w the first module change of a fresh process (run
//                           alone, one process each: the script's --first):
//                           one frame without a reactor (the frame's own
//                           state), then with w the start-up warm-up of all
//                           twelve modules (app/ModuleWarmup), then the timed
//                           build and first frame of reactor i; counters
//                           first_ms, later_ms (the same change once more)
//                           and warmup_ms
// The time is the CPU time of the benchmark's thread, which other programs
// on the machine do not inflate. Run with LP_NUM_THREADS=0 (as
// bench/run-module-builds.sh does) so that Mesa rasterises on that thread
// too and the time is the frame's whole work.
// Both read the benchmark controller table (every controller at 0) and a
// sine on both sound channels. The loader's and the reactors' console lines
// go to /dev/null while a benchmark runs. bench/run-module-builds.sh prints
// the two side by side.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "BenchSupport.h"
#include "PictureSupport.h"
#include "app/ModuleWarmup.h"
#include "input/WaveInput.h"
#include "platform/QuietStdout.h"
#include "reactor/MatrixModeKeeper.h"
#include "reactor/Reactor.h"
#include "reactor/qelCell.h"
#include "support/GlTestContext.h"

namespace {

constexpr int kNoReactor = 8;  // the loader builds nothing for this index

// Nanosecond CPU time of the calling thread (getrusage counts in scheduler
// ticks on some kernels, too coarse for a frame).
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1.0e-9 * static_cast<double>(t.tv_nsec);
}

WaveInput& benchWave() {
    static WaveInput wave;
    static const bool filled = [] {
        for (int j = 0; j < 256; ++j) {
            const float t = static_cast<float>(j) / 256.0f * 6.2831853f;
            wave.current->bytes[2 * j] = static_cast<uint8_t>(128.0f + 30.0f * std::sin(4.0f * t));
            wave.current->bytes[2 * j + 1] = static_cast<uint8_t>(128.0f + 30.0f * std::cos(3.0f * t));
        }
        return true;
    }();
    (void)filled;
    return wave;
}

// A cell on the benchmark channel, fed by the benchmark controller table and
// sound, with the console quiet; the reactor of `index` in it unless asked
// for none.
class BenchCell {
public:
    BenchCell(int index, bool build) {
        cell.setIndex(kBenchChannel);
        cell.setMatrixKeeper(&keeper);
        cell.setControls(&benchTable());
        cell.setWave(&benchWave());
        if (build) cell.setReactor(index, nullptr);
    }

    // One frame of the cell's reactor, as a raised cell of the universe runs
    // it, finished with glFinish.
    void frame() {
        Reactor* reactor = cell.reactor();
        if (!reactor) {
            glFinish();
            return;
        }
        reactor->setControls(&benchTable());
        reactor->setWave(&benchWave());
        renderReactorFrames(*reactor, 1);
    }

    QuietStdout quiet;
    MatrixModeKeeper keeper;
    qelCell cell;
};

void BM_ModuleBuildFrame(benchmark::State& state) {
    if (!prepareDrawing(state)) return;
    centreControls();
    const int index = static_cast<int>(state.range(0));
    BenchCell bench(index, false);
    for (auto _ : state) {
        bench.cell.setReactor(kNoReactor, nullptr);  // the old reactor goes first, untimed
        glFinish();
        const double start = threadSeconds();
        bench.cell.setReactor(index, nullptr);
        bench.frame();
        state.SetIterationTime(threadSeconds() - start);
    }
}
BENCHMARK(BM_ModuleBuildFrame)->DenseRange(0, 11)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ModuleSteadyFrame(benchmark::State& state) {
    if (!prepareDrawing(state)) return;
    centreControls();
    BenchCell bench(static_cast<int>(state.range(0)), true);
    for (int warm = 0; warm < 3; ++warm) bench.frame();
    for (auto _ : state) {
        const double start = threadSeconds();
        bench.frame();
        state.SetIterationTime(threadSeconds() - start);
    }
}
BENCHMARK(BM_ModuleSteadyFrame)->DenseRange(0, 11)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ModuleFirstBuild(benchmark::State& state) {
    if (!prepareDrawing(state)) return;
    centreControls();
    const int index = static_cast<int>(state.range(0));
    BenchCell bench(index, false);
    Reactor nothing;
    nothing.setControls(&benchTable());
    renderReactorFrames(nothing, 1);
    double first = 0.0, later = 0.0, warmup = 0.0;
    const auto timedBuild = [&] {
        const double start = threadSeconds();
        bench.cell.setReactor(index, nullptr);
        bench.frame();
        return threadSeconds() - start;
    };
    for (auto _ : state) {
        if (state.range(1)) {
            WarmupSources sources;
            sources.modules = 12;
            sources.controls = &benchTable();
            sources.wave = &benchWave();
            sources.channel = kBenchChannel;
            sources.imageWidth = sources.imageHeight = 64;  // the size of the bound test texture
            const double start = threadSeconds();
            warmUpModules(sources);
            warmup = threadSeconds() - start;
            bindTestTexture();
        }
        first = timedBuild();
        bench.cell.setReactor(kNoReactor, nullptr);
        glFinish();
        later = timedBuild();
        state.SetIterationTime(first);
    }
    state.counters["first_ms"] = first * 1e3;
    state.counters["later_ms"] = later * 1e3;
    state.counters["warmup_ms"] = warmup * 1e3;
}
BENCHMARK(BM_ModuleFirstBuild)->ArgsProduct({benchmark::CreateDenseRange(0, 11, 1), {0, 1}})->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
