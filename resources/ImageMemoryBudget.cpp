#include "resources/ImageMemoryBudget.h"

#include "platform/Settings.h"

namespace {
size_t gLimit = 0;
bool gLimitKnown = false;
size_t gHeld = 0;

size_t limitFromSettings() {
    settings().report(Setting::ImageMemory);
    return static_cast<size_t>(settings().imageMemoryMegabytes) << 20;
}
}  // namespace

size_t ImageMemoryBudget::limit() {
    if (!gLimitKnown) {
        gLimit = limitFromSettings();
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
