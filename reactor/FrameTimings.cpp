#include "reactor/FrameTimings.h"

namespace FrameTimings {
namespace {
bool gEnabled = false;
Totals gTotals;
}  // namespace

void setEnabled(bool on) { gEnabled = on; }
bool enabled() { return gEnabled; }
Totals totals() { return gTotals; }
void reset() { gTotals = Totals{}; }

void addCellFrame(Clock::duration update, Clock::duration draw) {
    gTotals.updateNanos += std::chrono::duration_cast<std::chrono::nanoseconds>(update).count();
    gTotals.drawNanos += std::chrono::duration_cast<std::chrono::nanoseconds>(draw).count();
    ++gTotals.cellFrames;
}
}  // namespace FrameTimings
