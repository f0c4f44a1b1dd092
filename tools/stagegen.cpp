// strata-stagegen: writes the instrument's bundled working directory.
//
//   strata-stagegen <directory>
//   strata-stagegen sgi <width> <height> <channels> verbatim [<magic>] | rle
//
// Into <directory> it writes key.db, modules.db, three image sets (imgs,
// imgs2, imgs3: 256x256 SGI .rgb images), a fourth of pictures of other
// sizes (imgs4: PNG with alpha and JPEG; tools/make-stage.sh adds a clip made
// with the ffmpeg program), one model set (mdls: OBJ models
// with texture coordinates and normals) and one help page per module under
// Reactors/<name>/. Everything is computed from integer hashes and closed
// formulas, so running it twice writes byte-identical files; the committed
// stage/ directory is its output.
//
// The second form writes one SGI image to standard output, its planes read
// from standard input (channel-major, bottom row first, width x height x
// channels bytes): the scripts that compute the golden stage and the fuzz
// seeds write their images through it.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <png.h>
#include <turbojpeg.h>

#include "SgiWriter.h"
#include "platform/HashBits.h"

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kTwoPi = 6.28318531f;
constexpr int kSize = 256;  // every image and help page is 256 x 256

// ---------------------------------------------------------------------------
// Colours and images

struct Col {
    float r, g, b;
};

Col mix(Col a, Col b, float t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }
Col scaled(Col a, float k) { return {a.r * k, a.g * k, a.b * k}; }
float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }
float fract(float v) { return v - std::floor(v); }

// Hue in turns (0..1), saturation and value in 0..1.
Col hsv(float h, float s, float v) {
    h = fract(h) * 6.0f;
    const int sector = static_cast<int>(h) % 6;
    const float f = h - std::floor(h);
    const float p = v * (1.0f - s), q = v * (1.0f - s * f), t = v * (1.0f - s * (1.0f - f));
    switch (sector) {
        case 0: return {v, t, p};
        case 1: return {q, v, p};
        case 2: return {p, v, t};
        case 3: return {p, q, v};
        case 4: return {t, p, v};
        default: return {v, p, q};
    }
}

// Piecewise-linear palette through evenly spaced stops.
Col palette(const std::vector<Col>& stops, float t) {
    t = clamp01(t) * static_cast<float>(stops.size() - 1);
    const int i = std::min(static_cast<int>(t), static_cast<int>(stops.size()) - 2);
    return mix(stops[i], stops[i + 1], t - static_cast<float>(i));
}

uint8_t toByte(float v) { return static_cast<uint8_t>(std::lround(clamp01(v) * 255.0f)); }

// RGBA pixels, row 0 is the top row as the picture is seen. `channels` is
// what the SGI file stores: 3 (RGB) or 4 (RGBA).
struct Image {
    int width, height, channels;
    std::vector<uint8_t> rgba;
    Image(int w, int h, int c) : width(w), height(h), channels(c), rgba(static_cast<size_t>(w) * h * 4, 255) {}
    void put(int x, int y, Col c, float a = 1.0f) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
        p[0] = toByte(c.r);
        p[1] = toByte(c.g);
        p[2] = toByte(c.b);
        p[3] = toByte(a);
    }
    template <class F>
    void fill(F f) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) put(x, y, f(x, y));
    }
    void rect(int x0, int y0, int x1, int y1, Col c) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) put(x, y, c);
    }
};

bool writeBytes(const std::filesystem::path& path, const void* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "strata-stagegen: cannot write %s\n", path.c_str());
        return false;
    }
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

bool writeText(const std::filesystem::path& path, const std::string& text) {
    return writeBytes(path, text.data(), text.size());
}

// Channel-major planes, file row 0 the bottom row; the header says 3
// dimensions, full-scale pixels and the stage's name.
bool writeSgi(const std::filesystem::path& path, const Image& img, bool rle) {
    std::vector<uint8_t> planes;
    planes.reserve(static_cast<size_t>(img.width) * img.height * img.channels);
    for (int z = 0; z < img.channels; ++z)
        for (int fileRow = 0; fileRow < img.height; ++fileRow) {
            const int y = img.height - 1 - fileRow;
            for (int x = 0; x < img.width; ++x) planes.push_back(img.rgba[(static_cast<size_t>(y) * img.width + x) * 4 + z]);
        }
    const SgiLabel label{3, 255, "strata stage"};
    const std::vector<uint8_t> bytes = rle ? sgiRunLength(img.width, img.height, img.channels, planes, label)
                                           : sgiVerbatim(img.width, img.height, img.channels, planes, 474, label);
    std::printf("%-34s %7zu bytes  %s\n", path.c_str(), bytes.size(), rle ? "rle" : "verbatim");
    return writeBytes(path, bytes.data(), bytes.size());
}

// ---------------------------------------------------------------------------
// Text: the bold 6x13 glyphs of the public-domain X11 "misc-fixed" font,
// characters 32..126, one byte per row, bit 5 is the leftmost pixel.

constexpr int kGlyphW = 6, kGlyphH = 13;
const uint8_t kGlyphs[95][kGlyphH] = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // ' '
    {0x00, 0x00, 0x0c, 0x0c, 0x0c, 0x0c, 0x0c, 0x0c, 0x0c, 0x00, 0x0c, 0x00, 0x00},  // '!'
    {0x00, 0x00, 0x36, 0x36, 0x36, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // '"'
    {0x00, 0x00, 0x00, 0x1e, 0x1e, 0x3f, 0x1e, 0x3f, 0x1e, 0x1e, 0x00, 0x00, 0x00},  // '#'
    {0x00, 0x00, 0x00, 0x0c, 0x1e, 0x3c, 0x1e, 0x0f, 0x1e, 0x0c, 0x00, 0x00, 0x00},  // '$'
    {0x00, 0x00, 0x1b, 0x3f, 0x1e, 0x06, 0x0c, 0x18, 0x1e, 0x3f, 0x36, 0x00, 0x00},  // '%'
    {0x00, 0x00, 0x00, 0x00, 0x18, 0x3c, 0x3c, 0x18, 0x3f, 0x36, 0x1f, 0x00, 0x00},  // '&'
    {0x00, 0x00, 0x0c, 0x0c, 0x0c, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // "'"
    {0x00, 0x06, 0x0c, 0x0c, 0x18, 0x18, 0x18, 0x18, 0x18, 0x0c, 0x0c, 0x06, 0x00},  // '('
    {0x00, 0x18, 0x0c, 0x0c, 0x06, 0x06, 0x06, 0x06, 0x06, 0x0c, 0x0c, 0x18, 0x00},  // ')'
    {0x00, 0x00, 0x00, 0x00, 0x33, 0x1e, 0x3f, 0x1e, 0x33, 0x00, 0x00, 0x00, 0x00},  // '*'
    {0x00, 0x00, 0x00, 0x00, 0x0c, 0x0c, 0x3f, 0x0c, 0x0c, 0x00, 0x00, 0x00, 0x00},  // '+'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0e, 0x0c, 0x18, 0x00},  // ','
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x3f, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // '-'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0c, 0x1e, 0x0c, 0x00},  // '.'
    {0x00, 0x00, 0x03, 0x03, 0x06, 0x06, 0x0c, 0x18, 0x18, 0x30, 0x30, 0x00, 0x00},  // '/'
    {0x00, 0x00, 0x0c, 0x1e, 0x33, 0x33, 0x33, 0x33, 0x33, 0x1e, 0x0c, 0x00, 0x00},  // '0'
    {0x00, 0x00, 0x0c, 0x1c, 0x3c, 0x0c, 0x0c, 0x0c, 0x0c, 0x0c, 0x3f, 0x00, 0x00},  // '1'
    {0x00, 0x00, 0x1e, 0x33, 0x33, 0x03, 0x06, 0x0c, 0x18, 0x30, 0x3f, 0x00, 0x00},  // '2'
    {0x00, 0x00, 0x3f, 0x03, 0x06, 0x0c, 0x1e, 0x03, 0x03, 0x33, 0x1e, 0x00, 0x00},  // '3'
    {0x00, 0x00, 0x06, 0x06, 0x0e, 0x1e, 0x16, 0x36, 0x3f, 0x06, 0x06, 0x00, 0x00},  // '4'
    {0x00, 0x00, 0x3f, 0x30, 0x30, 0x3e, 0x3b, 0x03, 0x03, 0x33, 0x1e, 0x00, 0x00},  // '5'
    {0x00, 0x00, 0x0e, 0x18, 0x30, 0x30, 0x3e, 0x3b, 0x33, 0x33, 0x1e, 0x00, 0x00},  // '6'
    {0x00, 0x00, 0x3f, 0x03, 0x06, 0x06, 0x0c, 0x0c, 0x18, 0x18, 0x18, 0x00, 0x00},  // '7'
    {0x00, 0x00, 0x1e, 0x33, 0x33, 0x33, 0x1e, 0x33, 0x33, 0x33, 0x1e, 0x00, 0x00},  // '8'
    {0x00, 0x00, 0x1e, 0x33, 0x33, 0x37, 0x1f, 0x03, 0x03, 0x06, 0x1c, 0x00, 0x00},  // '9'
    {0x00, 0x00, 0x00, 0x0c, 0x1e, 0x0c, 0x00, 0x00, 0x0c, 0x1e, 0x0c, 0x00, 0x00},  // ':'
    {0x00, 0x00, 0x00, 0x00, 0x0c, 0x1e, 0x0c, 0x00, 0x00, 0x0e, 0x0c, 0x18, 0x00},  // ';'
    {0x00, 0x00, 0x03, 0x06, 0x0c, 0x18, 0x30, 0x18, 0x0c, 0x06, 0x03, 0x00, 0x00},  // '<'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x3f, 0x00, 0x00, 0x3f, 0x00, 0x00, 0x00, 0x00},  // '='
    {0x00, 0x00, 0x30, 0x18, 0x0c, 0x06, 0x03, 0x06, 0x0c, 0x18, 0x30, 0x00, 0x00},  // '>'
    {0x00, 0x00, 0x1e, 0x33, 0x33, 0x03, 0x06, 0x0c, 0x0c, 0x00, 0x0c, 0x00, 0x00},  // '?'
    {0x00, 0x00, 0x1e, 0x33, 0x33, 0x37, 0x3f, 0x3f, 0x3e, 0x30, 0x1f, 0x00, 0x00},  // '@'
    {0x00, 0x00, 0x0c, 0x1e, 0x33, 0x33, 0x33, 0x3f, 0x33, 0x33, 0x33, 0x00, 0x00},  // 'A'
    {0x00, 0x00, 0x3e, 0x1b, 0x1b, 0x1b, 0x1e, 0x1b, 0x1b, 0x1b, 0x3e, 0x00, 0x00},  // 'B'
    {0x00, 0x00, 0x1e, 0x33, 0x30, 0x30, 0x30, 0x30, 0x30, 0x33, 0x1e, 0x00, 0x00},  // 'C'
    {0x00, 0x00, 0x3e, 0x1b, 0x1b, 0x1b, 0x1b, 0x1b, 0x1b, 0x1b, 0x3e, 0x00, 0x00},  // 'D'
    {0x00, 0x00, 0x3f, 0x30, 0x30, 0x30, 0x3e, 0x30, 0x30, 0x30, 0x3f, 0x00, 0x00},  // 'E'
    {0x00, 0x00, 0x3f, 0x30, 0x30, 0x30, 0x3e, 0x30, 0x30, 0x30, 0x30, 0x00, 0x00},  // 'F'
    {0x00, 0x00, 0x1e, 0x33, 0x30, 0x30, 0x30, 0x37, 0x33, 0x33, 0x1e, 0x00, 0x00},  // 'G'
    {0x00, 0x00, 0x33, 0x33, 0x33, 0x33, 0x3f, 0x33, 0x33, 0x33, 0x33, 0x00, 0x00},  // 'H'
    {0x00, 0x00, 0x1e, 0x0c, 0x0c, 0x0c, 0x0c, 0x0c, 0x0c, 0x0c, 0x1e, 0x00, 0x00},  // 'I'
    {0x00, 0x00, 0x0f, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x33, 0x1e, 0x00, 0x00},  // 'J'
    {0x00, 0x00, 0x33, 0x33, 0x36, 0x3c, 0x38, 0x3c, 0x36, 0x33, 0x33, 0x00, 0x00},  // 'K'
    {0x00, 0x00, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x3f, 0x00, 0x00},  // 'L'
    {0x00, 0x00, 0x33, 0x33, 0x3f, 0x3f, 0x3f, 0x33, 0x33, 0x33, 0x33, 0x00, 0x00},  // 'M'
    {0x00, 0x00, 0x33, 0x3b, 0x3b, 0x3f, 0x3f, 0x37, 0x37, 0x33, 0x33, 0x00, 0x00},  // 'N'
    {0x00, 0x00, 0x1e, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x1e, 0x00, 0x00},  // 'O'
    {0x00, 0x00, 0x3e, 0x33, 0x33, 0x33, 0x3e, 0x30, 0x30, 0x30, 0x30, 0x00, 0x00},  // 'P'
    {0x00, 0x00, 0x1e, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x3f, 0x1e, 0x03, 0x00},  // 'Q'
    {0x00, 0x00, 0x3e, 0x33, 0x33, 0x33, 0x3e, 0x3c, 0x36, 0x33, 0x33, 0x00, 0x00},  // 'R'
    {0x00, 0x00, 0x1e, 0x33, 0x30, 0x30, 0x1e, 0x03, 0x03, 0x33, 0x1e, 0x00, 0x00},  // 'S'
    {0x00, 0x00, 0x3f, 0x0c, 0x0c, 0x0c, 0x0c, 0x0c, 0x0c, 0x0c, 0x0c, 0x00, 0x00},  // 'T'
    {0x00, 0x00, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x1e, 0x00, 0x00},  // 'U'
    {0x00, 0x00, 0x33, 0x33, 0x33, 0x33, 0x1e, 0x1e, 0x1e, 0x0c, 0x0c, 0x00, 0x00},  // 'V'
    {0x00, 0x00, 0x33, 0x33, 0x33, 0x33, 0x3f, 0x3f, 0x3f, 0x3f, 0x33, 0x00, 0x00},  // 'W'
    {0x00, 0x00, 0x33, 0x33, 0x1e, 0x1e, 0x0c, 0x1e, 0x1e, 0x33, 0x33, 0x00, 0x00},  // 'X'
    {0x00, 0x00, 0x33, 0x33, 0x1e, 0x1e, 0x0c, 0x0c, 0x0c, 0x0c, 0x0c, 0x00, 0x00},  // 'Y'
    {0x00, 0x00, 0x3f, 0x03, 0x06, 0x06, 0x0c, 0x18, 0x18, 0x30, 0x3f, 0x00, 0x00},  // 'Z'
    {0x00, 0x1e, 0x18, 0x18, 0x18, 0x18, 0x18, 0x18, 0x18, 0x18, 0x18, 0x1e, 0x00},  // '['
    {0x00, 0x00, 0x30, 0x30, 0x18, 0x18, 0x0c, 0x06, 0x06, 0x03, 0x03, 0x00, 0x00},  // backslash
    {0x00, 0x1e, 0x06, 0x06, 0x06, 0x06, 0x06, 0x06, 0x06, 0x06, 0x06, 0x1e, 0x00},  // ']'
    {0x00, 0x00, 0x0c, 0x1e, 0x33, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // '^'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x3f, 0x00},  // '_'
    {0x00, 0x18, 0x0c, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // '`'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x1e, 0x03, 0x1f, 0x33, 0x37, 0x1b, 0x00, 0x00},  // 'a'
    {0x00, 0x00, 0x30, 0x30, 0x30, 0x36, 0x3b, 0x33, 0x33, 0x3b, 0x36, 0x00, 0x00},  // 'b'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x1e, 0x33, 0x30, 0x30, 0x33, 0x1e, 0x00, 0x00},  // 'c'
    {0x00, 0x00, 0x03, 0x03, 0x03, 0x1b, 0x37, 0x33, 0x33, 0x37, 0x1b, 0x00, 0x00},  // 'd'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x1e, 0x33, 0x3f, 0x30, 0x30, 0x1e, 0x00, 0x00},  // 'e'
    {0x00, 0x00, 0x0e, 0x1b, 0x18, 0x18, 0x3e, 0x18, 0x18, 0x18, 0x18, 0x00, 0x00},  // 'f'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x1f, 0x36, 0x36, 0x1c, 0x30, 0x1e, 0x33, 0x1e},  // 'g'
    {0x00, 0x00, 0x30, 0x30, 0x30, 0x36, 0x3b, 0x33, 0x33, 0x33, 0x33, 0x00, 0x00},  // 'h'
    {0x00, 0x00, 0x0c, 0x0c, 0x00, 0x1c, 0x0c, 0x0c, 0x0c, 0x0c, 0x1e, 0x00, 0x00},  // 'i'
    {0x00, 0x00, 0x06, 0x06, 0x00, 0x0e, 0x06, 0x06, 0x06, 0x06, 0x36, 0x36, 0x1c},  // 'j'
    {0x00, 0x00, 0x30, 0x30, 0x30, 0x36, 0x3c, 0x38, 0x3c, 0x36, 0x33, 0x00, 0x00},  // 'k'
    {0x00, 0x00, 0x1c, 0x0c, 0x0c, 0x0c, 0x0c, 0x0c, 0x0c, 0x0c, 0x1e, 0x00, 0x00},  // 'l'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x3e, 0x3f, 0x3f, 0x3f, 0x3f, 0x33, 0x00, 0x00},  // 'm'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x36, 0x3b, 0x33, 0x33, 0x33, 0x33, 0x00, 0x00},  // 'n'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x1e, 0x33, 0x33, 0x33, 0x33, 0x1e, 0x00, 0x00},  // 'o'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x36, 0x3b, 0x33, 0x3b, 0x36, 0x30, 0x30, 0x30},  // 'p'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x1b, 0x37, 0x33, 0x37, 0x1b, 0x03, 0x03, 0x03},  // 'q'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x36, 0x3b, 0x30, 0x30, 0x30, 0x30, 0x00, 0x00},  // 'r'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x1e, 0x33, 0x1c, 0x06, 0x33, 0x1e, 0x00, 0x00},  // 's'
    {0x00, 0x00, 0x00, 0x18, 0x18, 0x3e, 0x18, 0x18, 0x18, 0x1b, 0x0e, 0x00, 0x00},  // 't'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x33, 0x33, 0x33, 0x33, 0x37, 0x1b, 0x00, 0x00},  // 'u'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x33, 0x33, 0x33, 0x1e, 0x1e, 0x0c, 0x00, 0x00},  // 'v'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x33, 0x33, 0x3f, 0x3f, 0x3f, 0x12, 0x00, 0x00},  // 'w'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x33, 0x1e, 0x0c, 0x0c, 0x1e, 0x33, 0x00, 0x00},  // 'x'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x33, 0x33, 0x33, 0x37, 0x1b, 0x03, 0x33, 0x1e},  // 'y'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x3f, 0x06, 0x0c, 0x18, 0x30, 0x3f, 0x00, 0x00},  // 'z'
    {0x00, 0x0e, 0x18, 0x18, 0x18, 0x0c, 0x38, 0x0c, 0x18, 0x18, 0x18, 0x0e, 0x00},  // '{'
    {0x00, 0x00, 0x0c, 0x0c, 0x0c, 0x0c, 0x0c, 0x0c, 0x0c, 0x0c, 0x0c, 0x00, 0x00},  // '|'
    {0x00, 0x38, 0x0c, 0x0c, 0x0c, 0x18, 0x0e, 0x18, 0x0c, 0x0c, 0x0c, 0x38, 0x00},  // '}'
    {0x00, 0x00, 0x1a, 0x3e, 0x24, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // '~'
};

// Draws text with its top-left corner at (x, y); each glyph pixel becomes a
// scale x scale block. Characters outside 32..126 draw as blanks.
void drawText(Image& img, int x, int y, const std::string& text, Col colour, int scale = 1) {
    for (char ch : text) {
        const int c = static_cast<unsigned char>(ch);
        if (c > 32 && c < 127) {
            for (int gy = 0; gy < kGlyphH; ++gy) {
                const uint8_t bits = kGlyphs[c - 32][gy];
                for (int gx = 0; gx < kGlyphW; ++gx)
                    if (bits & (0x20 >> gx))
                        img.rect(x + gx * scale, y + gy * scale, x + (gx + 1) * scale, y + (gy + 1) * scale, colour);
            }
        }
        x += kGlyphW * scale;
    }
}

// ---------------------------------------------------------------------------
// Periodic noise: value noise on a lattice that wraps, so every image made
// from it tiles without seams (textures repeat on tunnels and scroll).

uint32_t hash32(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return h;
}

float lattice(int ix, int iy, int period, uint32_t seed) {
    ix = ((ix % period) + period) % period;
    iy = ((iy % period) + period) % period;
    return static_cast<float>(hash32(static_cast<uint32_t>(ix), static_cast<uint32_t>(iy), seed) & 0xFFFF) / 65535.0f;
}

float smooth(float t) { return t * t * (3.0f - 2.0f * t); }

// u, v in tile units (0..1 covers the tile once); `period` lattice cells.
float valueNoise(float u, float v, int period, uint32_t seed) {
    const float x = u * static_cast<float>(period), y = v * static_cast<float>(period);
    const int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
    const float fx = smooth(x - static_cast<float>(ix)), fy = smooth(y - static_cast<float>(iy));
    const float a = lattice(ix, iy, period, seed), b = lattice(ix + 1, iy, period, seed);
    const float c = lattice(ix, iy + 1, period, seed), d = lattice(ix + 1, iy + 1, period, seed);
    return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

float fbm(float u, float v, int basePeriod, int octaves, uint32_t seed) {
    float sum = 0.0f, amplitude = 0.5f, total = 0.0f;
    int period = basePeriod;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * valueNoise(u, v, period, seed + static_cast<uint32_t>(o) * 101u);
        total += amplitude;
        amplitude *= 0.5f;
        period *= 2;
    }
    return sum / total;
}

// Distance between two points of the unit tile, measured across the wrap.
float wrapDistance(float ax, float ay, float bx, float by) {
    float dx = std::fabs(ax - bx), dy = std::fabs(ay - by);
    dx = std::min(dx, 1.0f - dx);
    dy = std::min(dy, 1.0f - dy);
    return std::sqrt(dx * dx + dy * dy);
}

float quantise(float v, int levels) { return std::floor(clamp01(v) * static_cast<float>(levels) * 0.9999f) / static_cast<float>(levels - 1); }

float tu(int x) { return (static_cast<float>(x) + 0.5f) / kSize; }

// ---------------------------------------------------------------------------
// Image set "imgs": bright, hard-edged patterns.

Image plasma() {
    Image img(kSize, kSize, 3);
    img.fill([](int x, int y) {
        const float u = tu(x) * kTwoPi, v = tu(y) * kTwoPi;
        const float p = std::sin(u * 2.0f) + std::sin(v * 3.0f) + std::sin((u + v) * 2.0f) + std::sin(u * 1.0f - v * 2.0f);
        const float h = quantise(p * 0.125f + 0.5f, 24);
        return hsv(h * 1.5f, 0.85f, 0.55f + 0.45f * quantise(0.5f + 0.5f * std::sin(p * 2.0f), 4));
    });
    return img;
}

Image rings() {
    Image img(kSize, kSize, 3);
    img.fill([](int x, int y) {
        const float d = wrapDistance(tu(x), tu(y), 0.5f, 0.5f);
        const int band = static_cast<int>(d * 24.0f);
        if (band % 2 == 1) return Col{0.06f, 0.04f, 0.12f};
        return hsv(static_cast<float>(band) / 14.0f, 0.9f, 1.0f);
    });
    return img;
}

Image checker() {
    Image img(kSize, kSize, 3);
    img.fill([](int x, int y) {
        const int cx = x / 32, cy = y / 32;
        const bool light = ((cx + cy) & 1) == 0;
        const Col c = hsv(static_cast<float>(cx + cy) / 16.0f, 0.8f, 1.0f);
        const int ex = x % 32, ey = y % 32;
        if (ex == 0 || ey == 0) return Col{0.0f, 0.0f, 0.0f};
        return light ? c : scaled(c, 0.25f);
    });
    return img;
}

Image stripes() {
    Image img(kSize, kSize, 3);
    img.fill([](int x, int y) {
        const int band = ((x + y) / 16) % 8;  // period 128 along both axes: seamless
        const int thin = ((x - y + 512) / 8) % 8;
        Col c = hsv(static_cast<float>(band) / 8.0f, 0.95f, 1.0f);
        if (thin == 0) c = mix(c, Col{1.0f, 1.0f, 1.0f}, 0.6f);
        return c;
    });
    return img;
}

Image sky() {
    Image img(kSize, kSize, 3);
    const Col deep{0.05f, 0.25f, 0.75f}, light{0.45f, 0.7f, 1.0f}, cloud{1.0f, 1.0f, 1.0f};
    img.fill([&](int x, int y) {
        const float n = fbm(tu(x), tu(y), 4, 5, 11u);
        const float c = clamp01((n - 0.45f) * 3.5f);
        return mix(mix(deep, light, n), cloud, c);
    });
    return img;
}

Image sunburst() {
    Image img(kSize, kSize, 3);
    img.fill([](int x, int y) {
        const float dx = tu(x) - 0.5f, dy = tu(y) - 0.5f;
        const float a = std::atan2(dy, dx) / kTwoPi + 0.5f;
        const float r = std::sqrt(dx * dx + dy * dy);
        const int ray = static_cast<int>(a * 20.0f);
        if (r < 0.09f) return Col{1.0f, 0.95f, 0.4f};
        if (r < 0.11f) return Col{1.0f, 0.5f, 0.0f};
        const float shade = 1.0f - quantise(r * 1.4f, 6) * 0.6f;
        return ray % 2 ? scaled(Col{1.0f, 0.35f, 0.1f}, shade) : scaled(Col{1.0f, 0.85f, 0.2f}, shade);
    });
    return img;
}

// ---------------------------------------------------------------------------
// Image set "imgs2": water and cool colours.

Image caustics() {
    Image img(kSize, kSize, 3);
    const std::vector<Col> pal{{0.0f, 0.1f, 0.3f}, {0.0f, 0.35f, 0.55f}, {0.1f, 0.7f, 0.8f}, {0.8f, 1.0f, 1.0f}};
    img.fill([&](int x, int y) {
        const float u = tu(x) * kTwoPi, v = tu(y) * kTwoPi;
        float s = 0.0f;
        for (int k = 1; k <= 3; ++k) {
            const float fk = static_cast<float>(k);
            s += std::fabs(std::sin(u * fk * 2.0f + std::sin(v * fk) * 1.5f) + std::sin(v * fk * 2.0f + std::cos(u * fk) * 1.5f));
        }
        return palette(pal, quantise(1.0f - s / 5.0f, 10));
    });
    return img;
}

Image marble() {
    Image img(kSize, kSize, 3);
    const std::vector<Col> pal{{0.05f, 0.08f, 0.25f}, {0.2f, 0.35f, 0.75f}, {0.85f, 0.9f, 1.0f}, {0.3f, 0.5f, 0.9f}};
    img.fill([&](int x, int y) {
        const float turbulence = fbm(tu(x), tu(y), 4, 5, 23u);
        const float m = 0.5f + 0.5f * std::sin((tu(x) * 3.0f + tu(y) * 2.0f) * kTwoPi + turbulence * 9.0f);
        return palette(pal, m);
    });
    return img;
}

// Four channels: opaque coloured dots on a half-transparent ground, so the
// layers behind show through between the dots.
Image dots() {
    Image img(kSize, kSize, 4);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const int cy = y / 32;
            const int ox = (cy & 1) ? 16 : 0;  // every other row shifted by half a dot; still tiles
            const int cx = ((x + ox) / 32) % 8;
            const float px = static_cast<float>((x + ox) % 32) - 15.5f, py = static_cast<float>(y % 32) - 15.5f;
            const float r = std::sqrt(px * px + py * py);
            if (r < 11.0f)
                img.put(x, y, hsv(static_cast<float>(cx * 3 + cy * 5) / 16.0f, 0.75f, 1.0f), 1.0f);
            else if (r < 13.0f)
                img.put(x, y, Col{1.0f, 1.0f, 1.0f}, 1.0f);
            else
                img.put(x, y, Col{0.0f, 0.15f, 0.3f}, 0.35f);
        }
    return img;
}

Image tartan() {
    Image img(kSize, kSize, 3);
    // One sett of 64 pixels, repeated: band colours and widths.
    static const int widths[] = {12, 4, 12, 2, 16, 4, 10, 4};
    static const Col colours[] = {{0.05f, 0.2f, 0.5f}, {0.9f, 0.8f, 0.1f}, {0.05f, 0.35f, 0.15f}, {1.0f, 1.0f, 1.0f},
                                  {0.6f, 0.05f, 0.1f}, {0.05f, 0.05f, 0.1f}, {0.05f, 0.35f, 0.15f}, {0.2f, 0.7f, 0.9f}};
    auto band = [&](int p) {
        p %= 64;
        for (int i = 0; i < 8; ++i) {
            if (p < widths[i]) return i;
            p -= widths[i];
        }
        return 7;
    };
    img.fill([&](int x, int y) {
        const Col a = colours[band(x)], b = colours[band(y)];
        return ((x + y) & 2) ? a : b;  // twill: warp and weft alternate on diagonals
    });
    return img;
}

Image moire() {
    Image img(kSize, kSize, 3);
    img.fill([](int x, int y) {
        const bool a = static_cast<int>(wrapDistance(tu(x), tu(y), 0.3f, 0.35f) * 40.0f) % 2 == 0;
        const bool b = static_cast<int>(wrapDistance(tu(x), tu(y), 0.7f, 0.6f) * 40.0f) % 2 == 0;
        if (a && b) return Col{0.95f, 0.95f, 1.0f};
        if (a) return Col{0.1f, 0.5f, 0.9f};
        if (b) return Col{0.0f, 0.75f, 0.55f};
        return Col{0.02f, 0.05f, 0.15f};
    });
    return img;
}

// ---------------------------------------------------------------------------
// Image set "imgs3": warm colours.

Image fire() {
    Image img(kSize, kSize, 3);
    const std::vector<Col> pal{{0.05f, 0.0f, 0.0f}, {0.6f, 0.05f, 0.0f}, {1.0f, 0.45f, 0.0f}, {1.0f, 0.85f, 0.2f}, {1.0f, 1.0f, 0.85f}};
    img.fill([&](int x, int y) {
        const float u = tu(x), v = tu(y);
        const float n = fbm(u + 0.15f * std::sin(v * kTwoPi * 2.0f), v, 4, 5, 37u);
        const float flame = 0.5f + 0.5f * std::sin(v * kTwoPi * 3.0f + n * 8.0f);
        return palette(pal, clamp01(n * 1.3f * (0.4f + 0.6f * flame)));
    });
    return img;
}

Image voronoi() {
    Image img(kSize, kSize, 3);
    // Jittered 6 x 6 grid of cell centres in the unit tile.
    std::vector<std::array<float, 2>> centres;
    for (int j = 0; j < 6; ++j)
        for (int i = 0; i < 6; ++i) {
            const float jx = static_cast<float>(hash32(i, j, 5u) & 0xFFFF) / 65535.0f;
            const float jy = static_cast<float>(hash32(i, j, 6u) & 0xFFFF) / 65535.0f;
            centres.push_back({(static_cast<float>(i) + 0.15f + 0.7f * jx) / 6.0f, (static_cast<float>(j) + 0.15f + 0.7f * jy) / 6.0f});
        }
    img.fill([&](int x, int y) {
        float best = 9.0f, second = 9.0f;
        size_t bestIndex = 0;
        for (size_t k = 0; k < centres.size(); ++k) {
            const float d = wrapDistance(tu(x), tu(y), centres[k][0], centres[k][1]);
            if (d < best) {
                second = best;
                best = d;
                bestIndex = k;
            } else if (d < second) {
                second = d;
            }
        }
        if (second - best < 0.012f) return Col{0.08f, 0.04f, 0.02f};  // lead between the panes
        const float h = 0.97f + static_cast<float>(hash32(static_cast<uint32_t>(bestIndex), 0u, 9u) % 100) / 550.0f;
        const float v = 0.6f + static_cast<float>(hash32(static_cast<uint32_t>(bestIndex), 1u, 9u) % 100) / 250.0f;
        return hsv(h, 0.85f, v);
    });
    return img;
}

Image spiral() {
    Image img(kSize, kSize, 3);
    img.fill([](int x, int y) {
        const float dx = tu(x) - 0.5f, dy = tu(y) - 0.5f;
        const float r = std::sqrt(dx * dx + dy * dy) + 1e-4f;
        const float a = std::atan2(dy, dx) / kTwoPi;
        const int arm = static_cast<int>(std::floor((a + std::log(r) * 0.9f) * 6.0f));
        const int k = ((arm % 3) + 3) % 3;
        const Col c[3] = {{1.0f, 0.3f, 0.05f}, {1.0f, 0.75f, 0.1f}, {0.5f, 0.0f, 0.25f}};
        return c[k];
    });
    return img;
}

Image sunset() {
    Image img(kSize, kSize, 3);
    const std::vector<Col> sky{{0.15f, 0.0f, 0.3f}, {0.6f, 0.05f, 0.45f}, {1.0f, 0.35f, 0.3f}, {1.0f, 0.75f, 0.3f}};
    img.fill([&](int x, int y) {
        const float v = tu(y);
        if (v > 0.62f) {  // sea: stripes that narrow towards the horizon
            const float d = (v - 0.62f) / 0.38f;
            const bool line = static_cast<int>(std::sqrt(d) * 14.0f) % 2 == 0;
            return line ? Col{0.25f, 0.0f, 0.35f} : Col{0.05f, 0.0f, 0.12f};
        }
        const float dx = tu(x) - 0.5f, dy = v - 0.45f;
        if (dx * dx + dy * dy < 0.06f) {  // the sun, cut by bars that thicken downwards
            const float s = (v - 0.2f) / 0.42f;
            const bool cut = s > 0.35f && fract(s * 7.0f) < (s - 0.35f) * 0.9f;
            if (!cut) return mix(Col{1.0f, 0.95f, 0.3f}, Col{1.0f, 0.2f, 0.45f}, clamp01(s));
        }
        return palette(sky, quantise(v / 0.62f, 16));
    });
    return img;
}

Image wordmark() {
    Image img(kSize, kSize, 3);
    img.fill([](int, int y) {
        const int layer = y / 16;
        return hsv(0.55f + static_cast<float>(layer) * 0.06f, 0.7f, 0.35f + 0.05f * static_cast<float>(layer % 3));
    });
    const std::string word = "STRATA";
    const int scale = 6;
    const int w = static_cast<int>(word.size()) * kGlyphW * scale;
    const int x0 = (kSize - w) / 2, y0 = (kSize - kGlyphH * scale) / 2;
    drawText(img, x0 + 4, y0 + 4, word, Col{0.0f, 0.0f, 0.0f}, scale);
    drawText(img, x0, y0, word, Col{1.0f, 0.85f, 0.2f}, scale);
    return img;
}

// ---------------------------------------------------------------------------
// Models

struct V3 {
    float x, y, z;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, float k) { return {a.x * k, a.y * k, a.z * k}; }
V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 normalise(V3 a) {
    const float l = std::sqrt(dot(a, a));
    return l > 1e-12f ? a * (1.0f / l) : V3{0.0f, 0.0f, 1.0f};
}

struct Corner {
    int v, t, n;  // zero-based
};

struct Mesh {
    std::vector<V3> positions, normals;
    std::vector<std::array<float, 2>> uvs;
    std::vector<std::vector<Corner>> faces;

    // A (columns + 1) x (rows + 1) grid of vertices from surface(i, j, &position,
    // &normal) with texture coordinates (i / columns * uRepeat, j / rows * vRepeat),
    // emitted as quads. The seam column and row are separate vertices so the
    // texture coordinates run on without a jump.
    template <class Surface>
    void addGrid(int columns, int rows, float uRepeat, float vRepeat, Surface surface) {
        const int base = static_cast<int>(positions.size());
        for (int j = 0; j <= rows; ++j)
            for (int i = 0; i <= columns; ++i) {
                V3 p{}, n{};
                surface(i, j, p, n);
                positions.push_back(p);
                normals.push_back(normalise(n));
                uvs.push_back({static_cast<float>(i) / columns * uRepeat, static_cast<float>(j) / rows * vRepeat});
            }
        for (int j = 0; j < rows; ++j)
            for (int i = 0; i < columns; ++i) {
                const int a = base + j * (columns + 1) + i, b = a + 1, c = a + columns + 2, d = a + columns + 1;
                faces.push_back({{a, a, a}, {b, b, b}, {c, c, c}, {d, d, d}});
            }
    }

    int triangles() const {
        int n = 0;
        for (const auto& f : faces) n += static_cast<int>(f.size()) - 2;
        return n;
    }
};

// Values that would print as a signed zero ("-0.000") print as zero.
float clean(float v, float half = 0.00005f) { return std::fabs(v) < half ? 0.0f : v; }

// Every line stays far below the 78 characters a line reader may take.
bool writeObj(const std::filesystem::path& path, const Mesh& mesh, const char* title) {
    std::string out;
    char line[128];
    std::snprintf(line, sizeof line, "# %s: %zu vertices, %d triangles\n", title, mesh.positions.size(), mesh.triangles());
    out += line;
    for (const V3& p : mesh.positions) {
        std::snprintf(line, sizeof line, "v %.4f %.4f %.4f\n", clean(p.x), clean(p.y), clean(p.z));
        out += line;
    }
    for (const auto& t : mesh.uvs) {
        std::snprintf(line, sizeof line, "vt %.3f %.3f\n", clean(t[0], 0.0005f), clean(t[1], 0.0005f));
        out += line;
    }
    for (const V3& n : mesh.normals) {
        std::snprintf(line, sizeof line, "vn %.3f %.3f %.3f\n", clean(n.x, 0.0005f), clean(n.y, 0.0005f), clean(n.z, 0.0005f));
        out += line;
    }
    for (const auto& face : mesh.faces) {
        out += "f";
        for (const Corner& c : face) {
            std::snprintf(line, sizeof line, " %d/%d/%d", c.v + 1, c.t + 1, c.n + 1);
            out += line;
        }
        out += "\n";
    }
    std::printf("%-34s %7zu bytes  %d triangles\n", path.c_str(), out.size(), mesh.triangles());
    return writeText(path, out);
}

// A (2, 3) torus knot swept by a round tube.
Mesh torusKnot() {
    Mesh mesh;
    const int along = 160, around = 12;
    const float tube = 0.42f;
    auto curve = [](float t) {
        const float r = 2.0f + std::cos(3.0f * t);
        return V3{r * std::cos(2.0f * t), r * std::sin(2.0f * t), -std::sin(3.0f * t)};
    };
    mesh.addGrid(along, around, 12.0f, 1.0f, [&](int i, int j, V3& p, V3& n) {
        const float t = kTwoPi * static_cast<float>(i % along) / along;
        const float h = 0.001f;
        const V3 c = curve(t);
        const V3 tangent = normalise(curve(t + h) - curve(t - h));
        const V3 bend = curve(t + h) + curve(t - h) - c * 2.0f;  // curvature direction
        const V3 binormal = normalise(cross(tangent, bend));
        const V3 normal = cross(binormal, tangent);
        // Clockwise round the tube, so the quads wind counter-clockwise seen from outside.
        const float a = -kTwoPi * static_cast<float>(j % around) / around;
        n = normal * std::cos(a) + binormal * std::sin(a);
        p = c + n * tube;
    });
    return mesh;
}

// An icosahedron divided four times and pushed onto the unit sphere.
Mesh geodesicSphere() {
    const float X = 0.525731f, Z = 0.850651f;
    std::vector<V3> v{{-X, 0, Z}, {X, 0, Z}, {-X, 0, -Z}, {X, 0, -Z}, {0, Z, X}, {0, Z, -X},
                      {0, -Z, X}, {0, -Z, -X}, {Z, X, 0}, {-Z, X, 0}, {Z, -X, 0}, {-Z, -X, 0}};
    std::vector<std::array<int, 3>> tris{{0, 4, 1}, {0, 9, 4}, {9, 5, 4}, {4, 5, 8}, {4, 8, 1}, {8, 10, 1}, {8, 3, 10},
                                         {5, 3, 8}, {5, 2, 3}, {2, 7, 3}, {7, 10, 3}, {7, 6, 10}, {7, 11, 6}, {11, 0, 6},
                                         {0, 1, 6}, {6, 1, 10}, {9, 0, 11}, {9, 11, 2}, {9, 2, 5}, {7, 2, 11}};
    for (int level = 0; level < 4; ++level) {
        std::vector<std::array<int, 3>> next;
        std::vector<std::array<int, 3>> cache;  // (a, b, midpoint), a < b
        auto midpoint = [&](int a, int b) {
            if (a > b) std::swap(a, b);
            for (const auto& e : cache)
                if (e[0] == a && e[1] == b) return e[2];
            v.push_back(normalise(v[a] + v[b]));
            cache.push_back({a, b, static_cast<int>(v.size()) - 1});
            return static_cast<int>(v.size()) - 1;
        };
        for (const auto& t : tris) {
            const int ab = midpoint(t[0], t[1]), bc = midpoint(t[1], t[2]), ca = midpoint(t[2], t[0]);
            next.push_back({t[0], ab, ca});
            next.push_back({t[1], bc, ab});
            next.push_back({t[2], ca, bc});
            next.push_back({ab, bc, ca});
        }
        tris.swap(next);
    }
    Mesh mesh;
    mesh.positions = v;
    mesh.normals = v;
    for (const V3& p : v)
        mesh.uvs.push_back({std::atan2(p.z, p.x) / kTwoPi + 0.5f, std::acos(std::max(-1.0f, std::min(1.0f, p.y))) / kPi});
    // Triangles that straddle the seam of the longitude coordinate get extra
    // texture coordinates one turn further on, so the texture wraps smoothly.
    for (auto t : tris) {
        std::swap(t[1], t[2]);  // the icosahedron above winds clockwise seen from outside
        float umax = 0.0f;
        for (int k = 0; k < 3; ++k) umax = std::max(umax, mesh.uvs[t[k]][0]);
        std::vector<Corner> face;
        for (int k = 0; k < 3; ++k) {
            int uv = t[k];
            if (umax - mesh.uvs[t[k]][0] > 0.5f) {
                mesh.uvs.push_back({mesh.uvs[t[k]][0] + 1.0f, mesh.uvs[t[k]][1]});
                uv = static_cast<int>(mesh.uvs.size()) - 1;
            }
            face.push_back({t[k], uv, t[k]});
        }
        mesh.faces.push_back(face);
    }
    return mesh;
}

// A wavy band that turns over twice on its way round.
Mesh twistedRibbon() {
    Mesh mesh;
    const int along = 192, across = 8;
    auto point = [](float s, float w) {
        const float twist = 2.0f * s;  // two full turns: the band closes on itself
        const V3 centre{1.6f * std::cos(s), 0.35f * std::sin(3.0f * s), 1.6f * std::sin(s)};
        const V3 radial{std::cos(s), 0.0f, std::sin(s)}, up{0.0f, 1.0f, 0.0f};
        return centre + (radial * std::cos(twist) + up * std::sin(twist)) * (0.55f * w);
    };
    mesh.addGrid(along, across, 8.0f, 1.0f, [&](int i, int j, V3& p, V3& n) {
        const float s = kTwoPi * static_cast<float>(i % along) / along;
        const float w = static_cast<float>(j) / across * 2.0f - 1.0f;
        const float h = 0.001f;
        p = point(s, w);
        n = cross(point(s + h, w) - point(s - h, w), point(s, w + h) - point(s, w - h));
    });
    return mesh;
}

// A cube with rounded edges and corners: each face is a grid pushed onto the
// surface at distance `radius` from an inner box.
Mesh roundedCube() {
    Mesh mesh;
    const int cells = 16;
    const float radius = 0.3f, inner = 1.0f - radius;
    // Face frames: normal, u axis, v axis (u x v = normal, so faces wind outward).
    const V3 frames[6][3] = {{{1, 0, 0}, {0, 0, -1}, {0, 1, 0}}, {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
                             {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}}, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
                             {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},  {{0, 0, -1}, {-1, 0, 0}, {0, 1, 0}}};
    for (const auto& f : frames) {
        mesh.addGrid(cells, cells, 1.0f, 1.0f, [&](int i, int j, V3& p, V3& n) {
            const float a = static_cast<float>(i) / cells * 2.0f - 1.0f, b = static_cast<float>(j) / cells * 2.0f - 1.0f;
            const V3 onCube = f[0] + f[1] * a + f[2] * b;
            const V3 core{std::clamp(onCube.x, -inner, inner), std::clamp(onCube.y, -inner, inner), std::clamp(onCube.z, -inner, inner)};
            n = normalise(onCube - core);
            p = core + n * radius;
        });
    }
    return mesh;
}

// ---------------------------------------------------------------------------
// Keys and modules

// Letter keys of the two upper letter rows, in controller order; 'v' sets
// the current layer's opacity (controller 7). 'h' stays free for help mode.
struct KeyBinding {
    char key;
    int code;
};
const KeyBinding kKeys[] = {{'v', 7},  {'q', 17}, {'w', 18}, {'e', 19}, {'r', 21}, {'t', 22}, {'y', 23}, {'u', 24},
                            {'i', 25}, {'o', 26}, {'p', 27}, {'a', 28}, {'s', 29}, {'d', 30}, {'f', 31}};

std::string keyDb() {
    std::string out;
    char line[16];
    for (const KeyBinding& k : kKeys) {
        std::snprintf(line, sizeof line, "%c %d\n", k.key, k.code);
        out += line;
    }
    // The same codes on the capital letters, so Caps Lock changes nothing.
    for (const KeyBinding& k : kKeys) {
        std::snprintf(line, sizeof line, "%c %d\n", k.key - 'a' + 'A', k.code);
        out += line;
    }
    return out;
}

char keyFor(int code) {
    for (const KeyBinding& k : kKeys)
        if (k.code == code) return k.key;
    return '?';
}

// One help line: the controller a key writes, what the mouse x (left to
// right) and the mouse y (top to bottom) do with it. On the page the x text
// has 17 columns and the y text 19 (checked by textsFit).
struct Control {
    int code;
    const char* x;
    const char* y;
};

struct Module {
    const char* dir;    // directory under Reactors/, also the modules.db name
    const char* title;  // shown on the page
    Col accent;
    std::vector<Control> controls;
    std::vector<const char*> notes;
};

const Control kImage{25, "step images </>", "top half: pick"};
const Control kScroll{29, "scroll across", "scroll up/down"};
const Control kTile{30, "tile size across", "tile size up/down"};
const Control kTurn{31, "turn texture S", "turn texture T"};
const Control kSpinY{26, "spin round Y", "spin round X"};
const Control kSpinZ{27, "spin round Z", "nearer / farther"};
const Control kMove{28, "move left/right", "move up/down"};

std::vector<Module> modules() {
    std::vector<Module> m;
    m.push_back({"Waver", "Waver", {0.3f, 0.8f, 1.0f},
                 {{22, "water | flow", "-"},
                  {21, "flow: pole orbit", "flow: pole speed"},
                  {21, "water: drop at X", "water: drop at Y"},
                  kImage, kScroll, kTile, kTurn},
                 {"water: r at far left rains drops", "f: X near the middle = no turning"}});
    m.push_back({"Tunnel", "Tunnel", {1.0f, 0.6f, 0.2f},
                 {{22, "tube | floors", "-"}, {24, "tilt", "tilt"}, {28, "spin speed", "-"}, kImage, kScroll, kTile, kTurn},
                 {"t far left: tube of strips", "f: X near the middle = no turning"}});
    m.push_back({"Cloud", "Cloud", {0.85f, 0.9f, 1.0f},
                 {{17, "drift speed", "layer spacing"}, {22, "fade per layer", "top 4, bottom 5"}, {7, "opacity", "-"},
                  kImage, kScroll, kTile, kTurn},
                 {"f: X near the middle = no turning"}});
    m.push_back({"Waver3D", "Waver 3D", {0.4f, 1.0f, 0.6f},
                 {{22, "torus | sphere", "-"}, kSpinY, kSpinZ, kMove, kImage, kScroll, kTile},
                 {"image shows as a reflection"}});
    m.push_back({"Particles1", "Particles1", {1.0f, 0.4f, 0.9f},
                 {{17, "source up/down", "source left/right"},
                  {18, "count 1..1280", "-"},
                  {19, "left 1/4: restart", "life variation"},
                  {21, "drag (left=boost)", "gravity (top=fall)"},
                  {22, "source width", "source height"},
                  {23, "burst across", "burst up/down"},
                  {24, "sprite width", "sprite height"},
                  kImage},
                 {"sprites grow with the sound level"}});
    m.push_back({"MetaballViewer", "Metaballs", {0.6f, 0.6f, 1.0f},
                 {{17, "source up/down", "source left/right"},
                  {18, "balls 1..50", "-"},
                  {19, "left 1/4: restart", "life variation"},
                  {21, "drag (left=boost)", "gravity (top=fall)"},
                  {22, "source width", "source height"},
                  {23, "burst across", "burst up/down"},
                  kSpinY, kSpinZ, kMove, kImage, kScroll, kTile},
                 {}});
    m.push_back({"ObjViewer", "Obj Viewer", {1.0f, 0.85f, 0.3f},
                 {{17, "choose model", "-"}, kSpinY, kSpinZ, kMove, kImage},
                 {"models: the mdls directory"}});
    m.push_back({"TorusTunnel", "Torus Tunnel", {1.0f, 0.45f, 0.45f},
                 {{19, "flow around", "flow along"}, {24, "twist", "twist"}},
                 {"shows the image of the layer", "drawn before it"}});
    m.push_back({"Flo", "Flo", {0.7f, 0.7f, 0.7f}, {}, {"no reactor: this module draws", "nothing and the layer stays", "empty. Up/Down picks another."}});
    m.push_back({"RippleObjViewer", "Ripple Obj", {0.3f, 0.9f, 0.9f},
                 {{21, "turn texture S", "turn texture T"}, kScroll, kTile, {17, "turn model", "turn model"},
                  {19, "model wave height", "-"}},
                 {"no model is loaded: q and e show", "nothing. Wipes the layers drawn", "before it; shows the last image."}});
    m.push_back({"SoundScape", "Sound Scape", {0.5f, 1.0f, 0.3f},
                 {{27, "spin speed", "-"}},
                 {"bars follow the sound input:", "inner ring left, outer right"}});
    m.push_back({"Wave", "Wave", {0.3f, 0.6f, 1.0f},
                 {{17, "orbit speed", "orbit radius"}},
                 {"shows the image of the layer", "drawn before it"}});
    return m;
}

constexpr size_t kXColumns = 17, kYColumns = 19, kNoteColumns = 41, kTitleColumns = 12;

bool textsFit(const std::vector<Module>& mods) {
    bool fit = true;
    auto check = [&](const char* text, size_t columns) {
        if (std::string(text).size() <= columns) return;
        std::fprintf(stderr, "strata-stagegen: help text too long (%zu columns): %s\n", columns, text);
        fit = false;
    };
    for (const Module& m : mods) {
        check(m.title, kTitleColumns);
        for (const Control& c : m.controls) {
            check(c.x, kXColumns);
            check(c.y, kYColumns);
        }
        for (const char* note : m.notes) check(note, kNoteColumns);
    }
    return fit;
}

std::string modulesDb(const std::vector<Module>& mods) {
    std::string out;
    for (const Module& m : mods) out += std::string(m.dir) + "\n";
    return out;
}

// A help page: title, the module's controls as "key code  X  Y" rows, notes,
// and the fixed keys at the foot. 42 columns of 6 pixels, rows of 13.
Image helpPage(const Module& mod, int index) {
    Image img(kSize, kSize, 3);
    const Col ground{0.06f, 0.07f, 0.18f}, white{1.0f, 1.0f, 1.0f}, yellow{1.0f, 0.9f, 0.3f}, cyan{0.6f, 0.9f, 1.0f};
    const Col green{0.6f, 1.0f, 0.6f}, grey{0.65f, 0.65f, 0.72f};
    img.fill([&](int, int) { return ground; });
    img.rect(0, 0, kSize, 2, mod.accent);
    img.rect(0, kSize - 2, kSize, kSize, mod.accent);
    img.rect(0, 0, 2, kSize, mod.accent);
    img.rect(kSize - 2, 0, kSize, kSize, mod.accent);

    drawText(img, 6, 3, mod.title, mod.accent, 2);
    char number[32];
    std::snprintf(number, sizeof number, "module %d", index);
    drawText(img, kSize - 6 - kGlyphW * static_cast<int>(std::string(number).size()), 16, number, grey);

    int y = 31;
    if (!mod.controls.empty()) {
        drawText(img, 6, y, "key", grey);
        drawText(img, 6 + 4 * kGlyphW, y, "mouse X ->", grey);
        drawText(img, 6 + 22 * kGlyphW, y, "mouse Y (down)", grey);
        y += kGlyphH + 1;
        for (const Control& c : mod.controls) {
            char key[8];
            std::snprintf(key, sizeof key, "%c%d", keyFor(c.code), c.code);
            drawText(img, 6, y, key, yellow);
            drawText(img, 6 + 4 * kGlyphW, y, c.x, white);
            drawText(img, 6 + 22 * kGlyphW, y, c.y, cyan);
            y += kGlyphH;
        }
        y += 3;
    }
    for (const char* note : mod.notes) {
        drawText(img, 6, y, note, green);
        y += kGlyphH;
    }
    int foot = kSize - 4 - 3 * kGlyphH;
    img.rect(2, foot - 3, kSize - 2, foot - 2, grey);
    drawText(img, 6, foot, "F1-F11 layer+opacity v opacity h help", grey);
    foot += kGlyphH;
    drawText(img, 6, foot, "Up/Down module  Left/Right image set", grey);
    foot += kGlyphH;
    drawText(img, 6, foot, "F12+e trails End MIDI PgDn joy Esc", grey);
    return img;
}

bool parseSide(const char* text, int high, int& value) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end || v < 0 || v > high) return false;
    value = static_cast<int>(v);
    return true;
}

int writeOneImage(int argc, char** argv) {
    int width = 0, height = 0, channels = 0, magic = 474;
    const std::string storage = argc > 5 ? argv[5] : "";
    if (argc < 6 || argc > 7 || !parseSide(argv[2], 65535, width) || !parseSide(argv[3], 65535, height) ||
        !parseSide(argv[4], 65535, channels) || (storage != "verbatim" && storage != "rle") ||
        (argc == 7 && (storage == "rle" || !parseSide(argv[6], 65535, magic)))) {
        std::fprintf(stderr, "usage: strata-stagegen sgi <width> <height> <channels> verbatim [<magic>] | rle\n");
        return 2;
    }
    const size_t size = static_cast<size_t>(width) * height * channels;
    std::vector<uint8_t> planes(size + 1);
    const size_t got = std::fread(planes.data(), 1, planes.size(), stdin);
    if (got != size) {
        std::fprintf(stderr, "strata-stagegen: expected %zu bytes of planes, read %zu%s\n", size, got,
                     got > size ? " or more" : "");
        return 1;
    }
    planes.resize(size);
    const std::vector<uint8_t> bytes =
        storage == "rle" ? sgiRunLength(width, height, channels, planes) : sgiVerbatim(width, height, channels, planes, magic);
    return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() && std::fflush(stdout) == 0 ? 0 : 1;
}

// ---------------------------------------------------------------------------
// The demo show's sound: 16 s at 120 beats per minute (eight bars of four),
// unsigned 8-bit stereo at 22 050 Hz, the capture format itself. A kick on
// every beat, a hi-hat between them, a bass line, and a slow pad whose
// brightness swells over the loop; noise comes from the integer hash.

bool writeDemoSound(const std::filesystem::path& path) {
    constexpr int kRate = 22050;
    constexpr int kFrames = kRate * 16;
    constexpr double kBeat = 0.5;  // seconds
    static const double kBassNotes[8] = {55.0, 55.0, 65.41, 49.0, 55.0, 73.42, 65.41, 49.0};
    std::vector<uint8_t> data(static_cast<size_t>(kFrames) * 2);
    for (int i = 0; i < kFrames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double inBeat = std::fmod(t, kBeat);
        const int beat = static_cast<int>(t / kBeat);
        const int bar = beat / 4;
        // Kick: a sine falling from 150 Hz, gone within a fifth of a second.
        const double kick = std::exp(-inBeat * 18.0) * std::sin(kTwoPi * (45.0 * inBeat + 12.0 * (1.0 - std::exp(-inBeat * 30.0))));
        // Hi-hat on the off-beat: hashed noise with a quick decay.
        const double offBeat = std::fmod(t + kBeat / 2, kBeat);
        const double noise = (static_cast<int>(mixBits(static_cast<uint32_t>(i)) & 0xFFFF) - 32768) / 32768.0;
        const double hat = std::exp(-offBeat * 60.0) * noise;
        // Bass: one note a bar, plucked on each beat.
        const double bassFrequency = kBassNotes[bar % 8];
        const double bass = std::exp(-inBeat * 4.0) * std::sin(kTwoPi * bassFrequency * t);
        // Pad: a fifth apart left and right, swelling over the 16 s loop.
        const double swell = 0.5 - 0.5 * std::cos(kTwoPi * t / 16.0);
        const double padLeft = swell * std::sin(kTwoPi * 220.0 * t) * std::sin(kTwoPi * 0.5 * t);
        const double padRight = swell * std::sin(kTwoPi * 330.0 * t) * std::cos(kTwoPi * 0.25 * t);
        const double left = 0.45 * kick + 0.15 * hat + 0.25 * bass + 0.2 * padLeft;
        const double right = 0.45 * kick + 0.2 * hat + 0.2 * bass + 0.25 * padRight;
        for (int side = 0; side < 2; ++side) {
            const double v = std::clamp(side ? right : left, -1.0, 1.0);
            data[static_cast<size_t>(i) * 2 + side] = static_cast<uint8_t>(std::lround(v * 127.0) + 128);
        }
    }
    const uint32_t bytes = static_cast<uint32_t>(data.size());
    uint8_t header[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                          1,   0,   2,   0,   0, 0, 0, 0, 0,   0,   0,   0,   2,   0,   8,   0,   'd', 'a', 't', 'a'};
    const uint32_t fields[3][2] = {{4, bytes + 36}, {24, kRate}, {28, kRate * 2}};
    for (const auto& [at, value] : fields)
        for (int b = 0; b < 4; ++b) header[at + b] = static_cast<uint8_t>(value >> (8 * b));
    for (int b = 0; b < 4; ++b) header[40 + b] = static_cast<uint8_t>(bytes >> (8 * b));
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header &&
              std::fwrite(data.data(), 1, data.size(), file) == data.size();
    ok &= std::fclose(file) == 0;
    return ok;
}

// The image sets. A few images stay verbatim (noise-based pictures gain
// nothing from runs); the rest use run-length storage.
bool writeImages(const std::filesystem::path& root) {
    const struct {
        const char* path;
        Image (*make)();
        bool runLength;
    } images[] = {
        {"imgs/a_plasma.rgb", plasma, true},      {"imgs/b_rings.rgb", rings, true},
        {"imgs/c_checker.rgb", checker, true},    {"imgs/d_stripes.rgb", stripes, true},
        {"imgs/e_sky.rgb", sky, false},           {"imgs/f_sunburst.rgb", sunburst, true},
        {"imgs2/a_caustics.rgb", caustics, true}, {"imgs2/b_marble.rgb", marble, false},
        {"imgs2/c_dots.rgb", dots, true},         {"imgs2/d_tartan.rgb", tartan, true},
        {"imgs2/e_moire.rgb", moire, true},       {"imgs3/a_fire.rgb", fire, false},
        {"imgs3/b_glass.rgb", voronoi, true},     {"imgs3/c_spiral.rgb", spiral, true},
        {"imgs3/d_sunset.rgb", sunset, true},     {"imgs3/e_strata.rgb", wordmark, true},
    };
    bool ok = true;
    for (const auto& image : images) ok &= writeSgi(root / image.path, image.make(), image.runLength);
    return ok;
}

// The middle w x h of an image.
Image crop(const Image& source, int w, int h) {
    Image out(w, h, source.channels);
    const int left = (source.width - w) / 2, top = (source.height - h) / 2;
    for (int y = 0; y < h; ++y)
        std::copy_n(&source.rgba[(static_cast<size_t>(top + y) * source.width + left) * 4], w * 4,
                    &out.rgba[static_cast<size_t>(y) * w * 4]);
    return out;
}

bool writePngPicture(const std::filesystem::path& path, const Image& img) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(img.width);
    image.height = static_cast<png_uint_32>(img.height);
    image.format = PNG_FORMAT_RGBA;
    const bool ok = png_image_write_to_file(&image, path.c_str(), 0, img.rgba.data(), 0, nullptr) != 0;
    if (!ok) std::fprintf(stderr, "strata-stagegen: cannot write %s: %s\n", path.c_str(), image.message);
    std::printf("%-34s %4dx%-4d PNG\n", path.c_str(), img.width, img.height);
    return ok;
}

bool writeJpegPicture(const std::filesystem::path& path, const Image& img) {
    tjhandle handle = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    bool ok = handle && tjCompress2(handle, img.rgba.data(), img.width, 0, img.height, TJPF_RGBA, &out, &size,
                                    TJSAMP_420, 88, 0) == 0;
    ok = ok && writeBytes(path, out, size);
    tjFree(out);
    if (handle) tjDestroy(handle);
    std::printf("%-34s %4dx%-4d JPEG\n", path.c_str(), img.width, img.height);
    return ok;
}

// The set of one's own material: a wide sunburst fading out at its edges
// (PNG with alpha) and a tall sky (JPEG); the set has no .rgb image, so
// both are letterboxed into 512 x 512.
bool writePictures(const std::filesystem::path& root) {
    Image glow = crop(sunburst(), 256, 144);
    for (int y = 0; y < glow.height; ++y)
        for (int x = 0; x < glow.width; ++x) {
            const float dx = (x + 0.5f) / glow.width - 0.5f, dy = (y + 0.5f) / glow.height - 0.5f;
            glow.rgba[(static_cast<size_t>(y) * glow.width + x) * 4 + 3] =
                toByte(clamp01(1.6f - 3.2f * std::sqrt(dx * dx + dy * dy)));
        }
    return writePngPicture(root / "imgs4" / "a_glow.png", glow) &&
           writeJpegPicture(root / "imgs4" / "b_sky.jpg", crop(sky(), 160, 256));
}

bool writeModels(const std::filesystem::path& root) {
    bool ok = writeObj(root / "mdls" / "torusknot.obj", torusKnot(), "torus knot");
    ok &= writeObj(root / "mdls" / "geosphere.obj", geodesicSphere(), "geodesic sphere");
    ok &= writeObj(root / "mdls" / "ribbon.obj", twistedRibbon(), "twisted ribbon");
    ok &= writeObj(root / "mdls" / "roundcube.obj", roundedCube(), "rounded cube");
    return ok;
}

// Each module's help page, in its own folder under Reactors/.
bool writeHelpPages(const std::filesystem::path& root, const std::vector<Module>& mods) {
    bool ok = true;
    for (size_t i = 0; i < mods.size(); ++i) {
        const std::filesystem::path dir = root / "Reactors" / mods[i].dir;
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        ok &= !ec && writeSgi(dir / "help.rgb", helpPage(mods[i], static_cast<int>(i)), true);
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "sgi") return writeOneImage(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: strata-stagegen <directory>\n"
                             "       strata-stagegen sgi <width> <height> <channels> verbatim [<magic>] | rle\n");
        return 2;
    }
    namespace fs = std::filesystem;
    const fs::path root(argv[1]);
    std::error_code ec;
    for (const char* sub : {"imgs", "imgs2", "imgs3", "imgs4", "mdls", "Reactors"}) fs::create_directories(root / sub, ec);
    if (ec) {
        std::fprintf(stderr, "strata-stagegen: cannot create directories in %s\n", root.c_str());
        return 1;
    }
    const std::vector<Module> mods = modules();
    if (!textsFit(mods)) return 1;
    bool ok = writeText(root / "key.db", keyDb());
    ok &= writeText(root / "modules.db", modulesDb(mods));
    ok &= writeImages(root);
    ok &= writePictures(root);
    ok &= writeModels(root);
    ok &= writeDemoSound(root / "demo.wav");
    ok &= writeHelpPages(root, mods);
    if (!ok) {
        std::fprintf(stderr, "strata-stagegen: some files could not be written\n");
        return 1;
    }
    return 0;
}
