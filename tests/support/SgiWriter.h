#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Small SGI image files for tests. Planes are channel-major: byte (x, y, z)
// is planes[(z * ysize + y) * xsize + x], row 0 first.

// The 512-byte big-endian header (storage 1 = run-length).
std::vector<uint8_t> sgiHeader(int storage, int xsize, int ysize, int zsize, int magic = 474);
std::vector<uint8_t> sgiVerbatim(int xsize, int ysize, int zsize, const std::vector<uint8_t>& planes,
                                 int magic = 474);
// A run-length file whose stored rows (index y + z * ysize) are given as
// they are, so that tests can store malformed rows.
std::vector<uint8_t> sgiRunLengthRows(int xsize, int ysize, int zsize, const std::vector<std::vector<uint8_t>>& rows);
// A well-formed run-length file mixing repeat and copy packets.
std::vector<uint8_t> sgiRunLength(int xsize, int ysize, int zsize, const std::vector<uint8_t>& planes);
void putBigEndian32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);
bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// A verbatim RGB file of one colour.
bool writeSolidSgi(const std::string& path, int xsize, int ysize, uint8_t r, uint8_t g, uint8_t b);
