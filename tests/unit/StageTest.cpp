// Consistency of the bundled working directory stage/: the files the
// instrument reads at start-up must be there, parse, and agree with each other.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kStage = fs::path(STRATA_SOURCE_DIR) / "stage";

std::vector<uint8_t> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> readLines(const fs::path& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<fs::path> filesEndingIn(const fs::path& dir, const std::string& ending) {
    std::vector<fs::path> out;
    if (!fs::is_directory(dir)) return out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file() && e.path().filename().string().ends_with(ending)) out.push_back(e.path());
    return out;
}

uint32_t bigEndian(const std::vector<uint8_t>& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int k = 0; k < bytes; ++k) v = (v << 8) | b[at + k];
    return v;
}

struct SgiInfo {
    bool rle = false;
    unsigned width = 0, height = 0, channels = 0;
};

// Checks an SGI file strictly: header fields, and for run-length storage
// that every row lies inside the file and decodes to exactly one row of
// pixels closed by a zero packet. Empty string = fine.
std::string checkSgi(const std::vector<uint8_t>& b, SgiInfo& info) {
    if (b.size() < 512) return "shorter than the header";
    if (bigEndian(b, 0, 2) != 474 || b[2] > 1 || b[3] != 1 || bigEndian(b, 4, 2) != 3) return "bad header";
    info = {b[2] == 1, bigEndian(b, 6, 2), bigEndian(b, 8, 2), bigEndian(b, 10, 2)};
    if (info.width == 0 || info.height == 0 || (info.channels != 3 && info.channels != 4)) return "bad size";
    const size_t rows = size_t(info.height) * info.channels;
    if (!info.rle) return b.size() == 512 + rows * info.width ? "" : "verbatim size mismatch";
    if (b.size() < 512 + rows * 8) return "row tables cut off";
    for (size_t i = 0; i < rows; ++i) {
        const size_t start = bigEndian(b, 512 + i * 4, 4), length = bigEndian(b, 512 + rows * 4 + i * 4, 4);
        if (start < 512 + rows * 8 || start + length > b.size() || length == 0) return "row outside the file";
        size_t p = start, decoded = 0;
        while (p < start + length && (b[p] & 0x7F) != 0) {
            const unsigned packet = b[p++];
            decoded += packet & 0x7F;
            p += (packet & 0x80) ? (packet & 0x7F) : 1;
        }
        if (p >= start + length) return "row runs past its stored length";
        if (decoded != info.width) return "row decodes to the wrong width";
    }
    return "";
}

}  // namespace

TEST(StageTest, ModulesDbListsTheTwelveModulesInLoaderOrder) {
    const auto lines = readLines(kStage / "modules.db");
    ASSERT_EQ(lines.size(), 12u);
    for (const std::string& line : lines) {
        EXPECT_FALSE(line.empty());
        EXPECT_EQ(line.find_first_of(" \t\r"), std::string::npos) << "one word per line: " << line;
        EXPECT_LE(line.size(), 78u);
    }
    EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()).size(), 12u) << "names name help directories";
    EXPECT_EQ(lines[0], "Waver");
    EXPECT_EQ(lines[8], "Flo");
    EXPECT_EQ(lines[11], "Wave");
}

TEST(StageTest, EveryModuleButFloHasValidHelpPagesOfOneSize) {
    for (const std::string& name : readLines(kStage / "modules.db")) {
        const auto pages = filesEndingIn(kStage / "Reactors" / name, ".rgb");
        if (name != "Flo") {
            EXPECT_FALSE(pages.empty()) << "no help page for " << name;
        }
        std::set<std::pair<unsigned, unsigned>> sizes;
        for (const auto& page : pages) {
            SgiInfo info;
            EXPECT_EQ(checkSgi(readBytes(page), info), "") << page;
            sizes.insert({info.width, info.height});
        }
        EXPECT_LE(sizes.size(), 1u) << "help pages of " << name << " differ in size";
    }
}

TEST(StageTest, KeyDbBindsPrintableKeysOnceToEveryReactorController) {
    const auto lines = readLines(kStage / "key.db");
    std::set<char> keys;
    std::set<long> codes;
    for (const std::string& line : lines) {
        ASSERT_GE(line.size(), 3u) << line;
        ASSERT_LE(line.size(), 78u);
        EXPECT_EQ(line[1], ' ') << line;
        char* end = nullptr;
        const long code = std::strtol(line.c_str() + 2, &end, 10);
        EXPECT_EQ(*end, '\0') << "trailing text: " << line;
        EXPECT_TRUE(code == 7 || (code >= 17 && code <= 31)) << line;
        EXPECT_TRUE(line[0] > ' ' && line[0] < 127 && line[0] != 'h') << line << " (h toggles help mode)";
        EXPECT_TRUE(keys.insert(line[0]).second) << "key bound twice: " << line[0];
        codes.insert(code);
    }
    for (long code : {7, 17, 18, 19, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31})
        EXPECT_EQ(codes.count(code), 1u) << "no key for controller " << code;
}

TEST(StageTest, ImageSetsHoldFourToEightValid256SquareImages) {
    int sets = 0, rle = 0, verbatim = 0, alpha = 0;
    for (const auto& e : fs::directory_iterator(kStage)) {
        if (!e.is_directory() || !e.path().filename().string().starts_with("imgs")) continue;
        ++sets;
        const auto images = filesEndingIn(e.path(), ".rgb");
        EXPECT_TRUE(images.size() >= 4 && images.size() <= 8) << e.path();
        for (const auto& file : images) {
            SgiInfo info;
            ASSERT_EQ(checkSgi(readBytes(file), info), "") << file;
            EXPECT_TRUE(info.width == 256 && info.height == 256) << file;
            (info.rle ? rle : verbatim)++;
            alpha += info.channels == 4;
        }
    }
    EXPECT_GE(sets, 3);
    EXPECT_GT(rle, 0);
    EXPECT_GT(verbatim, 0);
    EXPECT_GT(alpha, 0) << "one image carries an alpha channel";

    // The check itself refuses a truncated copy and a row stored too short.
    auto bytes = readBytes(kStage / "imgs" / "a_plasma.rgb");
    SgiInfo info;
    ASSERT_EQ(checkSgi(bytes, info), "");
    ASSERT_TRUE(info.rle);
    EXPECT_NE(checkSgi(std::vector<uint8_t>(bytes.begin(), bytes.end() - 100), info), "");
    const size_t firstLength = 512 + 4 * info.height * info.channels;
    bytes[firstLength] = bytes[firstLength + 1] = bytes[firstLength + 2] = 0;
    bytes[firstLength + 3] = 1;
    EXPECT_NE(checkSgi(bytes, info), "");
}

TEST(StageTest, ModelsHaveTexturedNormalFacesWithIndicesInRange) {
    const auto models = filesEndingIn(kStage / "mdls", ".obj");
    ASSERT_GE(models.size(), 4u);
    for (const auto& model : models) {
        const auto lines = readLines(model);
        long v = 0, vt = 0, vn = 0, triangles = 0;
        for (const std::string& line : lines) {
            ASSERT_LE(line.size(), 78u) << model << ": the reader takes 78 characters per line";
            vn += line.starts_with("vn "), vt += line.starts_with("vt "), v += line.starts_with("v ");
        }
        for (const std::string& line : lines) {
            if (!line.starts_with("f ")) continue;
            std::istringstream words(line.substr(2));
            int corners = 0;
            for (std::string word; words >> word; ++corners) {
                long a = 0, b = 0, c = 0;
                ASSERT_EQ(std::sscanf(word.c_str(), "%ld/%ld/%ld", &a, &b, &c), 3) << model << ": " << line;
                ASSERT_TRUE(a >= 1 && a <= v && b >= 1 && b <= vt && c >= 1 && c <= vn) << model << ": " << line;
            }
            ASSERT_GE(corners, 3) << model << ": " << line;
            triangles += corners - 2;
        }
        EXPECT_TRUE(triangles >= 1000 && triangles <= 20000) << model << ": " << triangles;
    }
}
