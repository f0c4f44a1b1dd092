#pragma once

class PinEditor;

// Where the letterboxed picture sits on the window, in window pixels with y
// down from the top edge (as the mouse reports it).
struct PinBox {
    int x = 0, top = 0, width = 0, height = 0;
    // A window point in the corner pin's units and back.
    double unitX(int px) const { return width > 0 ? (px - x) / static_cast<double>(width) : 0.0; }
    double unitY(int py) const { return height > 0 ? (py - top) / static_cast<double>(height) : 0.0; }
};

// Mapping mode over the presented window: the outline through the four
// corners, a handle at each (the selected one filled), and the status line
// at the top. Draws on the window's back buffer and leaves the state as it
// was; the virtual screen is never touched.
void paintPinOverlay(const PinEditor& editor, const PinBox& box, int windowWidth, int windowHeight,
                     const char* status);
