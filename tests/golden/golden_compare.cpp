// Compares two pictures pixel by pixel for the golden tests.
//   strata-golden-compare <reference> <picture> [--tolerance N] [--max-outliers N] [--diff <png>]
// Pictures are PNG files, or raw 640x480 RGBA frames bottom row first (names
// ending in .rgba, as strata-render --raw writes them). A pixel matches when
// none of its channels differs by more than the tolerance (default 8 of 255);
// the pictures match when at most max-outliers pixels (default 300, about 0.1%)
// do not: Mesa's software renderer repeats a picture exactly, the allowance
// covers other drivers' rounding. Exit status 0 on a match, 1 on a difference,
// 2 on bad input.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Numbers.h"
#include "platform/PngWriter.h"

namespace {

struct Picture {
    std::vector<uint8_t> rgba;  // bottom row first
    int width = 0, height = 0;
};

bool load(const std::string& path, Picture& picture) {
    if (!path.ends_with(".rgba")) return readPng(path.c_str(), picture.rgba, &picture.width, &picture.height);
    std::ifstream in(path, std::ios::binary);
    picture = {std::vector<uint8_t>(640u * 480u * 4u, 0), 640, 480};
    in.read(reinterpret_cast<char*>(picture.rgba.data()), static_cast<std::streamsize>(picture.rgba.size()));
    return in.gcount() == static_cast<std::streamsize>(picture.rgba.size());
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> files;
    int tolerance = 8, maxOutliers = 300;
    std::string diffPath;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool valued = i + 1 < argc;
        if (valued && (arg == "--tolerance" || arg == "--max-outliers")) {
            if (!parseWholeNumber(argv[++i], 0, 100000000, arg == "--tolerance" ? tolerance : maxOutliers)) return 2;
        } else if (valued && arg == "--diff") {
            diffPath = argv[++i];
        } else
            files.push_back(arg);
    }
    if (files.size() != 2) {
        std::fprintf(stderr, "usage: strata-golden-compare <reference> <picture> [--tolerance N] "
                             "[--max-outliers N] [--diff <png>]\n");
        return 2;
    }
    Picture reference, picture;
    for (int i = 0; i < 2; ++i)
        if (!load(files[i], i == 0 ? reference : picture)) {
            std::fprintf(stderr, "cannot read the picture %s\n", files[i].c_str());
            return 2;
        }
    if (reference.width != picture.width || reference.height != picture.height) {
        std::fprintf(stderr, "sizes differ: %dx%d and %dx%d\n", reference.width, reference.height, picture.width,
                     picture.height);
        return 1;
    }

    const size_t pixels = static_cast<size_t>(picture.width) * picture.height;
    std::vector<uint8_t> diff(pixels * 4, 255);
    int outliers = 0, largest = 0;
    for (size_t p = 0; p < pixels; ++p) {
        int worst = 0;
        for (int c = 0; c < 4; ++c)
            worst = std::max(worst, std::abs(static_cast<int>(reference.rgba[p * 4 + c]) - picture.rgba[p * 4 + c]));
        largest = std::max(largest, worst);
        outliers += worst > tolerance;
        // Difference picture: red where a pixel is beyond the tolerance,
        // grey in proportion to smaller differences.
        const uint8_t shade = static_cast<uint8_t>(std::min(worst * 8, 255));
        diff[p * 4 + 0] = worst > tolerance ? 255 : shade;
        diff[p * 4 + 1] = diff[p * 4 + 2] = worst > tolerance ? 0 : shade;
    }
    const bool match = outliers <= maxOutliers;
    std::printf("%s: largest channel difference %d, %d pixels beyond %d (%d allowed)\n", match ? "match" : "DIFFERENT",
                largest, outliers, tolerance, maxOutliers);
    if (!match && !diffPath.empty()) writePng(diffPath.c_str(), diff.data(), picture.width, picture.height);
    return match ? 0 : 1;
}
