#pragma once
#include <cstdint>

#include "projection/CornerPin.h"

// The corner pin being edited: which corner is selected, the mouse's grab,
// and every change the keys, the mouse and OSC make. A change that would
// leave the corners out of range or not convex is refused (the mapping
// stays as it was), so the picture never folds over itself. Positions are
// in the letterbox's units (CornerPin); nudges in output pixels.
class PinEditor {
public:
    const CornerPin& pin() const { return pin_; }
    void setPin(const CornerPin& pin);

    // Mapping mode: handles and keys (the mapping itself applies either way).
    bool active() const { return active_; }
    void setActive(bool on);

    int selected() const { return selected_; }  // 0..3
    void select(int corner);
    void selectNext();

    // Moves the selected corner by whole output pixels (x right, y down) in
    // a letterbox of the given size.
    bool nudge(int dx, int dy, int boxWidth, int boxHeight);
    // Every corner back where the letterbox has it.
    bool reset();
    bool setCorner(int corner, double x, double y);
    // The mouse: press selects the corner nearest to it and grabs it there;
    // drag moves it with the mouse, keeping where it was grabbed; release
    // lets it go.
    void press(double x, double y);
    bool drag(double x, double y);
    void release() { grabbed_ = false; }

    // Rises with every change made.
    uint64_t changes() const { return changes_; }

private:
    bool move(int corner, PinPoint to);

    CornerPin pin_;
    bool active_ = false;
    int selected_ = 0;
    bool grabbed_ = false;
    PinPoint grabOffset_;
    uint64_t changes_ = 0;
};
