#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "app/ControlTable.h"
#include "reactor/ReactorLoader.h"
#include "reactors/DrawModel.h"
#include "reactors/qelObjReactor.h"
#include "resources/ModelGene.h"
#include "resources/ObjModel.h"
#include "support/PictureSupport.h"
#include "support/GlFeedback.h"
#include "support/GlTestContext.h"
#include "support/TempStage.h"

namespace {

constexpr int kChannel = 6;

std::unique_ptr<ObjModel> readModel(const std::string& path) {
    std::unique_ptr<ObjModel> model;
    captureStdout([&] { model = std::make_unique<ObjModel>(path.c_str()); });
    return model;
}

std::unique_ptr<ModelGene> readModelSet(const std::string& dir) {
    std::unique_ptr<ModelGene> gene;
    captureStdout([&] { gene = std::make_unique<ModelGene>(dir.c_str()); });
    return gene;
}

// A quad of side 2 centred on the origin in the plane z = 0, textured and
// with one normal; wound counter-clockwise (front) or clockwise (back).
std::string quadText(bool counterClockwise) {
    return std::string("v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\n") +
           "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\n" +
           (counterClockwise ? "f 1/1/1 2/2/1 3/3/1 4/4/1\n" : "f 1/1/1 4/4/1 3/3/1 2/2/1\n");
}

class ObjReactorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ensureGlContext());
        resetGlState();
        while (glGetError() != GL_NO_ERROR) {
        }
        captureStdout([&] { viewer = std::make_unique<qelObjReactor>(); });
        viewer->setControls(&table);
        viewer->setChannel(kChannel);
    }
    void TearDown() override {
        glDisable(GL_CULL_FACE);
        resetGlState();
    }
    void setControl(int n, float value) { table.floatValue[ControlTable::indexOf(kChannel, 0, n)] = value; }

    // One frame as a raised cell runs it, the stacks checked around it.
    std::vector<uint8_t> frame(int frames = 1) {
        const MatrixDepths before = matrixDepths();
        renderReactorFrames(*viewer, frames);
        EXPECT_EQ(matrixDepths(), before);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        return readScreen();
    }

    ControlTable table;
    std::unique_ptr<qelObjReactor> viewer;
};

}  // namespace

TEST_F(ObjReactorTest, ControllerSeventeenChoosesTheModelAcrossTheSet) {
    TempStage tree("objreactor");
    const std::string dir = tree.makeDirectory("mdls");
    for (int i = 0; i < 4; ++i) tree.write("mdls/m" + std::to_string(i) + ".obj", quadText(true));
    auto set = readModelSet(dir);
    ASSERT_EQ(set->models->count, 4);

    EXPECT_EQ(viewer->currentModel, nullptr);
    viewer->update();  // no model set: nothing to choose
    EXPECT_EQ(viewer->currentModel, nullptr);

    viewer->setModelSet(set.get());
    const struct {
        float control;
        int model;
    } cases[] = {{-1.0f, 0}, {0.0f, 2}, {0.5f, 3}, {1.0f, 0}, {-0.6f, 0}, {-0.4f, 1}};
    for (const auto& c : cases) {
        setControl(17, c.control);
        viewer->update();
        EXPECT_EQ(viewer->currentModel, set->models->models[c.model]) << c.control;
    }
}

TEST_F(ObjReactorTest, DrawModelSendsEveryTriangleAndKeepsMissingAttributes) {
    TempStage tree("objreactor");
    // The second face has no texture coordinates or normals: its corners keep
    // the last ones sent by the first face.
    auto model = readModel(tree.write("mixed.obj",
                                          "v 0 0 0\nv 2 0 0\nv 2 1 0\nv 0 1 0\n"
                                          "vt 0.25 0.5\nvt 0.75 0.5\nvt 0.5 0.125\n"
                                          "vn 0 0 1\nvn 0 1 0\n"
                                          "f 1/1/1 2/2/1 3/3/2\nf 1 3 4\n"));
    ASSERT_EQ(model->cornerLength(), 18);

    const OrthoBox box{-3.0f, 3.0f, -2.25f, 2.25f, 1.0f};
    box.apply();
    const std::vector<FeedbackPolygon> polygons = capturePolygons([&] { drawModel(model.get()); });
    ASSERT_EQ(polygons.size(), 2u);
    const float expected[2][3][2] = {{{0, 0}, {2, 0}, {2, 1}}, {{0, 0}, {2, 1}, {0, 1}}};
    for (int p = 0; p < 2; ++p) {
        ASSERT_EQ(polygons[p].vertices.size(), 3u);
        for (int v = 0; v < 3; ++v) {
            EXPECT_NEAR(box.eyeX(polygons[p].vertices[v]), expected[p][v][0], 0.02f) << p << " " << v;
            EXPECT_NEAR(box.eyeY(polygons[p].vertices[v]), expected[p][v][1], 0.02f) << p << " " << v;
        }
    }

    glTexCoord2f(9.0f, 9.0f);
    glNormal3f(0.0f, 0.0f, -1.0f);
    drawModel(model.get());
    float texCoord[4];
    float normal[3];
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, texCoord);
    glGetFloatv(GL_CURRENT_NORMAL, normal);
    EXPECT_FLOAT_EQ(texCoord[0], 0.5f);  // vt 3, the last one sent
    EXPECT_FLOAT_EQ(texCoord[1], 0.125f);
    EXPECT_FLOAT_EQ(normal[1], 1.0f);    // vn 2

    // Null and empty models draw nothing and leave the stream alone.
    auto empty = readModel(std::string("absent.obj"));
    glTexCoord2f(9.0f, 9.0f);
    EXPECT_TRUE(capturePolygons([&] {
                    drawModel(nullptr);
                    drawModel(empty.get());
                }).empty());
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, texCoord);
    EXPECT_FLOAT_EQ(texCoord[0], 9.0f);
}

TEST_F(ObjReactorTest, BothSidesShowAndStacksBalanceWithOrWithoutAModel) {
    TempStage tree("objreactor");
    const std::string dir = tree.makeDirectory("mdls");
    tree.write("mdls/a_front.obj", quadText(true));
    tree.write("mdls/b_back.obj", quadText(false));
    auto set = readModelSet(dir);
    ASSERT_EQ(set->models->count, 2);
    bindTestTexture();

    // No model set, then an empty one: nothing drawn, the stacks balance
    // (checked in frame) and the culling state is the same as with a model.
    EXPECT_EQ(litPixels(frame()), 0);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    auto empty = readModelSet(tree.makeDirectory("empty"));
    viewer->setModelSet(empty.get());
    EXPECT_EQ(litPixels(frame()), 0);

    // Culling left on by an earlier cell does not hide either winding.
    viewer->setModelSet(set.get());
    for (float control : {-1.0f, 0.0f}) {
        setControl(17, control);
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CW);
        // The quad's half extents add up to 2: scaled by 1.5 to 3 x 3 units,
        // at the viewing distance of 3 it spans the screen's height and about
        // 515 of its 640 columns.
        EXPECT_NEAR(litPixels(frame()), 515 * 480, 3 * 480) << control;
        EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
        EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    }
    glFrontFace(GL_CCW);
}

TEST_F(ObjReactorTest, ObjectMotionMovesTheModel) {
    TempStage tree("objreactor");
    const std::string dir = tree.makeDirectory("mdls");
    // A small quad: half extents 0.5 + 0.5 + 0.5 (a point out of the plane
    // widens the box) give the scale 2, a 1 x 1 square on the screen.
    tree.write("mdls/small.obj",
                   "v -0.25 -0.25 0\nv 0.25 -0.25 0\nv 0.25 0.25 0\nv -0.25 0.25 0\nv 0.75 0.75 1\n"
                   "f 1 2 3 4\n");
    auto set = readModelSet(dir);
    viewer->setModelSet(set.get());
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glDisable(GL_TEXTURE_2D);

    auto litColumns = [](const std::vector<uint8_t>& rgba, int* first, int* last) {
        *first = 640;
        *last = -1;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                if (rgba[4 * (y * 640 + x)] > 8) {
                    *first = std::min(*first, x);
                    *last = std::max(*last, x);
                }
    };
    int first = 0, last = 0;
    litColumns(frame(), &first, &last);
    // 1 unit at the distance 3 with a 50 degree view: about 172 pixels wide, centred.
    EXPECT_NEAR(last - first, 172, 6);
    EXPECT_NEAR((first + last) / 2, 320, 3);

    setControl(28, 0.1f);  // x offset 0.5: a quarter of the screen's half width
    int movedFirst = 0, movedLast = 0;
    litColumns(frame(), &movedFirst, &movedLast);
    EXPECT_NEAR(movedFirst - first, 86, 4);
    EXPECT_NEAR(movedLast - last, 86, 4);

    // A turn of 90 degrees about y shows the quad edge on: almost nothing.
    setControl(28, 0.0f);
    setControl(26, 1.0f);
    const std::vector<uint8_t> edgeOn = frame(90);
    EXPECT_NEAR(viewer->angleY, 90.0f, 1e-3f);
    EXPECT_LT(litPixels(edgeOn), 200);
}
