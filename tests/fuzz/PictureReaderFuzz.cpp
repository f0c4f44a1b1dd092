// Fuzzes the PNG and JPEG readers of the image sets: any input gives either
// no pixels or exactly width x height RGBA pixels within the side limit, and
// the letterbox scaler stays inside its buffer for any source size.
#include <cstdlib>
#include <memory>

#include "FuzzInput.h"
#include "resources/PictureFile.h"
#include "resources/SgiImage.h"

const char* const kFuzzFileSuffix = nullptr;

void fuzzOne(const uint8_t* data, size_t size, const char*) {
    for (auto decode : {decodePng, decodeJpeg}) {
        const char* problem = nullptr;
        const Picture picture = decode(data, size, &problem);
        if (!picture.pixels) {
            fuzzCheck(problem != nullptr, "no pixels and no reason");
            continue;
        }
        fuzzCheck(picture.width > 0 && picture.height > 0 && picture.width <= kSgiMaxSide &&
                      picture.height <= kSgiMaxSide,
                  "size outside the limits");
        // Scaled to a small odd size: every byte of source and destination is touched.
        unsigned char scaled[7 * 5 * 4];
        scaleLetterboxed(picture.pixels.get(), picture.width, picture.height, scaled, 7, 5);
    }
}
