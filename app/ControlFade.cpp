#include "app/ControlFade.h"

#include <cmath>
#include <cstring>

#include "app/ControlTable.h"

ControlFade::ControlFade()
    : fromBytes_(std::make_unique<uint8_t[]>(ControlTable::kEntries)),
      fromFloats_(std::make_unique<float[]>(ControlTable::kEntries)),
      toBytes_(std::make_unique<uint8_t[]>(ControlTable::kEntries)),
      toFloats_(std::make_unique<float[]>(ControlTable::kEntries)) {}

ControlFade::~ControlFade() = default;

bool ControlFade::frameOwned(int index) {
    return index == ControlTable::indexOf(15, 0, 0) || index == ControlTable::indexOf(15, 0, 1);
}

void ControlFade::start(ControlTable& table, const uint8_t* bytes, const float* floats, int fadeMillis) {
    std::memcpy(toBytes_.get(), bytes, ControlTable::kEntries);
    std::memcpy(toFloats_.get(), floats, ControlTable::kEntries * sizeof(float));
    if (fadeMillis <= 0) {
        running_ = false;
        for (int i = 0; i < ControlTable::kEntries; ++i) {
            if (frameOwned(i)) continue;
            table.byteValue[i] = bytes[i];
            table.floatValue[i] = floats[i];
        }
        return;
    }
    std::memcpy(fromBytes_.get(), table.byteValue, sizeof table.byteValue);
    std::memcpy(fromFloats_.get(), table.floatValue, sizeof table.floatValue);
    running_ = true;
    fadeMillis_ = fadeMillis;
    elapsed_ = 0;
}

void ControlFade::step(ControlTable& table, int frameMillis) {
    if (!running_) return;
    if (frameMillis > 0) elapsed_ += frameMillis;
    const bool done = elapsed_ >= fadeMillis_;
    const float t = done ? 1.0f : static_cast<float>(elapsed_) / static_cast<float>(fadeMillis_);
    for (int i = 0; i < ControlTable::kEntries; ++i) {
        if (frameOwned(i)) continue;
        if (done) {
            table.floatValue[i] = toFloats_[i];
            table.byteValue[i] = toBytes_[i];
            continue;
        }
        table.floatValue[i] = fromFloats_[i] + (toFloats_[i] - fromFloats_[i]) * t;
        table.byteValue[i] =
            static_cast<uint8_t>(std::lround(fromBytes_[i] + (toBytes_[i] - fromBytes_[i]) * t));
    }
    if (done) running_ = false;
}
