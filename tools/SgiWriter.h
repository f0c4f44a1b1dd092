#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The one SGI image writer, used by the stage generator (strata-stagegen, which
// also writes single images for the scripts of the golden stage and the fuzz
// seeds) and the tests. Planes are channel-major: byte (x, y, z) is
// planes[(z * ysize + y) * xsize + x], file row 0 first (the bottom row).

// Header fields beyond storage, sizes and magic; the defaults are what the
// readers need and nothing more.
struct SgiLabel {
    int dimension = 0;    // 0: 2 for one channel, 3 otherwise
    uint32_t pixmax = 0;  // largest pixel value (0: not given)
    std::string name;     // image name, at most 79 bytes
};

// The 512-byte big-endian header (storage 1 = run-length).
std::vector<uint8_t> sgiHeader(int storage, int xsize, int ysize, int zsize, int magic = 474,
                               const SgiLabel& label = {});
std::vector<uint8_t> sgiVerbatim(int xsize, int ysize, int zsize, const std::vector<uint8_t>& planes,
                                 int magic = 474, const SgiLabel& label = {});
// A run-length file whose stored rows (index y + z * ysize) are given as
// they are, so that tests can store malformed rows.
std::vector<uint8_t> sgiRunLengthRows(int xsize, int ysize, int zsize, const std::vector<std::vector<uint8_t>>& rows,
                                      const SgiLabel& label = {});
// A well-formed run-length file: runs of three or more equal bytes become
// repeat packets, the bytes between them copy packets.
std::vector<uint8_t> sgiRunLength(int xsize, int ysize, int zsize, const std::vector<uint8_t>& planes,
                                  const SgiLabel& label = {});
void putBigEndian32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);
bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// A verbatim RGB file of one colour.
bool writeSolidSgi(const std::string& path, int xsize, int ysize, uint8_t r, uint8_t g, uint8_t b);
