#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <vector>

#include "support/ReactorFixture.h"
#include "TempStage.h"
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

class ReactorFramework : public ReactorFixture<GeneReactor> {
protected:
    void SetUp() override {
        ReactorFixture::SetUp();
        reactor->setMatrixKeeper(&keeper);
        reactor->setTimeFactor(1.0f);
    }
    MatrixModeKeeper keeper;
};

float currentMatrix(GLenum which, int element) {
    float m[16];
    glGetFloatv(which, m);
    return m[element];
}
}  // namespace

TEST_F(ReactorFramework, PushObjectMotionAdvancesAnglesWhateverTheFlags) {
    setControl(90, 0.5f);
    setControl(26, -1.0f);
    setControl(27, -0.25f);
    const MatrixDepths before = matrixDepths();
    reactor->pushObjectMotion(false, false, false, false);
    EXPECT_FLOAT_EQ(reactor->angleX, 0.5f);
    EXPECT_FLOAT_EQ(reactor->angleY, -1.0f);
    EXPECT_FLOAT_EQ(reactor->angleZ, -0.25f);  // no wrap below 0
    EXPECT_EQ(matrixDepths().modelview, before.modelview + 1);
    // With every flag off the pushed matrix is unchanged (identity here).
    EXPECT_FLOAT_EQ(currentMatrix(GL_MODELVIEW_MATRIX, 0), 1.0f);
    EXPECT_FLOAT_EQ(currentMatrix(GL_MODELVIEW_MATRIX, 12), 0.0f);
    keeper.pop(GL_MODELVIEW);
    EXPECT_EQ(matrixDepths(), before);

    reactor->angleX = 359.8f;
    reactor->setTimeFactor(2.0f);
    reactor->pushObjectMotion(false, false, false, false);
    EXPECT_NEAR(reactor->angleX, 0.8f, 1e-4f);  // above 360 loses 360
    keeper.pop(GL_MODELVIEW);
}

TEST_F(ReactorFramework, PushObjectMotionTranslatesThenRotates) {
    setControl(28, 0.2f);
    setControl(92, 0.4f);
    setControl(91, -0.2f);
    reactor->angleZ = 90.0f - 0.0f;
    reactor->pushObjectMotion(false, false, true, true);
    // Translation column: (5 * 0.2, -5 * 0.4, 5 * -0.2).
    EXPECT_NEAR(currentMatrix(GL_MODELVIEW_MATRIX, 12), 1.0f, 1e-5f);
    EXPECT_NEAR(currentMatrix(GL_MODELVIEW_MATRIX, 13), -2.0f, 1e-5f);
    EXPECT_NEAR(currentMatrix(GL_MODELVIEW_MATRIX, 14), -1.0f, 1e-5f);
    // Rotated 90 degrees about z: x axis maps to y.
    EXPECT_NEAR(currentMatrix(GL_MODELVIEW_MATRIX, 1), 1.0f, 1e-5f);
    keeper.pop(GL_MODELVIEW);
}

TEST_F(ReactorFramework, TextureMotionScrollsWrapsAndScales) {
    setControl(29, 1.0f);
    setControl(93, -1.0f);
    setControl(30, 0.0f);
    setControl(94, 1.0f);
    reactor->setTimeFactor(2.0f);
    const MatrixDepths before = matrixDepths();
    reactor->textureMotion(1.5f, 10.0f);
    EXPECT_NEAR(reactor->texScrollS, 0.6f, 1e-6f);   // 1 * 0.03 * 10 * 2
    EXPECT_NEAR(reactor->texScrollT, 0.4f, 1e-6f);   // -0.6 wraps to 0.4
    EXPECT_EQ(matrixDepths().texture, before.texture + 1);
    glMatrixMode(GL_TEXTURE);
    EXPECT_NEAR(currentMatrix(GL_TEXTURE_MATRIX, 0), 1.5f, 1e-6f);  // (0 + 1) * 1.5
    EXPECT_NEAR(currentMatrix(GL_TEXTURE_MATRIX, 5), 3.0f, 1e-6f);  // (1 + 1) * 1.5
    EXPECT_NEAR(currentMatrix(GL_TEXTURE_MATRIX, 12), 0.6f, 1e-6f);
    glMatrixMode(GL_MODELVIEW);
    keeper.pop(GL_TEXTURE);
    reactor->textureMotion(1.0f, 10.0f);
    EXPECT_NEAR(reactor->texScrollS, 0.2f, 1e-5f);  // 1.2 loses 1
    keeper.pop(GL_TEXTURE);
    EXPECT_EQ(matrixDepths(), before);
}

TEST_F(ReactorFramework, TextureGenStaysOffNearTheCentreOfController31) {
    setControl(31, 0.04f);
    setControl(95, 1.0f);
    glEnable(GL_TEXTURE_GEN_S);
    reactor->textureGen();
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
    EXPECT_FLOAT_EQ(reactor->texAngleS, 0.0f);

    controls->setByte(15, 0, 1, 20);  // 20 ms frames
    setControl(31, 0.5f);
    setControl(95, -1.0f);
    reactor->textureGen();
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_T));
    EXPECT_NEAR(reactor->texAngleS, 0.3f, 1e-5f);   // 20 * 0.03 * 1 * 0.5
    EXPECT_NEAR(reactor->texAngleT, -0.6f, 1e-5f);
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
    reactor->setImageSet(0, &images);

    setControl(25, 0.0f);  // centre: stays on the current image
    reactor->selectImage(0);
    EXPECT_FLOAT_EQ(images.fractions.back(), 0.0f);
    setControl(25, 1.0f);
    reactor->selectImage(0);
    EXPECT_NEAR(images.fractions.back(), 0.2f, 1e-6f);
    for (int i = 0; i < 4; ++i) reactor->selectImage(0);
    EXPECT_FLOAT_EQ(images.fractions.back(), 0.0f);  // past 0.99 wraps to 0
    setControl(25, -0.5f);
    reactor->selectImage(0);
    EXPECT_FLOAT_EQ(images.fractions.back(), 0.99f);  // below 0 wraps to 0.99

    setControl(89, -0.5f);  // position mode
    const float kept = reactor->imagePosition;
    setControl(25, -1.0f);
    reactor->selectImage(0);
    EXPECT_FLOAT_EQ(images.fractions.back(), 0.0f);
    setControl(25, 1.0f);
    reactor->selectImage(0);
    EXPECT_FLOAT_EQ(images.fractions.back(), 1.0f);
    EXPECT_FLOAT_EQ(reactor->imagePosition, kept);

    // No image set at all: nothing happens.
    reactor->setImageSet(0, nullptr);
    reactor->selectImage(0);
}

TEST_F(ReactorFramework, DrawHelpLimitsThePageToZeroThroughFifteen) {
    TempStage stage("help");
    stage.makeDirectory("help");
    RecordingImageGene help("help");
    reactor->setHelpImages(&help);
    reactor->drawHelp(40);
    reactor->drawHelp(-3);
    reactor->drawHelp(7);
    EXPECT_EQ(help.indexes, (std::vector<int>{15, 0, 7}));
    reactor->setHelpImages(nullptr);
    reactor->drawHelp(3);  // no help pages: nothing drawn
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

// Each index logs its module's lines between the loader's two; Flo (8) and
// indexes outside the table give no reactor.
TEST(ReactorLoader, LogsEachIndexBetweenItsTwoLinesAndGivesNullForFloAndUnknownIndexes) {
    ASSERT_TRUE(ensureGlContext());
    const std::pair<int, const char*> cases[] = {
        {0, "Loading ... : Waver  \n qelFlo generating..120 80\n"},  // the Waver line ends in two blanks
        {4, "Loading ... : Particles1 \nParticle Viewr \nGenerating Particle Gene\nqelParticles 1280 \n"
            "ModelFile not found...use defalt particle draw\n"},
        {5, "Loading ... : Metaball Viewer \nqelParticles 50 \n"},
        {8, "Loading ... : Flo \n"}, {12, ""}, {-1, ""}};
    for (const auto& [index, middle] : cases) {
        std::unique_ptr<Reactor> reactor;
        const std::string out = captureStdout([&] { reactor = loadReactor(index, 0); });
        EXPECT_EQ(out, "Reactor Loader  --" + std::to_string(index) + "\n" + middle + "Reactor Loader complete\n");
        EXPECT_EQ(reactor == nullptr, index == 8 || index == 12 || index == -1) << index;
    }
}

TEST(Cell, SwitchingToFloLeavesTheCellEmptyAndBackFillsIt) {
    ASSERT_TRUE(ensureGlContext());
    qelCell cell;
    cell.setIndex(4);
    const std::string out = captureStdout([&] { cell.setReactor(8, nullptr); });
    EXPECT_EQ(cell.reactor(0), nullptr);
    EXPECT_EQ(cell.reactorIndex, 8);
    EXPECT_EQ(out.rfind("qelCell::setReactor 8 0\nqelCell::deleted \n", 0), 0u);
    cell.frame();  // an empty cell skips its frame
}
