#include <benchmark/benchmark.h>

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

}  // namespace
