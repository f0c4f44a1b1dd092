#include "platform/StageSettings.h"

#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

bool StageSettings::parseFlag(const char* value) {
    if (!value) return false;
    static const char* const kYes[] = {"1", "true", "yes", "on"};
    for (const char* yes : kYes)
        if (strcasecmp(value, yes) == 0) return true;
    return false;
}

bool StageSettings::parseOff(const char* value) {
    if (!value) return false;
    static const char* const kNo[] = {"0", "false", "no", "off"};
    for (const char* no : kNo)
        if (strcasecmp(value, no) == 0) return true;
    return false;
}

bool StageSettings::parseFps(const char* value, int& fps) {
    fps = 0;
    if (!value || !*value) return true;
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(value, &end, 10);
    if (errno != 0 || end == value || *end != '\0' || n < 0 || n > 1000) return false;
    fps = static_cast<int>(n);
    return true;
}

bool StageSettings::cleanLayersRequested() { return parseFlag(std::getenv("STRATA_CLEAN_LAYERS")); }

StageSettings StageSettings::fromEnvironment(FILE* warnings) {
    StageSettings s;
    if (const char* mode = std::getenv("STRATA_MODE"); mode && *mode) {
        if (strcasecmp(mode, "desktop") == 0)
            s.desktop = true;
        else if (warnings)
            std::fprintf(warnings, "strata: STRATA_MODE=%s is not known (only desktop is); using game mode\n", mode);
    }
    if (const char* monitor = std::getenv("STRATA_MONITOR"); monitor && *monitor) s.monitor = monitor;
    const char* fps = std::getenv("STRATA_FPS");
    if (!parseFps(fps, s.fps) && warnings)
        std::fprintf(warnings, "strata: STRATA_FPS=%s is not a number of frames per second from 1 to 1000; no cap\n",
                     fps);
    s.cleanLayers = cleanLayersRequested();
    // Only an explicit no turns these off.
    s.vsync = !parseOff(std::getenv("STRATA_VSYNC"));
    s.overlayAtStart = !parseOff(std::getenv("STRATA_OVERLAY"));
    return s;
}
