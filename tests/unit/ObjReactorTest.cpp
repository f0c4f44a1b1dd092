#include <GL/gl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "reactors/DrawModel.h"
#include "reactors/qelObjReactor.h"
#include "resources/ModelGene.h"
#include "resources/ObjModel.h"
#include "support/PictureSupport.h"
#include "support/GlFeedback.h"
#include "support/ReactorFixture.h"
#include "support/TempStage.h"

namespace {

// A quad of side 2 centred on the origin in the plane z = 0, textured and
// with one normal; wound counter-clockwise (front) or clockwise (back).
std::string quadText(bool counterClockwise) {
    return std::string("v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\n") +
           (counterClockwise ? "f 1/1/1 2/2/1 3/3/1 4/4/1\n" : "f 1/1/1 4/4/1 3/3/1 2/2/1\n");
}

class ObjReactorTest : public ReactorFixture<qelObjReactor> {
protected:
    std::unique_ptr<qelObjReactor> makeReactor() override {
        std::unique_ptr<qelObjReactor> viewer;
        captureStdout([&] { viewer = std::make_unique<qelObjReactor>(); });
        return viewer;
    }
    // A model set of the given files in a fresh directory of the stage.
    std::unique_ptr<ModelGene> modelSet(const std::string& dir, const std::vector<std::pair<std::string, bool>>& quads) {
        tree.makeDirectory(dir);
        for (const auto& [name, ccw] : quads) tree.write(dir + "/" + name, quadText(ccw));
        std::unique_ptr<ModelGene> gene;
        captureStdout([&] { gene = std::make_unique<ModelGene>(dir.c_str()); });
        return gene;
    }

    TempStage tree{"objreactor"};
};

}  // namespace

TEST_F(ObjReactorTest, ControllerSeventeenChoosesTheModelAcrossTheSet) {
    auto set = modelSet("mdls", {{"m0.obj", true}, {"m1.obj", true}, {"m2.obj", true}, {"m3.obj", true}});
    ASSERT_EQ(set->models->count, 4);
    reactor->update();  // no model set: nothing to choose
    EXPECT_EQ(reactor->currentModel, nullptr);
    reactor->setModelSet(set.get());
    const std::pair<float, int> cases[] = {{-1.0f, 0}, {0.0f, 2}, {0.5f, 3}, {1.0f, 0}, {-0.6f, 0}, {-0.4f, 1}};
    for (const auto& [control, model] : cases) {
        setControl(17, control);
        reactor->update();
        EXPECT_EQ(reactor->currentModel, set->models->models[model].get()) << control;
    }
}

// Two triangles; the second has no texture coordinates or normals, so its
// corners keep the last ones the first sent. Null and empty models draw nothing.
TEST_F(ObjReactorTest, DrawModelSendsEveryTriangleAndKeepsMissingAttributes) {
    const std::string path = tree.write("mixed.obj", "v 0 0 0\nv 0.5 0 0\nv 0.5 0.5 0\nv 0 0.5 0\nvt 0.25 0.5\nvt 0.75 0.5\n"
                                                     "vt 0.5 0.125\nvn 0 0 1\nvn 0 1 0\nf 1/1/1 2/2/1 3/3/2\nf 1 3 4\n");
    std::unique_ptr<ObjModel> model, empty;
    captureStdout([&] { model = std::make_unique<ObjModel>(path.c_str()), empty = std::make_unique<ObjModel>("none.obj"); });
    float texCoord[4], normal[3];
    for (const ObjModel* drawn : {model.get(), empty.get(), static_cast<ObjModel*>(nullptr)}) {
        glTexCoord2f(9.0f, 9.0f);
        glNormal3f(0.0f, 0.0f, -1.0f);
        EXPECT_EQ(capturePolygons([&] { drawModel(drawn); }).size(), drawn == model.get() ? 2u : 0u);
        glGetFloatv(GL_CURRENT_TEXTURE_COORDS, texCoord);
        glGetFloatv(GL_CURRENT_NORMAL, normal);
        EXPECT_FLOAT_EQ(texCoord[0], drawn == model.get() ? 0.5f : 9.0f);  // vt 3, the last one sent
        EXPECT_FLOAT_EQ(texCoord[1], drawn == model.get() ? 0.125f : 9.0f);
        EXPECT_FLOAT_EQ(normal[1], drawn == model.get() ? 1.0f : 0.0f);  // vn 2
    }
}

TEST_F(ObjReactorTest, BothSidesShowAndStacksBalanceWithOrWithoutAModel) {
    auto set = modelSet("mdls", {{"a_front.obj", true}, {"b_back.obj", false}});
    auto empty = modelSet("empty", {});
    bindTestTexture();
    // No model set, then an empty one: nothing drawn, stacks balanced, culling as with a model.
    for (ModelGene* models : {static_cast<ModelGene*>(nullptr), empty.get()}) {
        if (models) reactor->setModelSet(models);
        const MatrixDepths before = matrixDepths();
        renderReactorFrames(*reactor, 1);
        EXPECT_EQ(matrixDepths(), before);
        EXPECT_EQ(litPixels(readScreen()), 0);
        EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    }
    // Culling left on by an earlier cell does not hide either winding. The
    // quad's half extents add up to 2: scaled by 1.5 to 3 x 3 units, at the
    // viewing distance of 3 it spans the height and about 515 of 640 columns.
    reactor->setModelSet(set.get());
    for (float control : {-1.0f, 0.0f}) {
        setControl(17, control);
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CW);
        renderReactorFrames(*reactor, 1);
        EXPECT_NEAR(litPixels(readScreen()), 515 * 480, 3 * 480) << control;
        EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
        EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    }
    glFrontFace(GL_CCW);
}
