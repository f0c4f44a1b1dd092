// The file readers of the stage: listings, regular files, user files, OBJ
// models and model sets.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "TempStage.h"
#include "platform/RegularFile.h"
#include "platform/UserFiles.h"
#include "resources/FilesInPath.h"
#include "resources/ModelGene.h"
#include "resources/ObjModel.h"

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

}  // namespace

// Prefix patterns list files and directories, extension patterns files in a
// directory; case-blind, sorted, at most the first 256; no match, a missing
// directory or an overlong pattern give an empty listing and a line.
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

// (Each start-up reader refusing a FIFO and going on: the hostile end-to-end
// script.) The alarm ends the binary should a FIFO be opened the plain way.
TEST(RegularFile, OnlyRegularFilesAreOpened) {
    TempStage stage("regular");
    stage.write("plain.txt", "text\n");
    stage.makeDirectory("folder");
    ASSERT_EQ(mkfifo("fifo", 0644), 0);
    alarm(60);
    const struct {
        const char* path;
        bool opens, refused;
    } cases[] = {{"plain.txt", true, false}, {"folder", false, true},   {"fifo", false, true},
                 {"/dev/null", false, true}, {"missing", false, false}, {"", false, false}};
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
    alarm(0);
}

// The working directory while it is writable; otherwise the XDG data
// directory (an absolute XDG_DATA_HOME, else ~/.local/share), created on
// demand; nothing when neither can be had. File names stay relative in a
// writable working directory and move under the data directory otherwise.
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
    if (geteuid() != 0) {  // root writes everywhere
        const fs::path readOnly = here / stage.makeDirectory("stage-ro");
        ASSERT_EQ(chmod(readOnly.c_str(), 0555), 0);
        EXPECT_EQ(userFilesDirectory(readOnly, xdg.c_str(), nullptr), here / "xdg" / "strata");
        chmod(readOnly.c_str(), 0755);
    }
}

// Faces become fans of (vertex, texture coordinate, normal) index triples,
// zero-based, -1 for a missing field; triangles with an index outside its
// list are dropped and counted.
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

// Other prefixes are skipped, missing numbers read as 0; the log gives the
// bounding box, centre and scale (3 / the largest extent), also for a file
// that cannot be opened.
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
    EXPECT_EQ(log.rfind(" File Open Error absent.obj\n", 0), 0u);
    EXPECT_NE(log.find("x 100000,-100000\n"), std::string::npos);
    EXPECT_NE(log.find("Center 0,0,0\nnScale = -1e-05\n"), std::string::npos);
    EXPECT_EQ(model->cornerLength(), 0);
    EXPECT_NE(model->vertexArray, nullptr);
}

// A vertex line past 78 characters keeps its first numbers; a face line cut
// inside its last word loses that corner (78 characters hold "f", six whole
// pairs and a cut word: 12 corners, 10 triangles, then the face after it).
TEST_F(ObjModelTest, LongLinesAreCutAndReadingGoesOn) {
    std::string longFace = "f";
    for (int i = 0; i < 19; ++i) longFace += " 1/1/1 2/2/1";
    load("# " + std::string(500, 'x') + "\nv 0 0 0\nv 1.5 2.5 3.5" + std::string(100, ' ') +
         "9\nv 0 1 0\nvt 0 0\nvt 1 1\nvn 0 0 1\n" + longFace + "\nv 7 7 7\nf 1 2 4\n");
    EXPECT_EQ(model->vertices, (Floats{0, 0, 0, 1.5f, 2.5f, 3.5f, 0, 1, 0, 7, 7, 7}));
    const Ints c = corners();
    ASSERT_EQ(c.size(), static_cast<size_t>(9 * 11));
    EXPECT_EQ(Ints(c.end() - 9, c.end()), (Ints{0, -1, -1, 1, -1, -1, 3, -1, -1}));
}

// Numbers at the ends of what a float holds (found by fuzzing): a model of
// denormal size keeps the scale 1 (3 / extent is no float); near the float
// limit min + max and the extent overflow a float sum; numbers that are not
// finite read as 0. Centre and scale stay finite.
TEST_F(ObjModelTest, ModelsAtTheEndsOfTheFloatRangeKeepAFiniteScaleAndCentre) {
    const std::pair<std::string, Floats> cases[] = {  // text, {scale, centre x, first vertex}
        {"v 0 0 0\nv 0 1e-45 0\nv 1e-45 0 0\nf 1 2 3\n", {1.0f, 0.0f, 0.0f}},
        {"v 3e38 3e38 3e38\nv 3.3e38 3.3e38 3.3e38\nv -3e38 3e38 0\nf 1 2 3\n", {-1, 1.5e37f, 3e38f}},
        {"v nan inf -inf\nv 1 1 1\nf 1 2 1\n", {-1, 0.5f, 0.0f}}};
    for (const auto& [text, want] : cases) {
        load(text);
        EXPECT_TRUE(std::isfinite(model->scale) && model->scale > 0.0f) << text;
        for (float c : model->centre) EXPECT_TRUE(std::isfinite(c)) << text;
        EXPECT_TRUE(want[0] < 0 || model->scale == want[0]) << text;
        EXPECT_NEAR(model->centre[0], want[1], 1e35f) << text;
        EXPECT_EQ(model->vertices[0], want[2]) << text;
    }
}

// Lower-case .obj files are read in order, others keep a null slot; the
// fraction picks the model (wrapping, NaN as 0); an empty, missing or
// overlong directory gives a null model.
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
    EXPECT_EQ(log.rfind("ModelGene ---mdls\nImageGene::Loading Image List mdls\nFilesInPath:: path = mdls/*.obj\n"
                        "FilesInPath:: filename a.obj\nReading Models ...mdls/a.obj\n",
                        0),
              0u);
    EXPECT_TRUE(log.ends_with("Models set 4 models\nImageGene::Images loaded\nImageGene::initialization complete\n"));
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
