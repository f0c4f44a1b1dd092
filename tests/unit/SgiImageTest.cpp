#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "resources/SgiImage.h"
#include "support/SgiWriter.h"
#include "support/TempTree.h"

namespace {

struct Decoded {
    std::unique_ptr<unsigned char[]> pixels;
    int width = -1;
    int height = -1;
    int components = -1;
    std::string log;
};

Decoded decode(const std::string& path) {
    Decoded d;
    d.log = captureStdout([&] { d.pixels.reset(readTexture(path.c_str(), &d.width, &d.height, &d.components)); });
    return d;
}

Decoded decodeBytes(const TempTree& tree, const std::vector<uint8_t>& bytes) {
    const std::string path = tree.path("image.rgb");
    EXPECT_TRUE(writeFileBytes(path, bytes));
    return decode(path);
}

// Planes of w x h x z where every byte is distinct enough to catch a mixed up
// channel, row or column.
std::vector<uint8_t> patternPlanes(int w, int h, int z) {
    std::vector<uint8_t> planes(static_cast<size_t>(w) * h * z);
    for (int c = 0; c < z; ++c)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                planes[(static_cast<size_t>(c) * h + y) * w + x] = static_cast<uint8_t>(c * 60 + y * 7 + x * 3 + 1);
    return planes;
}

}  // namespace

TEST(SgiImage, VerbatimThreeChannelsGiveOpaquePixelsInFileOrder) {
    TempTree tree("sgi");
    const std::vector<uint8_t> planes = {10, 20, 30, 40, 0, 0, 0, 0, 255, 255, 255, 255};
    Decoded d = decodeBytes(tree, sgiVerbatim(2, 2, 3, planes));
    ASSERT_TRUE(d.pixels);
    EXPECT_EQ(d.width, 2);
    EXPECT_EQ(d.height, 2);
    EXPECT_EQ(d.components, 3);
    const unsigned char expected[16] = {10, 0, 255, 255, 20, 0, 255, 255, 30, 0, 255, 255, 40, 0, 255, 255};
    EXPECT_EQ(0, memcmp(d.pixels.get(), expected, 16));
    EXPECT_EQ(d.log, "");
}

TEST(SgiImage, RunLengthRowDecodesRepeatAndCopyPackets) {
    TempTree tree("sgi");
    Decoded d = decodeBytes(tree, sgiRunLengthRows(5, 1, 1, {{0x03, 0x07, 0x82, 0x01, 0x02, 0x00}}));
    ASSERT_TRUE(d.pixels);
    const unsigned char expected[20] = {7, 7, 7, 255, 7, 7, 7, 255, 7, 7, 7, 255, 1, 1, 1, 255, 2, 2, 2, 255};
    EXPECT_EQ(0, memcmp(d.pixels.get(), expected, 20));
}

// Every channel count, both storages: the result follows the mapping
// R G B A = c0 c0 c0 255 (1), c0 c0 c0 c1 (2), c0 c1 c2 255 (3), c0 c1 c2 c3 (4+).
class SgiChannels : public testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(SgiChannels, MapChannelsToRgba) {
    const auto [zsize, runLength] = GetParam();
    const int w = 7, h = 3;
    TempTree tree("sgi");
    const std::vector<uint8_t> planes = patternPlanes(w, h, zsize);
    Decoded d = decodeBytes(tree, runLength ? sgiRunLength(w, h, zsize, planes) : sgiVerbatim(w, h, zsize, planes));
    ASSERT_TRUE(d.pixels) << d.log;
    EXPECT_EQ(d.components, zsize);
    auto c = [&](int channel, int x, int y) { return planes[(static_cast<size_t>(channel) * h + y) * w + x]; };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const unsigned char* p = d.pixels.get() + (static_cast<size_t>(y) * w + x) * 4;
            int want[4];
            switch (zsize) {
                case 1: want[0] = want[1] = want[2] = c(0, x, y), want[3] = 255; break;
                case 2: want[0] = want[1] = want[2] = c(0, x, y), want[3] = c(1, x, y); break;
                case 3: want[0] = c(0, x, y), want[1] = c(1, x, y), want[2] = c(2, x, y), want[3] = 255; break;
                default: want[0] = c(0, x, y), want[1] = c(1, x, y), want[2] = c(2, x, y), want[3] = c(3, x, y);
            }
            for (int k = 0; k < 4; ++k) ASSERT_EQ(p[k], want[k]) << "x " << x << " y " << y << " byte " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllCounts, SgiChannels,
                         testing::Combine(testing::Values(1, 2, 3, 4, 5), testing::Bool()));

TEST(SgiImage, RunLengthImageWiderThanOnePacketRoundTrips) {
    // 300 pixels need several packets per row (a packet holds at most 127).
    const int w = 300, h = 4;
    std::vector<uint8_t> planes(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0; i < planes.size(); ++i) planes[i] = static_cast<uint8_t>((i / 50) % 2 ? 9 : i);
    TempTree tree("sgi");
    Decoded d = decodeBytes(tree, sgiRunLength(w, h, 3, planes));
    ASSERT_TRUE(d.pixels) << d.log;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int z = 0; z < 3; ++z)
                ASSERT_EQ(d.pixels[(static_cast<size_t>(y) * w + x) * 4 + z], planes[(static_cast<size_t>(z) * h + y) * w + x]);
}

TEST(SgiImage, HeaderIsBigEndianAndMagicIsNotChecked) {
    TempTree tree("sgi");
    std::vector<uint8_t> bytes = sgiVerbatim(64, 2, 1, std::vector<uint8_t>(128, 5), /*magic=*/1234);
    ASSERT_EQ(bytes[6], 0x00);
    ASSERT_EQ(bytes[7], 0x40);
    Decoded d = decodeBytes(tree, bytes);
    ASSERT_TRUE(d.pixels);
    EXPECT_EQ(d.width, 64);
    EXPECT_EQ(d.height, 2);
    EXPECT_EQ(d.pixels[0], 5);
}

TEST(SgiImage, ShortRunLengthRowIsPaddedBlack) {
    TempTree tree("sgi");
    Decoded d = decodeBytes(tree, sgiRunLengthRows(4, 1, 1, {{0x02, 0x09, 0x00}}));
    ASSERT_TRUE(d.pixels);
    const unsigned char expected[16] = {9, 9, 9, 255, 9, 9, 9, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    EXPECT_EQ(0, memcmp(d.pixels.get(), expected, 16));
}

TEST(SgiImage, MalformedFilesComeBackNullWithALine) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"row decodes past the width", sgiRunLengthRows(4, 1, 1, {{0x05, 0x01, 0x00}})});
    cases.push_back({"copy packet past the width", sgiRunLengthRows(4, 1, 1, {{0x83, 1, 2, 3, 0x82, 4, 5, 0x00}})});
    cases.push_back({"no end marker", sgiRunLengthRows(4, 1, 1, {{0x02, 0x01, 0x02, 0x01}})});
    cases.push_back({"copy packet past the stored row", sgiRunLengthRows(8, 1, 1, {{0x86, 1, 2}})});
    cases.push_back({"repeat without its value", sgiRunLengthRows(8, 1, 1, {{0x03}})});
    cases.push_back({"empty stored row", sgiRunLengthRows(8, 1, 1, {{}})});
    {
        auto bytes = sgiRunLengthRows(2, 1, 1, {{0x02, 0x01, 0x00}});
        putBigEndian32(bytes, sgiLengthEntryOffset(1, 1, 0), 2 * 256 + 1);  // longer than the row buffer
        cases.push_back({"stored length above the row buffer", bytes});
    }
    {
        auto bytes = sgiRunLengthRows(2, 1, 1, {{0x02, 0x01, 0x00}});
        putBigEndian32(bytes, sgiLengthEntryOffset(1, 1, 0), 0xFFFFFFFFu);
        cases.push_back({"negative stored length", bytes});
    }
    {
        auto bytes = sgiRunLengthRows(2, 1, 1, {{0x02, 0x01, 0x00}});
        putBigEndian32(bytes, 512, 0x7FFFFFF0u);
        cases.push_back({"row start beyond the file", bytes});
    }
    {
        auto bytes = sgiRunLength(6, 6, 3, patternPlanes(6, 6, 3));
        bytes.resize(512 + 40);
        cases.push_back({"run-length tables cut short", bytes});
    }
    {
        auto bytes = sgiRunLength(6, 6, 3, patternPlanes(6, 6, 3));
        bytes.resize(bytes.size() - 3);
        cases.push_back({"run-length data cut short", bytes});
    }
    {
        auto bytes = sgiVerbatim(8, 8, 3, patternPlanes(8, 8, 3));
        bytes.resize(bytes.size() - 1);
        cases.push_back({"verbatim data cut short", bytes});
    }
    cases.push_back({"header cut short", {0x01, 0xDA, 0x00, 0x01, 0x00}});
    cases.push_back({"header only", sgiHeader(0, 4, 4, 3)});
    cases.push_back({"zero width", sgiVerbatim(0, 4, 1, {})});
    cases.push_back({"zero height", sgiVerbatim(4, 0, 1, {})});
    cases.push_back({"zero channels", sgiVerbatim(4, 4, 0, std::vector<uint8_t>(16, 1))});
    cases.push_back({"absurd width", sgiHeader(0, 9000, 1, 1)});
    cases.push_back({"absurd run-length height", sgiHeader(1, 1, 65535, 4)});

    TempTree tree("sgi");
    for (const Case& c : cases) {
        Decoded d = decodeBytes(tree, c.bytes);
        EXPECT_FALSE(d.pixels) << c.what;
        EXPECT_NE(d.log.find("SgiImage::readTexture unreadable"), std::string::npos) << c.what << ": " << d.log;
        EXPECT_NE(d.log.find(tree.path("image.rgb")), std::string::npos) << c.what;
    }
}

TEST(SgiImageDeathTest, UnopenableFileEndsTheProcessWithPerrorLine) {
    TempTree tree("sgi");
    const std::string path = tree.path("missing.rgb");
    auto read = [&] {
        int w = 0, h = 0, c = 0;
        readTexture(path.c_str(), &w, &h, &c);
    };
    EXPECT_EXIT(read(), testing::ExitedWithCode(1), path + ": No such file or directory");
}

TEST(SgiImage, HostByteOrderProbeMatchesTheCompiler) {
    EXPECT_EQ(hostIsLittleEndian(), __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__);
}
