#pragma once
#include <cstddef>
#include <memory>

// PNG and JPEG pictures for the image sets, beside the SGI reader. The
// decoders (libpng, libjpeg-turbo) stay behind these few functions.

// What a file of an image set holds, judged by its name's ending.
enum class SetFileKind { Other, Sgi, Png, Jpeg, Clip };
// ".rgb" (any case: the SGI listing is case-blind), ".png", ".jpg", ".jpeg",
// and the clip endings ".mp4", ".mov", ".webm", ".mkv", all case-blind.
SetFileKind setFileKind(const char* name);

// Size of a set without SGI images: pictures and clips are scaled to it.
constexpr int kDefaultSetSide = 512;
// Largest picture file read whole into memory (a 4096 x 4096 PNG of noise
// is about 67 MB).
constexpr size_t kMaxPictureFileBytes = size_t{96} << 20;

// A decoded picture: width x height RGBA pixels, bottom row first (the
// order of the SGI reader and of OpenGL textures).
struct Picture {
    std::unique_ptr<unsigned char[]> pixels;
    int width = 0;
    int height = 0;
};

// Decodes PNG or JPEG bytes. Sides above kSgiMaxSide are refused from the
// header, before any pixel memory is taken. Grey, palette and 16-bit PNGs
// and grey JPEGs come out as RGBA; a picture without alpha is opaque. On
// failure the result has no pixels and *problem says why (a static text).
Picture decodePng(const unsigned char* data, size_t size, const char** problem);
Picture decodeJpeg(const unsigned char* data, size_t size, const char** problem);

// Scales an RGBA picture into a width x height one, aspect kept: the picture
// is centred with opaque black bars on the two sides it does not fill.
// Shrinking averages the covered source pixels (box filter), enlarging
// interpolates linearly; colours are weighted by alpha so that transparent
// pixels do not darken the edges. dest holds width x height x 4 bytes.
void scaleLetterboxed(const unsigned char* source, int sourceWidth, int sourceHeight, unsigned char* dest, int width,
                      int height);

// Reads the picture file at path into width x height RGBA pixels (scaled as
// above). Only regular files are read; the scaled picture must fit in
// maxBytes. Returns null after one line on standard error naming the file
// and the reason.
std::unique_ptr<unsigned char[]> readPictureFile(const char* path, SetFileKind kind, int width, int height,
                                                 size_t maxBytes);
