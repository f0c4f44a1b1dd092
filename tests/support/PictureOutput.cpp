#include "PictureOutput.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "GlTestContext.h"
#include "app/PngWriter.h"

void savePictureIfAsked(const char* name) {
    const char* dir = std::getenv("STRATA_PICTURES");
    if (!dir || !*dir) return;
    // Saved opaque: translucent layers leave alpha below 1 where the picture
    // is plainly visible, and viewers would show those parts as see-through.
    std::vector<uint8_t> rgba = readScreen();
    for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
    const std::string path = std::string(dir) + "/" + name + ".png";
    writePng(path.c_str(), rgba.data(), 640, 480);
}
