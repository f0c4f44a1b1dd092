#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <vector>

#include "GlTestContext.h"
#include "TempStage.h"
#include "app/ControlTable.h"
#include "reactor/GeneReactor.h"
#include "reactor/MatrixModeKeeper.h"
#include "reactor/ReactorLoader.h"
#include "reactor/qelCell.h"
#include "resources/ImageGene.h"

namespace {
// An image gene on an empty directory whose selections are recorded.
class RecordingImageGene : public ImageGene {
public:
    explicit RecordingImageGene(const char* directory) : ImageGene(directory) {}
    void selectIndex(int index) override { indexes.push_back(index); }
    void selectFraction(float fraction) override { fractions.push_back(fraction); }
    std::vector<int> indexes;
    std::vector<float> fractions;
};

class ReactorFramework : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ensureGlContext());
        resetGlState();
        reactor.setControls(&table);
        reactor.setChannel(2);
        reactor.setMatrixKeeper(&keeper);
        reactor.setTimeFactor(1.0f);
    }
    void TearDown() override { resetGlState(); }

    // Sets the float value of controller n of channel 2 (v in -1..1).
    void set(int n, float v) { table.setFloat(2, 0, n, v * 0.5f + 0.5f); }

    ControlTable table;
    MatrixModeKeeper keeper;
    GeneReactor reactor;
};

float currentMatrix(GLenum which, int element) {
    float m[16];
    glGetFloatv(which, m);
    return m[element];
}
}  // namespace

TEST_F(ReactorFramework, PushObjectMotionAdvancesAnglesWhateverTheFlags) {
    set(90, 0.5f);
    set(26, -1.0f);
    set(27, -0.25f);
    const MatrixDepths before = matrixDepths();
    reactor.pushObjectMotion(false, false, false, false);
    EXPECT_FLOAT_EQ(reactor.angleX, 0.5f);
    EXPECT_FLOAT_EQ(reactor.angleY, -1.0f);
    EXPECT_FLOAT_EQ(reactor.angleZ, -0.25f);  // no wrap below 0
    EXPECT_EQ(matrixDepths().modelview, before.modelview + 1);
    // With every flag off the pushed matrix is unchanged (identity here).
    EXPECT_FLOAT_EQ(currentMatrix(GL_MODELVIEW_MATRIX, 0), 1.0f);
    EXPECT_FLOAT_EQ(currentMatrix(GL_MODELVIEW_MATRIX, 12), 0.0f);
    keeper.pop(GL_MODELVIEW);
    EXPECT_EQ(matrixDepths(), before);

    reactor.angleX = 359.8f;
    reactor.setTimeFactor(2.0f);
    reactor.pushObjectMotion(false, false, false, false);
    EXPECT_NEAR(reactor.angleX, 0.8f, 1e-4f);  // above 360 loses 360
    keeper.pop(GL_MODELVIEW);
}

TEST_F(ReactorFramework, PushObjectMotionTranslatesThenRotates) {
    set(28, 0.2f);
    set(92, 0.4f);
    set(91, -0.2f);
    reactor.angleZ = 90.0f - 0.0f;
    reactor.pushObjectMotion(false, false, true, true);
    // Translation column: (5 * 0.2, -5 * 0.4, 5 * -0.2).
    EXPECT_NEAR(currentMatrix(GL_MODELVIEW_MATRIX, 12), 1.0f, 1e-5f);
    EXPECT_NEAR(currentMatrix(GL_MODELVIEW_MATRIX, 13), -2.0f, 1e-5f);
    EXPECT_NEAR(currentMatrix(GL_MODELVIEW_MATRIX, 14), -1.0f, 1e-5f);
    // Rotated 90 degrees about z: x axis maps to y.
    EXPECT_NEAR(currentMatrix(GL_MODELVIEW_MATRIX, 1), 1.0f, 1e-5f);
    keeper.pop(GL_MODELVIEW);
}

TEST_F(ReactorFramework, TextureMotionScrollsWrapsAndScales) {
    set(29, 1.0f);
    set(93, -1.0f);
    set(30, 0.0f);
    set(94, 1.0f);
    reactor.setTimeFactor(2.0f);
    const MatrixDepths before = matrixDepths();
    reactor.textureMotion(1.5f, 10.0f);
    EXPECT_NEAR(reactor.texScrollS, 0.6f, 1e-6f);   // 1 * 0.03 * 10 * 2
    EXPECT_NEAR(reactor.texScrollT, 0.4f, 1e-6f);   // -0.6 wraps to 0.4
    EXPECT_EQ(matrixDepths().texture, before.texture + 1);
    glMatrixMode(GL_TEXTURE);
    EXPECT_NEAR(currentMatrix(GL_TEXTURE_MATRIX, 0), 1.5f, 1e-6f);  // (0 + 1) * 1.5
    EXPECT_NEAR(currentMatrix(GL_TEXTURE_MATRIX, 5), 3.0f, 1e-6f);  // (1 + 1) * 1.5
    EXPECT_NEAR(currentMatrix(GL_TEXTURE_MATRIX, 12), 0.6f, 1e-6f);
    glMatrixMode(GL_MODELVIEW);
    keeper.pop(GL_TEXTURE);
    reactor.textureMotion(1.0f, 10.0f);
    EXPECT_NEAR(reactor.texScrollS, 0.2f, 1e-5f);  // 1.2 loses 1
    keeper.pop(GL_TEXTURE);
    EXPECT_EQ(matrixDepths(), before);
}

TEST_F(ReactorFramework, TextureGenStaysOffNearTheCentreOfController31) {
    set(31, 0.04f);
    set(95, 1.0f);
    glEnable(GL_TEXTURE_GEN_S);
    reactor.textureGen();
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
    EXPECT_FLOAT_EQ(reactor.texAngleS, 0.0f);

    table.setByte(15, 0, 1, 20);  // 20 ms frames
    set(31, 0.5f);
    set(95, -1.0f);
    reactor.textureGen();
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_T));
    EXPECT_NEAR(reactor.texAngleS, 0.3f, 1e-5f);   // 20 * 0.03 * 1 * 0.5
    EXPECT_NEAR(reactor.texAngleT, -0.6f, 1e-5f);
    float plane[4];
    glGetTexGenfv(GL_S, GL_OBJECT_PLANE, plane);
    EXPECT_NEAR(plane[0], std::cos(0.3f * 3.1415926f / 180.0f) * 0.5f / 2.6f, 1e-5f);
    EXPECT_NEAR(plane[3], 0.5f, 1e-6f);
}

TEST_F(ReactorFramework, SelectImageStepsThePositionOrFollowsController25) {
    TempStage stage("select");
    stage.makeDirectory("imgs");
    RecordingImageGene images("imgs");
    images.images->count = 5;  // five (unread) slots
    reactor.setImageSet(0, &images);

    set(25, 0.0f);  // centre: stays on the current image
    reactor.selectImage(0);
    EXPECT_FLOAT_EQ(images.fractions.back(), 0.0f);
    set(25, 1.0f);
    reactor.selectImage(0);
    EXPECT_NEAR(images.fractions.back(), 0.2f, 1e-6f);
    for (int i = 0; i < 4; ++i) reactor.selectImage(0);
    EXPECT_FLOAT_EQ(images.fractions.back(), 0.0f);  // past 0.99 wraps to 0
    set(25, -0.5f);
    reactor.selectImage(0);
    EXPECT_FLOAT_EQ(images.fractions.back(), 0.99f);  // below 0 wraps to 0.99

    set(89, -0.5f);  // position mode
    const float kept = reactor.imagePosition;
    set(25, -1.0f);
    reactor.selectImage(0);
    EXPECT_FLOAT_EQ(images.fractions.back(), 0.0f);
    set(25, 1.0f);
    reactor.selectImage(0);
    EXPECT_FLOAT_EQ(images.fractions.back(), 1.0f);
    EXPECT_FLOAT_EQ(reactor.imagePosition, kept);

    // No image set at all: nothing happens.
    reactor.setImageSet(0, nullptr);
    reactor.selectImage(0);
    reactor.setImageSet(0, nullptr);
}

TEST_F(ReactorFramework, DrawHelpLimitsThePageToZeroThroughFifteen) {
    TempStage stage("help");
    stage.makeDirectory("help");
    RecordingImageGene help("help");
    reactor.setHelpImages(&help);
    reactor.drawHelp(40);
    reactor.drawHelp(-3);
    reactor.drawHelp(7);
    EXPECT_EQ(help.indexes, (std::vector<int>{15, 0, 7}));
    reactor.setHelpImages(nullptr);
    reactor.drawHelp(3);  // no help pages: nothing drawn
}

TEST_F(ReactorFramework, TexGenRecordModesAndAngleWrapping) {
    texGenRecord record;
    record.mode = 0;
    glEnable(GL_TEXTURE_GEN_S);
    record.apply(10.0f, 10.0f);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));

    record.mode = 1;
    record.angleS = 355.0f;
    record.angleT = -355.0f;
    record.offsetSpeedS = 0.7f;
    record.offsetSpeedT = -0.2f;
    record.apply(10.0f, -10.0f);
    EXPECT_NEAR(record.angleS, 5.0f, 1e-4f);
    EXPECT_NEAR(record.angleT, -5.0f, 1e-4f);
    EXPECT_NEAR(record.offsetS, 0.7f, 1e-6f);
    EXPECT_NEAR(record.offsetT, 0.8f, 1e-6f);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_NEAR(record.planeS[0], std::cos(5.0f * 3.1415926f / 180.0f), 1e-5f);
    EXPECT_NEAR(record.planeT[2], std::sin(-5.0f * 3.1415926f / 180.0f), 1e-5f);
    EXPECT_NEAR(record.planeS[3], 0.7f, 1e-6f);
    record.apply(0.0f, 0.0f);
    EXPECT_NEAR(record.offsetS, 0.4f, 1e-5f);  // 1.4 loses 1

    record.accumulate = false;
    record.apply(30.0f, 40.0f);
    EXPECT_FLOAT_EQ(record.angleS, 30.0f);
    EXPECT_FLOAT_EQ(record.angleT, 40.0f);

    record.mode = 2;
    record.apply(0.0f, 0.0f);
    GLint mode = 0;
    glGetTexGeniv(GL_S, GL_TEXTURE_GEN_MODE, &mode);
    EXPECT_EQ(mode, GL_SPHERE_MAP);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
}

TEST(TransformRecord, FirstMoveOnlySetsTheBallPointThenTurnsAboutY) {
    TransformRecord t;
    t.rotateBall(0.0f, 0.0f, 2.0f);  // same as the start input: nothing
    EXPECT_FLOAT_EQ(t.previousPoint[2], 0.0f);
    t.rotateBall(0.5f, 0.0f, 2.0f);  // first move: axis has zero length
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(t.matrix[i], (i % 5 == 0) ? 1.0f : 0.0f);
    EXPECT_GT(t.previousPoint[0], 0.0f);
    t.rotateBall(0.6f, 0.0f, 2.0f);
    EXPECT_NEAR(t.angle, 3.2f, 0.15f);
    EXPECT_NEAR(std::fabs(t.axis[1]) / std::sqrt(t.axis[0] * t.axis[0] + t.axis[1] * t.axis[1] + t.axis[2] * t.axis[2]),
                1.0f, 1e-5f);
    // A turn about y: the y axis is unchanged, x gains a z component.
    EXPECT_NEAR(t.matrix[5], 1.0f, 1e-6f);
    EXPECT_NEAR(t.matrix[0], std::cos(t.angle * 3.1415926f / 180.0f), 1e-5f);
    EXPECT_NEAR(std::fabs(t.matrix[2]), std::sin(t.angle * 3.1415926f / 180.0f), 1e-5f);
}

TEST(TransformRecord, EachTurnIsAppliedBeforeTheStoredOrientationAsGlWouldCompose) {
    ASSERT_TRUE(ensureGlContext());
    TransformRecord t;
    t.rotateBall(0.5f, 0.0f, 2.0f);
    const float moves[3][2] = {{0.5f, 0.4f}, {-0.2f, 0.6f}, {0.9f, -0.7f}};
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    for (const auto& m : moves) {
        float before[16];
        for (int i = 0; i < 16; ++i) before[i] = t.matrix[i];
        t.rotateBall(m[0], m[1], 2.0f);
        glLoadIdentity();
        glRotatef(t.angle, t.axis[0], t.axis[1], t.axis[2]);
        glMultMatrixf(before);
        float expected[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, expected);
        for (int i = 0; i < 16; ++i) EXPECT_NEAR(t.matrix[i], expected[i], 1e-5f) << i;
    }
    glPopMatrix();
    // The same input again changes nothing.
    float same[16];
    for (int i = 0; i < 16; ++i) same[i] = t.matrix[i];
    t.rotateBall(0.9f, -0.7f, 2.0f);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(t.matrix[i], same[i]);
}

TEST(ReactorLoader, LogsEveryIndexAndReturnsNullForFloAndUnknownIndexes) {
    testing::internal::CaptureStdout();
    Reactor* flo = loadReactor(8, 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(flo, nullptr);
    EXPECT_EQ(out, "Reactor Loader  --8\nLoading ... : Flo \nReactor Loader complete\n");

    testing::internal::CaptureStdout();
    EXPECT_EQ(loadReactor(12, 0), nullptr);
    EXPECT_EQ(loadReactor(-1, 0), nullptr);
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Reactor Loader  --12\nReactor Loader complete\nReactor Loader  --" "-1\nReactor Loader complete\n");
}

TEST(ReactorLoader, WaverLineEndsInTwoBlanks) {
    ASSERT_TRUE(ensureGlContext());
    testing::internal::CaptureStdout();
    Reactor* reactor = loadReactor(0, 0);
    const std::string out = testing::internal::GetCapturedStdout();
    delete reactor;
    EXPECT_EQ(out.substr(0, out.find("Loading")), "Reactor Loader  --0\n");
    EXPECT_NE(out.find("Loading ... : Waver  \n"), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 24), "Reactor Loader complete\n");
}

TEST(Cell, SwitchingToFloLeavesTheCellEmptyAndBackFillsIt) {
    ASSERT_TRUE(ensureGlContext());
    qelCell cell;
    cell.setIndex(4);
    testing::internal::CaptureStdout();
    cell.setReactor(8, nullptr);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(cell.reactor(0), nullptr);
    EXPECT_EQ(cell.reactorIndex, 8);
    EXPECT_EQ(out.rfind("qelCell::setReactor 8 0\nqelCell::deleted \n", 0), 0u);
    cell.frame();  // an empty cell skips its frame
}
