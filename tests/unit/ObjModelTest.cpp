#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "TempStage.h"
#include "resources/ObjModel.h"

namespace {

class ObjModelTest : public testing::Test {
protected:
    void load(const std::string& text) {
        stage.write("model.obj", text);
        log = captureStdout([&] { model = std::make_unique<ObjModel>("model.obj"); });
    }
    std::vector<int> corners() const {
        return std::vector<int>(model->cornerArray.get(), model->cornerArray.get() + model->cornerLength());
    }

    TempStage stage{"obj"};
    std::unique_ptr<ObjModel> model;
    std::string log;
};

const std::string kSquare = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\n";

}  // namespace

// Faces become fans of (vertex, texture coordinate, normal) index triples,
// zero-based, -1 for a missing field; triangles with an index outside its
// list are dropped and counted.
TEST_F(ObjModelTest, FacesBecomeFanTrianglesOfIndexTriples) {
    const struct {
        std::string text;
        std::vector<int> corners;
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

TEST_F(ObjModelTest, PolygonsFanAroundTheFirstCornerUpToThirtyCorners) {
    std::string text;
    for (int i = 0; i < 40; ++i) text += "v " + std::to_string(i) + " 0 0\n";
    text += "f 1 2 3 4 5\nf";
    for (int i = 0; i < 35; ++i) text += ' ', text += static_cast<char>('1' + i % 9);  // 35 corners, 71 characters
    load(text + "\nf 1 2\n");  // fewer than three corners: nothing
    const std::vector<int> c = corners();
    ASSERT_EQ(c.size(), static_cast<size_t>(9 * (3 + 28)));
    for (int t = 0; t < 3; ++t) EXPECT_EQ((std::vector<int>{c[9 * t], c[9 * t + 3], c[9 * t + 6]}), (std::vector<int>{0, t + 1, t + 2}));
    // The last triangle of the long face is (corner 0, corner 28, corner 29).
    EXPECT_EQ((std::vector<int>{c[9 * 30], c[9 * 30 + 3], c[9 * 30 + 6]}), (std::vector<int>{0, 28 % 9, 29 % 9}));
    EXPECT_NE(log.find("ObjModel::faces with more than 30 corners, extra corners ignored 1\n"), std::string::npos);
}

TEST_F(ObjModelTest, PrefixRulesAndMissingNumbers) {
    load("# comment v 9 9 9\nmtllib x.mtl\nusemtl red\ng group\no object\ns 1\n v 5 5 5\n"
         "vp 1 2 3\nvt 0.5 0.25\nvn 1\nv\nvn\nvt\nv 4 5 6\n");
    EXPECT_EQ(model->vertices, (std::vector<float>{1, 2, 3, 0, 0, 0, 4, 5, 6}));
    EXPECT_EQ(model->texCoords, (std::vector<float>{0.5f, 0.25f, 0, 0, 0, 0}));
    EXPECT_EQ(model->normals, (std::vector<float>{1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(model->cornerLength(), 0);
}

TEST_F(ObjModelTest, BoundingBoxCentreAndScale) {
    load("v -1 0 0\nv 3 2 1\nv 0 1 -1\n");
    EXPECT_EQ(model->minimum[0], -1.0f);
    EXPECT_EQ(model->maximum[0], 3.0f);
    EXPECT_EQ((std::vector<float>(model->centre, model->centre + 3)), (std::vector<float>{1, 1, 0}));
    EXPECT_FLOAT_EQ(model->scale, 0.75f);
    EXPECT_EQ(log,
              "Bounding Box\nx -1,3\ny 0,2\nz -1,1\nCenter 1,1,0\nnScale = 0.75\n"
              "V size  9\nVN size  0\nVT size  0\nID size 0\n");
}

TEST_F(ObjModelTest, UnreadableFileGivesAnEmptyModel) {
    log = captureStdout([&] { model = std::make_unique<ObjModel>("absent.obj"); });
    EXPECT_EQ(log.rfind(" File Open Error absent.obj\n", 0), 0u);
    EXPECT_NE(log.find("x 100000,-100000\n"), std::string::npos);
    EXPECT_NE(log.find("Center 0,0,0\nnScale = -1e-05\n"), std::string::npos);
    EXPECT_EQ(model->cornerLength(), 0);
    EXPECT_FLOAT_EQ(model->scale, -0.00001f);
    EXPECT_NE(model->vertexArray, nullptr);
}

TEST_F(ObjModelTest, LongLinesAreCutAndReadingGoesOn) {
    // A vertex line past 78 characters keeps its first numbers; a face line
    // cut inside its last word loses that corner.
    std::string longFace = "f";
    for (int i = 0; i < 19; ++i) longFace += " 1/1/1 2/2/1";
    load("# " + std::string(500, 'x') + "\nv 0 0 0\nv 1.5 2.5 3.5" + std::string(100, ' ') +
         "9\nv 0 1 0\nvt 0 0\nvt 1 1\nvn 0 0 1\n" + longFace + "\nv 7 7 7\nf 1 2 4\n");
    EXPECT_EQ(model->vertices, (std::vector<float>{0, 0, 0, 1.5f, 2.5f, 3.5f, 0, 1, 0, 7, 7, 7}));
    // The 78 characters kept hold "f", six whole pairs and a cut word: 12
    // corners, 10 triangles, then the face after it.
    const std::vector<int> c = corners();
    ASSERT_EQ(c.size(), static_cast<size_t>(9 * 11));
    EXPECT_EQ((std::vector<int>(c.end() - 9, c.end())), (std::vector<int>{0, -1, -1, 1, -1, -1, 3, -1, -1}));
}

// Numbers at the ends of what a float holds (found by fuzzing): the centre and
// the scale the reactors draw with stay finite. A model of denormal size keeps
// the scale 1 (3 / extent is no float); near the float limit min + max and the
// extent overflow a float sum; numbers that are not finite read as 0.
TEST_F(ObjModelTest, ModelsAtTheEndsOfTheFloatRangeKeepAFiniteScaleAndCentre) {
    const std::string cases[] = {"v 0 0 0\nv 0 1e-45 0\nv 1e-45 0 0\nf 1 2 3\n",
                                 "v 3e38 3e38 3e38\nv 3.3e38 3.3e38 3.3e38\nv -3e38 3e38 0\nf 1 2 3\n",
                                 "v nan inf -inf\nv 1 1 1\nf 1 2 1\n"};
    for (const std::string& text : cases) {
        load(text);
        EXPECT_TRUE(std::isfinite(model->scale) && model->scale > 0.0f) << text;
        for (float c : model->centre) EXPECT_TRUE(std::isfinite(c)) << text;
    }
    EXPECT_EQ(model->vertices[0], 0.0f);
    load(cases[0]);
    EXPECT_FLOAT_EQ(model->scale, 1.0f);
    load(cases[1]);
    EXPECT_NEAR(model->centre[0], 1.5e37f, 1e35f);
}
