#pragma once
#include <chrono>
#include <cstdint>

// Optional timing of the cells' work, for the frame benchmark. While enabled,
// every cell frame adds the time its reactor spent in update and in draw
// (help page included) to two running totals. Costs one flag test per cell
// when disabled; never allocates.
namespace FrameTimings {
using Clock = std::chrono::steady_clock;

struct Totals {
    int64_t updateNanos = 0;
    int64_t drawNanos = 0;
    int64_t cellFrames = 0;  // cell frames timed
};

void setEnabled(bool on);
bool enabled();
// The totals since the last reset.
Totals totals();
void reset();
// Called by the cell.
void addCellFrame(Clock::duration update, Clock::duration draw);
}  // namespace FrameTimings
