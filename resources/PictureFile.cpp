#include "resources/PictureFile.h"

#include <png.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "platform/RegularFile.h"
#include "resources/SgiImage.h"

namespace {

bool endsWithFolded(const char* name, const char* ending) {
    const size_t n = strlen(name);
    const size_t e = strlen(ending);
    return n > e && strcasecmp(name + n - e, ending) == 0;
}

std::unique_ptr<unsigned char[]> allocatePixels(int width, int height) {
    return std::unique_ptr<unsigned char[]>(new (std::nothrow)
                                                unsigned char[static_cast<size_t>(width) * height * 4]);
}

const char* sideProblem(long width, long height) {
    if (width <= 0 || height <= 0) return "empty picture";
    if (width > kSgiMaxSide || height > kSgiMaxSide) return "side above 4096 pixels";
    return nullptr;
}

// The weights of one output axis: for each output pixel, the first source
// pixel and the weights of the source pixels it takes.
struct AxisWeights {
    std::vector<int> first;
    std::vector<int> count;
    std::vector<float> weights;  // count[i] weights per output pixel, one after another
    std::vector<size_t> start;
};

AxisWeights axisWeights(int source, int dest) {
    AxisWeights axis;
    const double step = static_cast<double>(source) / dest;
    for (int i = 0; i < dest; ++i) {
        axis.start.push_back(axis.weights.size());
        if (step > 1.0) {
            // Shrinking: the exact share of every source pixel the output
            // pixel's span [i, i + 1) x step covers.
            const double lo = i * step, hi = (i + 1) * step;
            const int a = static_cast<int>(lo);
            const int b = std::min(source - 1, static_cast<int>(std::ceil(hi)) - 1);
            axis.first.push_back(a);
            axis.count.push_back(b - a + 1);
            for (int s = a; s <= b; ++s) {
                const double cover = std::min(hi, s + 1.0) - std::max(lo, static_cast<double>(s));
                axis.weights.push_back(static_cast<float>(cover / step));
            }
        } else {
            // Enlarging (or the same size): linear between the two nearest
            // source pixel centres, the border pixels held.
            const double centre = std::clamp((i + 0.5) * step - 0.5, 0.0, static_cast<double>(source - 1));
            const int a = std::min(static_cast<int>(centre), source - 1);
            const int b = std::min(a + 1, source - 1);
            const float t = static_cast<float>(centre - a);
            axis.first.push_back(a);
            axis.count.push_back(b - a + 1);
            if (b == a) axis.weights.push_back(1.0f);
            else axis.weights.insert(axis.weights.end(), {1.0f - t, t});
        }
    }
    return axis;
}

}  // namespace

SetFileKind setFileKind(const char* name) {
    if (endsWithFolded(name, ".rgb")) return SetFileKind::Sgi;
    if (endsWithFolded(name, ".png")) return SetFileKind::Png;
    if (endsWithFolded(name, ".jpg") || endsWithFolded(name, ".jpeg")) return SetFileKind::Jpeg;
    for (const char* ending : {".mp4", ".mov", ".webm", ".mkv"})
        if (endsWithFolded(name, ending)) return SetFileKind::Clip;
    return SetFileKind::Other;
}

Picture decodePng(const unsigned char* data, size_t size, const char** problem) {
    Picture picture;
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size)) {
        *problem = "not a PNG picture libpng can read";
        return picture;
    }
    if ((*problem = sideProblem(image.width, image.height))) {
        png_image_free(&image);
        return picture;
    }
    // libpng turns grey, palette, transparency chunks and 16-bit samples
    // into 8-bit RGBA itself.
    image.format = PNG_FORMAT_RGBA;
    picture.pixels = allocatePixels(static_cast<int>(image.width), static_cast<int>(image.height));
    if (!picture.pixels) {
        png_image_free(&image);
        *problem = "out of memory";
        return picture;
    }
    // A negative stride stores the rows bottom first.
    const png_int_32 stride = -static_cast<png_int_32>(image.width * 4);
    if (!png_image_finish_read(&image, nullptr, picture.pixels.get(), stride, nullptr)) {
        picture.pixels.reset();
        *problem = "damaged PNG data";
        return picture;
    }
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    return picture;
}

Picture decodeJpeg(const unsigned char* data, size_t size, const char** problem) {
    Picture picture;
    tjhandle handle = tjInitDecompress();
    if (!handle) {
        *problem = "no JPEG decoder";
        return picture;
    }
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(handle, data, static_cast<unsigned long>(size), &width, &height, &subsampling,
                            &colorspace) != 0) {
        *problem = "not a JPEG picture libjpeg can read";
    } else if (!(*problem = sideProblem(width, height))) {
        picture.pixels = allocatePixels(width, height);
        if (!picture.pixels) {
            *problem = "out of memory";
        } else if (tjDecompress2(handle, data, static_cast<unsigned long>(size), picture.pixels.get(), width, 0,
                                 height, TJPF_RGBA, TJFLAG_BOTTOMUP | TJFLAG_STOPONWARNING) != 0) {
            // Warnings (a file cut short) count as damage too: the picture
            // would be partly grey.
            picture.pixels.reset();
            *problem = "damaged or unsupported JPEG data";
        } else {
            picture.width = width;
            picture.height = height;
        }
    }
    tjDestroy(handle);
    return picture;
}

void scaleLetterboxed(const unsigned char* source, int sourceWidth, int sourceHeight, unsigned char* dest, int width,
                      int height) {
    if (sourceWidth == width && sourceHeight == height) {
        memcpy(dest, source, static_cast<size_t>(width) * height * 4);
        return;
    }
    // The fitted area: the whole width or the whole height, at least a pixel.
    const double fit = std::min(static_cast<double>(width) / sourceWidth, static_cast<double>(height) / sourceHeight);
    const int w = std::clamp(static_cast<int>(std::lround(sourceWidth * fit)), 1, width);
    const int h = std::clamp(static_cast<int>(std::lround(sourceHeight * fit)), 1, height);
    const int left = (width - w) / 2, bottom = (height - h) / 2;
    for (size_t n = 0; n < static_cast<size_t>(width) * height; ++n) {
        unsigned char* p = dest + 4 * n;
        p[0] = p[1] = p[2] = 0;
        p[3] = 255;
    }
    const AxisWeights xs = axisWeights(sourceWidth, w);
    const AxisWeights ys = axisWeights(sourceHeight, h);
    // Rows first: each source row scaled to w premultiplied pixels, then the
    // columns of those rows.
    std::vector<float> rows(static_cast<size_t>(sourceHeight) * w * 4);
    for (int y = 0; y < sourceHeight; ++y) {
        const unsigned char* in = source + static_cast<size_t>(y) * sourceWidth * 4;
        float* out = rows.data() + static_cast<size_t>(y) * w * 4;
        for (int x = 0; x < w; ++x) {
            float sum[4] = {};
            for (int k = 0; k < xs.count[x]; ++k) {
                const unsigned char* p = in + 4 * (xs.first[x] + k);
                const float weight = xs.weights[xs.start[x] + k];
                const float alpha = p[3] * weight;
                for (int c = 0; c < 3; ++c) sum[c] += p[c] * alpha;
                sum[3] += alpha;
            }
            std::copy(sum, sum + 4, out + 4 * x);
        }
    }
    for (int y = 0; y < h; ++y) {
        unsigned char* out = dest + (static_cast<size_t>(bottom + y) * width + left) * 4;
        for (int x = 0; x < w; ++x) {
            float sum[4] = {};
            for (int k = 0; k < ys.count[y]; ++k) {
                const float* p = rows.data() + (static_cast<size_t>(ys.first[y] + k) * w + x) * 4;
                const float weight = ys.weights[ys.start[y] + k];
                for (int c = 0; c < 4; ++c) sum[c] += p[c] * weight;
            }
            const float alpha = sum[3];
            for (int c = 0; c < 3; ++c)
                out[4 * x + c] = alpha > 0.0f ? static_cast<unsigned char>(std::clamp(sum[c] / alpha + 0.5f, 0.0f, 255.0f))
                                              : 0;
            out[4 * x + 3] = static_cast<unsigned char>(std::clamp(alpha + 0.5f, 0.0f, 255.0f));
        }
    }
}

std::unique_ptr<unsigned char[]> readPictureFile(const char* path, SetFileKind kind, int width, int height,
                                                 size_t maxBytes) {
    const char* problem = nullptr;
    const size_t bytes = static_cast<size_t>(width) * height * 4;
    std::vector<unsigned char> data;
    bool refused = false;
    FILE* file = nullptr;
    if (bytes > maxBytes) {
        fprintf(stderr, "Picture refused (%zu bytes of pixels, %zu left in the image memory budget) %s\n", bytes,
                maxBytes, path);
        return nullptr;
    }
    file = openRegularFile(path, "rb", &refused);
    if (refused) return nullptr;  // openRegularFile said so
    if (!file) {
        fprintf(stderr, "Picture unreadable (%s) %s\n", strerror(errno), path);
        return nullptr;
    }
    long length = -1;
    if (fseek(file, 0, SEEK_END) == 0) length = ftell(file);
    if (length < 0 || static_cast<size_t>(length) > kMaxPictureFileBytes) {
        problem = length < 0 ? "cannot tell its length" : "file above 96 MB";
    } else {
        data.resize(static_cast<size_t>(length));
        rewind(file);
        if (fread(data.data(), 1, data.size(), file) != data.size()) problem = "short read";
    }
    fclose(file);
    Picture picture;
    if (!problem) picture = kind == SetFileKind::Png ? decodePng(data.data(), data.size(), &problem)
                                                     : decodeJpeg(data.data(), data.size(), &problem);
    std::unique_ptr<unsigned char[]> scaled;
    if (picture.pixels) {
        scaled = allocatePixels(width, height);
        if (!scaled) problem = "out of memory";
        else scaleLetterboxed(picture.pixels.get(), picture.width, picture.height, scaled.get(), width, height);
    }
    if (!scaled) fprintf(stderr, "Picture unreadable (%s) %s\n", problem ? problem : "no pixels", path);
    return scaled;
}
