// The stage's readers: listings, files, OBJ models, SGI images, their sets, modules.db.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "TempStage.h"
#include "UniverseFixture.h"
#include "platform/RegularFile.h"
#include "platform/UserFiles.h"
#include "resources/FilesInPath.h"
#include "resources/ImageGene.h"
#include "resources/ImageMemoryBudget.h"
#include "resources/ModelGene.h"
#include "resources/ObjModel.h"
#include "resources/SgiImage.h"
#include "support/GlTestContext.h"
#include "tools/SgiWriter.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using Ints = std::vector<int>;
using Floats = std::vector<float>;

Names list(const std::string& pattern, std::string* log = nullptr) {
    Names names;
    const std::string out = captureStdout([&] {
        FilesInPath listing(pattern.c_str());
        for (int i = 0; i < listing.count; ++i) names.push_back(listing.names[i].get());
    });
    if (log) *log = out;
    return names;
}

class ObjModelTest : public testing::Test {
protected:
    void load(const std::string& text, const char* path = "model.obj") {
        if (text.size()) stage.write(path, text);
        log = captureStdout([&] { model = std::make_unique<ObjModel>(path); });
    }
    Ints corners() const { return Ints(model->cornerArray.get(), model->cornerArray.get() + model->cornerLength()); }

    TempStage stage{"obj"};
    std::unique_ptr<ObjModel> model;
    std::string log;
};

const std::string kSquare = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\n";

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

// The red byte of the first texel of the gene's texture as OpenGL holds it.
int textureRed(ImageGene& gene) {
    glBindTexture(GL_TEXTURE_2D, gene.texture->textureName);
    std::vector<unsigned char> texels(static_cast<size_t>(gene.texture->width) * gene.texture->height * 4 + 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return texels[0];
}

GLuint boundTexture() {
    GLint bound = 0;
    return glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound), static_cast<GLuint>(bound);
}

class ImageGeneTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ensureGlContext()); }
    void TearDown() override { EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)); }

    std::unique_ptr<ImageGene> build(const std::string& dir) {
        std::unique_ptr<ImageGene> gene;
        log = captureStdout([&] { gene = std::make_unique<ImageGene>(dir.c_str()); });
        return gene;
    }
    // Directory imgs with n 2x2 images; image i has red 10 * (i + 1).
    std::unique_ptr<ImageGene> buildSet(int n) {
        stage.makeDirectory("imgs");
        for (int i = 0; i < n; ++i)
            EXPECT_TRUE(writeSolidSgi("imgs/" + std::to_string(1000 + i) + ".rgb", 2, 2, uint8_t(10 * (i + 1)), 1, 2));
        return build("imgs");
    }

    TempStage stage{"imggene"};
    std::string log;
};

}  // namespace

// Case-blind, sorted, at most 256; no match or a bad pattern give an empty listing and a line.
TEST(FilesInPath, ListsMatchesSortedCaseBlindAndStoresAtMost256) {
    TempStage stage("list");
    for (const char* dir : {"imgsB", "imgs", "IMGS", "mdls", "empty"}) stage.makeDirectory(dir);
    for (const char* name : {"imgs.txt", "myimgs", "set/b.rgb", "set/A.RGB", "set/c.txt", "set/d.rgbx", "set/e.rgb.bak",
                             "set/.rgb"})
        stage.write(name, "");
    for (int i = 0; i < 300; ++i) stage.write("many/f" + std::to_string(1299 - i).substr(1) + ".obj", "");
    std::string log;
    EXPECT_EQ(list("imgs*", &log), (Names{"IMGS", "imgs", "imgs.txt", "imgsB"}));
    EXPECT_EQ(log, "FilesInPath:: path = imgs*\nFilesInPath:: filename IMGS\n");
    EXPECT_EQ(list("set/*.rgb"), (Names{".rgb", "A.RGB", "b.rgb"}));
    const Names many = list("many/*.obj");
    EXPECT_EQ((Names{std::to_string(many.size()), many.front(), many.back()}), (Names{"256", "f000.obj", "f255.obj"}));
    for (const std::string pattern : {"empty/*.rgb", "absent/*.obj"}) {
        EXPECT_TRUE(list(pattern, &log).empty());
        EXPECT_EQ(log, "FilesInPath:: path = " + pattern + "\nFilesInPath::Error in Opening Path " + pattern + "\n");
    }
    EXPECT_TRUE(list(std::string(FilesInPath::kPatternSize, 'a'), &log).empty());
    EXPECT_NE(log.find("FilesInPath::Error pattern longer than 999 characters"), std::string::npos);
}

TEST(RegularFile, OnlyRegularFilesAreOpened) {
    TempStage stage("regular");
    stage.write("plain.txt", "text\n");
    stage.makeDirectory("folder");
    const struct {
        const char* path;
        bool opens, refused;
    } cases[] = {{"plain.txt", true, false}, {"folder", false, true},  {"/dev/null", false, true},
                 {"missing", false, false},  {"", false, false}};
    for (const auto& c : cases) {
        bool refused = !c.refused;
        testing::internal::CaptureStderr();
        FILE* file = openRegularFile(c.path, "r", &refused);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::make_pair(file != nullptr, refused), std::make_pair(c.opens, c.refused)) << c.path;
        EXPECT_EQ(err, c.refused ? "Not a regular file, refused: " + std::string(c.path) + "\n" : "");
        EXPECT_TRUE(c.opens || c.refused || errno == ENOENT) << c.path;
        char line[16] = {};
        if (!file) continue;
        EXPECT_STREQ(fgets(line, sizeof line, file), "text\n");  // blocking reads again
        fclose(file);
    }
}

// A writable working directory, else the XDG data directory made on demand, else none.
TEST(UserFiles, WorkingDirectoryWhileWritableElseTheUsersDataDirectory) {
    TempStage stage("userfiles");
    const fs::path here = stage.path(), missing = here / "not-there", name = fs::path("scenes") / "01.scene";
    const std::string xdg = (here / "xdg").string(), home = (here / "home").string();
    const std::string blocked = (here / stage.write("blocked", "a file where a directory would have to be")).string();
    const struct {
        fs::path working;
        const char *xdgDataHome, *home;
        fs::path expected;
    } cases[] = {
        {here, xdg.c_str(), home.c_str(), here},
        {missing, xdg.c_str(), home.c_str(), here / "xdg" / "strata"},
        {missing, "relative/data", home.c_str(), here / "home" / ".local" / "share" / "strata"},
        {missing, nullptr, home.c_str(), here / "home" / ".local" / "share" / "strata"},
        {missing, "", nullptr, fs::path()},
        {missing, blocked.c_str(), home.c_str(), fs::path()},
    };
    for (const auto& c : cases) {
        fs::remove_all(here / "xdg"), fs::remove_all(here / "home");
        EXPECT_EQ(userFilesDirectory(c.working, c.xdgDataHome, c.home), c.expected) << c.working << " " << c.home;
        EXPECT_TRUE(c.expected.empty() || fs::is_directory(c.expected)) << c.expected;
        EXPECT_FALSE(c.expected == here && fs::exists(here / "xdg")) << "created while the stage is writable";
        const fs::path path = c.expected.empty() || c.expected == here ? name : c.expected / name;
        EXPECT_EQ(userFilePath(name, c.working, c.xdgDataHome, c.home), path);
    }
}

// Faces become fans of zero-based index triples (-1: missing); bad triangles are counted.
TEST_F(ObjModelTest, FacesBecomeFanTrianglesOfIndexTriples) {
    const struct {
        std::string text;
        Ints corners;
        std::string logLine;
    } cases[] = {
        {kSquare + "f 1/1/1 2/2/1 3/3/1 4/4/1\n",
         {0, 0, 0, 1, 1, 0, 2, 2, 0, 0, 0, 0, 2, 2, 0, 3, 3, 0},
         "V size  12\nVN size  3\nVT size  12\nID size 18\n"},
        {kSquare + "vn 1 0 0\nf 1 2 3\nf 1//2 2//2 3//2\nf 2/3 3/4 4/1\n",
         {0, -1, -1, 1, -1, -1, 2, -1, -1, 0, -1, 1, 1, -1, 1, 2, -1, 1, 1, 2, -1, 2, 3, -1, 3, 0, -1},
         ""},
        {"v 0 0 0\r\nv 1 0 0\r\nv 0 1 0\r\nf 1/ 2/ 3/\r\nf 3 2 1",  // carriage returns, no final line end
         {0, -1, -1, 1, -1, -1, 2, -1, -1, 2, -1, -1, 1, -1, -1, 0, -1, -1},
         ""},
        {kSquare +
             "f 1 2 5\n"           // vertex past the end
             "f -1 -2 -3\n"        // relative indices
             "f 0 1 2\n"           // 0 is not an index
             "f 1/5 2/1 3/1\n"     // texture coordinate past the end
             "f 1//2 2//1 3//1\n"  // normal past the end
             "f x y z\n"           // not numbers
             "f 1 2 3 9\n"         // fan: second triangle bad, first kept
             "f 2/2/1 3/3/1 4/4/1\n",
         {0, -1, -1, 1, -1, -1, 2, -1, -1, 1, 1, 0, 2, 2, 0, 3, 3, 0},
         "ObjModel::dropped triangles with indices outside the lists 7\n"},
    };
    for (const auto& c : cases) {
        load(c.text);
        EXPECT_EQ(corners(), c.corners) << c.text;
        EXPECT_NE(log.find(c.logLine), std::string::npos) << log;
    }
}

// A face of 35 corners keeps 30 (28 triangles); one of two corners gives none.
TEST_F(ObjModelTest, PolygonsFanAroundTheFirstCornerUpToThirtyCorners) {
    std::string text;
    for (int i = 0; i < 40; ++i) text += "v " + std::to_string(i) + " 0 0\n";
    text += "f 1 2 3 4 5\nf";
    for (int i = 0; i < 35; ++i) text += ' ', text += static_cast<char>('1' + i % 9);  // 71 characters
    load(text + "\nf 1 2\n");
    Ints vertices;  // the vertex of each corner
    for (size_t k = 0; k < corners().size(); k += 3) vertices.push_back(corners()[k]);
    Ints want = {0, 1, 2, 0, 2, 3, 0, 3, 4};
    for (int t = 1; t <= 28; ++t) want.insert(want.end(), {0, t % 9, (t + 1) % 9});
    EXPECT_EQ(vertices, want);
    EXPECT_NE(log.find("ObjModel::faces with more than 30 corners, extra corners ignored 1\n"), std::string::npos);
}

// Other prefixes are skipped, missing numbers read 0; the box and scale are logged, even unopened.
TEST_F(ObjModelTest, PrefixRulesMissingNumbersAndTheBoundingBox) {
    load("# comment v 9 9 9\nmtllib x.mtl\nusemtl red\ng group\no object\ns 1\n v 5 5 5\n"
         "vp 1 2 3\nvt 0.5 0.25\nvn 1\nv\nvn\nvt\nv 4 5 6\n");
    EXPECT_EQ(model->vertices, (Floats{1, 2, 3, 0, 0, 0, 4, 5, 6}));
    EXPECT_EQ(model->texCoords, (Floats{0.5f, 0.25f, 0, 0, 0, 0}));
    EXPECT_EQ(model->normals, (Floats{1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(model->cornerLength(), 0);
    load("v -1 0 0\nv 3 2 1\nv 0 1 -1\n");
    EXPECT_EQ((Floats{model->minimum[0], model->maximum[0], model->centre[0], model->centre[1], model->centre[2],
                      model->scale}),
              (Floats{-1, 3, 1, 1, 0, 0.75f}));
    EXPECT_EQ(log, "Bounding Box\nx -1,3\ny 0,2\nz -1,1\nCenter 1,1,0\nnScale = 0.75\n"
                   "V size  9\nVN size  0\nVT size  0\nID size 0\n");
    load("", "absent.obj");
    EXPECT_EQ(log.substr(0, 121), " File Open Error absent.obj\nBounding Box\nx 100000,-100000\ny 100000,-100000\n"
                                 "z 100000,-100000\nCenter 0,0,0\nnScale = -1e-05\n");
    EXPECT_TRUE(model->cornerLength() == 0 && model->vertexArray != nullptr);
}

// Lower-case .obj files in order, others a null slot; the fraction picks (wrapping, NaN as 0).
TEST(ModelGene, ReadsLowerCaseObjFilesKeepsASlotForOthersAndSelectsByFraction) {
    TempStage stage("mdl");
    std::string vertices;
    for (const char* name : {"a.obj", "b.obj", "c.obj", "D.OBJ"})
        stage.write(std::string("mdls/") + name, vertices += "v 1 2 3\n");  // model k has k + 1 vertices
    std::unique_ptr<ModelGene> gene;
    std::string log = captureStdout([&] { gene = std::make_unique<ModelGene>("mdls"); });
    ASSERT_EQ(gene->models->count, 4);
    Ints sizes;
    for (const auto& m : gene->models->models) sizes.push_back(m ? static_cast<int>(m->vertices.size()) : -1);
    EXPECT_EQ(Ints(sizes.begin(), sizes.begin() + 5), (Ints{3, 6, 9, -1, -1}));
    const std::pair<float, int> cases[] = {{0.5f, 2}, {1.0f, 0}, {-0.2f, 0}, {0.99f, 3}, {1.4f, 1},
                                           {std::numeric_limits<float>::quiet_NaN(), 0}};
    for (const auto& [fraction, k] : cases) {
        EXPECT_EQ(gene->selectModel(fraction), gene->models->models[k].get()) << fraction;
        EXPECT_EQ(gene->current, k) << fraction;
    }
    gene->selectModel(1e30f);
    EXPECT_TRUE(gene->current >= 0 && gene->current < 4) << gene->current;
    stage.makeDirectory("empty");
    for (const std::string& dir : {std::string("empty"), std::string("absent"), std::string(120, 'm')}) {
        log = captureStdout([&] { gene = std::make_unique<ModelGene>(dir.c_str()); });
        EXPECT_NE(log.find("Models set 0 models\n"), std::string::npos);
        EXPECT_TRUE(gene->selectModel(0.5f) == nullptr && gene->selectModel(-1.0f) == nullptr);
        EXPECT_EQ(std::make_pair(gene->models->count, gene->current), std::make_pair(0, 0));
    }
}

// Each channel count and storage: RGBA = c0 c0 c0 255, c0 c0 c0 c1, c0 c1 c2 255, c0 c1 c2 c3.
class SgiChannels : public testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(SgiChannels, MapChannelsToRgba) {
    const auto [zsize, runLength] = GetParam();
    const int w = 300, h = 3;
    TempStage stage("sgi");
    const std::vector<uint8_t> planes = patternPlanes(w, h, zsize);
    Decoded d = decode(runLength ? sgiRunLength(w, h, zsize, planes) : sgiVerbatim(w, h, zsize, planes));
    ASSERT_TRUE(d.pixels) << d.log;
    EXPECT_EQ(d.log, "");
    EXPECT_EQ(Ints({d.width, d.height, d.components}), Ints({w, h, zsize}));
    const int channels[5][4] = {{}, {0, 0, 0, -1}, {0, 0, 0, 1}, {0, 1, 2, -1}, {0, 1, 2, 3}};  // -1: opaque
    std::vector<uint8_t> want;
    for (int n = 0; n < w * h; ++n)
        for (int c : channels[std::min(zsize, 4)]) want.push_back(c < 0 ? 255 : planes[c * w * h + n]);
    EXPECT_EQ(std::vector<uint8_t>(d.pixels.get(), d.pixels.get() + 4 * w * h), want);
}

INSTANTIATE_TEST_SUITE_P(AllCounts, SgiChannels, testing::Combine(testing::Values(1, 2, 3, 4, 5), testing::Bool()));

// Hand-made rows decode to grey (a short row padded black, any magic number);
// malformed files come back null with a line naming the file (more: the fuzzer).
TEST(SgiImage, HandMadeRowsDecodeAndMalformedFilesComeBackNullWithALine) {
    const std::tuple<const char*, std::vector<uint8_t>, std::vector<uint8_t>> cases[] = {  // what, bytes, grey
        {"repeat and copy", sgiRunLengthRows(5, 1, 1, {{0x03, 0x07, 0x82, 0x01, 0x02, 0x00}}), {7, 7, 7, 1, 2}},
        {"short row", sgiRunLengthRows(4, 1, 1, {{0x02, 0x09, 0x00}}), {9, 9, 0, 0}},
        {"another magic number", sgiVerbatim(2, 1, 1, {5, 6}, /*magic=*/1234), {5, 6}},
        {"header cut short", {0x01, 0xDA, 0x00, 0x01, 0x00}, {}},
        {"side above 4096 pixels", sgiVerbatim(4097, 1, 1, std::vector<uint8_t>(4097, 7)), {}},
    };
    TempStage stage("sgi");
    for (const auto& [what, bytes, grey] : cases) {
        Decoded d = decode(bytes);
        if (!grey.empty()) {
            std::vector<uint8_t> want;
            for (uint8_t g : grey) want.insert(want.end(), {g, g, g, 255});
            EXPECT_EQ(d.pixels ? std::vector<uint8_t>(d.pixels.get(), d.pixels.get() + want.size()) : grey, want) << what;
            continue;
        }
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

// Selection wraps and binds; pixels are sent only when the image changes.
TEST_F(ImageGeneTest, SelectionWrapsAndSendsOnlyChangedImages) {
    auto gene = buildSet(5);
    const std::tuple<bool, float, int, int> steps[] = {  // by fraction?, value, image shown, uploads so far
        {false, 0, 0, 1},   {true, 0.1f, 0, 1}, {true, 0.99f, 4, 2}, {true, 1.0f, 0, 3}, {true, 0.5f, 2, 4},
        {true, -0.5f, 0, 5}, {false, 7, 2, 6},  {false, 7, 2, 6},    {false, -3, 0, 7}, {false, 4, 4, 8},
        {true, 2.3f, 1, 9}, {true, std::numeric_limits<float>::quiet_NaN(), 0, 10}};
    EXPECT_EQ(gene->texture->uploads, 0);
    for (const auto& [byFraction, value, index, uploads] : steps) {
        if (byFraction) gene->selectFraction(value);
        else gene->selectIndex(static_cast<int>(value));
        EXPECT_EQ(gene->current, index) << value;
        EXPECT_EQ(gene->texture->uploads, uploads) << value;
        EXPECT_EQ(boundTexture(), gene->texture->textureName);
        EXPECT_EQ(textureRed(*gene), 10 * (index + 1)) << value;
    }
    gene->selectFraction(1e30f);
    EXPECT_TRUE(gene->current >= 0 && gene->current < 5) << gene->current;
}

TEST_F(ImageGeneTest, EmptyMissingOrOverlongDirectoryGivesAUsableEmptyGene) {
    stage.makeDirectory("empty");
    const std::string overlong(ImageGene::kDirectorySize, 'd');
    for (const std::string& dir : {std::string("empty"), std::string("absent"), std::string(), overlong}) {
        auto gene = build(dir);
        for (const char* line : {"ImageList 0 imgs\n", "Tex will be NULL imaged\n", "texture size is 0,0 \n"})
            EXPECT_NE(log.find(line), std::string::npos) << dir << ": " << line;
        EXPECT_EQ(log.find("ImageGene::directory name longer than 99 characters, no images\n") != std::string::npos,
                  dir == overlong);
        EXPECT_EQ(log.find("FilesInPath") == std::string::npos, dir == overlong || dir.empty()) << "no search";
        for (int k : {3, -1}) gene->selectIndex(k);
        gene->selectFraction(0.7f);
        EXPECT_EQ(Ints({gene->current, gene->texture->uploads, static_cast<int>(boundTexture())}),
                  Ints({0, 0, static_cast<int>(gene->texture->textureName)}));
    }
}

// Images of another size than the last one read are dropped with a line; unreadable
// ones leave null slots too; only kept images count against the memory budget.
TEST_F(ImageGeneTest, TheImageReadLastSetsTheSize) {
    const struct {
        std::vector<std::pair<std::string, int>> files;  // name, side (0: unreadable)
        std::string kept;
        int side;
    } cases[] = {
        {{{"0000_big.rgb", 8}, {"a.rgb", 2}, {"b.rgb", 2}, {"c.rgb", 2}}, "-kkk", 2},
        {{{"a.rgb", 2}, {"b.rgb", 2}, {"z.rgb", 4}}, "--k", 4},
        {{{"a.rgb", 2}, {"m.rgb", 3}, {"z.rgb", 2}}, "k-k", 2},
        {{{"a.rgb", 2}, {"b.rgb", 2}, {"zz.rgb", 0}}, "kk-", 2},
        {{{"0bad.rgb", 0}, {"a.rgb", 4}, {"b.rgb", 2}, {"c.rgb", 8}, {"d.rgb", 4}, {"E.RGB", 4}}, "-k--k-", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.files.front().first + " .. " + c.files.back().first);
        TempStage local("lastsize");
        local.makeDirectory("imgs");
        int dropped = 0, kept = 0;
        for (const auto& [name, side] : c.files)
            ASSERT_TRUE(side ? writeSolidSgi("imgs/" + name, side, side, 50, 60, 70)
                             : writeFileBytes("imgs/" + name, {1, 2, 3}));
        const size_t heldBefore = ImageMemoryBudget::held();
        auto gene = build("imgs");
        ASSERT_EQ(gene->imageCount(), static_cast<int>(c.files.size()));
        for (size_t k = 0; k < c.files.size(); ++k) {
            const auto& [name, side] = c.files[k];
            EXPECT_EQ(gene->images->images[k] != nullptr, c.kept[k] == 'k') << k;
            kept += c.kept[k] == 'k';
            if (c.kept[k] == 'k' || side == 0 || !name.ends_with(".rgb")) continue;
            ++dropped;
            const std::string s = std::to_string(side), n = std::to_string(c.side);
            EXPECT_NE(log.find("ImageList::skipped imgs/" + name + ": size " + s + "x" + s + " differs from the set's " + n +
                               "x" + n + "\n"),
                      std::string::npos);
        }
        EXPECT_EQ(std::vector<int>({gene->images->width, gene->texture->width, gene->texture->height}),
                  std::vector<int>(3, c.side));
        EXPECT_EQ(countOf(log, "ImageList::skipped "), dropped) << log;
        EXPECT_EQ(countOf(log, "Reading Texture ..."), static_cast<int>(c.files.size()) - (c.kept.size() == 6));
        EXPECT_EQ(ImageMemoryBudget::held() - heldBefore, static_cast<size_t>(kept) * c.side * c.side * 4);
        for (size_t k = 0; k < c.files.size(); ++k) gene->selectIndex(static_cast<int>(k));
        EXPECT_EQ(gene->texture->uploads, kept);
        gene.reset();
        EXPECT_EQ(ImageMemoryBudget::held(), heldBefore);
    }
}

// One budget for the stage's images: beyond it refused with a line (exactly full taken).
TEST_F(ImageGeneTest, ImagesBeyondTheMemoryBudgetAreRefused) {
    struct RestoreLimit {
        size_t limit = ImageMemoryBudget::limit();
        ~RestoreLimit() { ImageMemoryBudget::setLimit(limit); }
    } restore;
    const size_t image = 4 * 4 * 4;
    ImageMemoryBudget::setLimit(ImageMemoryBudget::held() + 3 * image);
    stage.makeDirectory("imgs");
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(writeSolidSgi("imgs/" + std::to_string(i) + ".rgb", 4, 4, 9, 9, 9));
    testing::internal::CaptureStderr();
    auto first = build("imgs");
    const std::string refusals = testing::internal::GetCapturedStderr();
    for (int k = 0; k < 5; ++k) EXPECT_EQ(first->images->images[k] != nullptr, k < 3) << k;
    EXPECT_EQ(countOf(refusals, "SgiImage::readTexture refused ("), 2) << refusals;
    EXPECT_NE(refusals.find("imgs/4.rgb\n"), std::string::npos);
    EXPECT_EQ(ImageMemoryBudget::left(), 0u);
    testing::internal::CaptureStderr();
    auto second = build("imgs");  // nothing until the first is gone
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(second->images->images[0], nullptr);
    first.reset();
    auto third = build("imgs");
    EXPECT_NE(third->images->images[2], nullptr);
}

using Preloading = UniverseFixture;

TEST_F(Preloading, OneGenePerLowerCasePrefixedEntryInListingOrder) {
    for (const char* dir : {"imgs", "imgsB", "IMGS", "mdls", "MDLSX"}) stage->makeDirectory(dir);
    stage->write("imgs.txt", "not a directory");
    for (const char* file : {"imgs/a.rgb", "imgs/b.rgb"}) ASSERT_TRUE(writeSolidSgi(file, 2, 2, 1, 2, 3));
    for (const char* file : {"imgsB/a.rgb", "IMGS/a.rgb"}) ASSERT_TRUE(writeSolidSgi(file, 4, 4, 1, 2, 3));
    for (const char* name : {"a.obj", "b.obj", "c.obj", "D.OBJ"}) stage->write(std::string("mdls/") + name, "v 1 2 3\n");
    const std::string out = build();
    Names sets;  // directory and count of each set held, image sets first
    for (int i = 0; i < 4; ++i) {
        const ImageGene* set = universe->imageSets[i].get();
        sets.push_back(set ? std::string(set->directory) + " " + std::to_string(set->imageCount()) : "-");
    }
    const ModelGene& models = *universe->modelSets[0];
    sets.push_back(models.directory + std::string(" ") + std::to_string(models.models->count));
    EXPECT_EQ(sets, (Names{"imgs 2", "imgs.txt 0", "imgsB 1", "-", "mdls 4"}));
    EXPECT_EQ(Ints({universe->imageSetCount, universe->modelSetCount}), Ints({3, 1}));
    EXPECT_EQ(Ints({countOf(out, "Generate IGene::"), countOf(out, "Generate ModelGene::")}), Ints({3, 1}));
}

// 128 sets of each kind are held; only beyond that are directories left out, on one line.
TEST_F(Preloading, KeepsAtMost128SetsOfEachKind) {
    for (int sets : {128, 131}) {
        for (int i = 0; i < sets; ++i) {
            stage->makeDirectory("imgs" + std::to_string(1000 + i).substr(1));
            stage->makeDirectory("mdls" + std::to_string(1000 + i).substr(1));
        }
        universe.reset();
        const std::string out = build();
        EXPECT_EQ(Ints({universe->imageSetCount, universe->modelSetCount}), Ints({128, 128}));
        EXPECT_EQ(universe->imageSets[127]->directory + std::string(" ") + universe->modelSets[127]->directory,
                  "imgs127 mdls127");
        EXPECT_EQ(countOf(out, "Generate IGene::"), 128);
        const std::string ignored = " sets, directories ignored " + std::to_string(sets - 128) + "\n";
        EXPECT_EQ(countOf(out, "qelUnivCell::loadImages more than 128 image" + ignored), sets > 128) << sets;
        EXPECT_EQ(countOf(out, "qelUnivCell::loadModels more than 128 model" + ignored), sets > 128) << sets;
        EXPECT_EQ(countOf(out, "directories ignored"), sets > 128 ? 2 : 0) << sets;
    }
}

using ModuleDatabase = UniverseFixture;

// A line's first word names a module and its help directory; 78 characters, 128 modules at most.
TEST_F(ModuleDatabase, LinesBecomeModulesWithHelpDirectories) {
    stage->makeDirectory("Reactors/Waver");
    ASSERT_TRUE(writeSolidSgi("Reactors/Waver/page1.rgb", 4, 4, 200, 0, 0));
    ASSERT_TRUE(writeSolidSgi("Reactors/Waver/page2.rgb", 4, 4, 0, 200, 0));
    std::string many;  // 130 lines: 128 held
    Names manyDirs;
    for (int i = 0; i < 130; ++i) many.append("M").append(std::to_string(i)).append("\n");
    for (int i = 0; i < 128; ++i) manyDirs.push_back("Reactors/M" + std::to_string(i));
    const std::string full = many.substr(0, many.find("M128"));  // exactly 128 lines
    const struct {
        std::string modules;
        Names directories;
        std::string present, absent;
    } cases[] = {
        {"Waver and further words\r\n   Tunnel\t x\n", {"Reactors/Waver", "Reactors/Tunnel"}, "Module:: Tunnel ID:: 1\n", ""},
        {"\nTunnel\n\nWaver3D\n\n  \n", {"", "Reactors/Tunnel", "", "Reactors/Waver3D"},
         "Module:: (no name) ID:: 0\n", "FilesInPath:: path = /*.rgb"},
        {"Waver\nTunnel", {"Reactors/Waver", "Reactors/Tunnel"}, "", ""},
        {"", {}, "", ""},
        {many, manyDirs, "Modules DataBase holds 128 modules, further lines ignored\n", "Module:: M128 "},
        {full, manyDirs, "Module:: M127 ID:: 127\n", "further lines ignored"},
        {std::string(300, 'n') + "\nTunnel\n", {"Reactors/" + std::string(78, 'n'), "Reactors/Tunnel"}, "", ""},
    };
    for (const auto& c : cases) {
        universe.reset();
        const std::string out = build(c.modules);
        SCOPED_TRACE(c.modules.substr(0, 40));
        EXPECT_EQ(Ints({universe->cellCount, universe->moduleCount}), Ints({11, static_cast<int>(c.directories.size())}));
        Names directories;
        for (int i = 0; i < qelUnivCell::kMaxModules && universe->moduleHelps[i]; ++i)
            directories.push_back(universe->moduleHelps[i]->directory);
        EXPECT_EQ(directories, c.directories);
        EXPECT_NE(out.find(c.present), std::string::npos);
        EXPECT_TRUE(c.absent.empty() || out.find(c.absent) == std::string::npos) << c.absent;
        EXPECT_EQ(universe->moduleHelps[0] ? universe->moduleHelps[0]->imageCount() : -1,
                  c.directories.empty() ? -1 : c.directories[0] == "Reactors/Waver" ? 2 : 0);
    }
}

