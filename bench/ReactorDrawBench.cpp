// Frame cost of the Sound Scape, Cloud, Tunnel and Torus Tunnel reactors in
// the headless GL context (Mesa's software renderer): each iteration is one
// whole cell frame (view, clear, lights, layer, update, draw) finished with
// glFinish, so the rasterising counts. BM_EmptyFrame is the frame without a
// reactor, to subtract.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "app/ControlTable.h"
#include "input/WaveInput.h"
#include "reactor/Reactor.h"
#include "reactors/Cloud.h"
#include "reactors/SoundScape.h"
#include "reactors/TorusTunnel.h"
#include "reactors/Tunnel.h"
#include "PictureSupport.h"
#include "support/GlTestContext.h"
#include "BenchSupport.h"

namespace {

void BM_EmptyFrame(benchmark::State& state) {
    if (!prepareDrawing(state)) return;
    centreControls();
    Reactor nothing;
    runFrames(state, nothing);
}
BENCHMARK(BM_EmptyFrame)->Unit(benchmark::kMicrosecond)->UseRealTime();

// 256 lit cubes; a sine on both channels.
void BM_SoundScapeFrame(benchmark::State& state) {
    if (!prepareDrawing(state)) return;
    centreControls();
    setControl(27, 0.3f);
    WaveInput wave;
    for (int j = 0; j < 256; ++j) {
        const float t = static_cast<float>(j) / 256.0f * 6.2831853f;
        wave.current->bytes[2 * j] = static_cast<uint8_t>(128.0f + 30.0f * std::sin(4.0f * t));
        wave.current->bytes[2 * j + 1] = static_cast<uint8_t>(128.0f + 30.0f * std::cos(3.0f * t));
    }
    SoundScape scape("QQQ");
    scape.setWave(&wave);
    runFrames(state, scape);
}
BENCHMARK(BM_SoundScapeFrame)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Six full-screen translucent textured planes with texture generation.
void BM_CloudFrame(benchmark::State& state) {
    if (!prepareDrawing(state)) return;
    centreControls();
    setControl(17, 0.5f);
    setControl(86, 1.0f);
    setControl(31, 0.4f);
    Cloud cloud;
    runFrames(state, cloud);
}
BENCHMARK(BM_CloudFrame)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Argument: controller 22 x 100 (-100 strips, -25 fans, 50 floor and ceiling).
void BM_TunnelFrame(benchmark::State& state) {
    if (!prepareDrawing(state)) return;
    centreControls();
    setControl(22, static_cast<float>(state.range(0)) / 100.0f);
    setControl(28, 0.3f);
    setControl(24, 0.1f);
    Tunnel tunnel;
    runFrames(state, tunnel);
}
BENCHMARK(BM_TunnelFrame)->Arg(-100)->Arg(-25)->Arg(50)->Unit(benchmark::kMicrosecond)->UseRealTime();

// 19 strips of 72 vertices filling the screen.
void BM_TorusTunnelFrame(benchmark::State& state) {
    if (!prepareDrawing(state)) return;
    centreControls();
    setControl(19, 0.3f);
    setControl(83, 0.2f);
    setControl(24, 0.1f);
    TorusTunnel torus(1000.0f, 2.5f, 20, 36);
    runFrames(state, torus);
}
BENCHMARK(BM_TorusTunnelFrame)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
