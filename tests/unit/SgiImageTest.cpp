#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TempStage.h"
#include "resources/SgiImage.h"
#include "tools/SgiWriter.h"

namespace {

struct Decoded {
    std::unique_ptr<unsigned char[]> pixels;
    int width = -1, height = -1, components = -1;
    std::string log;
};

Decoded decode(const std::vector<uint8_t>& bytes) {
    EXPECT_TRUE(writeFileBytes("image.rgb", bytes));
    Decoded d;
    d.log = captureStdout([&] { d.pixels = readTexture("image.rgb", &d.width, &d.height, &d.components); });
    return d;
}

// Distinct bytes per channel, row and column, with runs of one value so that
// run-length rows mix repeat and copy packets.
std::vector<uint8_t> patternPlanes(int w, int h, int z) {
    std::vector<uint8_t> planes(static_cast<size_t>(w) * h * z);
    for (int c = 0; c < z; ++c)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                planes[(static_cast<size_t>(c) * h + y) * w + x] = (x / 50) % 2 ? 9 : c * 60 + y * 7 + x * 3 + 1;
    return planes;
}

}  // namespace

// Every channel count, both storages, rows wider than one packet: the result
// is R G B A = c0 c0 c0 255 (1), c0 c0 c0 c1 (2), c0 c1 c2 255 (3), c0 c1 c2 c3 (4+).
class SgiChannels : public testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(SgiChannels, MapChannelsToRgba) {
    const auto [zsize, runLength] = GetParam();
    const int w = 300, h = 3;
    TempStage stage("sgi");
    const std::vector<uint8_t> planes = patternPlanes(w, h, zsize);
    Decoded d = decode(runLength ? sgiRunLength(w, h, zsize, planes) : sgiVerbatim(w, h, zsize, planes));
    ASSERT_TRUE(d.pixels) << d.log;
    EXPECT_EQ(d.log, "");
    EXPECT_EQ(d.width, w);
    EXPECT_EQ(d.height, h);
    EXPECT_EQ(d.components, zsize);
    // Channels the file lacks read as 0 (the table below names them for every zsize).
    auto c = [&](int channel, int x, int y) -> int {
        return channel < zsize ? planes[(static_cast<size_t>(channel) * h + y) * w + x] : 0;
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned char* p = d.pixels.get() + (static_cast<size_t>(y) * w + x) * 4;
            const int want[5][4] = {{},
                                    {c(0, x, y), c(0, x, y), c(0, x, y), 255},
                                    {c(0, x, y), c(0, x, y), c(0, x, y), c(1, x, y)},
                                    {c(0, x, y), c(1, x, y), c(2, x, y), 255},
                                    {c(0, x, y), c(1, x, y), c(2, x, y), zsize > 3 ? c(3, x, y) : 0}};
            for (int k = 0; k < 4; ++k) ASSERT_EQ(p[k], want[std::min(zsize, 4)][k]) << x << "," << y << " byte " << k;
        }
}

INSTANTIATE_TEST_SUITE_P(AllCounts, SgiChannels, testing::Combine(testing::Values(1, 2, 3, 4, 5), testing::Bool()));

// Hand-made rows: repeat and copy packets, a short row padded black, and a
// header whose magic number is not 474 (it is not checked).
TEST(SgiImage, HandMadeRowsDecodeToGreyPixels) {
    TempStage stage("sgi");
    const struct {
        std::vector<uint8_t> bytes;
        std::vector<int> grey;
    } cases[] = {
        {sgiRunLengthRows(5, 1, 1, {{0x03, 0x07, 0x82, 0x01, 0x02, 0x00}}), {7, 7, 7, 1, 2}},
        {sgiRunLengthRows(4, 1, 1, {{0x02, 0x09, 0x00}}), {9, 9, 0, 0}},
        {sgiVerbatim(2, 1, 1, {5, 6}, /*magic=*/1234), {5, 6}},
    };
    for (const auto& c : cases) {
        Decoded d = decode(c.bytes);
        ASSERT_TRUE(d.pixels) << d.log;
        for (size_t x = 0; x < c.grey.size(); ++x)
            for (int k = 0; k < 4; ++k) EXPECT_EQ(d.pixels[4 * x + k], k == 3 ? 255 : c.grey[x]) << x;
    }
}

TEST(SgiImage, MalformedFilesComeBackNullWithALine) {
    const auto withEntry = [](size_t offset, uint32_t value) {
        auto bytes = sgiRunLengthRows(2, 1, 1, {{0x02, 0x01, 0x00}});
        putBigEndian32(bytes, offset, value);
        return bytes;
    };
    const auto cut = [](std::vector<uint8_t> bytes, size_t size) {
        bytes.resize(size);
        return bytes;
    };
    const auto rle = sgiRunLength(6, 6, 3, patternPlanes(6, 6, 3));
    const auto verbatim = sgiVerbatim(8, 8, 3, patternPlanes(8, 8, 3));
    const std::pair<const char*, std::vector<uint8_t>> cases[] = {
        {"row decodes past the width", sgiRunLengthRows(4, 1, 1, {{0x05, 0x01, 0x00}})},
        {"copy packet past the width", sgiRunLengthRows(4, 1, 1, {{0x83, 1, 2, 3, 0x82, 4, 5, 0x00}})},
        {"no end marker", sgiRunLengthRows(4, 1, 1, {{0x02, 0x01, 0x02, 0x01}})},
        {"copy packet past the stored row", sgiRunLengthRows(8, 1, 1, {{0x86, 1, 2}})},
        {"repeat without its value", sgiRunLengthRows(8, 1, 1, {{0x03}})},
        {"empty stored row", sgiRunLengthRows(8, 1, 1, {{}})},
        {"stored length above the row buffer", withEntry(516, 2 * 256 + 1)},
        {"negative stored length", withEntry(516, 0xFFFFFFFFu)},
        {"row start beyond the file", withEntry(512, 0x7FFFFFF0u)},
        {"run-length tables cut short", cut(rle, 512 + 40)},
        {"run-length data cut short", cut(rle, rle.size() - 3)},
        {"verbatim data cut short", cut(verbatim, verbatim.size() - 1)},
        {"header cut short", {0x01, 0xDA, 0x00, 0x01, 0x00}},
        {"header only", sgiHeader(0, 4, 4, 3)},
        {"zero width", sgiVerbatim(0, 4, 1, {})},
        {"zero height", sgiVerbatim(4, 0, 1, {})},
        {"zero channels", sgiVerbatim(4, 4, 0, std::vector<uint8_t>(16, 1))},
        {"absurd width", sgiHeader(0, 9000, 1, 1)},
        {"side above 4096 pixels", sgiVerbatim(4097, 1, 1, std::vector<uint8_t>(4097, 7))},
        {"side above 4096 pixels", sgiRunLengthRows(1, 4097, 1, std::vector<std::vector<uint8_t>>(4097, {0x01, 7, 0}))},
        {"absurd run-length height", sgiHeader(1, 1, 65535, 4)},
    };
    TempStage stage("sgi");
    for (const auto& [what, bytes] : cases) {
        Decoded d = decode(bytes);
        EXPECT_FALSE(d.pixels) << what;
        EXPECT_NE(d.log.find("SgiImage::readTexture unreadable"), std::string::npos) << what << ": " << d.log;
        EXPECT_NE(d.log.find("image.rgb"), std::string::npos) << what;
    }
    // 4096 pixels a side is still read; the reason names the limit above it.
    EXPECT_TRUE(decode(sgiVerbatim(4096, 1, 1, std::vector<uint8_t>(4096, 7))).pixels);
    EXPECT_NE(decode(sgiHeader(0, 1, 4097, 1)).log.find("(side above 4096 pixels)"), std::string::npos);
}

TEST(SgiImageDeathTest, UnopenableFileEndsTheProcessWithPerrorLine) {
    TempStage stage("sgi");
    auto read = [] {
        int w = 0, h = 0, c = 0;
        readTexture("missing.rgb", &w, &h, &c);
    };
    EXPECT_EXIT(read(), testing::ExitedWithCode(1), "missing.rgb: No such file or directory");
}
