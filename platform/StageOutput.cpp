#include "platform/StageOutput.h"

#include <GL/glx.h>
#include <GL/glxext.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <strings.h>

#include <cstdio>

#include "platform/Numbers.h"
#include "platform/TextLines.h"

bool findMonitor(const char* nameOrIndex, MonitorArea& area, char* list, size_t listSize) {
    if (listSize > 0) list[0] = '\0';
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    int count = 0;
    int eventBase = 0, errorBase = 0;
    XRRMonitorInfo* monitors = nullptr;
    if (XRRQueryExtension(display, &eventBase, &errorBase))
        monitors = XRRGetMonitors(display, DefaultRootWindow(display), True, &count);
    int wantedIndex = -1;
    const bool byIndex = parseWholeNumber(nameOrIndex, 0, 1000, wantedIndex);
    bool found = false;
    size_t used = 0;
    for (int i = 0; i < count; ++i) {
        char* name = XGetAtomName(display, monitors[i].name);
        const char* shown = name ? name : "?";
        if (!found && ((byIndex && i == wantedIndex) || (!byIndex && strcasecmp(shown, nameOrIndex) == 0))) {
            found = true;
            area.x = monitors[i].x;
            area.y = monitors[i].y;
            area.width = monitors[i].width;
            area.height = monitors[i].height;
            std::snprintf(area.name, sizeof area.name, "%s", shown);
        }
        if (used < listSize) {
            const int n = std::snprintf(list + used, listSize - used, "%s%d: %s %dx%d+%d+%d", i ? ", " : "", i, shown,
                                        monitors[i].width, monitors[i].height, monitors[i].x, monitors[i].y);
            if (n > 0) used += static_cast<size_t>(n);
        }
        if (name) XFree(name);
    }
    if (monitors) XRRFreeMonitors(monitors);
    XCloseDisplay(display);
    return found;
}

bool windowManagerRuns() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    bool runs = false;
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check != None) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type, &format,
                               &items, &after, &data) == Success &&
            type == XA_WINDOW && items == 1)
            runs = true;
        if (data) XFree(data);
    }
    XCloseDisplay(display);
    return runs;
}

bool requestSwapInterval(int interval) {
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (!display || !drawable) return false;
    const char* extensions = glXQueryExtensionsString(display, DefaultScreen(display));
    if (listHasWord(extensions, "GLX_EXT_swap_control")) {
        auto swapInterval = reinterpret_cast<PFNGLXSWAPINTERVALEXTPROC>(
            glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXSwapIntervalEXT")));
        if (swapInterval) {
            swapInterval(display, drawable, interval);
            return true;
        }
    }
    if (listHasWord(extensions, "GLX_MESA_swap_control")) {
        auto swapInterval = reinterpret_cast<PFNGLXSWAPINTERVALMESAPROC>(
            glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXSwapIntervalMESA")));
        if (swapInterval) return swapInterval(static_cast<unsigned>(interval)) == 0;
    }
    return false;
}
