// Compares two pictures pixel by pixel for the golden tests.
//   strata-golden-compare <reference> <picture> [--tolerance N] [--max-outliers N] [--diff <png>]
//   strata-golden-compare <reference> <picture> --downscale
//   strata-golden-compare <reference> <picture> --edges
// Pictures are PNG files, or raw 640x480 RGBA frames bottom row first (names
// ending in .rgba, as strata-render --raw writes them). A pixel matches when
// none of its channels differs by more than the tolerance (default 8 of 255);
// the pictures match when at most max-outliers pixels (default 300, about 0.1%)
// do not: Mesa's software renderer repeats a picture exactly, the allowance
// covers other drivers' rounding. Exit status 0 on a match, 1 on a difference,
// 2 on bad input.
//
// --downscale: the picture, a whole multiple of the reference's size (1280x960
// of 640x480), is averaged down to it in boxes and must look like it. Thin
// features (one-pixel gaps, fine texture) fall on other pixels at the larger
// size, so the pictures never agree pixel for pixel, and how much they differ
// grows with the picture's own detail (a mean channel difference of 0.08 for
// the Cloud, 4.2 for the Sound Scape's fine stripes). The limit is therefore
// the reference's own detail: the mean channel difference to the reference
// must be at most half the mean difference between the reference and itself
// moved by one pixel (right, and down, averaged), and the PSNR at least
// 24 dB. The Waver, Cloud and Sound Scape scenes at 1280x960 measure 0.04 to
// 0.37 of their detail; the same pictures moved by one pixel or zoomed by
// 2.5 % (a view off by that much) measure 0.72 and more.
//
// --edges: the picture (multisampled) may differ from the reference (the
// same frame without) only along the reference's edges: every pixel beyond
// the tolerance lies within two pixels of one whose neighbour contrast in the
// reference exceeds 24 (an aliased step's partial coverage may land on the
// pixel beside it), and some pixels differ (else nothing was smoothed).
#include <algorithm>
#include <cmath>
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

// The picture averaged down by whole factors to width x height; false when
// its size is no whole multiple of that.
bool downscale(Picture& picture, int width, int height) {
    if (width <= 0 || height <= 0 || picture.width % width || picture.height % height) return false;
    const int fx = picture.width / width, fy = picture.height / height;
    std::vector<uint8_t> small(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c) {
                int sum = 0;
                for (int j = 0; j < fy; ++j)
                    for (int i = 0; i < fx; ++i)
                        sum += picture.rgba[((static_cast<size_t>(y) * fy + j) * picture.width + x * fx + i) * 4 + c];
                small[(static_cast<size_t>(y) * width + x) * 4 + c] = static_cast<uint8_t>((sum + fx * fy / 2) / (fx * fy));
            }
    picture = {std::move(small), width, height};
    return true;
}

// Mean absolute colour-channel difference of a and b with b moved by (dx, dy)
// (the pixels both cover), and the mean square difference.
double meanDifference(const Picture& a, const Picture& b, int dx, int dy, double* meanSquare = nullptr) {
    double sum = 0.0, squares = 0.0;
    size_t count = 0;
    for (int y = dy; y < a.height; ++y)
        for (int x = dx; x < a.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const double d = static_cast<double>(a.rgba[(static_cast<size_t>(y) * a.width + x) * 4 + c]) -
                                 b.rgba[(static_cast<size_t>(y - dy) * b.width + x - dx) * 4 + c];
                sum += std::fabs(d);
                squares += d * d;
                ++count;
            }
    if (meanSquare) *meanSquare = count ? squares / count : 0.0;
    return count ? sum / count : 0.0;
}

int compareLooks(const Picture& reference, const Picture& picture) {
    double meanSquare = 0.0;
    const double mean = meanDifference(reference, picture, 0, 0, &meanSquare);
    const double detail = (meanDifference(reference, reference, 1, 0) + meanDifference(reference, reference, 0, 1)) / 2;
    const double psnr = meanSquare > 0.0 ? 10.0 * std::log10(255.0 * 255.0 / meanSquare) : 99.0;
    const bool match = mean <= 0.5 * detail && psnr >= 24.0;
    std::printf("%s: mean channel difference %.3f, %.2f of the picture's one-pixel detail %.3f (at most 0.5), "
                "PSNR %.2f dB (at least 24)\n", match ? "alike" : "DIFFERENT", mean, detail > 0 ? mean / detail : 0.0,
                detail, psnr);
    return match ? 0 : 1;
}

// Largest channel difference of pixel p to its eight neighbours.
int contrast(const Picture& picture, int x, int y) {
    int most = 0;
    const uint8_t* centre = &picture.rgba[(static_cast<size_t>(y) * picture.width + x) * 4];
    for (int j = std::max(0, y - 1); j <= std::min(picture.height - 1, y + 1); ++j)
        for (int i = std::max(0, x - 1); i <= std::min(picture.width - 1, x + 1); ++i)
            for (int c = 0; c < 3; ++c)
                most = std::max(most, std::abs(centre[c] - picture.rgba[(static_cast<size_t>(j) * picture.width + i) * 4 + c]));
    return most;
}

int compareEdges(const Picture& reference, const Picture& picture, int tolerance) {
    int differing = 0, offEdge = 0;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const size_t p = (static_cast<size_t>(y) * picture.width + x) * 4;
            int worst = 0;
            for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(reference.rgba[p + c] - picture.rgba[p + c]));
            if (worst <= tolerance) continue;
            ++differing;
            bool edge = false;
            for (int j = std::max(0, y - 2); j <= std::min(picture.height - 1, y + 2) && !edge; ++j)
                for (int i = std::max(0, x - 2); i <= std::min(picture.width - 1, x + 2) && !edge; ++i)
                    edge = contrast(reference, i, j) > 24;
            offEdge += !edge;
        }
    const bool match = differing > 0 && offEdge == 0;
    std::printf("%s: %d pixels differ beyond %d, %d of them away from the reference's edges\n",
                match ? "edges only" : "DIFFERENT", differing, tolerance, offEdge);
    return match ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> files;
    int tolerance = 8, maxOutliers = 300;
    std::string diffPath;
    bool scaled = false, edges = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--downscale" || arg == "--edges") {
            (arg == "--edges" ? edges : scaled) = true;
            continue;
        }
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
    if (scaled && !downscale(picture, reference.width, reference.height)) {
        std::fprintf(stderr, "%dx%d is no whole multiple of %dx%d\n", picture.width, picture.height, reference.width,
                     reference.height);
        return 1;
    }
    if (reference.width != picture.width || reference.height != picture.height) {
        std::fprintf(stderr, "sizes differ: %dx%d and %dx%d\n", reference.width, reference.height, picture.width,
                     picture.height);
        return 1;
    }

    if (scaled) return compareLooks(reference, picture);
    if (edges) return compareEdges(reference, picture, tolerance);
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
