#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "resources/ObjModel.h"
#include "support/TempTree.h"

namespace {

struct Loaded {
    std::unique_ptr<ObjModel> model;
    std::string log;
};

Loaded load(const TempTree& tree, const std::string& text) {
    const std::string path = tree.writeText("model.obj", text);
    Loaded l;
    l.log = captureStdout([&] { l.model = std::make_unique<ObjModel>(path.c_str()); });
    return l;
}

std::vector<int> cornerArray(const ObjModel& m) { return std::vector<int>(m.cornerArray, m.cornerArray + m.cornerLength()); }

const char* kSquare = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\n";

}  // namespace

TEST(ObjModel, QuadWithAllIndicesBecomesTwoFanTriangles) {
    TempTree tree("obj");
    Loaded l = load(tree, std::string(kSquare) + "f 1/1/1 2/2/1 3/3/1 4/4/1\n");
    EXPECT_EQ(cornerArray(*l.model), (std::vector<int>{0, 0, 0, 1, 1, 0, 2, 2, 0, 0, 0, 0, 2, 2, 0, 3, 3, 0}));
    EXPECT_NE(l.log.find("ID size 18\n"), std::string::npos);
    EXPECT_NE(l.log.find("V size  12\nVN size  3\nVT size  12\nID size 18\n"), std::string::npos);
}

TEST(ObjModel, MissingAndEmptyFieldsGiveMinusOne) {
    TempTree tree("obj");
    Loaded l = load(tree, std::string(kSquare) + "vn 1 0 0\nf 1 2 3\nf 1//2 2//2 3//2\nf 2/3 3/4 4/1\n");
    EXPECT_EQ(cornerArray(*l.model), (std::vector<int>{0, -1, -1, 1, -1, -1, 2, -1, -1,  //
                                                       0, -1, 1,  1, -1, 1,  2, -1, 1,   //
                                                       1, 2, -1,  2, 3, -1,  3, 0, -1}));
}

TEST(ObjModel, PolygonsFanAroundTheFirstCornerUpToThirtyCorners) {
    TempTree tree("obj");
    std::string text;
    for (int i = 0; i < 40; ++i) text += "v " + std::to_string(i) + " 0 0\n";
    text += "f 1 2 3 4 5\n";
    // 35 corners on one line (71 characters): the first 30 are used.
    text += "f";
    for (int i = 0; i < 35; ++i) text += ' ', text += static_cast<char>('1' + i % 9);
    text += "\nf 1 2\n";  // fewer than three corners: nothing
    Loaded l = load(tree, text);
    const std::vector<int> c = cornerArray(*l.model);
    ASSERT_EQ(c.size(), static_cast<size_t>(9 * (3 + 28)));
    for (int t = 0; t < 3; ++t) {
        EXPECT_EQ(c[9 * t], 0);
        EXPECT_EQ(c[9 * t + 3], t + 1);
        EXPECT_EQ(c[9 * t + 6], t + 2);
    }
    // The last triangle of the long face is (corner 0, corner 28, corner 29).
    EXPECT_EQ((std::vector<int>{c[9 * 30], c[9 * 30 + 3], c[9 * 30 + 6]}), (std::vector<int>{0, 28 % 9, 29 % 9}));
    EXPECT_NE(l.log.find("ObjModel::faces with more than 30 corners, extra corners ignored 1\n"), std::string::npos);
}

TEST(ObjModel, PrefixRulesAndMissingNumbers) {
    TempTree tree("obj");
    Loaded l = load(tree,
                    "# comment v 9 9 9\nmtllib x.mtl\nusemtl red\ng group\no object\ns 1\n v 5 5 5\n"
                    "vp 1 2 3\nvt 0.5 0.25\nvn 1\nv\nvn\nvt\nv 4 5 6\n");
    EXPECT_EQ(l.model->vertices, (std::vector<float>{1, 2, 3, 0, 0, 0, 4, 5, 6}));
    EXPECT_EQ(l.model->texCoords, (std::vector<float>{0.5f, 0.25f, 0, 0, 0, 0}));
    EXPECT_EQ(l.model->normals, (std::vector<float>{1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(l.model->cornerLength(), 0);
}

TEST(ObjModel, BoundingBoxCentreAndScale) {
    TempTree tree("obj");
    Loaded l = load(tree, "v -1 0 0\nv 3 2 1\nv 0 1 -1\n");
    EXPECT_EQ(l.model->minimum[0], -1.0f);
    EXPECT_EQ(l.model->maximum[0], 3.0f);
    EXPECT_EQ(l.model->centre[0], 1.0f);
    EXPECT_EQ(l.model->centre[1], 1.0f);
    EXPECT_EQ(l.model->centre[2], 0.0f);
    EXPECT_FLOAT_EQ(l.model->scale, 0.75f);
    EXPECT_EQ(l.log,
              "Bounding Box\nx -1,3\ny 0,2\nz -1,1\nCenter 1,1,0\nnScale = 0.75\n"
              "V size  9\nVN size  0\nVT size  0\nID size 0\n");
}

TEST(ObjModel, UnreadableFileGivesAnEmptyModel) {
    TempTree tree("obj");
    const std::string path = tree.path("absent.obj");
    std::unique_ptr<ObjModel> model;
    const std::string log = captureStdout([&] { model = std::make_unique<ObjModel>(path.c_str()); });
    EXPECT_EQ(log.rfind(" File Open Error " + path + "\n", 0), 0u);
    EXPECT_NE(log.find("x 100000,-100000\n"), std::string::npos);
    EXPECT_NE(log.find("Center 0,0,0\nnScale = -1e-05\n"), std::string::npos);
    EXPECT_EQ(model->cornerLength(), 0);
    EXPECT_FLOAT_EQ(model->scale, -0.00001f);
    EXPECT_NE(model->vertexArray, nullptr);
}

TEST(ObjModel, LongLinesAreCutAndReadingGoesOn) {
    TempTree tree("obj");
    const std::string comment = "# " + std::string(500, 'x') + "\n";
    // A vertex line longer than 78 characters keeps its first numbers.
    const std::string longVertex = "v 1.5 2.5 3.5" + std::string(100, ' ') + "9\n";
    // A face line cut inside its last word: that corner is dropped.
    std::string longFace = "f";
    for (int i = 0; i < 19; ++i) longFace += " 1/1/1 2/2/1";
    longFace += "\n";
    Loaded l = load(tree, comment + "v 0 0 0\n" + longVertex + "v 0 1 0\nvt 0 0\nvt 1 1\nvn 0 0 1\n" + longFace +
                              "v 7 7 7\nf 1 2 4\n");
    EXPECT_EQ(l.model->vertices.size(), 12u);
    EXPECT_EQ(l.model->vertices[3], 1.5f);
    EXPECT_EQ(l.model->vertices[5], 3.5f);
    EXPECT_EQ(l.model->vertices[9], 7.0f);
    // The 78 characters kept hold "f", six whole pairs (72 characters) and a
    // cut word: 12 corners, 10 triangles, then the face after it.
    const std::vector<int> c = cornerArray(*l.model);
    ASSERT_EQ(c.size(), static_cast<size_t>(9 * 11));
    EXPECT_EQ((std::vector<int>(c.end() - 9, c.end())), (std::vector<int>{0, -1, -1, 1, -1, -1, 3, -1, -1}));
}

TEST(ObjModel, TrianglesWithIndicesOutsideTheListsAreDropped) {
    TempTree tree("obj");
    Loaded l = load(tree, std::string(kSquare) +
                              "f 1 2 5\n"           // vertex past the end
                              "f -1 -2 -3\n"        // relative indices
                              "f 0 1 2\n"           // 0 is not an OBJ index
                              "f 1/5 2/1 3/1\n"     // texture coordinate past the end
                              "f 1//2 2//1 3//1\n"  // normal past the end
                              "f x y z\n"           // not numbers
                              "f 1 2 3 9\n"         // fan: second triangle bad, first kept
                              "f 2/2/1 3/3/1 4/4/1\n");
    EXPECT_EQ(cornerArray(*l.model), (std::vector<int>{0, -1, -1, 1, -1, -1, 2, -1, -1,  //
                                                       1, 1, 0, 2, 2, 0, 3, 3, 0}));
    EXPECT_NE(l.log.find("ObjModel::dropped triangles with indices outside the lists 7\n"), std::string::npos);
    // Every stored index lies inside its array.
    for (int k = 0; k < l.model->cornerLength(); k += 3) {
        EXPECT_LT(3 * l.model->cornerArray[k] + 2, static_cast<int>(l.model->vertices.size()));
        EXPECT_GE(l.model->cornerArray[k], 0);
    }
}

TEST(ObjModel, CarriageReturnsAndMissingFinalLineEnd) {
    TempTree tree("obj");
    Loaded l = load(tree, "v 0 0 0\r\nv 1 0 0\r\nv 0 1 0\r\nf 1/ 2/ 3/\r\nf 3 2 1");
    EXPECT_EQ(cornerArray(*l.model), (std::vector<int>{0, -1, -1, 1, -1, -1, 2, -1, -1,  //
                                                       2, -1, -1, 1, -1, -1, 0, -1, -1}));
}
