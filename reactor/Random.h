#pragma once
#include <cstdint>

// The one process-wide random generator of the reactors. A 32-bit state
// starting at 1: state = state * 214013 + 2531011 (mod 2^32), and the result
// is (state >> 16) & 32767, so every run draws the same sequence.
int qelRand();

// For tests and benchmarks that need a known starting point.
uint32_t qelRandState();
void qelSetRandState(uint32_t state);
