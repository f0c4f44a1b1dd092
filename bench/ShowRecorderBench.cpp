// The recorder's share of a live frame: the frame time, a sound block, two
// MIDI messages and a joystick reading written to the show script and the
// sound file (a frame at 60 fps has 16.7 ms; this must stay far below 0.1).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>

#include "GlTestContext.h"
#include "TempStage.h"
#include "app/qelUnivCell.h"
#include "show/SceneBank.h"
#include "show/ShowRecorder.h"

namespace {

void BM_RecordingFrame(benchmark::State& state) {
    if (!ensureGlContext()) {
        state.SkipWithError("no GL context");
        return;
    }
    TempStage stage("bench-recorder");
    stage.write("modules.db", "Waver\n");
    std::unique_ptr<qelUnivCell> universe;
    captureStdout([&] { universe = std::make_unique<qelUnivCell>(); });
    SceneBank scenes(*universe);
    ShowRecorder recorder("rec");
    std::string error;
    if (!recorder.start(scenes, true, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    uint8_t block[512];
    for (int i = 0; i < 512; ++i) block[i] = static_cast<uint8_t>(i * 7);
    uint32_t f = 0;
    for (auto _ : state) {
        ++f;
        recorder.frameStarted(static_cast<int>(15 + (f & 3)));
        recorder.blockCaptured(block);
        recorder.soundTaken(block, f);
        recorder.midiApplied(0xB0u | 20u << 8 | (f & 127u) << 16);
        recorder.midiApplied(0xB1u | 21u << 8 | (f & 127u) << 16);
        recorder.joystickApplied(f & 65535u, 65535u - (f & 65535u), f & 15u);
    }
    recorder.stop();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RecordingFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
