#pragma once
#include <cstdint>

// A well-mixed 32-bit integer hash: the same input always gives the same
// bits, whatever ran before (deterministic noise and random steps).
inline uint32_t mixBits(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}
