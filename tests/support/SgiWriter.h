#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Writers of small SGI image files for tests. Planes are channel-major:
// byte (x, y, z) is planes[z * xsize * ysize + y * xsize + x], row 0 first.

// The 512-byte header: magic, storage (1 = run-length) and bytes per
// channel, dimension, xsize, ysize, zsize, all big-endian.
std::vector<uint8_t> sgiHeader(int storage, int xsize, int ysize, int zsize, int magic = 474);

// A verbatim file.
std::vector<uint8_t> sgiVerbatim(int xsize, int ysize, int zsize, const std::vector<uint8_t>& planes,
                                 int magic = 474);

// Run-length packets for one row, ending with the 0 terminator. Mixes
// repeat packets (runs of 3 or more) and copy packets.
std::vector<uint8_t> sgiEncodeRow(const uint8_t* row, int n);

// A run-length file whose stored rows are given as they are (index
// y + z * ysize), so that tests can store malformed rows.
std::vector<uint8_t> sgiRunLengthRows(int xsize, int ysize, int zsize, const std::vector<std::vector<uint8_t>>& rows);

// A well-formed run-length file of the planes.
std::vector<uint8_t> sgiRunLength(int xsize, int ysize, int zsize, const std::vector<uint8_t>& planes);

// Offset in a run-length file of the stored-length entry of row index i.
size_t sgiLengthEntryOffset(int ysize, int zsize, int i);
void putBigEndian32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);

bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// A verbatim RGB file of one colour, written to path.
bool writeSolidSgi(const std::string& path, int xsize, int ysize, uint8_t r, uint8_t g, uint8_t b);
