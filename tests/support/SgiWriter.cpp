#include "SgiWriter.h"

#include <cstdio>

namespace {

void put16(std::vector<uint8_t>& bytes, size_t offset, int value) {
    bytes[offset] = static_cast<uint8_t>((value >> 8) & 0xFF);
    bytes[offset + 1] = static_cast<uint8_t>(value & 0xFF);
}

}  // namespace

void putBigEndian32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    bytes[offset] = static_cast<uint8_t>(value >> 24);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 16);
    bytes[offset + 2] = static_cast<uint8_t>(value >> 8);
    bytes[offset + 3] = static_cast<uint8_t>(value);
}

std::vector<uint8_t> sgiHeader(int storage, int xsize, int ysize, int zsize, int magic) {
    std::vector<uint8_t> bytes(512, 0);
    put16(bytes, 0, magic);
    bytes[2] = static_cast<uint8_t>(storage);
    bytes[3] = 1;
    put16(bytes, 4, zsize > 1 ? 3 : 2);
    put16(bytes, 6, xsize);
    put16(bytes, 8, ysize);
    put16(bytes, 10, zsize);
    return bytes;
}

std::vector<uint8_t> sgiVerbatim(int xsize, int ysize, int zsize, const std::vector<uint8_t>& planes, int magic) {
    std::vector<uint8_t> bytes = sgiHeader(0, xsize, ysize, zsize, magic);
    bytes.resize(512 + planes.size());
    for (size_t i = 0; i < planes.size(); ++i) bytes[512 + i] = planes[i];
    return bytes;
}

std::vector<uint8_t> sgiEncodeRow(const uint8_t* row, int n) {
    std::vector<uint8_t> out;
    int x = 0;
    while (x < n) {
        int run = 1;
        while (x + run < n && run < 127 && row[x + run] == row[x]) ++run;
        if (run >= 3) {
            out.push_back(static_cast<uint8_t>(run));
            out.push_back(row[x]);
            x += run;
            continue;
        }
        // Copy packet up to the next run of three.
        int start = x;
        int len = 0;
        while (x < n && len < 127) {
            if (x + 2 < n && row[x] == row[x + 1] && row[x] == row[x + 2]) break;
            ++x;
            ++len;
        }
        out.push_back(static_cast<uint8_t>(0x80 | len));
        out.insert(out.end(), row + start, row + start + len);
    }
    out.push_back(0);
    return out;
}

size_t sgiLengthEntryOffset(int ysize, int zsize, int i) {
    return 512 + 4 * static_cast<size_t>(ysize) * zsize + 4 * static_cast<size_t>(i);
}

std::vector<uint8_t> sgiRunLengthRows(int xsize, int ysize, int zsize,
                                      const std::vector<std::vector<uint8_t>>& rows) {
    std::vector<uint8_t> bytes = sgiHeader(1, xsize, ysize, zsize);
    const size_t entries = static_cast<size_t>(ysize) * zsize;
    bytes.resize(512 + 8 * entries, 0);
    for (size_t i = 0; i < entries && i < rows.size(); ++i) {
        putBigEndian32(bytes, 512 + 4 * i, static_cast<uint32_t>(bytes.size()));
        putBigEndian32(bytes, 512 + 4 * entries + 4 * i, static_cast<uint32_t>(rows[i].size()));
        bytes.insert(bytes.end(), rows[i].begin(), rows[i].end());
    }
    return bytes;
}

std::vector<uint8_t> sgiRunLength(int xsize, int ysize, int zsize, const std::vector<uint8_t>& planes) {
    std::vector<std::vector<uint8_t>> rows;
    for (int z = 0; z < zsize; ++z)
        for (int y = 0; y < ysize; ++y)
            rows.push_back(sgiEncodeRow(planes.data() + (static_cast<size_t>(z) * ysize + y) * xsize, xsize));
    return sgiRunLengthRows(xsize, ysize, zsize, rows);
}

bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

bool writeSolidSgi(const std::string& path, int xsize, int ysize, uint8_t r, uint8_t g, uint8_t b) {
    const size_t plane = static_cast<size_t>(xsize) * ysize;
    std::vector<uint8_t> planes(plane * 3);
    for (size_t i = 0; i < plane; ++i) {
        planes[i] = r;
        planes[plane + i] = g;
        planes[2 * plane + i] = b;
    }
    return writeFileBytes(path, sgiVerbatim(xsize, ysize, 3, planes));
}
