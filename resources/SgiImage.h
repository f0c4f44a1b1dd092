#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

// Reads one SGI image file into an owned RGBA buffer (width x height pixels of
// R, G, B, A bytes, rows in file order: bottom row first). Sets width, height
// and components from the header before the pixels are read. Returns null for
// a file it cannot decode safely (after one console line saying why). A file
// that cannot be opened, or memory that runs out, ends the process with
// status 1 after a line on standard error.
// A path that is not a regular file (a FIFO, a device, a directory) is
// refused with one line and gives null.
std::unique_ptr<unsigned char[]> readTexture(const char* path, int* width, int* height, int* components);
// The same, refusing (with one line, before any pixel memory is allocated)
// an image whose pixels would take more than maxBytes.
std::unique_ptr<unsigned char[]> readTexture(const char* path, int* width, int* height, int* components,
                                             size_t maxBytes);

// Largest width and height accepted, in pixels. The picture is 640 x 480, so
// a side of 4096 already gives more than six texels per screen pixel, and
// 4096 is the texture size every OpenGL driver of the last fifteen years
// takes; one such image is 64 MB of pixels (and as much again as a
// texture). Larger sizes (the header allows up to 65535, 16 GB) are refused
// from the header, before anything is allocated for them.
constexpr int kSgiMaxSide = 4096;

// The open image of one readTexture call.
struct SgiImage {
    uint16_t magic = 0;
    uint16_t type = 0;  // high byte 1: run-length storage
    uint16_t dimension = 0;
    uint16_t xsize = 0;
    uint16_t ysize = 0;
    uint16_t zsize = 0;
    FILE* file = nullptr;
    std::unique_ptr<unsigned char[]> rowBuffer;  // xsize * 256 bytes: one stored run-length row
    // Run-length storage only: start offset and stored length of the rows of
    // the first `tableChannels` channels, index y + z * ysize, host order.
    std::unique_ptr<uint32_t[]> rowStart;
    std::unique_ptr<int32_t[]> rowSize;
    int tableChannels = 0;
    bool headerOk = false;  // false: short header or sizes outside the limits
    const char* problem = nullptr;  // why the last getRow failed
};

// True when the host stores the low byte of a number first (tested at run
// time, so the reader works unchanged on either kind of host).
bool hostIsLittleEndian();

// Opens the file and reads the header and the run-length tables. Ends the
// process when the file cannot be opened or memory runs out; a path that is
// not a regular file gives an image with no file and headerOk false. A header whose
// sizes are unusable gives an image with headerOk false.
std::unique_ptr<SgiImage> openImage(const char* path);
// Fills dest with the xsize bytes of row y of channel z. Returns false (and
// sets image->problem) for a short read or malformed run-length data; dest is
// never written beyond xsize bytes.
bool getRow(SgiImage* image, unsigned char* dest, int y, int z);
// Closes the file and releases the image with its buffers.
void closeImage(std::unique_ptr<SgiImage> image);
