// One update of each water gene at the size its reactor uses.
#include <benchmark/benchmark.h>

#include "app/ControlTable.h"
#include "reactor/Random.h"
#include "reactors/GeodesicWaveGene.h"
#include "reactors/RippleGene.h"
#include "reactors/TorusRippleGene.h"
#include "reactors/Wave.h"
#include "reactors/qelFlo.h"

static void BM_RippleGeneUpdate120x80(benchmark::State& state) {
    RippleGene gene(120, 80);
    gene.dropXControl = 0;  // random rain: drops now and then
    qelSetRandState(1);
    for (auto _ : state) {
        gene.update();
        benchmark::DoNotOptimize(gene.vertices.data());
    }
}
BENCHMARK(BM_RippleGeneUpdate120x80);

static void BM_qelFloUpdate120x80(benchmark::State& state) {
    qelFlo flo(120, 80);
    flo.setMotion(0.5f, 0.05f);
    for (auto _ : state) {
        flo.update();
        benchmark::DoNotOptimize(flo.displacement.data());
    }
}
BENCHMARK(BM_qelFloUpdate120x80);

static void BM_WaveUpdate120x90(benchmark::State& state) {
    ControlTable table;
    Wave wave;
    wave.setControls(&table);
    table.setByte(0, 0, 17, 70);
    for (auto _ : state) {
        wave.update();
        benchmark::DoNotOptimize(wave.vertices.data());
    }
}
BENCHMARK(BM_WaveUpdate120x90);

static void BM_GeodesicWaveUpdate2562(benchmark::State& state) {
    GeodesicWaveGene gene;
    qelSetRandState(1);
    for (auto _ : state) {
        gene.update();
        benchmark::DoNotOptimize(gene.heights.data());
    }
}
BENCHMARK(BM_GeodesicWaveUpdate2562);

static void BM_TorusRippleUpdate108x36(benchmark::State& state) {
    TorusRippleGene gene;
    qelSetRandState(1);
    for (auto _ : state) {
        gene.update();
        benchmark::DoNotOptimize(gene.heights.data());
    }
}
BENCHMARK(BM_TorusRippleUpdate108x36);
