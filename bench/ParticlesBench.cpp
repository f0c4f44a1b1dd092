#include <benchmark/benchmark.h>

#include "reactor/Random.h"
#include "reactors/MetaballPolygoniser.h"
#include "reactors/qelParticles.h"

namespace {

// One frame of the Particles1 fountain: 1280 particles flying, ageing and
// being reborn.
void BM_ParticlesUpdate1280(benchmark::State& state) {
    qelParticles gene(1280);
    gene.setSpeed(0.4f, 0.5f);
    gene.setSpread(0.1f, 0.1f);
    gene.setGravity(-0.3f);
    gene.setLife(0.0f, 0.5f);
    gene.update();
    for (auto _ : state) {
        gene.update();
        benchmark::DoNotOptimize(gene.particles);
    }
    state.SetItemsProcessed(state.iterations() * 1280);
}
BENCHMARK(BM_ParticlesUpdate1280);

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
}

void BM_PolygoniseSpread(benchmark::State& state) { polygonise(state, 3.0); }
void BM_PolygoniseCluster(benchmark::State& state) { polygonise(state, 0.6); }
BENCHMARK(BM_PolygoniseSpread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PolygoniseCluster)->Unit(benchmark::kMillisecond);

}  // namespace
