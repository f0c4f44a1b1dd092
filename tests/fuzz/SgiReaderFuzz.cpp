// Fuzzes the SGI image reader: any file that can be opened must give either
// null or a buffer of exactly width x height RGBA pixels, with every read and
// every decode kept inside its buffers.
#include <cstdlib>
#include <memory>

#include "FuzzInput.h"
#include "resources/SgiImage.h"

const char* const kFuzzFileSuffix = ".rgb";

void fuzzOne(const uint8_t*, size_t, const char* path) {
    int width = -1, height = -1, components = -1;
    const std::unique_ptr<unsigned char[]> pixels = readTexture(path, &width, &height, &components);
    if (pixels) {
        if (width <= 0 || height <= 0 || width > kSgiMaxSide || height > kSgiMaxSide) abort();
        // Touch every byte of the promised size: the address sanitizer sees a
        // buffer that is smaller than width x height x 4.
        const size_t bytes = static_cast<size_t>(width) * height * 4;
        volatile unsigned sum = 0;
        for (size_t i = 0; i < bytes; ++i) sum = sum + pixels[i];
        // Pixels of a file with fewer than four channels are opaque.
        if (components < 4 && components > 0)
            for (size_t i = 3; i < bytes; i += 4)
                if (pixels[i] != 255 && components != 2) abort();
    }
}
