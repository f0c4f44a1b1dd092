#pragma once
#include <cstddef>

// Where the picture goes: the monitors of the X screen (XRandR) and the
// swap interval of the window's context.

struct MonitorArea {
    int x = 0, y = 0, width = 0, height = 0;
    char name[64] = {};
};

// The monitor named by an XRandR output name (case ignored, as
// `xrandr --listmonitors` prints it: HDMI-1, DP-2, ...) or by its index in
// that list. False when there is no such monitor; list then receives the
// monitors there are, for the message.
bool findMonitor(const char* nameOrIndex, MonitorArea& area, char* list, size_t listSize);

// True when a window manager that understands full-screen requests runs
// (EWMH); without one, freeglut's full screen covers the whole X screen.
bool windowManagerRuns();

// Asks the driver of the current GLX context to wait for the display's
// refresh at each swap (interval 1) or not (0). False where the driver
// offers no swap control.
bool requestSwapInterval(int interval);
