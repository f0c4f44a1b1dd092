#include "SgiWriter.h"

#include <algorithm>
#include <cstdio>

namespace {

void put16(std::vector<uint8_t>& bytes, size_t offset, int value) {
    bytes[offset] = static_cast<uint8_t>(value >> 8);
    bytes[offset + 1] = static_cast<uint8_t>(value);
}

// Run-length packets for one row, ending with the 0 terminator: runs of three
// or more become repeat packets, the bytes between them copy packets.
std::vector<uint8_t> encodeRow(const uint8_t* row, int n) {
    std::vector<uint8_t> out;
    auto runAt = [&](int x) {
        int r = 1;
        while (x + r < n && r < 127 && row[x + r] == row[x]) ++r;
        return r;
    };
    for (int x = 0; x < n;) {
        if (const int run = runAt(x); run >= 3) {
            out.insert(out.end(), {static_cast<uint8_t>(run), row[x]});
            x += run;
            continue;
        }
        int len = 0;
        while (x + len < n && len < 127 && runAt(x + len) < 3) ++len;
        out.push_back(static_cast<uint8_t>(0x80 | len));
        out.insert(out.end(), row + x, row + x + len);
        x += len;
    }
    out.push_back(0);
    return out;
}

}  // namespace

void putBigEndian32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    put16(bytes, offset, static_cast<int>(value >> 16));
    put16(bytes, offset + 2, static_cast<int>(value & 0xFFFF));
}

std::vector<uint8_t> sgiHeader(int storage, int xsize, int ysize, int zsize, int magic, const SgiLabel& label) {
    std::vector<uint8_t> bytes(512, 0);
    put16(bytes, 0, magic);
    bytes[2] = static_cast<uint8_t>(storage);
    bytes[3] = 1;  // bytes per channel
    put16(bytes, 4, label.dimension ? label.dimension : zsize > 1 ? 3 : 2);
    put16(bytes, 6, xsize);
    put16(bytes, 8, ysize);
    put16(bytes, 10, zsize);
    putBigEndian32(bytes, 16, label.pixmax);  // after pixmin (0)
    std::copy_n(label.name.begin(), std::min<size_t>(label.name.size(), 79), bytes.begin() + 24);
    return bytes;
}

std::vector<uint8_t> sgiVerbatim(int xsize, int ysize, int zsize, const std::vector<uint8_t>& planes, int magic,
                                 const SgiLabel& label) {
    std::vector<uint8_t> bytes = sgiHeader(0, xsize, ysize, zsize, magic, label);
    bytes.resize(512 + planes.size());
    std::copy(planes.begin(), planes.end(), bytes.begin() + 512);
    return bytes;
}

std::vector<uint8_t> sgiRunLengthRows(int xsize, int ysize, int zsize,
                                      const std::vector<std::vector<uint8_t>>& rows, const SgiLabel& label) {
    std::vector<uint8_t> bytes = sgiHeader(1, xsize, ysize, zsize, 474, label);
    const size_t entries = static_cast<size_t>(ysize) * zsize;
    bytes.resize(512 + 8 * entries, 0);
    for (size_t i = 0; i < entries && i < rows.size(); ++i) {
        putBigEndian32(bytes, 512 + 4 * i, static_cast<uint32_t>(bytes.size()));
        putBigEndian32(bytes, 512 + 4 * entries + 4 * i, static_cast<uint32_t>(rows[i].size()));
        bytes.insert(bytes.end(), rows[i].begin(), rows[i].end());
    }
    return bytes;
}

std::vector<uint8_t> sgiRunLength(int xsize, int ysize, int zsize, const std::vector<uint8_t>& planes,
                                  const SgiLabel& label) {
    std::vector<std::vector<uint8_t>> rows;
    for (size_t row = 0; row < static_cast<size_t>(ysize) * zsize; ++row)
        rows.push_back(encodeRow(planes.data() + row * xsize, xsize));
    return sgiRunLengthRows(xsize, ysize, zsize, rows, label);
}

bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    // An empty file is written without fwrite (whose buffer may not be null).
    const bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

bool writeSolidSgi(const std::string& path, int xsize, int ysize, uint8_t r, uint8_t g, uint8_t b) {
    const size_t plane = static_cast<size_t>(xsize) * ysize;
    std::vector<uint8_t> planes(plane * 3, r);
    std::fill(planes.begin() + plane, planes.begin() + 2 * plane, g);
    std::fill(planes.begin() + 2 * plane, planes.end(), b);
    return writeFileBytes(path, sgiVerbatim(xsize, ysize, 3, planes));
}
