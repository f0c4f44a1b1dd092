// Consistency of the bundled working directory stage/: the files the
// instrument reads at start-up must be there, parse, and agree with each other.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
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
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (e.is_regular_file() && name.size() > ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
            out.push_back(e.path());
    }
    return out;
}

unsigned be16(const std::vector<uint8_t>& b, size_t at) { return (b[at] << 8) | b[at + 1]; }
uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}

struct SgiInfo {
    bool rle = false;
    unsigned width = 0, height = 0, channels = 0;
};

// Checks an SGI file the way the image reader will take it: header fields,
// and for run-length storage that every row lies inside the file and decodes
// to exactly one row of pixels, closed by a zero packet. Empty string = fine.
std::string checkSgi(const std::vector<uint8_t>& b, SgiInfo& info) {
    if (b.size() < 512) return "shorter than the header";
    if (be16(b, 0) != 474) return "magic is not 474";
    if (b[2] > 1) return "unknown storage";
    if (b[3] != 1) return "not one byte per channel";
    if (be16(b, 4) != 3) return "dimension is not 3";
    info.rle = b[2] == 1;
    info.width = be16(b, 6);
    info.height = be16(b, 8);
    info.channels = be16(b, 10);
    if (info.width == 0 || info.height == 0 || (info.channels != 3 && info.channels != 4)) return "bad size";
    const size_t rows = size_t(info.height) * info.channels;
    if (!info.rle) return b.size() == 512 + rows * info.width ? "" : "verbatim size mismatch";
    if (b.size() < 512 + rows * 8) return "row tables cut off";
    for (size_t i = 0; i < rows; ++i) {
        const size_t start = be32(b, 512 + i * 4), length = be32(b, 512 + rows * 4 + i * 4);
        if (start < 512 + rows * 8 || start + length > b.size() || length == 0) return "row outside the file";
        size_t p = start, decoded = 0;
        bool closed = false;
        while (p < start + length) {
            const unsigned packet = b[p++];
            const unsigned count = packet & 0x7F;
            if (count == 0) {
                closed = true;
                break;
            }
            decoded += count;
            p += (packet & 0x80) ? count : 1;
        }
        if (!closed || p > start + length) return "row runs past its stored length";
        if (decoded != info.width) return "row decodes to the wrong width";
    }
    return "";
}

}  // namespace

TEST(StageTest, ModulesDbListsTheTwelveModulesInLoaderOrder) {
    const auto lines = readLines(kStage / "modules.db");
    ASSERT_EQ(lines.size(), 12u);
    std::set<std::string> names;
    for (const std::string& line : lines) {
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.find_first_of(" \t\r"), std::string::npos) << "one word per line: " << line;
        EXPECT_LE(line.size(), 78u);
        names.insert(line);
    }
    EXPECT_EQ(names.size(), 12u) << "module names must be distinct (they name help directories)";
    EXPECT_EQ(lines[0], "Waver");
    EXPECT_EQ(lines[8], "Flo");
    EXPECT_EQ(lines[11], "Wave");
}

TEST(StageTest, EveryModuleButFloHasHelpPagesOfOneSize) {
    for (const std::string& name : readLines(kStage / "modules.db")) {
        const auto pages = filesEndingIn(kStage / "Reactors" / name, ".rgb");
        if (name != "Flo") {
            EXPECT_FALSE(pages.empty()) << "no help page for " << name;
        }
        std::set<std::pair<unsigned, unsigned>> sizes;
        for (const auto& page : pages) {
            SgiInfo info;
            const auto bytes = readBytes(page);
            EXPECT_EQ(checkSgi(bytes, info), "") << page;
            sizes.insert({info.width, info.height});
        }
        EXPECT_LE(sizes.size(), 1u) << "help pages of " << name << " differ in size";
    }
}

TEST(StageTest, KeyDbBindsLetterKeysToReactorControllersOnly) {
    const auto lines = readLines(kStage / "key.db");
    ASSERT_FALSE(lines.empty());
    std::map<char, int> bound;
    std::set<int> codes;
    for (const std::string& line : lines) {
        ASSERT_GE(line.size(), 3u) << line;
        ASSERT_LE(line.size(), 78u);
        EXPECT_EQ(line[1], ' ') << line;
        const char key = line[0];
        char* end = nullptr;
        const long code = std::strtol(line.c_str() + 2, &end, 10);
        EXPECT_EQ(*end, '\0') << "trailing text: " << line;
        EXPECT_TRUE(code == 7 || (code >= 17 && code <= 31)) << line;
        EXPECT_NE(key, 'h') << "h toggles help mode";
        EXPECT_GT(key, ' ');
        EXPECT_LT(key, 127);
        EXPECT_EQ(bound.count(key), 0u) << "key bound twice: " << key;
        bound[key] = static_cast<int>(code);
        codes.insert(static_cast<int>(code));
    }
    // Every controller some reactor reads can be played from the keyboard.
    for (int code : {7, 17, 18, 19, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31})
        EXPECT_EQ(codes.count(code), 1u) << "no key for controller " << code;
}

TEST(StageTest, EveryImageIsAValid256SquareSgiAndBothStoragesOccur) {
    const auto files = filesEndingIn(kStage, ".rgb");
    ASSERT_FALSE(files.empty());
    int rle = 0, verbatim = 0, alpha = 0;
    for (const auto& file : files) {
        SgiInfo info;
        const auto bytes = readBytes(file);
        ASSERT_EQ(checkSgi(bytes, info), "") << file;
        EXPECT_EQ(info.width, 256u) << file;
        EXPECT_EQ(info.height, 256u) << file;
        (info.rle ? rle : verbatim)++;
        if (info.channels == 4) ++alpha;
    }
    EXPECT_GT(rle, 0);
    EXPECT_GT(verbatim, 0);
    EXPECT_GT(alpha, 0) << "one image carries an alpha channel";

    // The checker itself rejects damaged files: a truncated copy, and a row
    // whose stored length is cut short.
    const fs::path sample = kStage / "imgs" / "a_plasma.rgb";
    auto bytes = readBytes(sample);
    SgiInfo info;
    ASSERT_EQ(checkSgi(bytes, info), "");
    ASSERT_TRUE(info.rle);
    auto truncated = bytes;
    truncated.resize(bytes.size() - 100);
    EXPECT_NE(checkSgi(truncated, info), "");
    auto shortRow = bytes;
    const size_t lengthEntry = 512 + size_t(info.height) * info.channels * 4;
    const uint32_t length = be32(bytes, lengthEntry);
    shortRow[lengthEntry + 3] = static_cast<uint8_t>(length - 2);
    shortRow[lengthEntry + 2] = static_cast<uint8_t>((length - 2) >> 8);
    EXPECT_NE(checkSgi(shortRow, info), "");
}

TEST(StageTest, ImageSetsHoldFourToEightImages) {
    int sets = 0;
    for (const auto& e : fs::directory_iterator(kStage)) {
        const std::string name = e.path().filename().string();
        if (!e.is_directory() || name.rfind("imgs", 0) != 0) continue;
        ++sets;
        const auto images = filesEndingIn(e.path(), ".rgb");
        EXPECT_GE(images.size(), 4u) << name;
        EXPECT_LE(images.size(), 8u) << name;
    }
    EXPECT_GE(sets, 3);
}

TEST(StageTest, ModelsHaveTexturedNormalFacesWithIndicesInRange) {
    const auto models = filesEndingIn(kStage / "mdls", ".obj");
    ASSERT_GE(models.size(), 4u);
    for (const auto& model : models) {
        const auto lines = readLines(model);
        long v = 0, vt = 0, vn = 0, triangles = 0;
        for (const std::string& line : lines) {
            ASSERT_LE(line.size(), 78u) << model << ": the reader takes 78 characters per line";
            if (line.rfind("vn ", 0) == 0) ++vn;
            else if (line.rfind("vt ", 0) == 0) ++vt;
            else if (line.rfind("v ", 0) == 0) ++v;
        }
        for (const std::string& line : lines) {
            if (line.rfind("f ", 0) != 0) continue;
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
        EXPECT_GE(triangles, 1000) << model;
        EXPECT_LE(triangles, 20000) << model;
    }
}
