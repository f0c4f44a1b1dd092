// OBJ numbers at the ends of what a float holds (found by fuzzing): the
// centre and the scale the reactors draw with must stay finite.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "resources/ObjModel.h"
#include "support/TempStage.h"

namespace {
std::unique_ptr<ObjModel> loadObj(const TempStage& stage, const std::string& text) {
    const std::string path = stage.write("model.obj", text);
    std::unique_ptr<ObjModel> model;
    captureStdout([&] { model = std::make_unique<ObjModel>(path.c_str()); });
    return model;
}

bool finiteFrame(const ObjModel& m) {
    bool ok = std::isfinite(m.scale);
    for (int axis = 0; axis < 3; ++axis) ok = ok && std::isfinite(m.centre[axis]);
    return ok;
}
}  // namespace

TEST(ReaderLimits, ObjModelsAtTheEndsOfTheFloatRangeKeepAFiniteScaleAndCentre) {
    TempStage stage("limits");
    // A model of denormal size: 3 / extent is no float; the scale stays 1.
    auto tiny = loadObj(stage, "v 0 0 0\nv 0 1e-45 0\nv 1e-45 0 0\nf 1 2 3\n");
    EXPECT_TRUE(finiteFrame(*tiny));
    EXPECT_FLOAT_EQ(tiny->scale, 1.0f);
    // Coordinates near the float limit: min + max and the extent overflow a
    // float sum.
    auto huge = loadObj(stage, "v 3e38 3e38 3e38\nv 3.3e38 3.3e38 3.3e38\nv -3e38 3e38 0\nf 1 2 3\n");
    EXPECT_TRUE(finiteFrame(*huge));
    EXPECT_GT(huge->scale, 0.0f);
    EXPECT_NEAR(huge->centre[0], 1.5e37f, 1e35f);
    // Numbers that are not finite read as 0.
    auto odd = loadObj(stage, "v nan inf -inf\nv 1 1 1\nf 1 2 1\n");
    EXPECT_TRUE(finiteFrame(*odd));
    EXPECT_EQ(odd->vertices[0], 0.0f);
}
