// The reactor framework, the loader's reactors as a cell runs them, and their controllers.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "PictureSupport.h"
#include "TempStage.h"
#include "app/ScreenInfo.h"
#include "input/WaveInput.h"
#include "reactor/GeneReactor.h"
#include "reactor/MatrixModeKeeper.h"
#include "reactor/ReactorLoader.h"
#include "reactors/Cloud.h"
#include "reactors/RippleObjViewer.h"
#include "reactors/Tunnel.h"
#include "reactors/TunnelPlaneGene.h"
#include "reactors/TunnelTubeGene.h"
#include "reactors/Wave.h"
#include "reactors/qelObjReactor.h"
#include "reactor/Random.h"
#include "resources/ImageGene.h"
#include "resources/ModelGene.h"
#include "support/AllocationCounter.h"
#include "support/ReactorFixture.h"

namespace {

using Ints = std::vector<int>;
using Floats = std::vector<float>;

// The GL state drawing leaves behind that the next cell would inherit.
std::string leftState() {
    GLint mode = 0, front = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glGetIntegerv(GL_FRONT_FACE, &front);
    std::string s = mode == GL_MODELVIEW ? "" : "matrix mode not model-view ";
    const std::pair<GLenum, const char*> caps[] = {
        {GL_TEXTURE_GEN_S, "gen-s"}, {GL_TEXTURE_GEN_T, "gen-t"}, {GL_CLIP_PLANE0, "clip0"}, {GL_CLIP_PLANE1, "clip1"},
        {GL_DEPTH_TEST, "depth"},    {GL_CULL_FACE, "cull"},      {GL_BLEND, "blend"},      {GL_LIGHTING, "light"},
        {GL_COLOR_MATERIAL, "colour-material"}, {GL_TEXTURE_2D, "texture"}};
    for (const auto& [cap, name] : caps) s += glIsEnabled(cap) ? std::string(name) + " " : "";
    return s + (front == GL_CW ? "cw" : "ccw");
}

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

// The named elements of a matrix (column-major).
Floats matrixAt(GLenum which, std::initializer_list<int> elements) {
    Floats m(16), picked;
    glGetFloatv(which, m.data());
    for (int e : elements) picked.push_back(m[e]);
    return picked;
}

// Each value within `tolerance` of the one wanted, a failure naming its place.
void expectNear(const Floats& got, const Floats& want, float tolerance) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], tolerance) << "value " << i;
}

// Genes that count their draws.
template <class Gene>
struct Spy : Gene {
    using Gene::Gene;
    void draw() override { ++draws, Gene::draw(); }
    int draws = 0;
};
class TunnelTest : public ReactorFixture<Tunnel> {
protected:
    void SetUp() override {
        ReactorFixture::SetUp();
        reactor->tube = std::make_unique<Spy<TunnelTubeGene>>(50.0f, 5.0f);
        reactor->planes = std::make_unique<Spy<TunnelPlaneGene>>(50.0f, 1.0f);
    }
    Ints draws() {
        return {static_cast<Spy<TunnelTubeGene>&>(*reactor->tube).draws,
                static_cast<Spy<TunnelPlaneGene>&>(*reactor->planes).draws};
    }
};

// A textured quad of side 2 about the origin at z = 0, front (ccw) or back facing.
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
    // A model set of quads, by file name and winding, in a fresh directory.
    std::unique_ptr<ModelGene> modelSet(const std::string& dir, const std::vector<std::pair<std::string, bool>>& quads) {
        tree.makeDirectory(dir);
        for (const auto& [name, ccw] : quads) tree.write(dir + "/" + name, quadText(ccw));
        std::unique_ptr<ModelGene> gene;
        captureStdout([&] { gene = std::make_unique<ModelGene>(dir.c_str()); });
        return gene;
    }
    TempStage tree{"objreactor"};
};

class RippleObjViewerTest : public ReactorFixture<RippleObjViewer> {
protected:
    void SetUp() override {
        ReactorFixture::SetUp();
        controls->setByte(15, 0, 1, 16);  // frame milliseconds
        qelSetRandState(1);
    }
    std::unique_ptr<RippleObjViewer> makeReactor() override { return square(0.0f); }
    // A square of side 1 centred on the z axis at depth z; two loose points
    // make the bounding box -1 .. 1 on every axis, so the model's scale is 1.
    std::unique_ptr<RippleObjViewer> square(float z) {
        const std::string d = std::to_string(z);
        const std::string path = tree.write("square.obj", "v -0.5 -0.5 " + d + "\nv 0.5 -0.5 " + d + "\nv 0.5 0.5 " + d +
                                                              "\nv -0.5 0.5 " + d + "\nv -1 -1 -1\nv 1 1 1\nf 1 2 3 4\n");
        std::unique_ptr<RippleObjViewer> viewer;
        captureStdout([&] { viewer = std::make_unique<RippleObjViewer>(path.c_str()); });
        viewer->setControls(controls.get());
        viewer->setChannel(kChannel);
        return viewer;
    }
    // The slice pass must hand the whole screen back to the picture.
    void frame(int frames = 1) {
        renderReactorFrames(*reactor, frames);
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_TRUE(viewport[2] == 640 && viewport[3] == 480) << viewport[2] << " x " << viewport[3];
    }
    int sliceCells() const {  // lit cells of the slice
        return static_cast<int>(std::count_if(reactor->slice.begin(), reactor->slice.end(), [](float v) { return v > .5f; }));
    }
    TempStage tree{"rippleobj"};
};

}  // namespace

// Angles wrap above 360 only; translation moves by 5 x (28, -92, 91), z rotation turns x into y.
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

// Scroll 0.03 x 10 x 2 a frame, wrapped into 0 .. 1; tex-gen off near controller 31's centre.
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

    for (auto [n, v] : {std::pair{31, 0.04f}, {95, 1.0f}}) setControl(n, v);
    glEnable(GL_TEXTURE_GEN_S);
    reactor->textureGen();
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S) || glIsEnabled(GL_TEXTURE_GEN_T) || reactor->texAngleS != 0.0f);
    controls->setByte(15, 0, 1, 20);  // 20 ms frames
    for (auto [n, v] : {std::pair{31, 0.5f}, {95, -1.0f}}) setControl(n, v);
    reactor->setTimeFactor(1.0f);
    reactor->textureGen();
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_S) && glIsEnabled(GL_TEXTURE_GEN_T));
    float plane[4];
    glGetTexGenfv(GL_S, GL_OBJECT_PLANE, plane);  // angles 20 x 0.03 x 1 x (0.5, -1)
    expectNear({reactor->texAngleS, reactor->texAngleT, plane[0], plane[3]},
               {0.3f, -0.6f, std::cos(0.3f * 3.1415926f / 180.0f) * 0.5f / 2.6f, 0.5f}, 1e-5f);
}

// Controller 25 steps (or, with 89 below 0, picks) the fraction; help pages run 0 to 15.
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

// Mode 0 is off, 1 turns (wrapping past 360) and drifts (past 1) or sets angles, 2 maps a sphere.
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

// Flo (8) and indexes outside the table give no reactor, between the loader's two lines.
TEST(ReactorLoader, GivesNullForFloAndUnknownIndexes) {
    ASSERT_TRUE(ensureGlContext());
    for (const auto& [index, middle] : {std::pair{8, "Loading ... : Flo \n"}, {12, ""}, {-1, ""}}) {
        std::unique_ptr<Reactor> reactor;
        const std::string out = captureStdout([&] { reactor = loadReactor(index, 0); });
        EXPECT_EQ(out, "Reactor Loader  --" + std::to_string(index) + "\n" + middle + "Reactor Loader complete\n");
        EXPECT_EQ(reactor, nullptr);
    }
}

class ReactorPictures : public ::testing::TestWithParam<int> {};

// Every loader reactor in each controller-22 mode: it draws, balances the stacks,
// leaves the GL state of its table, raises no GL error and allocates nothing.
TEST_P(ReactorPictures, DrawsBalancedWithoutErrorsOrAllocations) {
    ASSERT_TRUE(ensureGlContext());
    const int index = GetParam(), channel = 3;
    std::unique_ptr<Reactor> reactor;
    captureStdout([&] { reactor = loadReactor(index, 0); });
    ASSERT_EQ(reactor == nullptr, index == 8);
    if (!reactor) GTEST_SKIP() << "no reactor at index " << index;
    // After a draw from the reset state (depth on, all else off, front faces anticlockwise).
    const char* const kLeft[] = {"depth texture ccw", "depth texture ccw",      "depth blend texture ccw",
                                 "texture ccw",       "depth texture ccw",      "depth texture ccw",
                                 "cull texture ccw",  "texture cw",             "",
                                 "blend texture ccw", "blend ccw",              "depth texture ccw"};

    auto table = std::make_unique<ControlTable>();
    auto setControl = [&](int n, float v) { table->floatValue[ControlTable::indexOf(channel, 0, n)] = v; };
    for (int n : {17, 19, 23, 28, 29, 31}) setControl(n, 0.3f);  // drift, scroll, particle speed, spin, texture generation
    setControl(87, -0.3f);
    WaveInput wave;
    for (int j = 0; j < 512; ++j)  // left and right interleaved
        wave.current->bytes[j] = static_cast<uint8_t>(128 + (j % 2 ? 30 : 60) * std::sin(j / 2 * (j % 2 ? 0.1f : 0.2f)));
    wave.leftLevel = wave.rightLevel = 0.4f;
    reactor->setControls(table.get());
    reactor->setChannel(channel);
    reactor->setWave(&wave);
    // The bundled models, for the Obj viewer (built once, kept for the run).
    static std::unique_ptr<ModelGene> models;
    if (!models) captureStdout([&] { models = std::make_unique<ModelGene>(STRATA_SOURCE_DIR "/stage/mdls"); });
    reactor->setModelSet(models.get());

    const float modes[] = {0.0f, -0.25f, -1.0f};
    for (int m = 0; m < 3; ++m) {
        SCOPED_TRACE(testing::Message() << "loader index " << index << ", controller 22 at " << modes[m]);
        setControl(22, modes[m]);
        resetGlState();
        while (glGetError() != GL_NO_ERROR) continue;
        bindTestTexture();
        const MatrixDepths before = matrixDepths();
        renderReactorFrames(*reactor, 20);
        EXPECT_EQ(matrixDepths(), before);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        EXPECT_GT(litPixels(readScreen()), 640 * 480 / 100);
        CountAllocations count;
        renderReactorFrames(*reactor, 10);
        EXPECT_EQ(count.count(), 0) << "a running frame allocates";
        resetGlState();
        bindTestTexture();
        MatrixModeKeeper keeper;
        reactor->setMatrixKeeper(&keeper);
        reactor->draw();
        reactor->setMatrixKeeper(nullptr);
        EXPECT_EQ(leftState(), kLeft[index]);
    }
    resetGlState();
}

INSTANTIATE_TEST_SUITE_P(LoaderIndexes, ReactorPictures, ::testing::Range(0, 12));

class CloudTest : public ReactorFixture<Cloud> {
protected:
    void SetUp() override {
        ReactorFixture::SetUp();
        controls->byteValue[ControlTable::indexOf(15, 0, 1)] = 33;  // frame milliseconds
    }
};

// Plane i scrolls the texture by 1 / (0.9 i + 1); controller 86 picks four, five or six.
TEST_F(CloudTest, Controller86ChoosesFourFiveOrSixPlanes) {
    setControl(29, 1.0f);
    for (const auto& [value, count] : {std::pair{-1.0f, 4}, {-0.001f, 4}, {0.0f, 5}, {0.999f, 5}, {1.0f, 6}, {7.0f, 6}}) {
        setControl(86, value);
        reactor->texScrollS = 0.0f;
        reactor->draw();
        float scroll = 0.0f;
        for (int i = count - 1; i >= 0; --i) scroll += 0.03f / (0.9f * i + 1.0f);
        EXPECT_NEAR(reactor->texScrollS, scroll, 1e-5f) << "controller 86 at " << value;
        EXPECT_EQ(reactor->texScrollT, 0.0f);
    }
}

// 0.297 a frame, wrapping at (and exactly at) the spacing 3; no spacing, no drift.
TEST_F(CloudTest, DriftFollowsFrameTimeAndWrapsAtTheSpacing) {
    setControl(17, 1.0f);
    for (int frame = 0; frame < 16; ++frame) reactor->draw();
    EXPECT_NEAR(reactor->phase, -2.0f + 16 * 0.297f, 1e-4f);
    reactor->draw();  // 3.049 reaches the spacing 3
    EXPECT_NEAR(reactor->phase, 0.049f, 1e-4f);
    setControl(17, -0.5f);
    reactor->draw();
    EXPECT_NEAR(reactor->phase, 0.049f, 1e-4f);
    reactor->phase = 3.0f;
    reactor->draw();
    EXPECT_EQ(reactor->phase, 0.0f);
    setControl(17, 1.0f);
    setControl(81, -1.0f);
    for (int frame = 0; frame < 4; ++frame) reactor->draw();
    EXPECT_EQ(reactor->phase, 0.0f);
}

using WaveTest = ReactorFixture<Wave>;

// Both impulses are stamped every update (the wave step itself: the wave golden).
TEST_F(WaveTest, StartControlsStampTheKernelAtColumns78And42) {
    reactor->update();
    EXPECT_FLOAT_EQ(reactor->radius, 63 * 0.3f);
    const Ints kStamp = {18, 28, 32, 28, 28, 41, 48, 41, 32, 48, 64, 48, 28, 41, 48, 41};
    const int* stamped = reactor->otherPlaneData();
    int total = 0;
    for (int n = 0; n < Wave::kColumns * 90; ++n) total += stamped[n];
    EXPECT_EQ(total, 2 * 614) << "two stamps and nothing else";
    for (int centre : {78, 42}) {
        Ints block;
        for (int n = 0; n < 16; ++n) block.push_back(stamped[(43 + n / 4) * Wave::kColumns + centre - 2 + n % 4]);
        EXPECT_EQ(block, kStamp) << centre;
    }
}

// The radius is capped; the angle wraps past pi only going forwards.
TEST_F(WaveTest, RadiusAndAngleFollowTheControls) {
    for (auto [byte, radius] : {std::pair{127, 38.1f}, {200, 43.0f}}) {
        setByte(81, byte);
        reactor->update();
        EXPECT_FLOAT_EQ(reactor->radius, radius);
    }
    setByte(17, 127);
    for (int k = 0; k < 4; ++k) reactor->update();
    EXPECT_NEAR(reactor->angle, 2.56f, 1e-4f);
    reactor->update();
    EXPECT_FLOAT_EQ(reactor->angle, -3.14159f);
    for (auto [n, v] : {std::pair{17, 0}, {81, 100}}) setByte(n, v);
    for (int k = 0; k < 10; ++k) reactor->update();
    EXPECT_LT(reactor->angle, -3.14159f * 3);
    const int dx = static_cast<int>(std::cos(reactor->angle) * 30.0f);
    const int dy = static_cast<int>(std::sin(reactor->angle) * 30.0f);
    EXPECT_EQ(Ints({reactor->impulseColumn[0], reactor->impulseRow[0], reactor->impulseColumn[1], reactor->impulseRow[1]}),
              Ints({60 + dx, 45 + dy, 60 - dx, 45 - dy}));
}

TEST_F(TunnelTest, Controller22ChoosesGeneAndPrimitive) {
    const std::tuple<float, bool, GLenum> cases[] = {  // controller 22, tube?, its primitive
        {0.0f, false, GL_TRIANGLE_FAN}, {0.7f, false, GL_TRIANGLE_FAN},    {-0.25f, true, GL_TRIANGLE_FAN},
        {-0.5f, true, GL_TRIANGLE_FAN}, {-0.51f, true, GL_TRIANGLE_STRIP}, {-1.0f, true, GL_TRIANGLE_STRIP}};
    for (const auto& [value, isTube, primitive] : cases) {
        const Ints before = draws();
        setControl(22, value);
        reactor->draw();
        EXPECT_EQ(draws(), Ints({before[0] + isTube, before[1] + !isTube})) << value;
        EXPECT_EQ(reactor->tube->primitive, primitive) << value;
    }
}

// A hundredth of a turn per frame at full speed; only above 1 is reduced.
TEST_F(TunnelTest, SpinAddsOneHundredthTurnPerFrameAndWrapsAboveOne) {
    const float cases[][3] = {{0.0f, 1.0f, 0.01f}, {0.995f, 1.0f, 0.005f}, {1.0f, 0.0f, 1.0f}, {-3.0f, -1.0f, -3.01f}};
    for (const auto& [start, speed, after] : cases) {
        reactor->spin = start;
        setControl(28, speed);
        reactor->draw();
        EXPECT_NEAR(reactor->spin, after, 1e-5f) << start;
    }
}

TEST_F(ObjReactorTest, ControllerSeventeenChoosesTheModelAcrossTheSet) {
    auto set = modelSet("mdls", {{"m0.obj", true}, {"m1.obj", true}, {"m2.obj", true}, {"m3.obj", true}});
    reactor->update();  // no model set: nothing to choose
    EXPECT_EQ(reactor->currentModel, nullptr);
    reactor->setModelSet(set.get());
    for (const auto& [control, model] : {std::pair{-1.0f, 0}, {0.0f, 2}, {0.5f, 3}, {1.0f, 0}, {-0.6f, 0}, {-0.4f, 1}}) {
        setControl(17, control);
        reactor->update();
        EXPECT_EQ(reactor->currentModel, set->models->models[model].get()) << control;
    }
}

// Inherited culling hides neither winding (about 515 x 480 pixels); no models draw nothing.
TEST_F(ObjReactorTest, BothSidesShowAndStacksBalanceWithOrWithoutAModel) {
    auto set = modelSet("mdls", {{"a_front.obj", true}, {"b_back.obj", false}});
    auto empty = modelSet("empty", {});
    bindTestTexture();
    for (ModelGene* models : {static_cast<ModelGene*>(nullptr), empty.get()}) {
        reactor->setModelSet(models);
        const MatrixDepths before = matrixDepths();
        renderReactorFrames(*reactor, 1);
        EXPECT_TRUE(matrixDepths() == before && litPixels(readScreen()) == 0);
    }
    reactor->setModelSet(set.get());
    for (float control : {-1.0f, 0.0f}) {
        setControl(17, control);
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CW);
        renderReactorFrames(*reactor, 1);
        EXPECT_NEAR(litPixels(readScreen()), 515 * 480, 3 * 480) << control;
    }
    glFrontFace(GL_CCW);
}

// The unit square fills about 22 x 22 cells about (40, 30) while inside the slab.
TEST_F(RippleObjViewerTest, SliceReadsBackTheModelBetweenTheClipPlanes) {
    frame();
    for (const auto& [c, r, v] : {std::tuple{40, 30, 1.0f}, {30, 20, 1.0f}, {50, 40, 1.0f}, {27, 30, 0.0f}, {40, 43, 0.0f}})
        EXPECT_EQ(reactor->slice[r * RippleObjViewer::kSliceWidth + c], v) << c << "," << r;
    for (const auto& [z, cells, within] : {std::tuple{0.0f, 22 * 22, 50}, {0.02f, 22 * 22, 60}, {0.2f, 0, 0}}) {
        reactor = square(z);
        frame();
        EXPECT_NEAR(sliceCells(), cells, within) << z;
    }
}

// A 16:9 screen widens the view, but the 4:3 slice viewport still sees the
// model as at 4:3 (unnarrowed, the square would span about 16 cells, not 22).
TEST_F(RippleObjViewerTest, SliceIsTheSameOnAWideScreen) {
    frame();
    const std::vector<float> fourByThree = reactor->slice;
    ScreenInfo& screen = *screenInfo();
    screen.drawWidth = 1280;
    screen.drawHeight = 720;
    glViewport(0, 0, 1280, 720);
    reactor = square(0.0f);
    renderReactorFrames(*reactor, 1);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    screen.drawWidth = 640;
    screen.drawHeight = 480;
    glViewport(0, 0, 640, 480);
    EXPECT_EQ(viewport[2], 1280);  // handed back as it was
    EXPECT_TRUE(reactor->slice == fourByThree) << sliceCells() << " lit cells";
}

// Inside the square: (4 x 0.6 x 0.5) x 0.98; at strength -1 the slice adds nothing.
TEST_F(RippleObjViewerTest, SliceIsStampedIntoTheRippleScaledByControllerNineteen) {
    setControl(19, 1.0f);
    frame();
    EXPECT_NEAR(reactor->ripple->heightAt(40, 30), 1.176f, 1e-4f);
    EXPECT_EQ(Floats({reactor->ripple->heightAt(10, 10), reactor->ripple->heightAt(70, 50)}), Floats({0, 0}));
    reactor = square(0.0f);
    setControl(19, -1.0f);
    frame(3);
    EXPECT_GT(sliceCells(), 0);
    float largest = 0.0f;
    for (int n = 0; n < 80 * 60; ++n) largest = std::max(largest, std::fabs(reactor->ripple->heightAt(n % 80, n / 80)));
    EXPECT_EQ(largest, 0.0f);
}
