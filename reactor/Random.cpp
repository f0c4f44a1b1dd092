#include "reactor/Random.h"

namespace {
uint32_t gState = 1;
}

int qelRand() {
    gState = gState * 214013u + 2531011u;
    return static_cast<int>((gState >> 16) & 32767u);
}

uint32_t qelRandState() { return gState; }
void qelSetRandState(uint32_t state) { gState = state; }
