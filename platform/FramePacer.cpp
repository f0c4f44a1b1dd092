#include "platform/FramePacer.h"

#include <thread>

FramePacer::FramePacer(int fps) : fps_(fps > 0 ? fps : 0), periodMillis_(fps > 0 ? 1000.0 / fps : 0.0) {}

double FramePacer::plan(double& deadline, double now, double period) {
    double next = deadline + period;
    // More than a period behind (a slow frame, a pause): start again from now.
    if (next < now - period) next = now;
    deadline = next;
    return next > now ? next - now : 0.0;
}

void FramePacer::wait() {
    if (fps_ == 0) return;
    const Clock::time_point now = Clock::now();
    if (!started_) {
        started_ = true;
        origin_ = now;
        deadline_ = 0.0;
        return;
    }
    const double nowMillis = std::chrono::duration<double, std::milli>(now - origin_).count();
    const double waitMillis = plan(deadline_, nowMillis, periodMillis_);
    if (waitMillis > 0.0)
        std::this_thread::sleep_until(now + std::chrono::duration_cast<Clock::duration>(
                                                std::chrono::duration<double, std::milli>(waitMillis)));
}
