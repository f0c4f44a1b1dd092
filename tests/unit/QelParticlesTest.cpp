#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "support/AllocationCounter.h"
#include "support/GlTestContext.h"
#include "PictureSupport.h"
#include "app/ControlTable.h"
#include "input/WaveInput.h"
#include "reactor/Random.h"
#include "reactor/ReactorLoader.h"
#include "reactors/Particles1.h"
#include "reactors/qelParticles.h"

namespace {

// An independent copy of the generator's rule, to know which numbers the
// gene must have drawn.
struct Lcg {
    uint32_t state;
    int next() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 32767u);
    }
};

void expectedDirection(Lcg& lcg, double u[3]) {
    double r[3];
    for (double& v : r) v = lcg.next() / 16386.0 - 1.0;
    const double length = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]);
    for (int a = 0; a < 3; ++a) u[a] = r[a] / length;
}

void setControl(ControlTable& table, int channel, int n, float value) {
    table.floatValue[ControlTable::indexOf(channel, 0, n)] = value;
}

}  // namespace

TEST(QelParticles, ConstructionDefaultsAndInitKillsEveryParticle) {
    qelParticles gene(40);
    EXPECT_EQ(gene.pool, 40);
    EXPECT_EQ(gene.active, 40);
    EXPECT_EQ(gene.stride, 10);
    for (int a = 0; a < 3; ++a) {
        EXPECT_FLOAT_EQ(gene.damping[a], 0.985f);
        EXPECT_FLOAT_EQ(gene.speed[a], 0.2f);
        EXPECT_FLOAT_EQ(gene.centre[a], 0.1f);
        EXPECT_FLOAT_EQ(gene.spread[a], 0.0f);
        EXPECT_FLOAT_EQ(gene.acceleration[a], 0.0f);
    }
    for (int i = 0; i < 40; ++i) EXPECT_FLOAT_EQ(gene.record(i)[qelParticles::kLife], -1.0f);

    // A pool below one still has one record to visit.
    qelParticles empty(0);
    EXPECT_EQ(empty.pool, 1);
    EXPECT_EQ(empty.active, 1);
    empty.update();
}

TEST(QelParticles, SettersMapControllerValues) {
    qelParticles gene(1280);

    // Controller 18 at -1 gives one particle, at +1 (or beyond) the pool.
    gene.setActive((-1.0f + 1.0f) * 0.5f);
    EXPECT_EQ(gene.active, 1);
    gene.setActive((1.0f + 1.0f) * 0.5f);
    EXPECT_EQ(gene.active, 1280);
    gene.setActive(7.0f);
    EXPECT_EQ(gene.active, 1280);
    gene.setActive(0.5f);
    EXPECT_EQ(gene.active, 640);
    gene.setActive(0.0009f);  // 1.152 particles: the integer part
    EXPECT_EQ(gene.active, 1);
    gene.setActive(std::nanf(""));
    EXPECT_EQ(gene.active, 1);
    gene.setActive(-1e30f);
    EXPECT_EQ(gene.active, 1);

    // Controller 21: 0 -> 0.98, 1 -> 0.78, -1 -> 1.18 (speeding up).
    gene.setDamping(0.0f);
    EXPECT_FLOAT_EQ(gene.damping[0], 0.98f);
    gene.setDamping(1.0f);
    EXPECT_FLOAT_EQ(gene.damping[1], 0.78f);
    gene.setDamping(-1.0f);
    EXPECT_FLOAT_EQ(gene.damping[2], 1.18f);

    gene.setSize(0.5f, -0.05f);
    EXPECT_FLOAT_EQ(gene.halfWidth, 0.6f);
    EXPECT_FLOAT_EQ(gene.halfHeight, 0.05f);
    gene.setGravity(-0.5f);
    EXPECT_FLOAT_EQ(gene.acceleration[0], 0.0f);
    EXPECT_FLOAT_EQ(gene.acceleration[1], -0.005f);
    EXPECT_FLOAT_EQ(gene.acceleration[2], 0.0f);
    gene.setSpread(0.5f, -0.25f);
    EXPECT_FLOAT_EQ(gene.spread[0], 3.0f);
    EXPECT_FLOAT_EQ(gene.spread[1], -1.5f);
    EXPECT_FLOAT_EQ(gene.spread[2], 0.75f);
    gene.setSpeed(1.0f, 0.5f);
    EXPECT_FLOAT_EQ(gene.speed[0], 0.3f);
    EXPECT_FLOAT_EQ(gene.speed[1], 0.15f);
    EXPECT_FLOAT_EQ(gene.speed[2], 0.3f);
    gene.setCentre(0.5f, 0.25f);
    EXPECT_FLOAT_EQ(gene.centre[0], 3.0f);
    EXPECT_FLOAT_EQ(gene.centre[1], -1.5f);
    EXPECT_FLOAT_EQ(gene.centre[2], 0.075f);
}

TEST(QelParticles, LifeControllerKillsOnlyActiveParticlesBelowMinusHalf) {
    qelParticles gene(10);
    for (int i = 0; i < 10; ++i) gene.record(i)[qelParticles::kLife] = 42.0f;
    gene.setActive(0.5f);  // five active
    gene.setLife(-0.5f, 0.3f);  // not below -0.5: nothing dies
    EXPECT_FLOAT_EQ(gene.record(0)[qelParticles::kLife], 42.0f);
    EXPECT_FLOAT_EQ(gene.lifeVariation, 0.3f);
    gene.setLife(-0.51f, 0.0f);
    for (int i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(gene.record(i)[qelParticles::kLife], -1.0f);
    for (int i = 5; i < 10; ++i) EXPECT_FLOAT_EQ(gene.record(i)[qelParticles::kLife], 42.0f);
}

TEST(QelParticles, IntegratesOneParticleStepByStep) {
    qelParticles gene(1);
    float* p = gene.record(0);
    p[0] = 1.0f, p[1] = 2.0f, p[2] = 3.0f;
    p[3] = 0.5f, p[4] = -0.25f, p[5] = 1.0f;
    p[9] = 10.0f;
    gene.setGravity(2.0f);   // acceleration (0, 0.02, 0)
    gene.setDamping(0.5f);   // 0.88 per step
    gene.timeStep = 1.0f;

    // Position moves by the old velocity; the velocity gains the
    // acceleration and is then damped.
    const double expected[3][7] = {
        {1.5, 1.75, 4.0, 0.44, -0.2024, 0.88, 9.0},
        {1.94, 1.5476, 4.88, 0.3872, -0.160512, 0.7744, 8.0},
        {2.3272, 1.387088, 5.6544, 0.340736, -0.12365056, 0.681472, 7.0},
    };
    for (const auto& step : expected) {
        gene.update();
        for (int a = 0; a < 6; ++a) EXPECT_NEAR(p[a], step[a], 1e-5) << "component " << a;
        EXPECT_FLOAT_EQ(p[9], static_cast<float>(step[6]));
    }

    // A half time step halves every change.
    gene.timeStep = 0.5f;
    gene.update();
    EXPECT_NEAR(p[0], 2.3272 + 0.5 * 0.340736, 1e-5);
    EXPECT_NEAR(p[4], (-0.12365056 + 0.5 * 0.02) * 0.88, 1e-6);
    EXPECT_FLOAT_EQ(p[9], 6.5f);
}

TEST(QelParticles, RebirthUsesTheProcessGeneratorInIndexOrder) {
    qelParticles gene(3);
    gene.setSpread(0.5f, 0.25f);  // (3, 1.5, 2.25)
    gene.setSpeed(1.0f, -1.0f);   // (0.3, -0.3, 0)
    gene.setCentre(0.1f, 0.2f);   // (0.6, -1.2, 0.03)
    gene.setLife(0.0f, 0.4f);
    gene.record(0)[9] = 0.5f;   // goes below 0 this step: reborn
    gene.record(1)[9] = 1.0f;   // reaches exactly 0: stays
    gene.record(2)[9] = std::nanf("");  // NaN counts as below 0
    for (int i = 0; i < 3; ++i)
        for (int a = 3; a < 6; ++a) gene.record(i)[a] = 0.0f;

    const uint32_t start = 987654321u;
    qelSetRandState(start);
    gene.update();

    Lcg lcg{start};
    for (int i : {0, 2}) {
        double u[3];
        expectedDirection(lcg, u);
        const float* p = gene.record(i);
        EXPECT_NEAR(p[3], u[0] * 0.3, 1e-6);
        EXPECT_NEAR(p[4], u[1] * -0.3, 1e-6);
        EXPECT_NEAR(p[5], 0.0, 1e-6);
        EXPECT_NEAR(p[0], u[0] * 3.0 + 0.6, 1e-5);
        EXPECT_NEAR(p[1], u[1] * 1.5 - 1.2, 1e-5);
        EXPECT_NEAR(p[2], u[2] * 2.25 + 0.03, 1e-5);
        EXPECT_NEAR(p[9], 50.0 * 0.4 * u[0] + 150.0, 1e-4);
        EXPECT_NEAR(std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]), 1.0, 1e-9);
    }
    EXPECT_FLOAT_EQ(gene.record(1)[9], 0.0f);
    EXPECT_EQ(qelRandState(), lcg.state) << "three draws per rebirth, none for the survivor";

    // Life exactly 0 is reborn one step later.
    gene.update();
    EXPECT_GT(gene.record(1)[9], 100.0f);
}

TEST(QelParticles, UnitDirectionOfTheZeroDrawPointsUp) {
    float u[3];
    qelParticles::unitDirection(16386, 16386, 16386, u);
    EXPECT_FLOAT_EQ(u[0], 0.0f);
    EXPECT_FLOAT_EQ(u[1], 1.0f);
    EXPECT_FLOAT_EQ(u[2], 0.0f);
    qelParticles::unitDirection(0, 16386, 16386, u);  // (-1, 0, 0)
    EXPECT_FLOAT_EQ(u[0], -1.0f);
    EXPECT_FLOAT_EQ(u[1], 0.0f);
    qelParticles::unitDirection(32767, 0, 16386, u);
    EXPECT_NEAR(u[0] * u[0] + u[1] * u[1] + u[2] * u[2], 1.0f, 1e-6f);
    EXPECT_GT(u[0], 0.0f);
    EXPECT_LT(u[1], 0.0f);
}

TEST(QelParticles, InactiveRecordsKeepTheirValues) {
    qelParticles gene(4);
    gene.update();  // all born
    const float kept = gene.record(3)[0];
    gene.setSpeed(1.0f, 1.0f);
    gene.setActive(0.5f);
    for (int n = 0; n < 5; ++n) gene.update();
    EXPECT_EQ(gene.record(3)[0], kept);
}

// ------------------------------------------------------------- Particles1

TEST(Particles1, AllControllersAtCentreKeepSpritesAtTheOrigin) {
    auto table = std::make_unique<ControlTable>();
    Particles1 reactor(64);
    reactor.setControls(table.get());
    reactor.setChannel(3);
    reactor.update();  // wave is null: silence
    qelParticles& gene = *reactor.particles;
    EXPECT_EQ(gene.active, 32);  // controller 18 at 0: half the pool
    EXPECT_FLOAT_EQ(gene.halfWidth, 0.1f);
    EXPECT_FLOAT_EQ(gene.halfHeight, 0.1f);
    EXPECT_FLOAT_EQ(gene.damping[0], 0.98f);
    for (int n = 0; n < 3; ++n) reactor.update();
    for (int i = 0; i < gene.active; ++i)
        for (int a = 0; a < 6; ++a) EXPECT_FLOAT_EQ(gene.record(i)[a], 0.0f);
}

TEST(Particles1, ReadsItsChannelAndTheWaveLevels) {
    auto table = std::make_unique<ControlTable>();
    const int ch = 5;
    setControl(*table, ch, 24, 0.5f);
    setControl(*table, ch, 88, -0.5f);
    setControl(*table, ch, 18, 1.0f);
    setControl(*table, ch, 85, -1.0f);
    setControl(*table, ch, 21, 1.0f);
    setControl(*table, ch, 22, 0.5f);
    setControl(*table, ch, 86, 0.25f);
    setControl(*table, ch, 23, 0.5f);
    setControl(*table, ch, 87, 0.5f);
    setControl(*table, ch, 83, 0.7f);
    setControl(*table, ch, 81, 0.2f);
    setControl(*table, ch, 17, 0.1f);
    setControl(*table, 0, 24, 0.9f);  // another channel: not read

    WaveInput wave;
    wave.rightLevel = 0.5f;
    wave.leftLevel = 0.25f;
    Particles1 reactor(100);
    reactor.setControls(table.get());
    reactor.setChannel(ch);
    reactor.setWave(&wave);
    reactor.update();
    const qelParticles& gene = *reactor.particles;
    EXPECT_FLOAT_EQ(gene.halfWidth, 0.5f * 1.5f + 0.1f);
    EXPECT_FLOAT_EQ(gene.halfHeight, -0.5f * 1.25f + 0.1f);
    EXPECT_EQ(gene.active, 100);
    EXPECT_FLOAT_EQ(gene.acceleration[1], -0.01f);
    EXPECT_FLOAT_EQ(gene.damping[0], 0.78f);
    EXPECT_FLOAT_EQ(gene.spread[2], 2.25f);
    EXPECT_FLOAT_EQ(gene.speed[2], 0.2f);
    EXPECT_FLOAT_EQ(gene.lifeVariation, 0.7f);
    EXPECT_FLOAT_EQ(gene.centre[1], -0.6f);

    // Controller 19 below -0.5: every particle sits on the birth surface each
    // frame (the ellipsoid around the centre with radii spread).
    setControl(*table, ch, 19, -1.0f);
    for (int frame = 0; frame < 3; ++frame) {
        reactor.update();
        for (int i = 0; i < gene.active; ++i) {
            const float* p = gene.record(i);
            double r = 0.0;
            for (int a = 0; a < 3; ++a) {
                const double u = (p[a] - gene.centre[a]) / gene.spread[a];
                r += u * u;
            }
            ASSERT_NEAR(r, 1.0, 1e-4) << "particle " << i;
        }
    }
}

TEST(Particles1, UpdateAllocatesNothing) {
    auto table = std::make_unique<ControlTable>();
    setControl(*table, 0, 23, 0.8f);
    setControl(*table, 0, 18, 1.0f);
    Particles1 reactor(1280);
    reactor.setControls(table.get());
    reactor.update();
    CountAllocations count;
    for (int frame = 0; frame < 200; ++frame) reactor.update();
    EXPECT_EQ(count.count(), 0);
}

TEST(Particles1, LoaderBuildsItAtIndexFour) {
    testing::internal::CaptureStdout();
    std::unique_ptr<Reactor> reactor(loadReactor(4));
    const std::string out = testing::internal::GetCapturedStdout();
    auto* particles = dynamic_cast<Particles1*>(reactor.get());
    ASSERT_NE(particles, nullptr);
    EXPECT_EQ(particles->poolSize, 1280);
    EXPECT_EQ(particles->particles->pool, 1280);
    EXPECT_EQ(out,
              "Reactor Loader  --4\nLoading ... : Particles1 \nParticle Viewr \nGenerating Particle Gene\n"
              "qelParticles 1280 \nModelFile not found...use defalt particle draw\nReactor Loader complete\n");
}

TEST(Particles1, DrawsAFountainOfTexturedSprites) {
    if (!ensureGlContext()) return;
    resetGlState();
    auto table = std::make_unique<ControlTable>();
    const int ch = 2;
    setControl(*table, ch, 18, 1.0f);    // the whole pool
    setControl(*table, ch, 23, 0.1f);    // speed
    setControl(*table, ch, 87, 0.15f);
    setControl(*table, ch, 85, -0.1f);   // falling
    setControl(*table, ch, 22, 0.05f);   // small birth ellipsoid
    setControl(*table, ch, 86, 0.05f);
    setControl(*table, ch, 17, -0.1f);   // born above the centre
    setControl(*table, ch, 83, 0.5f);
    setControl(*table, ch, 24, 0.05f);
    setControl(*table, ch, 88, 0.05f);
    WaveInput wave;
    wave.rightLevel = 0.4f;
    wave.leftLevel = 0.1f;

    Particles1 reactor(1280, nullptr);
    reactor.setControls(table.get());
    reactor.setChannel(ch);
    reactor.setWave(&wave);
    bindTestTexture();
    const MatrixDepths before = matrixDepths();
    // Let the fountain run (births spread out over the life variation), then
    // draw its last frames.
    for (int frame = 0; frame < 240; ++frame) reactor.update();
    renderReactorFrames(reactor, 2);
    EXPECT_EQ(matrixDepths(), before);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    const std::vector<uint8_t> screen = readScreen();
    const int lit = litPixels(screen);
    EXPECT_GT(lit, 640 * 480 / 50) << "the fountain covers a good part of the screen";
    EXPECT_LT(lit, 640 * 480) << "and not all of it";
    EXPECT_GT(distinctHues(screen), 3) << "colours from the texture and the ageing";
    savePictureIfAsked("particles1.png");
    resetGlState();
}
