#pragma once
#include <cstdint>
#include <cstdio>

// Reads one SGI image file into an owned RGBA buffer (width x height pixels of
// R, G, B, A bytes, rows in file order: bottom row first). Sets width, height
// and components from the header before the pixels are read. Returns null for
// a file it cannot decode safely (after one console line saying why). A file
// that cannot be opened, or memory that runs out, ends the process with
// status 1 after a line on standard error.
// The buffer is released with delete[].
unsigned char* readTexture(const char* path, int* width, int* height, int* components);

// Largest width and height accepted, in pixels. Larger sizes (the header
// allows up to 65535) would ask for gigabytes and are treated as unreadable.
constexpr int kSgiMaxSide = 8192;

// The open image of one readTexture call.
struct SgiImage {
    uint16_t magic = 0;
    uint16_t type = 0;  // high byte 1: run-length storage
    uint16_t dimension = 0;
    uint16_t xsize = 0;
    uint16_t ysize = 0;
    uint16_t zsize = 0;
    FILE* file = nullptr;
    unsigned char* rowBuffer = nullptr;  // xsize * 256 bytes: one stored run-length row
    // Run-length storage only: start offset and stored length of the rows of
    // the first `tableChannels` channels, index y + z * ysize, host order.
    uint32_t* rowStart = nullptr;
    int32_t* rowSize = nullptr;
    int tableChannels = 0;
    bool headerOk = false;  // false: short header or sizes outside the limits
    const char* problem = nullptr;  // why the last getRow failed
};

// True when the host stores the low byte of a number first (tested at run
// time, so the reader works unchanged on either kind of host).
bool hostIsLittleEndian();

// Opens the file and reads the header and the run-length tables. Ends the
// process when the file cannot be opened or memory runs out. A header whose
// sizes are unusable gives an image with headerOk false.
SgiImage* openImage(const char* path);
// Fills dest with the xsize bytes of row y of channel z. Returns false (and
// sets image->problem) for a short read or malformed run-length data; dest is
// never written beyond xsize bytes.
bool getRow(SgiImage* image, unsigned char* dest, int y, int z);
void closeImage(SgiImage* image);
