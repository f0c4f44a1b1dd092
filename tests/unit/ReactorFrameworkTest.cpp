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
    TempStage stage{"framework"};
};

using Floats = std::vector<float>;

// A matrix (column-major), or the elements of it named.
Floats matrixOf(GLenum which) {
    Floats m(16);
    glGetFloatv(which, m.data());
    return m;
}
Floats matrixAt(GLenum which, std::initializer_list<int> elements) {
    Floats picked;
    for (int e : elements) picked.push_back(matrixOf(which)[e]);
    return picked;
}

// Each value within `tolerance` of the one wanted, a failure naming its place.
void expectNear(const Floats& got, const Floats& want, float tolerance) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], tolerance) << "value " << i;
}
}  // namespace

// Angles advance by the controllers (360 lost above 360, none below 0);
// with every flag off the pushed matrix is unchanged, with translation and
// z rotation on it moves by 5 x (28, -92, 91) and turns x into y.
TEST_F(ReactorFramework, PushObjectMotionAdvancesAnglesThenTranslatesAndRotates) {
    for (auto [n, v] : {std::pair{90, 0.5f}, {26, -1.0f}, {27, -0.25f}}) setControl(n, v);
    const MatrixDepths before = matrixDepths();
    reactor->pushObjectMotion(false, false, false, false);
    EXPECT_EQ(Floats({reactor->angleX, reactor->angleY, reactor->angleZ}), Floats({0.5f, -1.0f, -0.25f}));
    EXPECT_EQ(matrixDepths().modelview, before.modelview + 1);
    EXPECT_EQ(matrixAt(GL_MODELVIEW_MATRIX, {0, 1, 12}), Floats({1, 0, 0}));
    keeper.pop(GL_MODELVIEW);
    EXPECT_EQ(matrixDepths(), before);
    reactor->angleX = 359.8f;
    reactor->setTimeFactor(2.0f);
    reactor->pushObjectMotion(false, false, false, false);
    EXPECT_NEAR(reactor->angleX, 0.8f, 1e-4f);
    keeper.pop(GL_MODELVIEW);
    for (auto [n, v] : {std::pair{27, 0.0f}, {28, 0.2f}, {92, 0.4f}, {91, -0.2f}}) setControl(n, v);
    reactor->angleZ = 90.0f;
    reactor->pushObjectMotion(false, false, true, true);
    expectNear(matrixAt(GL_MODELVIEW_MATRIX, {12, 13, 14, 1}), {1, -2, -1, 1}, 1e-5f);
    keeper.pop(GL_MODELVIEW);
}

// Scroll 1 x 0.03 x 10 x 2, and -0.6 wrapped to 0.4 (then 1.2 loses 1);
// scales (0 + 1) x 1.5 and (1 + 1) x 1.5. Texture generation stays off near
// the centre of controller 31; beyond it the angles run by frame time.
TEST_F(ReactorFramework, TextureMotionScrollsWrapsAndScalesAndTextureGenTurns) {
    for (auto [n, v] : {std::pair{29, 1.0f}, {93, -1.0f}, {30, 0.0f}, {94, 1.0f}}) setControl(n, v);
    reactor->setTimeFactor(2.0f);
    const MatrixDepths before = matrixDepths();
    reactor->textureMotion(1.5f, 10.0f);
    EXPECT_EQ(matrixDepths().texture, before.texture + 1);
    glMatrixMode(GL_TEXTURE);
    Floats got = {reactor->texScrollS, reactor->texScrollT};
    for (float m : matrixAt(GL_TEXTURE_MATRIX, {0, 5, 12})) got.push_back(m);
    expectNear(got, {0.6f, 0.4f, 1.5f, 3.0f, 0.6f}, 1e-6f);
    glMatrixMode(GL_MODELVIEW);
    keeper.pop(GL_TEXTURE);
    reactor->textureMotion(1.0f, 10.0f);
    EXPECT_NEAR(reactor->texScrollS, 0.2f, 1e-5f);
    keeper.pop(GL_TEXTURE);
    EXPECT_EQ(matrixDepths(), before);

    setControl(31, 0.04f);
    setControl(95, 1.0f);
    glEnable(GL_TEXTURE_GEN_S);
    reactor->textureGen();
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S) || glIsEnabled(GL_TEXTURE_GEN_T) || reactor->texAngleS != 0.0f);
    controls->setByte(15, 0, 1, 20);  // 20 ms frames
    setControl(31, 0.5f);
    setControl(95, -1.0f);
    reactor->setTimeFactor(1.0f);
    reactor->textureGen();
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_S) && glIsEnabled(GL_TEXTURE_GEN_T));
    float plane[4];
    glGetTexGenfv(GL_S, GL_OBJECT_PLANE, plane);  // angles 20 x 0.03 x 1 x (0.5, -1)
    expectNear({reactor->texAngleS, reactor->texAngleT, plane[0], plane[3]},
               {0.3f, -0.6f, std::cos(0.3f * 3.1415926f / 180.0f) * 0.5f / 2.6f, 0.5f}, 1e-5f);
}

// Controller 25 steps the position (wrapping below 0 and past 0.99), or with
// controller 89 below 0 picks the fraction itself; help pages run 0 to 15.
// Without images nothing is selected.
TEST_F(ReactorFramework, SelectImageAndHelpPagesStayInRange) {
    stage.makeDirectory("imgs");
    RecordingImageGene images("imgs"), help("imgs");
    images.images->count = 5;  // five (unread) slots
    reactor->setImageSet(0, &images);
    for (auto [control, fraction] : {std::pair{0.0f, 0.0f}, {1.0f, 0.2f}, {1.0f, 0.4f}, {1.0f, 0.6f}, {1.0f, 0.8f},
                                     {1.0f, 0.0f}, {-0.5f, 0.99f}}) {
        setControl(25, control);
        reactor->selectImage(0);
        EXPECT_NEAR(images.fractions.back(), fraction, 1e-5f) << control;
    }
    setControl(89, -0.5f);  // position mode
    const float kept = reactor->imagePosition;
    for (auto [control, fraction] : {std::pair{-1.0f, 0.0f}, {1.0f, 1.0f}}) {
        setControl(25, control);
        reactor->selectImage(0);
        EXPECT_FLOAT_EQ(images.fractions.back(), fraction);
    }
    EXPECT_FLOAT_EQ(reactor->imagePosition, kept);
    reactor->setImageSet(0, nullptr);
    reactor->selectImage(0);

    reactor->setHelpImages(&help);
    for (int page : {40, -3, 7, 15, 16}) reactor->drawHelp(page);
    EXPECT_EQ(help.indexes, (std::vector<int>{15, 0, 7, 15, 15}));
    reactor->setHelpImages(nullptr);
    reactor->drawHelp(3);
}

// Mode 0 turns generation off, 1 advances the angles (wrapping past 360) and
// drifts the offsets (wrapping past 1) or sets the angles, 2 maps a sphere.
TEST_F(ReactorFramework, TexGenRecordModesAndAngleWrapping) {
    texGenRecord record{.angleS = 355.0f, .angleT = -355.0f, .offsetSpeedS = 0.7f, .offsetSpeedT = -0.2f};
    glEnable(GL_TEXTURE_GEN_S);
    record.apply(10.0f, 10.0f);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    record.mode = 1;
    record.apply(10.0f, -10.0f);
    const float c = std::cos(5.0f * 3.1415926f / 180.0f), n = std::sin(-5.0f * 3.1415926f / 180.0f);
    expectNear({record.angleS, record.angleT, record.offsetS, record.offsetT, record.planeS[0], record.planeT[2],
                record.planeS[3]},
               {5.0f, -5.0f, 0.7f, 0.8f, c, n, 0.7f}, 1e-4f);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_S));
    record.apply(0.0f, 0.0f);
    EXPECT_NEAR(record.offsetS, 0.4f, 1e-5f);
    record.accumulate = false;
    record.apply(30.0f, 40.0f);
    EXPECT_EQ(Floats({record.angleS, record.angleT}), Floats({30.0f, 40.0f}));
    record.mode = 2;
    record.apply(0.0f, 0.0f);
    GLint mode = 0;
    glGetTexGeniv(GL_S, GL_TEXTURE_GEN_MODE, &mode);
    EXPECT_EQ(mode, GL_SPHERE_MAP);
}

// The first move only sets the ball point; each later turn is applied before
// the stored orientation, as OpenGL would compose it (the first here a turn
// about y); the same input again changes nothing.
TEST(TransformRecord, TurnsComposeAsGlWouldAfterTheFirstMove) {
    ASSERT_TRUE(ensureGlContext());
    TransformRecord t;
    const Floats identity(t.matrix, t.matrix + 16);
    t.rotateBall(0.0f, 0.0f, 2.0f);  // same as the start input: nothing
    t.rotateBall(0.5f, 0.0f, 2.0f);  // first move: axis has zero length
    EXPECT_EQ(Floats(t.matrix, t.matrix + 16), identity);
    EXPECT_GT(t.previousPoint[0], 0.0f);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    for (const auto& [x, y] : {std::pair{0.6f, 0.0f}, {0.5f, 0.4f}, {-0.2f, 0.6f}, {0.9f, -0.7f}}) {
        const Floats before(t.matrix, t.matrix + 16);
        t.rotateBall(x, y, 2.0f);
        if (x == 0.6f) {  // a turn about y
            EXPECT_NEAR(t.angle, 3.2f, 0.15f);
            EXPECT_NEAR(std::fabs(t.axis[1]) / std::hypot(t.axis[0], t.axis[1], t.axis[2]), 1.0f, 1e-5f);
        }
        glLoadIdentity();
        glRotatef(t.angle, t.axis[0], t.axis[1], t.axis[2]);
        glMultMatrixf(before.data());
        expectNear(Floats(t.matrix, t.matrix + 16), matrixOf(GL_MODELVIEW_MATRIX), 1e-5f);
    }
    glPopMatrix();
    const Floats same(t.matrix, t.matrix + 16);
    t.rotateBall(0.9f, -0.7f, 2.0f);
    EXPECT_EQ(Floats(t.matrix, t.matrix + 16), same);
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
