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

    uint16_t header[6];
    if (fread(header, 1, sizeof header, image->file) != sizeof header) {
        image->problem = "file shorter than its header";
        return image;
    }
    if (swap)
        for (uint16_t& field : header) field = swap16(field);
    image->magic = header[0];
    image->type = header[1];
    image->dimension = header[2];
    image->xsize = header[3];
    image->ysize = header[4];
    image->zsize = header[5];

    if (image->xsize == 0 || image->ysize == 0 || image->zsize == 0) {
        image->problem = "zero size";
        return image;
    }
    if (image->xsize > kSgiMaxSide || image->ysize > kSgiMaxSide) {
        static_assert(kSgiMaxSide == 4096, "the line below names the limit");
        image->problem = "side above 4096 pixels";
        return image;
    }

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
        // Only the table entries of the channels that are read (at most
        // four) are loaded; the starts table holds ysize * zsize entries and
        // the lengths table follows it.
        const int ysize = image->ysize;
        const int channels = image->zsize < 4 ? image->zsize : 4;
        const size_t entries = static_cast<size_t>(ysize) * channels;
        image->rowStart = allocateOrNull<uint32_t>(entries);
        image->rowSize = allocateOrNull<int32_t>(entries);
        if (!image->rowStart || !image->rowSize) outOfMemory();
        image->tableChannels = channels;
        const long lengthsAt = kHeaderSize + 4L * ysize * image->zsize;
        if (!readAt(image->file, kHeaderSize, image->rowStart.get(), entries * 4) ||
            !readAt(image->file, lengthsAt, image->rowSize.get(), entries * 4)) {
            image->problem = "run-length tables cut short";
            return image;
        }
        if (swap) {
            for (size_t i = 0; i < entries; ++i) {
                image->rowStart[i] = swap32(image->rowStart[i]);
                image->rowSize[i] = static_cast<int32_t>(swap32(static_cast<uint32_t>(image->rowSize[i])));
            }
        }
        // Every stored row must lie inside the file (getRow checks the row
        // against its buffer again; this refuses a cut file up front).
        for (size_t i = 0; i < entries; ++i) {
            const long long end = static_cast<long long>(image->rowStart[i]) + image->rowSize[i];
            if (image->rowSize[i] < 0 || image->rowSize[i] > static_cast<long>(image->xsize) * 256) {
                image->problem = "stored row longer than its buffer";
                return image;
            }
            if (end > fileSize) {
                image->problem = "file cut short";
                return image;
            }
        }
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

    const unsigned char* in = image->rowBuffer.get();
    long s = 0;  // position in the stored row
    int d = 0;   // pixels decoded
    for (;;) {
        if (s >= stored) {
            image->problem = "run-length row without end marker";
            return false;
        }
        const unsigned char b = in[s++];
        const int count = b & 0x7F;
        if (count == 0) break;
        if (d + count > xsize) {
            image->problem = "run-length row wider than the image";
            return false;
        }
        if (b & 0x80) {
            if (s + count > stored) {
                image->problem = "run-length copy past the stored row";
                return false;
            }
            memcpy(dest + d, in + s, static_cast<size_t>(count));
            s += count;
        } else {
            if (s >= stored) {
                image->problem = "run-length repeat past the stored row";
                return false;
            }
            memset(dest + d, in[s++], static_cast<size_t>(count));
        }
        d += count;
    }
    // A row that ends early is accepted; its remaining pixels are black.
    if (d < xsize) memset(dest + d, 0, static_cast<size_t>(xsize - d));
    return true;
}

void closeImage(std::unique_ptr<SgiImage> image) {
    if (image && image->file) fclose(image->file);
}

std::unique_ptr<unsigned char[]> readTexture(const char* path, int* width, int* height, int* components) {
    return readTexture(path, width, height, components, SIZE_MAX);
}

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

    const int xsize = image->xsize;
    const int ysize = image->ysize;
    const int zsize = image->zsize;
    const size_t bytes = static_cast<size_t>(xsize) * ysize * 4;
    if (bytes > maxBytes) {
        fprintf(stderr, "SgiImage::readTexture refused (%zu bytes of pixels, %zu left in the image memory budget) %s\n", bytes,
               maxBytes, path);
        closeImage(std::move(opened));
        return nullptr;
    }
    std::unique_ptr<unsigned char[]> result = allocateOrNull<unsigned char>(static_cast<size_t>(xsize) * ysize * 4);
    const std::unique_ptr<unsigned char[]> red = allocateOrNull<unsigned char>(xsize);
    const std::unique_ptr<unsigned char[]> green = allocateOrNull<unsigned char>(xsize);
    const std::unique_ptr<unsigned char[]> blue = allocateOrNull<unsigned char>(xsize);
    const std::unique_ptr<unsigned char[]> alpha = allocateOrNull<unsigned char>(xsize);
    unsigned char* r = red.get();
    unsigned char* g = green.get();
    unsigned char* b = blue.get();
    unsigned char* a = alpha.get();
    bool ok = result && r && g && b && a;

    unsigned char* out = result.get();
    for (int y = 0; ok && y < ysize; ++y) {
        if (zsize >= 4) {
            ok = getRow(image, r, y, 0) && getRow(image, g, y, 1) && getRow(image, b, y, 2) && getRow(image, a, y, 3);
            if (!ok) break;
            for (int x = 0; x < xsize; ++x) {
                *out++ = r[x];
                *out++ = g[x];
                *out++ = b[x];
                *out++ = a[x];
            }
        } else if (zsize == 3) {
            ok = getRow(image, r, y, 0) && getRow(image, g, y, 1) && getRow(image, b, y, 2);
            if (!ok) break;
            for (int x = 0; x < xsize; ++x) {
                *out++ = r[x];
                *out++ = g[x];
                *out++ = b[x];
                *out++ = 255;
            }
        } else if (zsize == 2) {
            ok = getRow(image, r, y, 0) && getRow(image, a, y, 1);
            if (!ok) break;
            for (int x = 0; x < xsize; ++x) {
                *out++ = r[x];
                *out++ = r[x];
                *out++ = r[x];
                *out++ = a[x];
            }
        } else {
            ok = getRow(image, r, y, 0);
            if (!ok) break;
            for (int x = 0; x < xsize; ++x) {
                *out++ = r[x];
                *out++ = r[x];
                *out++ = r[x];
                *out++ = 255;
            }
        }
    }
    if (!ok && result && r && g && b && a)
        printf("SgiImage::readTexture unreadable (%s) %s\n", image->problem, path);

    closeImage(std::move(opened));
    if (!ok) return nullptr;
    return result;
}
