#pragma once
#include <cstdio>

// How the instrument meets the stage, read from the environment:
//   STRATA_MODE=desktop      a full-screen window at the desktop's resolution
//                            instead of the 640x480 mode switch
//   STRATA_MONITOR=name|n    the XRandR monitor (output name or index) to fill
//   STRATA_FPS=N             at most N frames per second (1..1000)
//   STRATA_CLEAN_LAYERS=1    every cell starts from the same OpenGL state
//   STRATA_VSYNC=0           swaps do not wait for the display's refresh
//   STRATA_OVERLAY=0         the operator view stays hidden at start
// Unset, each keeps the instrument's plain behaviour.
struct StageSettings {
    bool desktop = false;
    const char* monitor = nullptr;  // null: no monitor chosen
    int fps = 0;                    // 0: no cap
    bool cleanLayers = false;
    bool vsync = true;
    bool overlayAtStart = true;

    // Reads the variables; a value that makes no sense is reported on
    // warnings (when not null) and ignored.
    static StageSettings fromEnvironment(FILE* warnings);

    // 1, true, yes, on (any case) are true; anything else is false.
    static bool parseFlag(const char* value);
    // 0, false, no, off (any case) are true: the explicit no of a setting
    // that is on by default.
    static bool parseOff(const char* value);
    // A whole number of frames per second, 1..1000; 0 (and empty) for no
    // cap. False for anything else.
    static bool parseFps(const char* value, int& fps);
    static bool cleanLayersRequested();
};
