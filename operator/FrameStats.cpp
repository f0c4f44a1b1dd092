#include "operator/FrameStats.h"

void FrameStats::addFrame(double millis) {
    if (!(millis >= 0.0)) millis = 0.0;
    elapsed_ += millis;
    ++frames_;
    if (millis > slowestNow_) slowestNow_ = millis;
    if (elapsed_ < 1000.0) return;
    fps_ = frames_ * 1000.0 / elapsed_;
    mean_ = elapsed_ / frames_;
    slowest_ = slowestNow_;
    published_ = true;
    elapsed_ = 0.0;
    frames_ = 0;
    slowestNow_ = 0.0;
}
