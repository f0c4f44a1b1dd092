#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "app/ControlTable.h"
#include "reactor/Random.h"
#include "reactor/ReactorLoader.h"
#include "reactors/RippleObjViewer.h"
#include "support/PictureSupport.h"
#include "support/GlTestContext.h"
#include "support/TempStage.h"

namespace {

constexpr int kChannel = 9;
constexpr int kSliceW = RippleObjViewer::kSliceWidth;
constexpr int kSliceH = RippleObjViewer::kSliceHeight;

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
        while (glGetError() != GL_NO_ERROR) {
        }
        table.setByte(15, 0, 1, 16);  // frame milliseconds
        qelSetRandState(1);
    }
    void TearDown() override { resetGlState(); }

    void build(const std::string& path) { build(path.c_str()); }
    void build(const char* name) {
        log = captureStdout([&] { viewer = std::make_unique<RippleObjViewer>(name); });
        viewer->setControls(&table);
        viewer->setChannel(kChannel);
    }
    void setControl(int n, float value) { table.floatValue[ControlTable::indexOf(kChannel, 0, n)] = value; }

    std::vector<uint8_t> frame(int frames = 1) {
        const MatrixDepths before = matrixDepths();
        renderReactorFrames(*viewer, frames);
        EXPECT_EQ(matrixDepths(), before);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[2], 640);
        EXPECT_EQ(viewport[3], 480);
        return readScreen();
    }

    float slice(int column, int row) const { return viewer->slice[static_cast<size_t>(row) * kSliceW + column]; }
    // Lit slice cells and the range of their columns.
    int sliceCells(int* firstColumn = nullptr, int* lastColumn = nullptr) const {
        int cells = 0, first = kSliceW, last = -1;
        for (int r = 0; r < kSliceH; ++r)
            for (int c = 0; c < kSliceW; ++c)
                if (slice(c, r) > 0.5f) {
                    ++cells;
                    first = std::min(first, c);
                    last = std::max(last, c);
                }
        if (firstColumn) *firstColumn = first;
        if (lastColumn) *lastColumn = last;
        return cells;
    }

    ControlTable table;
    std::unique_ptr<RippleObjViewer> viewer;
    std::string log;
    TempStage tree{"rippleobj"};
};

}  // namespace

TEST_F(RippleObjViewerTest, SliceReadsBackTheModelBetweenTheClipPlanes) {
    build(tree.write("square.obj", squareAt(0.0f)));
    ASSERT_NE(viewer->model, nullptr);
    frame();
    // The unit square at the viewing distance 3 covers about 21.4 pixels of
    // the 80 x 60 viewport, centred on (40, 30); white, so red is 1.
    EXPECT_FLOAT_EQ(slice(40, 30), 1.0f);
    EXPECT_FLOAT_EQ(slice(30, 20), 1.0f);
    EXPECT_FLOAT_EQ(slice(50, 40), 1.0f);
    EXPECT_FLOAT_EQ(slice(27, 30), 0.0f);
    EXPECT_FLOAT_EQ(slice(40, 43), 0.0f);
    EXPECT_FLOAT_EQ(slice(0, 0), 0.0f);
    EXPECT_FLOAT_EQ(slice(kSliceW - 1, kSliceH - 1), 0.0f);
    EXPECT_NEAR(sliceCells(), 22 * 22, 50);

    // Inside the slab it is still cut in full; outside it nothing is left.
    build(tree.write("near.obj", squareAt(0.02f)));
    frame();
    EXPECT_NEAR(sliceCells(), 22 * 22, 60);
    build(tree.write("far.obj", squareAt(0.2f)));
    frame();
    EXPECT_EQ(sliceCells(), 0);
    EXPECT_FALSE(glIsEnabled(GL_CLIP_PLANE0));
    EXPECT_FALSE(glIsEnabled(GL_CLIP_PLANE1));
}

TEST_F(RippleObjViewerTest, TrackballTurnsTheSlicedModel) {
    build(tree.write("square.obj", squareAt(0.0f)));
    setControl(17, 0.5f);
    frame();  // the first move only sets the ball point
    EXPECT_NEAR(sliceCells(), 22 * 22, 50);
    // From 0.5 to -0.5: about 20.8 degrees about y. The tilted square leaves
    // only a vertical band |x| < 0.03 / sin(20.8) in the slab.
    setControl(17, -0.5f);
    frame();
    EXPECT_NEAR(viewer->transform->angle, 20.8f, 0.3f);
    int first = 0, last = 0;
    const int cells = sliceCells(&first, &last);
    EXPECT_GT(cells, 22 * 2);
    EXPECT_LT(cells, 22 * 6);
    EXPECT_GE(first, 37);
    EXPECT_LE(last, 43);
}

TEST_F(RippleObjViewerTest, SliceIsStampedIntoTheRippleScaledByControllerNineteen) {
    build(tree.write("square.obj", squareAt(0.0f)));
    setControl(19, 1.0f);
    viewer->update();
    EXPECT_EQ(viewer->ripple->kernel, viewer->slice.data());
    EXPECT_EQ(viewer->ripple->kernelWidth, 78);
    EXPECT_EQ(viewer->ripple->kernelHeight, 58);
    EXPECT_FLOAT_EQ(viewer->ripple->kernelScale, 0.6f);

    frame();
    // Inside the square every neighbour got 0.6: (4 x 0.6 x 0.5) x 0.98.
    EXPECT_NEAR(viewer->ripple->heightAt(40, 30), 1.176f, 1e-4f);
    EXPECT_EQ(viewer->ripple->heightAt(10, 10), 0.0f);
    EXPECT_EQ(viewer->ripple->heightAt(70, 50), 0.0f);

    // Strength -1: the slice is still read, but adds nothing.
    build(std::string("square.obj"));
    setControl(19, -1.0f);
    frame(3);
    EXPECT_GT(sliceCells(), 0);
    float largest = 0.0f;
    for (int r = 0; r < 60; ++r)
        for (int c = 0; c < 80; ++c) largest = std::max(largest, std::fabs(viewer->ripple->heightAt(c, r)));
    EXPECT_EQ(largest, 0.0f);
}

TEST_F(RippleObjViewerTest, TextureGenerationTurnsOnlyOutsideTheDeadZone) {
    build(nullptr);
    bindTestTexture();
    setControl(21, 0.01f);
    setControl(85, 0.01f);
    frame();
    EXPECT_EQ(viewer->surfaceTexGen->mode, 0);

    setControl(21, 0.5f);
    setControl(85, -0.25f);
    frame(2);
    EXPECT_EQ(viewer->surfaceTexGen->mode, 1);
    EXPECT_NEAR(viewer->surfaceTexGen->angleS, 2 * 16 * 0.03f * 0.5f, 1e-5f);
    EXPECT_NEAR(viewer->surfaceTexGen->angleT, -2 * 16 * 0.03f * 0.25f, 1e-5f);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));  // off again after the draw
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
}

TEST_F(RippleObjViewerTest, WithoutAModelNothingIsOpenedAndTheSurfaceShowsTheImage) {
    for (const char* name : {static_cast<const char*>(nullptr), ""}) {
        build(name);
        EXPECT_EQ(log.find("File Open Error"), std::string::npos);
        EXPECT_EQ(viewer->model, nullptr);
        bindTestTexture();
        const std::vector<uint8_t> picture = frame(5);
        EXPECT_GT(litPixels(picture), 640 * 480 * 95 / 100);
        EXPECT_EQ(sliceCells(), 0);
        float largest = 0.0f;
        for (int r = 0; r < 60; ++r)
            for (int c = 0; c < 80; ++c) largest = std::max(largest, std::fabs(viewer->ripple->heightAt(c, r)));
        EXPECT_EQ(largest, 0.0f);
    }
    savePictureIfAsked("ripple_obj_viewer_no_model");

    std::unique_ptr<Reactor> reactor;
    const std::string loaded = captureStdout([&] { reactor.reset(loadReactor(9, 0)); });
    auto* viewer9 = dynamic_cast<RippleObjViewer*>(reactor.get());
    ASSERT_NE(viewer9, nullptr);
    EXPECT_EQ(viewer9->model, nullptr);
    EXPECT_EQ(loaded, "Reactor Loader  --9\nLoading ... : Obj viewer \nReactor Loader complete\n");
}

TEST_F(RippleObjViewerTest, StageModelMakesWavesInThePicture) {
    build(nullptr);
    bindTestTexture();
    const std::vector<uint8_t> calm = frame(12);

    build(std::string(STRATA_SOURCE_DIR) + "/stage/mdls/torusknot.obj");
    ASSERT_NE(viewer->model, nullptr);
    bindTestTexture();
    setControl(19, 0.0f);
    // Turn the trackball a little every frame, as a performer would.
    for (int k = 0; k < 12; ++k) {
        setControl(17, 0.3f * std::sin(0.3f * static_cast<float>(k)));
        setControl(81, 0.3f * std::cos(0.2f * static_cast<float>(k)));
        frame();
    }
    EXPECT_GT(sliceCells(), 20);  // the knot crosses z = 0
    const std::vector<uint8_t> waves = readScreen();
    savePictureIfAsked("ripple_obj_viewer_torusknot");
    EXPECT_GT(litPixels(waves), 640 * 480 * 95 / 100);
    int differing = 0;
    for (size_t i = 0; i + 3 < waves.size(); i += 4)
        if (std::abs(waves[i] - calm[i]) + std::abs(waves[i + 1] - calm[i + 1]) + std::abs(waves[i + 2] - calm[i + 2]) > 24)
            ++differing;
    EXPECT_GT(differing, 640 * 480 / 10);
}
