#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "app/ControlTable.h"
#include "reactor/ReactorLoader.h"
#include "reactors/Wave.h"
#include "PictureSupport.h"
#include "support/GlTestContext.h"

namespace {

struct WaveFixture {
    ControlTable table;
    Wave wave;
    WaveFixture() {
        wave.setControls(&table);
        wave.setChannel(5);
    }
    void setByte(int n, int value) { table.setByte(5, 0, n, value); }
    int cell(const int* plane, int column, int row) const { return plane[row * Wave::kColumns + column]; }
};

const int kStamp[4][4] = {{18, 28, 32, 28}, {28, 41, 48, 41}, {32, 48, 64, 48}, {28, 41, 48, 41}};

}  // namespace

TEST(WaveKernel, StartControlsStampTheKernelAtColumns78And42) {
    WaveFixture f;
    EXPECT_EQ(f.wave.kernelWidth, 4);
    EXPECT_EQ(f.wave.kernelHeight, 4);
    f.wave.update();
    EXPECT_FLOAT_EQ(f.wave.radius, 63 * 0.3f);
    EXPECT_EQ(f.wave.angle, 0.0f);
    EXPECT_EQ(f.wave.impulseColumn[0], 78);
    EXPECT_EQ(f.wave.impulseColumn[1], 42);
    EXPECT_EQ(f.wave.impulseRow[0], 45);
    EXPECT_EQ(f.wave.impulseRow[1], 45);
    // The stamps stay in the plane that was current during the update.
    const int* stamped = f.wave.otherPlaneData();
    for (int centre : {78, 42})
        for (int ky = 0; ky < 4; ++ky)
            for (int kx = 0; kx < 4; ++kx)
                EXPECT_EQ(f.cell(stamped, centre - 2 + kx, 45 - 2 + ky), kStamp[ky][kx]) << centre << " " << kx << "," << ky;
    EXPECT_EQ(f.cell(stamped, 60, 45), 0);
    EXPECT_EQ(f.cell(stamped, 80, 45), 0);
}

TEST(WaveKernel, RadiusAndAngleFollowTheControls) {
    WaveFixture f;
    f.setByte(81, 127);
    f.wave.update();
    EXPECT_FLOAT_EQ(f.wave.radius, 38.1f);
    f.setByte(81, 200);  // beyond the usual byte range: the cap applies
    f.wave.update();
    EXPECT_FLOAT_EQ(f.wave.radius, 43.0f);

    // Fast positive speed wraps once past pi.
    f.setByte(17, 127);
    for (int k = 0; k < 4; ++k) f.wave.update();
    EXPECT_NEAR(f.wave.angle, 2.56f, 1e-4f);
    f.wave.update();
    EXPECT_FLOAT_EQ(f.wave.angle, -3.14159f);

    // Negative speed runs below -pi with no wrap; the points still sit on
    // their circle, symmetric about the centre.
    f.setByte(17, 0);
    f.setByte(81, 100);
    for (int k = 0; k < 10; ++k) f.wave.update();
    EXPECT_LT(f.wave.angle, -3.14159f * 3);
    const int dx = static_cast<int>(std::cos(f.wave.angle) * 30.0f);
    const int dy = static_cast<int>(std::sin(f.wave.angle) * 30.0f);
    EXPECT_EQ(f.wave.impulseColumn[0], 60 + dx);
    EXPECT_EQ(f.wave.impulseRow[0], 45 + dy);
    EXPECT_EQ(f.wave.impulseColumn[1], 60 - dx);
    EXPECT_EQ(f.wave.impulseRow[1], 45 - dy);
}

TEST(WaveStep, ShiftsDampAndTheRootTableMapsHeights) {
    WaveFixture f;
    f.setByte(81, 0);  // both impulses at the centre, far from the test cells
    int* current = f.wave.currentPlaneData();
    current[10 * 120 + 10] = 100;
    current[20 * 120 + 10] = -100;
    for (int n : {30 * 120 + 99, 30 * 120 + 101, 29 * 120 + 100, 31 * 120 + 100}) current[n] = 300;
    f.wave.update();
    const int* next = f.wave.currentPlaneData();
    // 100 / 2 = 50, less a sixteenth (3): 47.
    EXPECT_EQ(f.cell(next, 11, 10), 47);
    EXPECT_EQ(f.cell(next, 10, 11), 47);
    // -100 / 2 = -50, less an arithmetic sixteenth (-4): -46.
    EXPECT_EQ(f.cell(next, 9, 20), -46);
    // Four neighbours of 300: 600 - 37 = 563, which wraps in the table.
    EXPECT_EQ(f.cell(next, 100, 30), 563);

    const auto z = [&](int column, int row) { return f.wave.vertices[3 * (row * 120 + column) + 2]; };
    EXPECT_FLOAT_EQ(z(11, 10), std::sqrt(47.0f / 512.0f));
    EXPECT_FLOAT_EQ(z(9, 20), std::sqrt(45.0f / 512.0f));
    EXPECT_FLOAT_EQ(z(100, 30), std::sqrt(460.0f / 512.0f));  // (563 + 512) & 1023 = 51
    EXPECT_EQ(z(50, 70), 0.0f);

    const int n = 10 * 120 + 11;
    EXPECT_FLOAT_EQ(f.wave.texCoords[2 * n], f.wave.restTexCoords[2 * n] + 0.3f * z(11, 10));
    EXPECT_FLOAT_EQ(f.wave.texCoords[2 * n + 1], f.wave.restTexCoords[2 * n + 1] + 0.3f * z(11, 10));
}

TEST(WaveStep, BorderNeverMovesUnderLongRunning) {
    WaveFixture f;
    f.setByte(17, 90);
    f.setByte(81, 127);
    for (int k = 0; k < 300; ++k) f.wave.update();
    int moving = 0;
    for (int r = 0; r < 90; ++r) {
        for (int c = 0; c < 120; ++c) {
            const int n = r * 120 + c;
            const bool border = r == 0 || r == 89 || c == 0 || c == 119;
            if (border) {
                ASSERT_EQ(f.wave.vertices[3 * n + 2], 0.0f) << c << "," << r;
                ASSERT_EQ(f.wave.texCoords[2 * n], f.wave.restTexCoords[2 * n]);
            } else if (f.wave.vertices[3 * n + 2] != 0.0f) {
                ++moving;
            }
        }
    }
    EXPECT_GT(moving, 5000);  // the waves have spread over most of the grid
}

TEST(WaveLoader, IndexElevenBuildsTheWave) {
    std::unique_ptr<Reactor> reactor(loadReactor(11, 0));
    ASSERT_NE(dynamic_cast<Wave*>(reactor.get()), nullptr);
}

TEST(WavePicture, SurfaceShowsTheBoundTextureWithTwoImpulses) {
    if (!ensureGlContext()) return;
    WaveFixture f;
    f.setByte(17, 70);
    resetGlState();
    bindTestTexture();
    const MatrixDepths before = matrixDepths();
    renderReactorFrames(f.wave, 40);
    EXPECT_EQ(matrixDepths(), before);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    savePictureIfAsked("wave");
    const std::vector<uint8_t> screen = readScreen();
    EXPECT_GT(litPixels(screen), 640 * 480 * 9 / 10);
}
