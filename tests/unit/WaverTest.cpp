#include <GL/gl.h>
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <vector>

#include "PictureSupport.h"
#include "support/GlTestContext.h"
#include "app/ControlTable.h"
#include "reactor/Random.h"
#include "reactor/ReactorLoader.h"
#include "reactors/Waver.h"

namespace {

struct WaverFixture {
    ControlTable table;
    Waver waver{120, 80, 0};
    WaverFixture() {
        waver.setControls(&table);
        waver.setChannel(3);
    }
    void setFloat(int n, float value) { table.floatValue[ControlTable::indexOf(3, 0, n)] = value; }
    void setByte(int n, int value) { table.setByte(3, 0, n, value); }
};

}  // namespace

TEST(WaverMode, ControllerTwentyTwoChoosesTheGene) {
    WaverFixture f;
    // Exactly 0.0 (the start value) runs the flow gene with controllers 21/85
    // as its motion; the ripple is left alone.
    f.setFloat(21, 0.5f);
    f.setFloat(85, 0.25f);
    f.waver.update();
    EXPECT_EQ(f.waver.mode, 1);
    EXPECT_EQ(f.waver.flow->amplitude, 0.5f);
    EXPECT_EQ(f.waver.flow->speed, 0.25f);
    EXPECT_EQ(f.waver.flow->phase[0], 0.25f);
    EXPECT_EQ(f.waver.ripple->lastDropXControl, -1);

    // Any negative value runs the ripple with the byte values as drop controls.
    f.setFloat(22, -0.001f);
    f.setByte(21, 64);
    f.setByte(85, 100);
    f.waver.update();
    EXPECT_EQ(f.waver.mode, 0);
    EXPECT_EQ(f.waver.ripple->dropColumn, 60);
    EXPECT_EQ(f.waver.ripple->dropRow, 62);
    EXPECT_EQ(f.waver.flow->phase[0], 0.25f);  // frozen

    f.setFloat(22, std::numeric_limits<float>::quiet_NaN());
    f.waver.update();
    EXPECT_EQ(f.waver.mode, 0);
}

TEST(WaverMode, ExtremeControllerValuesKeepTheFlowReadsInTheTable) {
    WaverFixture f;
    for (float value : {-1.0f, 1.0f, 40.0f, -40.0f, std::numeric_limits<float>::infinity()}) {
        f.setFloat(21, value);
        f.setFloat(85, value);
        for (int k = 0; k < 30; ++k) {
            f.waver.update();
            for (int p = 0; p < 2; ++p) {
                ASSERT_GE(f.waver.flow->poleColumnOffset[p], 1);
                ASSERT_LE(f.waver.flow->poleColumnOffset[p], 121);
                ASSERT_GE(f.waver.flow->poleRowOffset[p], 1);
                ASSERT_LE(f.waver.flow->poleRowOffset[p], 81);
            }
        }
    }
}

TEST(WaverLoader, IndexZeroBuildsTheWaver) {
    std::unique_ptr<Reactor> reactor(loadReactor(0, 0));
    ASSERT_NE(reactor, nullptr);
    auto* waver = dynamic_cast<Waver*>(reactor.get());
    ASSERT_NE(waver, nullptr);
    EXPECT_EQ(waver->ripple->width, 120);
    EXPECT_EQ(waver->ripple->height, 80);
    EXPECT_EQ(waver->flow->width, 120);
    EXPECT_EQ(waver->flow->height, 80);
}

namespace {

std::vector<uint8_t> renderWaver(WaverFixture& f, int frames, const char* name) {
    resetGlState();
    bindTestTexture();
    const MatrixDepths before = matrixDepths();
    renderReactorFrames(f.waver, frames);
    EXPECT_EQ(matrixDepths(), before);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    savePictureIfAsked(name);
    return readScreen();
}

int differingPixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int count = 0;
    for (size_t i = 0; i + 3 < a.size(); i += 4)
        if (a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2]) ++count;
    return count;
}

}  // namespace

TEST(WaverPicture, FlowFieldWarpsTheBoundImageAndMovesWithSpeed) {
    if (!ensureGlContext()) return;
    WaverFixture f;
    const std::vector<uint8_t> still = renderWaver(f, 3, "waver_flow");
    EXPECT_GT(litPixels(still), 640 * 480 * 9 / 10);  // the grid fills the screen

    f.setFloat(85, 0.3f);
    const std::vector<uint8_t> moved = renderWaver(f, 5, "waver_flow_moved");
    EXPECT_GT(differingPixels(still, moved), 5000);
}

TEST(WaverPicture, RippleShowsTheImageWithRings) {
    if (!ensureGlContext()) return;
    WaverFixture f;
    f.setFloat(22, -1.0f);
    f.setByte(21, 3);  // a drop near the left edge, then a fresh one each change
    f.setByte(85, 40);
    renderWaver(f, 1, "waver_ripple_first_drop");
    WaverFixture flat;
    flat.setFloat(22, -1.0f);
    flat.setByte(21, 64);
    flat.setByte(85, 64);
    flat.waver.ripple->lastDropXControl = 64;
    flat.waver.ripple->lastDropYControl = 64;
    const std::vector<uint8_t> calm = renderWaver(flat, 1, "waver_ripple_calm");

    f.setByte(21, 64);
    f.setByte(85, 64);
    const std::vector<uint8_t> rippled = renderWaver(f, 20, "waver_ripple");
    EXPECT_GT(litPixels(rippled), 640 * 480 * 9 / 10);
    EXPECT_GT(differingPixels(calm, rippled), 2000);
}
