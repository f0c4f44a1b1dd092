// The metaball polygoniser: time of one polygonise of fifty balls, and the
// quality of the mesh it gives, reported as counters of each benchmark:
//   triangles, vertices, cubes, seeds   the mesh
//   sums_per_vertex                     field sums spent on placing a vertex
//                                       and its normal (shown when the
//                                       polygoniser counts them)
//   dist_mean, dist_max                 distance from the vertices to the
//                                       surface F = 0, in cubes
//   normal_max_deg                      largest angle between a vertex normal
//                                       and the field's gradient there
// (measured as tests/support/MetaballAccuracy.h says).
//
// bench/run-polygoniser-ab.sh times two builds of this benchmark side by side.
#include <benchmark/benchmark.h>

#include "MetaballAccuracy.h"
#include "reactors/MetaballPolygoniser.h"

namespace {

// Field sums per vertex, from a polygoniser that counts them (the same
// benchmark source also builds against one that does not).
template <class P>
void reportSums(benchmark::State& state, const P& poly) {
    if constexpr (requires { poly.vertexFieldSums(); }) {
        if (poly.vertexCount() > 0)
            state.counters["sums_per_vertex"] = static_cast<double>(poly.vertexFieldSums()) / poly.vertexCount();
    }
}

void polygonise(benchmark::State& state, double scale) {
    MetaballPolygoniser poly;
    setFiftyBalls(poly, scale);
    poly.update();
    for (auto _ : state) {
        poly.update();
        benchmark::DoNotOptimize(poly.vertices());
    }
    state.counters["triangles"] = poly.triangleCount();
    state.counters["vertices"] = poly.vertexCount();
    state.counters["cubes"] = poly.cubeCount();
    state.counters["seeds"] = poly.seedCount();
    reportSums(state, poly);
    const MetaballAccuracy a = measureMetaballAccuracy(poly);
    state.counters["dist_mean"] = a.meanDistance;
    state.counters["dist_max"] = a.maxDistance;
    state.counters["normal_max_deg"] = a.maxNormalDegrees;
}

void BM_PolygoniseSpread(benchmark::State& state) { polygonise(state, 3.0); }
void BM_PolygoniseCluster(benchmark::State& state) { polygonise(state, 0.6); }
BENCHMARK(BM_PolygoniseSpread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PolygoniseCluster)->Unit(benchmark::kMillisecond);

}  // namespace
