// Frame cost of the two model reactors in the headless GL context (Mesa's
// software renderer). Each frame iteration is one whole cell frame (view,
// clear, lights, layer, update, draw) finished with glFinish.
//
// The ripple obj viewer's frame holds a wait for the renderer: the slice is
// read back from the frame buffer in the middle of the frame. Its parts are
// timed on their own too: the slice pass (clear, clipped model, read-back)
// and the bare read-back of 78 x 58 floats.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "PictureSupport.h"
#include "app/ControlTable.h"
#include "app/FrameSteps.h"
#include "reactor/MatrixModeKeeper.h"
#include "reactors/DrawModel.h"
#include "reactors/RippleObjViewer.h"
#include "reactors/qelObjReactor.h"
#include "resources/ModelGene.h"
#include "resources/ObjModel.h"
#include "support/GlTestContext.h"
#include "BenchSupport.h"

namespace {

std::string stageModel(const char* name) { return std::string(STRATA_SOURCE_DIR) + "/stage/mdls/" + name; }

// The loader's ripple obj viewer: no model, so no read-back.
void BM_RippleObjViewerFrameNoModel(benchmark::State& state) {
    if (!prepareDrawing(state)) return;
    centreControls();
    RippleObjViewer viewer(nullptr);
    runFrames(state, viewer);
}
BENCHMARK(BM_RippleObjViewerFrameNoModel)->Unit(benchmark::kMicrosecond)->UseRealTime();

// With the torus knot (4186 triangles) turning under the trackball.
void BM_RippleObjViewerFrame(benchmark::State& state) {
    if (!prepareDrawing(state)) return;
    centreControls();
    setControl(21, 0.3f);  // turning texture planes
    RippleObjViewer viewer(stageModel("torusknot.obj").c_str());
    viewer.setControls(&benchTable());
    viewer.setChannel(kBenchChannel);
    int k = 0;
    for (auto _ : state) {
        setControl(17, (k % 20) * 0.02f);
        ++k;
        renderReactorFrames(viewer, 1);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RippleObjViewerFrame)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The slice pass alone (clear, clipped model in 80 x 60, read-back), under
// the frame's view, finished with glFinish.
void BM_RippleObjViewerSlicePass(benchmark::State& state) {
    if (!prepareDrawing(state)) return;
    centreControls();
    RippleObjViewer viewer(stageModel("torusknot.obj").c_str());
    viewer.setControls(&benchTable());
    viewer.setChannel(kBenchChannel);
    MatrixModeKeeper keeper;
    viewer.setMatrixKeeper(&keeper);
    viewer.update();
    for (auto _ : state) {
        pushFrameView(keeper);
        viewer.slicePass();
        popFrameView(keeper);
        glFinish();
    }
    viewer.setMatrixKeeper(nullptr);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RippleObjViewerSlicePass)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The bare read-back of the 78 x 58 red floats, the renderer idle.
void BM_SliceReadBack(benchmark::State& state) {
    if (!prepareDrawing(state)) return;
    std::vector<float> slice(78 * 58);
    glFinish();
    for (auto _ : state) {
        glReadPixels(0, 0, 78, 58, GL_RED, GL_FLOAT, slice.data());
        benchmark::DoNotOptimize(slice.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SliceReadBack)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The Obj viewer with the geodesic sphere (5120 triangles), turning.
void BM_ObjViewerFrame(benchmark::State& state) {
    if (!prepareDrawing(state)) return;
    centreControls();
    static ModelGene set((std::string(STRATA_SOURCE_DIR) + "/stage/mdls").c_str());
    setControl(17, -0.9f);  // the first model: geosphere
    setControl(26, 0.5f);
    qelObjReactor viewer;
    viewer.setModelSet(&set);
    runFrames(state, viewer);
}
BENCHMARK(BM_ObjViewerFrame)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

namespace {

// drawModel's own cost: the geodesic sphere (5120 triangles) into a 16 x 12
// viewport, so that vertex submission and transformation dominate.
void BM_DrawModelVertices(benchmark::State& state) {
    if (!prepareDrawing(state)) return;
    ObjModel model(stageModel("geosphere.obj").c_str());
    MatrixModeKeeper keeper;
    glViewport(0, 0, 16, 12);
    pushFrameView(keeper);
    for (auto _ : state) {
        drawModel(&model);
        glFinish();
    }
    popFrameView(keeper);
    glViewport(0, 0, 640, 480);
    state.SetItemsProcessed(state.iterations() * model.cornerLength() / 9);
}
BENCHMARK(BM_DrawModelVertices)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
