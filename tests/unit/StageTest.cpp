// The bundled working directory stage/: its start-up files are there, parse and agree.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "resources/ObjModel.h"
#include "support/TempStage.h"

namespace fs = std::filesystem;

namespace {

const fs::path kStage = fs::path(STRATA_SOURCE_DIR) / "stage";

std::vector<std::string> readLines(const fs::path& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<fs::path> filesEndingIn(const fs::path& dir, const std::string& ending) {
    std::vector<fs::path> out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file() && e.path().filename().string().ends_with(ending)) out.push_back(e.path());
    return out;
}

struct SgiInfo { bool rle = false; unsigned width = 0, height = 0, channels = 0; };

// Checks an SGI file strictly: the header, and every run-length row inside the
// file and decoding to one row of pixels closed by a zero packet. "" when fine.
std::string checkSgi(const fs::path& path, SgiInfo& info) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> b{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    auto big = [&](size_t at, int bytes) { uint32_t v = 0; while (bytes--) v = (v << 8) | b[at++]; return v; };
    if (b.size() < 512 || big(0, 2) != 474 || b[2] > 1 || b[3] != 1 || big(4, 2) != 3) return "bad header";
    info = {b[2] == 1, big(6, 2), big(8, 2), big(10, 2)};
    const size_t rows = size_t(info.height) * info.channels, tables = 512 + rows * 8;
    if (info.width == 0 || info.height == 0 || (info.channels != 3 && info.channels != 4)) return "bad size";
    if (!info.rle) return b.size() == 512 + rows * info.width ? "" : "verbatim size mismatch";
    if (b.size() < tables) return "row tables cut off";
    for (size_t i = 0; i < rows; ++i) {
        size_t p = big(512 + i * 4, 4), decoded = 0;
        const size_t end = p + big(512 + rows * 4 + i * 4, 4);
        if (p < tables || end > b.size() || end == p) return "row outside the file";
        while (p < end && (b[p] & 0x7F) != 0) decoded += b[p] & 0x7F, p += (b[p] & 0x80) ? 1 + (b[p] & 0x7F) : 2;
        if (p >= end || decoded != info.width) return "row runs past its stored length or has the wrong width";
    }
    return "";
}

}  // namespace

// The loader's order; each name also names the module's help directory.
TEST(StageTest, ModulesDbListsTheModulesInLoaderOrderWithHelpPages) {
    const auto lines = readLines(kStage / "modules.db");
    EXPECT_EQ(lines, (std::vector<std::string>{"Waver", "Tunnel", "Cloud", "Waver3D", "Particles1", "MetaballViewer",
                                               "ObjViewer", "TorusTunnel", "Flo", "RippleObjViewer", "SoundScape", "Wave"}));
    for (const std::string& name : lines)
        EXPECT_TRUE(name == "Flo" || !filesEndingIn(kStage / "Reactors" / name, ".rgb").empty()) << name;
}

TEST(StageTest, KeyDbBindsPrintableKeysOnceToEveryReactorController) {
    std::set<char> keys;
    std::set<long> codes;
    for (const std::string& line : readLines(kStage / "key.db")) {
        ASSERT_TRUE(line.size() >= 3 && line.size() <= 78 && line[1] == ' ') << line;
        char* end = nullptr;
        codes.insert(std::strtol(line.c_str() + 2, &end, 10));
        EXPECT_TRUE(*end == '\0' && line[0] > ' ' && line[0] < 127 && line[0] != 'h') << line << " (h toggles help)";
        EXPECT_TRUE(keys.insert(line[0]).second) << "key bound twice: " << line[0];
    }
    EXPECT_EQ(codes, (std::set<long>{7, 17, 18, 19, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31}));
}

// Help pages and image sets; a set holds four to eight 256 x 256 images.
TEST(StageTest, EveryImageIsAValidSgiFile) {
    std::map<fs::path, int> sets;
    for (const auto& file : filesEndingIn(kStage, ".rgb")) {
        SgiInfo info;
        ASSERT_EQ(checkSgi(file, info), "") << file;
        if (!file.parent_path().filename().string().starts_with("imgs")) continue;
        EXPECT_TRUE(info.width == 256 && info.height == 256) << file;
        ++sets[file.parent_path()];
    }
    EXPECT_GE(sets.size(), 3u);
    for (const auto& [set, images] : sets) EXPECT_TRUE(images >= 4 && images <= 8) << set;
}

// As the instrument reads them: lines within its 78 characters, no triangle
// dropped, every corner with its texture coordinate and normal.
TEST(StageTest, ModelsHaveTexturedNormalFacesWithIndicesInRange) {
    const auto models = filesEndingIn(kStage / "mdls", ".obj");
    ASSERT_GE(models.size(), 4u);
    for (const auto& path : models) {
        for (const std::string& line : readLines(path)) ASSERT_LE(line.size(), 78u) << path;
        std::unique_ptr<ObjModel> model;
        const std::string log = captureStdout([&] { model = std::make_unique<ObjModel>(path.c_str()); });
        EXPECT_EQ(log.find("dropped"), std::string::npos) << path;
        EXPECT_EQ(std::count(model->corners.begin(), model->corners.end(), -1), 0) << path;
        const int triangles = model->cornerLength() / 9;  // a playable size
        EXPECT_TRUE(triangles >= 1000 && triangles <= 20000) << path << ": " << triangles;
    }
}
