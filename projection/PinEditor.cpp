#include "projection/PinEditor.h"

void PinEditor::setPin(const CornerPin& pin) {
    if (!pin.valid()) return;
    pin_ = pin;
    ++changes_;
}

void PinEditor::setActive(bool on) {
    active_ = on;
    grabbed_ = false;
}

void PinEditor::select(int corner) {
    if (corner >= 0 && corner < 4) selected_ = corner;
}

void PinEditor::selectNext() { selected_ = (selected_ + 1) % 4; }

bool PinEditor::move(int corner, PinPoint to) {
    if (corner < 0 || corner >= 4) return false;
    CornerPin next = pin_;
    next.corners[corner] = to;
    if (!next.valid()) return false;
    if (next.corners[corner].x == pin_.corners[corner].x && next.corners[corner].y == pin_.corners[corner].y)
        return false;
    pin_ = next;
    ++changes_;
    return true;
}

bool PinEditor::nudge(int dx, int dy, int boxWidth, int boxHeight) {
    if (boxWidth <= 0 || boxHeight <= 0) return false;
    const PinPoint& c = pin_.corners[selected_];
    return move(selected_, {c.x + static_cast<double>(dx) / boxWidth, c.y + static_cast<double>(dy) / boxHeight});
}

bool PinEditor::reset() {
    if (pin_.isIdentity()) return false;
    pin_ = CornerPin{};
    ++changes_;
    return true;
}

bool PinEditor::setCorner(int corner, double x, double y) { return move(corner, {x, y}); }

void PinEditor::press(double x, double y) {
    double best = 0.0;
    for (int i = 0; i < 4; ++i) {
        const double dx = pin_.corners[i].x - x, dy = pin_.corners[i].y - y;
        const double d = dx * dx + dy * dy;
        if (i == 0 || d < best) best = d, selected_ = i;
    }
    grabOffset_ = {pin_.corners[selected_].x - x, pin_.corners[selected_].y - y};
    grabbed_ = true;
}

bool PinEditor::drag(double x, double y) {
    return grabbed_ && move(selected_, {x + grabOffset_.x, y + grabOffset_.y});
}
