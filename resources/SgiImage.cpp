#include "resources/SgiImage.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "platform/RegularFile.h"

// Reader of SGI image files: one byte per channel, verbatim or run-length
// storage, one to four channels (further channels are ignored). The file's
// numbers are big-endian; they are swapped on a little-endian host.
//
// Every read is bounded. A file whose data does not fit what the header
// promises (sizes of 0 or above kSgiMaxSide, a short read, a run-length row
// longer than its buffer, a row that decodes past the width or has no end
// marker) is not decoded: readTexture prints one line and returns null, and
// the image list keeps an empty slot for it.

namespace {

constexpr long kHeaderSize = 512;

[[noreturn]] void outOfMemory() {
    fprintf(stderr, "Out of memory!\n");
    exit(1);
}

uint16_t swap16(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }

uint32_t swap32(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

bool readAt(FILE* file, long offset, void* dest, size_t bytes) {
    if (fseek(file, offset, SEEK_SET) != 0) return false;
    return fread(dest, 1, bytes, file) == bytes;
}

// Buffers sized by the file's header are asked for without throwing, so that
// memory running out ends the process with the reader's own line and status.
template <class T>
std::unique_ptr<T[]> allocateOrNull(size_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

bool runLength(const SgiImage* image) { return (image->type >> 8) == 1; }

}  // namespace

bool hostIsLittleEndian() {
    const uint16_t probe = 1;
    unsigned char first;
    memcpy(&first, &probe, 1);
    return first == 1;
}

namespace {

// The six numbers of the header (magic, storage, dimension, sizes). False
// when the file is shorter.
bool readHeader(SgiImage& image, bool swap) {
    uint16_t header[6];
    if (fread(header, 1, sizeof header, image.file) != sizeof header) return false;
    if (swap)
        for (uint16_t& field : header) field = swap16(field);
    image.magic = header[0];
    image.type = header[1];
    image.dimension = header[2];
    image.xsize = header[3];
    image.ysize = header[4];
    image.zsize = header[5];
    return true;
}

// Why the header's sizes are unusable, or null.
const char* sizeProblem(const SgiImage& image) {
    if (image.xsize == 0 || image.ysize == 0 || image.zsize == 0) return "zero size";
    if (image.xsize > kSgiMaxSide || image.ysize > kSgiMaxSide) {
        static_assert(kSgiMaxSide == 4096, "the line below names the limit");
        return "side above 4096 pixels";
    }
    return nullptr;
}

// Loads the start and length tables of the channels that are read (at most
// four): the starts table holds ysize * zsize entries and the lengths table
// follows it. Every stored row must lie inside the file (getRow checks the
// row against its buffer again; this refuses a cut file up front). Why not,
// or null.
const char* readRunLengthTables(SgiImage& image, long fileSize, bool swap) {
    const int ysize = image.ysize;
    const int channels = image.zsize < 4 ? image.zsize : 4;
    const size_t entries = static_cast<size_t>(ysize) * channels;
    image.rowStart = allocateOrNull<uint32_t>(entries);
    image.rowSize = allocateOrNull<int32_t>(entries);
    if (!image.rowStart || !image.rowSize) outOfMemory();
    image.tableChannels = channels;
    const long lengthsAt = kHeaderSize + 4L * ysize * image.zsize;
    if (!readAt(image.file, kHeaderSize, image.rowStart.get(), entries * 4) ||
        !readAt(image.file, lengthsAt, image.rowSize.get(), entries * 4))
        return "run-length tables cut short";
    if (swap) {
        for (size_t i = 0; i < entries; ++i) {
            image.rowStart[i] = swap32(image.rowStart[i]);
            image.rowSize[i] = static_cast<int32_t>(swap32(static_cast<uint32_t>(image.rowSize[i])));
        }
    }
    for (size_t i = 0; i < entries; ++i) {
        const long long end = static_cast<long long>(image.rowStart[i]) + image.rowSize[i];
        if (image.rowSize[i] < 0 || image.rowSize[i] > static_cast<long>(image.xsize) * 256)
            return "stored row longer than its buffer";
        if (end > fileSize) return "file cut short";
    }
    return nullptr;
}

// Decodes one stored run-length row of `stored` bytes into the xsize bytes
// of dest. Why not, or null.
const char* decodeRunLengthRow(const unsigned char* in, long stored, unsigned char* dest, int xsize) {
    long s = 0;  // position in the stored row
    int d = 0;   // pixels decoded
    for (;;) {
        if (s >= stored) return "run-length row without end marker";
        const unsigned char b = in[s++];
        const int count = b & 0x7F;
        if (count == 0) break;
        if (d + count > xsize) return "run-length row wider than the image";
        if (b & 0x80) {
            if (s + count > stored) return "run-length copy past the stored row";
            memcpy(dest + d, in + s, static_cast<size_t>(count));
            s += count;
        } else {
            if (s >= stored) return "run-length repeat past the stored row";
            memset(dest + d, in[s++], static_cast<size_t>(count));
        }
        d += count;
    }
    // A row that ends early is accepted; its remaining pixels are black.
    if (d < xsize) memset(dest + d, 0, static_cast<size_t>(xsize - d));
    return nullptr;
}

}  // namespace

std::unique_ptr<SgiImage> openImage(const char* path) {
    // Without throwing, like the buffers (see allocateOrNull).
    std::unique_ptr<SgiImage> image(new (std::nothrow) SgiImage());
    if (!image) outOfMemory();
    bool refused = false;
    image->file = openRegularFile(path, "rb", &refused);
    if (refused) {
        image->problem = "not a regular file";
        return image;
    }
    if (!image->file) {
        perror(path);
        exit(1);
    }
    const bool swap = hostIsLittleEndian();
    if (!readHeader(*image, swap)) {
        image->problem = "file shorter than its header";
        return image;
    }
    image->problem = sizeProblem(*image);
    if (image->problem) return image;

    // The file's length, to refuse a file that cannot hold what its header
    // promises before the pixel buffer (up to 256 MB) is allocated for it.
    long fileSize = -1;
    if (fseek(image->file, 0, SEEK_END) == 0) fileSize = ftell(image->file);
    const int channelsRead = image->zsize < 4 ? image->zsize : 4;
    if (!runLength(image.get()) &&
        fileSize < kHeaderSize + static_cast<long>(image->xsize) * image->ysize * channelsRead) {
        image->problem = "file cut short";
        return image;
    }

    image->rowBuffer = allocateOrNull<unsigned char>(static_cast<size_t>(image->xsize) * 256);
    if (!image->rowBuffer) outOfMemory();
    if (runLength(image.get())) {
        image->problem = readRunLengthTables(*image, fileSize, swap);
        if (image->problem) return image;
    }
    image->headerOk = true;
    return image;
}

bool getRow(SgiImage* image, unsigned char* dest, int y, int z) {
    const int xsize = image->xsize;
    if (!image->headerOk || y < 0 || y >= image->ysize || z < 0 || z >= image->zsize) {
        image->problem = "row outside the image";
        return false;
    }
    if (!runLength(image)) {
        const long offset = kHeaderSize + static_cast<long>(y) * xsize + static_cast<long>(z) * xsize * image->ysize;
        if (!readAt(image->file, offset, dest, static_cast<size_t>(xsize))) {
            image->problem = "file cut short";
            return false;
        }
        return true;
    }

    if (z >= image->tableChannels) {
        image->problem = "row outside the image";
        return false;
    }
    const int index = y + z * image->ysize;
    const long stored = image->rowSize[index];
    if (stored < 0 || stored > static_cast<long>(xsize) * 256) {
        image->problem = "stored row longer than its buffer";
        return false;
    }
    if (!readAt(image->file, static_cast<long>(image->rowStart[index]), image->rowBuffer.get(),
                static_cast<size_t>(stored))) {
        image->problem = "file cut short";
        return false;
    }
    if (const char* problem = decodeRunLengthRow(image->rowBuffer.get(), stored, dest, xsize)) {
        image->problem = problem;
        return false;
    }
    return true;
}

void closeImage(std::unique_ptr<SgiImage> image) {
    if (image && image->file) fclose(image->file);
}

std::unique_ptr<unsigned char[]> readTexture(const char* path, int* width, int* height, int* components) {
    return readTexture(path, width, height, components, SIZE_MAX);
}

namespace {

// Reads row y of every channel into rows (red, green, blue, alpha; a grey
// image's grey is red, a two-channel image's second channel alpha) and
// writes its RGBA pixels to out: grey for all three colours, opaque where the
// image has no alpha.
bool readPixelRow(SgiImage* image, int y, unsigned char* const rows[4], unsigned char* out) {
    const int zsize = image->zsize;
    const bool colour = zsize >= 3;
    const bool hasAlpha = zsize == 2 || zsize >= 4;
    unsigned char* const channelRow[4] = {rows[0], colour ? rows[1] : rows[3], rows[2], rows[3]};
    const int channels = zsize < 4 ? zsize : 4;
    for (int z = 0; z < channels; ++z)
        if (!getRow(image, channelRow[z], y, z)) return false;
    const unsigned char* r = rows[0];
    const unsigned char* g = colour ? rows[1] : r;
    const unsigned char* b = colour ? rows[2] : r;
    const unsigned char* a = rows[3];
    for (int x = 0; x < image->xsize; ++x) {
        *out++ = r[x];
        *out++ = g[x];
        *out++ = b[x];
        *out++ = hasAlpha ? a[x] : 255;
    }
    return true;
}

// The RGBA pixels of the whole image, or null: after a line naming the
// problem when a row cannot be read, without one when memory runs out.
std::unique_ptr<unsigned char[]> readPixels(SgiImage* image, const char* path) {
    const int xsize = image->xsize;
    std::unique_ptr<unsigned char[]> result = allocateOrNull<unsigned char>(static_cast<size_t>(xsize) * image->ysize * 4);
    std::unique_ptr<unsigned char[]> channels[4];
    for (std::unique_ptr<unsigned char[]>& row : channels) row = allocateOrNull<unsigned char>(xsize);
    if (!result || !channels[0] || !channels[1] || !channels[2] || !channels[3]) return nullptr;
    unsigned char* const rows[4] = {channels[0].get(), channels[1].get(), channels[2].get(), channels[3].get()};
    for (int y = 0; y < image->ysize; ++y) {
        if (!readPixelRow(image, y, rows, result.get() + static_cast<size_t>(y) * xsize * 4)) {
            printf("SgiImage::readTexture unreadable (%s) %s\n", image->problem, path);
            return nullptr;
        }
    }
    return result;
}

}  // namespace

std::unique_ptr<unsigned char[]> readTexture(const char* path, int* width, int* height, int* components,
                                             size_t maxBytes) {
    std::unique_ptr<SgiImage> opened = openImage(path);
    SgiImage* image = opened.get();
    if (!image) return nullptr;
    *width = image->xsize;
    *height = image->ysize;
    *components = image->zsize;
    if (!image->headerOk) {
        // A refused path (no file) has had its line already.
        if (image->file) printf("SgiImage::readTexture unreadable (%s) %s\n", image->problem, path);
        closeImage(std::move(opened));
        return nullptr;
    }
    const size_t bytes = static_cast<size_t>(image->xsize) * image->ysize * 4;
    if (bytes > maxBytes) {
        fprintf(stderr, "SgiImage::readTexture refused (%zu bytes of pixels, %zu left in the image memory budget) %s\n", bytes,
               maxBytes, path);
        closeImage(std::move(opened));
        return nullptr;
    }
    std::unique_ptr<unsigned char[]> result = readPixels(image, path);
    closeImage(std::move(opened));
    return result;
}
