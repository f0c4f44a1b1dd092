#pragma once
#include <benchmark/benchmark.h>

class ControlTable;
class Reactor;

// Shared set-up of the drawing benchmarks: the headless GL context, one
// controller table (channel kBenchChannel, 16 ms frames) and a frame loop.

constexpr int kBenchChannel = 0;

// Context, fresh GL state and the test texture bound; false (and the
// benchmark skipped) when no context can be had.
bool prepareDrawing(benchmark::State& state);
ControlTable& benchTable();
void setControl(int n, float value);  // float value of controller n
void centreControls();                // every controller of the channel at 0
// One raised-cell frame per iteration.
void runFrames(benchmark::State& state, Reactor& reactor);
