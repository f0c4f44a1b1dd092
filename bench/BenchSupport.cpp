#include "BenchSupport.h"

#include "PictureSupport.h"
#include "app/ControlTable.h"
#include "reactor/Reactor.h"
#include "support/GlTestContext.h"

bool prepareDrawing(benchmark::State& state) {
    if (!ensureGlContext()) {
        state.SkipWithError("no headless OpenGL context");
        return false;
    }
    resetGlState();
    bindTestTexture();
    return true;
}

ControlTable& benchTable() {
    static ControlTable controls = [] {
        ControlTable t;
        t.byteValue[ControlTable::indexOf(15, 0, 1)] = 16;  // frame milliseconds
        return t;
    }();
    return controls;
}

void setControl(int n, float value) { benchTable().floatValue[ControlTable::indexOf(kBenchChannel, 0, n)] = value; }

void centreControls() {
    for (int n = 0; n < ControlTable::kControllers; ++n) setControl(n, 0.0f);
}

void runFrames(benchmark::State& state, Reactor& reactor) {
    reactor.setControls(&benchTable());
    reactor.setChannel(kBenchChannel);
    for (auto _ : state) renderReactorFrames(reactor, 1);
    state.SetItemsProcessed(state.iterations());
}
