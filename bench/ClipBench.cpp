#include <GL/gl.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "resources/ClipPlayer.h"
#include "resources/ImageGene.h"
#include "support/GlTestContext.h"
#include "support/SgiWriter.h"
#include "support/TempStage.h"

// Clips: the frame thread's cost of four layers playing 1280x720 H.264 clips
// scaled to 256x256, the decoder's CPU per clip, and the start-up of a set of
// 50 clips against one of 50 pictures. The clips are made with the ffmpeg
// program when the benchmark starts.

namespace {

namespace fs = std::filesystem;

// The loaders' console lines go to /dev/null for the scope.
class Quiet {
public:
    Quiet() {
        fflush(stdout);
        fflush(stderr);
        out_ = dup(1);
        err_ = dup(2);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        close(null);
    }
    ~Quiet() {
        fflush(stdout);
        fflush(stderr);
        dup2(out_, 1);
        dup2(err_, 2);
        close(out_);
        close(err_);
    }

private:
    int out_, err_;
};

// A ten-second 1280x720 H.264 clip at 30 frames a second (made once per run)
// and a 1280x720 PNG picture of the same pattern.
const std::string& media() {
    static const std::string dir = [] {
        const std::string d = (fs::temp_directory_path() / ("strata-clipbench-" + std::to_string(getpid()))).string();
        fs::create_directories(d);
        const std::string make = "ffmpeg -v error -y -f lavfi -i testsrc2=s=1280x720:r=30:d=10 -c:v libx264 -preset fast "
                                 "-g 60 -pix_fmt yuv420p " + d + "/clip.mp4 && ffmpeg -v error -y -f lavfi -i "
                                 "testsrc2=s=1280x720 -frames:v 1 " + d + "/picture.png";
        if (std::system(make.c_str()) != 0) return std::string();
        std::atexit([] { fs::remove_all(media()); });
        return d;
    }();
    return dir;
}

// Directory dir with a 256x256 .rgb image (the set's size) and n copies of
// the clip (or picture) named after `ending`.
std::string makeSet(const std::string& dir, int n, const char* ending, bool withRgb) {
    fs::create_directories(dir);
    if (withRgb) writeSolidSgi(dir + "/0.rgb", 256, 256, 0, 0, 0);
    const std::string source = media() + (std::string(ending) == ".mp4" ? "/clip.mp4" : "/picture.png");
    for (int i = 0; i < n; ++i) fs::copy_file(source, dir + "/" + std::to_string(100 + i) + ending);
    return dir;
}

double cpuSeconds(clockid_t clock = CLOCK_PROCESS_CPUTIME_ID) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// Four sets of one clip each, shown by four layers at 60 frames a second of
// real time: the time is the frame thread's CPU time in the selections
// (frame pick and glTexSubImage2D, finished); wall_ms their wall time with
// glFinish, select_wall_ms without it; uploads counts new frames per frame.
void BM_FourClipLayers720pTo256MainThread(benchmark::State& state) {
    if (media().empty() || !ensureGlContext()) {
        state.SkipWithError("needs the ffmpeg program and a GL context");
        return;
    }
    TempStage stage("clipbench");
    std::vector<std::unique_ptr<ImageGene>> genes;
    {
        Quiet quiet;
        for (int layer = 0; layer < 4; ++layer)
            genes.push_back(std::make_unique<ImageGene>(makeSet("imgs" + std::to_string(layer), 1, ".mp4", true).c_str()));
    }
    auto next = std::chrono::steady_clock::now();
    long frames = 0, uploadsBefore = 0;
    double wall = 0, selects = 0;
    for (auto& g : genes) g->selectIndex(1);  // opens the clips
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (auto& g : genes) uploadsBefore += g->texture->uploads;
    for (auto _ : state) {
        next += std::chrono::microseconds(16667);
        std::this_thread::sleep_until(next);
        const auto start = std::chrono::steady_clock::now();
        const double cpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        setClipFrameClock(17);
        for (auto& g : genes) g->selectIndex(1);
        selects += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        glFinish();
        state.SetIterationTime(cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpu);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++frames;
    }
    long uploads = -uploadsBefore;
    for (auto& g : genes) uploads += g->texture->uploads;
    state.counters["uploads_per_frame"] = static_cast<double>(uploads) / static_cast<double>(frames);
    state.counters["wall_ms"] = 1000 * wall / static_cast<double>(frames);
    state.counters["select_wall_ms"] = 1000 * selects / static_cast<double>(frames);
}
BENCHMARK(BM_FourClipLayers720pTo256MainThread)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(600);

// One clip decoded frame by frame (the frame thread waits for each): the
// process CPU time per clip frame, nearly all of it the decoder thread's.
void BM_ClipDecode720pTo256CpuPerFrame(benchmark::State& state) {
    if (media().empty()) {
        state.SkipWithError("needs the ffmpeg program");
        return;
    }
    ClipPlayer clip((media() + "/clip.mp4").c_str(), 256, 256);
    ClipPlayer::setExactFrames(true);
    bool changed = false;
    clip.frame(0, 0, &changed);
    for (auto _ : state) {
        const double before = cpuSeconds();
        setClipFrameClock(33);  // one clip frame at 30 a second (33.3 ms)
        clip.frame(0, 0, &changed);
        state.SetIterationTime(cpuSeconds() - before);
    }
    ClipPlayer::setExactFrames(false);
}
BENCHMARK(BM_ClipDecode720pTo256CpuPerFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(240);

// Start-up of a set: 50 clips (opened when first shown) against 50 PNG
// pictures of 1280x720, both at 256x256.
void BM_SetStartup50(benchmark::State& state) {
    if (media().empty() || !ensureGlContext()) {
        state.SkipWithError("needs the ffmpeg program and a GL context");
        return;
    }
    const bool clips = state.range(0) == 1;
    TempStage stage("clipbench");
    const std::string dir = makeSet("imgs", 50, clips ? ".mp4" : ".png", true);
    for (auto _ : state) {
        Quiet quiet;
        auto gene = std::make_unique<ImageGene>(dir.c_str());
        benchmark::DoNotOptimize(gene.get());
        state.PauseTiming();
        gene.reset();
        state.ResumeTiming();
    }
    state.SetLabel(clips ? "50 clips" : "50 pictures");
}
BENCHMARK(BM_SetStartup50)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
