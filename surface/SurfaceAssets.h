#pragma once
#include <cstddef>
#include <string_view>

// The control surface's files (surface/ui), built into the program: the web
// server answers /ui/<name> from here and never reads the disk.
struct SurfaceAsset {
    const char* name;         // relative to surface/ui, such as "index.html"
    const char* contentType;  // such as "text/html; charset=utf-8"
    const unsigned char* bytes;
    size_t size;
};

// The file of that name, or null.
const SurfaceAsset* surfaceAsset(std::string_view name);
