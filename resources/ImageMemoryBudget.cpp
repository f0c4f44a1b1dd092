#include "resources/ImageMemoryBudget.h"

#include <cstdio>
#include <cstdlib>

namespace {
size_t gLimit = 0;
bool gLimitKnown = false;
size_t gHeld = 0;

size_t limitFromEnvironment() {
    const char* text = std::getenv("STRATA_IMAGE_MEMORY_MB");
    if (!text || !*text) return ImageMemoryBudget::kDefaultBytes;
    char* end = nullptr;
    const unsigned long long megabytes = std::strtoull(text, &end, 10);
    // Up to 1 TB; anything else is a typing error, reported and ignored.
    if (*end != '\0' || megabytes < 1 || megabytes > (1ull << 20)) {
        fprintf(stderr, "STRATA_IMAGE_MEMORY_MB=%s is not a number of megabytes from 1 to 1048576: using %zu\n", text,
                ImageMemoryBudget::kDefaultBytes >> 20);
        return ImageMemoryBudget::kDefaultBytes;
    }
    return static_cast<size_t>(megabytes) << 20;
}
}  // namespace

size_t ImageMemoryBudget::limit() {
    if (!gLimitKnown) {
        gLimit = limitFromEnvironment();
        gLimitKnown = true;
    }
    return gLimit;
}

void ImageMemoryBudget::setLimit(size_t bytes) {
    gLimit = bytes;
    gLimitKnown = true;
}

size_t ImageMemoryBudget::held() { return gHeld; }

size_t ImageMemoryBudget::left() { return gHeld < limit() ? limit() - gHeld : 0; }

bool ImageMemoryBudget::take(size_t bytes) {
    if (bytes > left()) return false;
    gHeld += bytes;
    return true;
}

void ImageMemoryBudget::give(size_t bytes) { gHeld = bytes < gHeld ? gHeld - bytes : 0; }
