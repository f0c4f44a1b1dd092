#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "projection/Homography.h"

// Where the four corners of the finished picture go on the output. Corners
// are in units of the letterboxed picture on the window: x 0..1 from its
// left edge to its right, y 0..1 from its top edge to its bottom; values
// from -1 to 2 reach past it into the black bars and beyond the window.
// Order: top-left, top-right, bottom-right, bottom-left. The identity puts
// every corner where the letterbox has it (the picture is presented as
// without a mapping).
struct CornerPin {
    static constexpr double kLow = -1.0, kHigh = 2.0;
    PinPoint corners[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};

    bool isIdentity() const;
    // Every corner finite within kLow..kHigh and the four convex.
    bool valid() const;
    // The map of the picture's texture square (u right, v up, as the
    // virtual screen's texture lies) to OpenGL's window coordinates
    // -1..1 (y up) for a letterbox box at (x, y) of width by height
    // (GL's y from the bottom) in a window of the given size.
    bool windowMap(int boxX, int boxY, int boxWidth, int boxHeight, int windowWidth, int windowHeight,
                   Homography& out) const;
};

// The mapping file of the stage (output.map): one mapping per output, a
// line each, "<output name> x0 y0 x1 y1 x2 y2 x3 y3" (the corners as above;
// the name as StageOutput names the monitor, or "default" for the window
// without a chosen monitor); '#' starts a comment line.
struct PinTable {
    static constexpr const char* kFileName = "output.map";
    static constexpr size_t kMaxBytes = 16 * 1024;
    static constexpr int kMaxOutputs = 32;
    static constexpr size_t kNameSize = 64;
    struct Entry {
        char name[kNameSize] = {};
        CornerPin pin;
    };
    Entry entries[kMaxOutputs];
    int count = 0;

    // Reads the file's text; false with error set (one line's worth) for
    // anything it does not take: a line that is not a name and eight
    // numbers, a number that is not finite or out of range, a corner set
    // that is not convex, a name twice, too many lines.
    bool parse(std::string_view text, std::string& error);
    std::string format() const;
    // The mapping of an output, or null.
    const CornerPin* find(std::string_view output) const;
    // Puts (or replaces) the output's mapping; false when the table is full.
    bool put(std::string_view output, const CornerPin& pin);
};

// Reads path into table (empty when there is no file). A file that cannot
// be read or is refused gives one line on standard error and an empty table.
void loadPinTable(const char* path, PinTable& table);
