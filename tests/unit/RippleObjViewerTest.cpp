#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <tuple>

#include "app/ControlTable.h"
#include "reactor/Random.h"
#include "reactors/RippleObjViewer.h"
#include "support/GlTestContext.h"
#include "support/TempStage.h"

namespace {

constexpr int kChannel = 9;

// A square of side 1 centred on the z axis at depth z; two loose points make
// the bounding box -1 .. 1 on every axis, so the model's scale is 1.
std::string squareAt(float z) {
    const std::string d = std::to_string(z);
    return "v -0.5 -0.5 " + d + "\nv 0.5 -0.5 " + d + "\nv 0.5 0.5 " + d + "\nv -0.5 0.5 " + d +
           "\nv -1 -1 -1\nv 1 1 1\nf 1 2 3 4\n";
}

class RippleObjViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ensureGlContext());
        resetGlState();
        table.setByte(15, 0, 1, 16);  // frame milliseconds
        qelSetRandState(1);
    }
    void TearDown() override { resetGlState(); }

    void buildSquare(float z) {
        const std::string path = tree.write("square.obj", squareAt(z));
        captureStdout([&] { viewer = std::make_unique<RippleObjViewer>(path.c_str()); });
        viewer->setControls(&table);
        viewer->setChannel(kChannel);
    }
    void setControl(int n, float value) { table.floatValue[ControlTable::indexOf(kChannel, 0, n)] = value; }

    // The slice pass must hand the whole screen back to the picture.
    void frame(int frames = 1) {
        renderReactorFrames(*viewer, frames);
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_TRUE(viewport[2] == 640 && viewport[3] == 480) << viewport[2] << " x " << viewport[3];
    }
    float slice(int column, int row) const {
        return viewer->slice[static_cast<size_t>(row) * RippleObjViewer::kSliceWidth + column];
    }
    int sliceCells() const {  // lit cells of the slice
        return static_cast<int>(std::count_if(viewer->slice.begin(), viewer->slice.end(), [](float v) { return v > 0.5f; }));
    }
    float largestHeight() const {
        float largest = 0.0f;
        for (int n = 0; n < 80 * 60; ++n) largest = std::max(largest, std::fabs(viewer->ripple->heightAt(n % 80, n / 80)));
        return largest;
    }

    ControlTable table;
    std::unique_ptr<RippleObjViewer> viewer;
    TempStage tree{"rippleobj"};
};

}  // namespace

// (The loader's viewer names no model: the rippleobj golden scene shows its
// empty model leaving the slice black and the surface still.)
TEST_F(RippleObjViewerTest, SliceReadsBackTheModelBetweenTheClipPlanes) {
    // The unit square at the viewing distance 3 covers about 21.4 cells of the
    // 80 x 60 viewport, centred on (40, 30); white, so red is 1.
    buildSquare(0.0f);
    frame();
    for (const auto& [c, r, v] : {std::tuple{40, 30, 1.0f}, {30, 20, 1.0f}, {50, 40, 1.0f}, {27, 30, 0.0f}, {40, 43, 0.0f}})
        EXPECT_FLOAT_EQ(slice(c, r), v) << c << "," << r;
    // Inside the slab it is still cut in full; outside it nothing is left.
    for (const auto& [z, cells, within] : {std::tuple{0.0f, 22 * 22, 50}, {0.02f, 22 * 22, 60}, {0.2f, 0, 0}}) {
        buildSquare(z);
        frame();
        EXPECT_NEAR(sliceCells(), cells, within) << z;
    }
    EXPECT_FALSE(glIsEnabled(GL_CLIP_PLANE0) || glIsEnabled(GL_CLIP_PLANE1)) << "clip planes left on";
}

TEST_F(RippleObjViewerTest, SliceIsStampedIntoTheRippleScaledByControllerNineteen) {
    buildSquare(0.0f);
    setControl(19, 1.0f);
    frame();
    // Inside the square every neighbour got 0.6: (4 x 0.6 x 0.5) x 0.98.
    EXPECT_NEAR(viewer->ripple->heightAt(40, 30), 1.176f, 1e-4f);
    for (const auto& [c, r] : {std::pair{10, 10}, {70, 50}}) EXPECT_EQ(viewer->ripple->heightAt(c, r), 0.0f);
    // Strength -1: the slice is still read, but adds nothing.
    buildSquare(0.0f);
    setControl(19, -1.0f);
    frame(3);
    EXPECT_GT(sliceCells(), 0);
    EXPECT_EQ(largestHeight(), 0.0f);
}
