#pragma once
#include <cstddef>

// The pixel memory that all image lists of the stage (the image sets and the
// help pages) may hold together. Every image is kept for the whole run and
// each set has one texture of its images' size, so the stage's image memory
// is at most twice what is held here.
//
// The default, 512 MB, holds some 2000 images of 256 x 256, 127 of
// 1024 x 1024 or eight of the largest 4096 x 4096; with their textures it
// stays near 1 GB, which a show laptop with 4 GB keeps beside everything
// else. STRATA_IMAGE_MEMORY_MB sets another limit (whole megabytes, at least
// 1). An image that would go beyond the limit is refused with one line and
// its slot stays empty; the rest of the stage loads as usual.
class ImageMemoryBudget {
public:
    // The limit in bytes: STRATA_IMAGE_MEMORY_MB when set and valid (read
    // once), else the default, unless setLimit chose one.
    static size_t limit();
    static void setLimit(size_t bytes);
    static size_t held();
    // Bytes that may still be taken.
    static size_t left();
    // Takes bytes from the budget; false (and nothing taken) when they do not
    // fit.
    static bool take(size_t bytes);
    static void give(size_t bytes);
};
