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
// The distance is |F| / |grad F| at the vertex, both in double precision
// over every ball: the first-order distance, exact to far below the figures
// shown at these distances.
//
// bench/run-polygoniser-ab.sh times two builds of this benchmark side by side.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>

#include "reactor/Random.h"
#include "reactors/MetaballPolygoniser.h"

namespace {

// Fifty balls of strength 16 at 0.2 x a random point of the cube of half
// size `scale`, drawn from the process generator started fresh.
void setBalls(MetaballPolygoniser& poly, double scale) {
    qelSetRandState(1);
    poly.setBallCount(50);
    for (int b = 0; b < 50; ++b) {
        float p[3];
        for (float& v : p) v = static_cast<float>((qelRand() / 16386.0 - 1.0) * scale);
        poly.setBall(b, 0.2f * p[0], 0.2f * p[1], 0.2f * p[2], 16.0f);
    }
}

struct Accuracy {
    double meanDistance = 0.0;  // in cubes
    double maxDistance = 0.0;
    double maxNormalDegrees = 0.0;
};

Accuracy measureAccuracy(const MetaballPolygoniser& poly) {
    Accuracy a;
    const int n = poly.vertexCount();
    for (int v = 0; v < n; ++v) {
        const MetaballPolygoniser::Vertex& p = poly.vertices()[v];
        double f = 1.0, g[3] = {0.0, 0.0, 0.0};
        for (int b = 0; b < poly.ballCount; ++b) {
            const float* ball = poly.balls[b];
            if (!(ball[3] > 0.0f)) continue;
            const double d[3] = {p.x - ball[0], p.y - ball[1], p.z - ball[2]};
            const double d2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
            f -= 1.0 / (ball[3] * d2);
            for (int c = 0; c < 3; ++c) g[c] += 2.0 * d[c] / (ball[3] * d2 * d2);  // grad F, pointing out
        }
        const double length = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
        const double distance = std::fabs(f) / length / poly.cubeSize;
        a.meanDistance += distance;
        a.maxDistance = std::max(a.maxDistance, distance);
        const double nlen = std::sqrt(double(p.nx) * p.nx + double(p.ny) * p.ny + double(p.nz) * p.nz);
        const double cosine = (g[0] * p.nx + g[1] * p.ny + g[2] * p.nz) / (length * nlen);
        const double degrees = std::acos(std::clamp(cosine, -1.0, 1.0)) * 180.0 / 3.14159265358979323846;
        a.maxNormalDegrees = std::max(a.maxNormalDegrees, degrees);
    }
    if (n > 0) a.meanDistance /= n;
    return a;
}

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
    setBalls(poly, scale);
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
    const Accuracy a = measureAccuracy(poly);
    state.counters["dist_mean"] = a.meanDistance;
    state.counters["dist_max"] = a.maxDistance;
    state.counters["normal_max_deg"] = a.maxNormalDegrees;
}

void BM_PolygoniseSpread(benchmark::State& state) { polygonise(state, 3.0); }
void BM_PolygoniseCluster(benchmark::State& state) { polygonise(state, 0.6); }
BENCHMARK(BM_PolygoniseSpread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PolygoniseCluster)->Unit(benchmark::kMillisecond);

}  // namespace
