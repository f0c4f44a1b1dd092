#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "input/WaveInput.h"
#include "reactor/Random.h"
#include "reactor/ReactorLoader.h"
#include "reactors/Particles1.h"
#include "reactors/qelParticles.h"
#include "support/ReactorFixture.h"

TEST(QelParticles, ActiveDampingAndLifeControllersAtTheirEdges) {
    qelParticles gene(1280);
    const float fractions[] = {0.0f, 1.0f, 7.0f, 0.5f, 0.0009f, std::nanf(""), -1e30f};
    const int actives[] = {1, 1280, 1280, 640, 1, 1, 1};
    for (int k = 0; k < 7; ++k) {
        gene.setActive(fractions[k]);
        EXPECT_EQ(gene.active, actives[k]) << fractions[k];
    }
    // Controller 21: 0 -> 0.98, 1 -> 0.78, -1 -> 1.18 (speeding up).
    const float dampings[][2] = {{0.0f, 0.98f}, {1.0f, 0.78f}, {-1.0f, 1.18f}};
    for (const auto& d : dampings) {
        gene.setDamping(d[0]);
        for (float factor : gene.damping) EXPECT_FLOAT_EQ(factor, d[1]);
    }
    // The life controller kills the active particles only below -0.5.
    qelParticles few(10);
    for (int i = 0; i < 10; ++i) few.record(i)[qelParticles::kLife] = 42.0f;
    few.setActive(0.5f);
    few.setLife(-0.5f, 0.3f);
    EXPECT_FLOAT_EQ(few.record(0)[qelParticles::kLife], 42.0f);
    few.setLife(-0.51f, 0.0f);
    for (int i = 0; i < 10; ++i) EXPECT_FLOAT_EQ(few.record(i)[qelParticles::kLife], i < 5 ? -1.0f : 42.0f) << i;
    // A pool below one still has one record to visit.
    qelParticles empty(0);
    EXPECT_EQ(empty.active, 1);
    empty.update();
}

TEST(QelParticles, IntegratesStepByStepAndLeavesInactiveRecords) {
    qelParticles gene(2);
    float* p = gene.record(0);
    const float start[10] = {1.0f, 2.0f, 3.0f, 0.5f, -0.25f, 1.0f, 0.0f, 0.0f, 0.0f, 10.0f};
    std::copy(start, start + 10, p);
    gene.record(1)[9] = -5.0f;  // dead, but inactive: never reborn
    gene.setActive(0.5f);
    gene.setGravity(2.0f);  // acceleration (0, 0.02, 0)
    gene.setDamping(0.5f);  // 0.88 per step
    // Position moves by the old velocity; the velocity gains the acceleration
    // and is then damped; life loses one.
    const double expected[2][7] = {{1.5, 1.75, 4.0, 0.44, -0.2024, 0.88, 9.0},
                                   {1.94, 1.5476, 4.88, 0.3872, -0.160512, 0.7744, 8.0}};
    for (const auto& step : expected) {
        gene.update();
        for (int a = 0; a < 6; ++a) EXPECT_NEAR(p[a], step[a], 1e-5) << "component " << a;
        EXPECT_FLOAT_EQ(p[9], static_cast<float>(step[6]));
    }
    gene.timeStep = 0.5f;  // a half time step halves every change
    gene.update();
    EXPECT_NEAR(p[0], 1.94 + 0.5 * 0.3872, 1e-5);
    EXPECT_NEAR(p[4], (-0.160512 + 0.5 * 0.02) * 0.88, 1e-6);
    EXPECT_FLOAT_EQ(p[9], 7.5f);
    EXPECT_FLOAT_EQ(gene.record(1)[9], -5.0f);
}

TEST(QelParticles, RebirthDrawsThreeNumbersPerDeadParticleInIndexOrder) {
    qelParticles gene(3);
    gene.setSpread(0.5f, 0.25f);  // (3, 1.5, 2.25)
    gene.setSpeed(1.0f, -1.0f);   // (0.3, -0.3, 0)
    gene.setCentre(0.1f, 0.2f);   // (0.6, -1.2, 0.03)
    gene.setLife(0.0f, 0.4f);
    gene.record(0)[9] = 0.5f;           // goes below 0 this step: reborn
    gene.record(1)[9] = 1.0f;           // reaches exactly 0: stays
    gene.record(2)[9] = std::nanf("");  // NaN counts as below 0
    for (int i = 0; i < 3; ++i) std::fill(gene.record(i) + 3, gene.record(i) + 6, 0.0f);
    qelSetRandState(987654321u);
    int draws[6];
    for (int& d : draws) d = qelRand();
    const uint32_t afterSix = qelRandState();
    qelSetRandState(987654321u);
    gene.update();
    EXPECT_EQ(qelRandState(), afterSix) << "none for the survivor";
    for (int k = 0; k < 2; ++k) {
        double u[3];
        for (int a = 0; a < 3; ++a) u[a] = draws[3 * k + a] / 16386.0 - 1.0;
        const double length = std::hypot(u[0], u[1], u[2]);
        const float* p = gene.record(2 * k);
        EXPECT_NEAR(p[3], u[0] / length * 0.3, 1e-6);
        EXPECT_NEAR(p[4], u[1] / length * -0.3, 1e-6);
        EXPECT_NEAR(p[5], 0.0, 1e-6);
        EXPECT_NEAR(p[0], u[0] / length * 3.0 + 0.6, 1e-5);
        EXPECT_NEAR(p[1], u[1] / length * 1.5 - 1.2, 1e-5);
        EXPECT_NEAR(p[2], u[2] / length * 2.25 + 0.03, 1e-5);
        EXPECT_NEAR(p[9], 50.0 * 0.4 * u[0] / length + 150.0, 1e-4);
    }
    EXPECT_FLOAT_EQ(gene.record(1)[9], 0.0f);
    gene.update();  // life exactly 0 is reborn one step later
    EXPECT_GT(gene.record(1)[9], 100.0f);
    // A zero draw would divide by zero: it points up instead.
    float up[3];
    qelParticles::unitDirection(16386, 16386, 16386, up);
    EXPECT_EQ(up[0], 0.0f);
    EXPECT_EQ(up[1], 1.0f);
    EXPECT_EQ(up[2], 0.0f);
}

class Particles1Test : public ReactorFixture<Particles1> {
    std::unique_ptr<Particles1> makeReactor() override { return std::make_unique<Particles1>(100); }
};

TEST_F(Particles1Test, AllControllersAtCentreKeepSpritesAtTheOrigin) {
    for (int n = 0; n < 4; ++n) reactor->update();  // wave is null: silence
    const qelParticles& gene = *reactor->particles;
    EXPECT_EQ(gene.active, 50);
    EXPECT_FLOAT_EQ(gene.halfWidth, 0.1f);
    EXPECT_FLOAT_EQ(gene.halfHeight, 0.1f);
    for (int i = 0; i < gene.active; ++i)
        for (int a = 0; a < 6; ++a) EXPECT_FLOAT_EQ(gene.record(i)[a], 0.0f);
}

TEST_F(Particles1Test, ReadsItsChannelAndTheWaveLevels) {
    const float values[][2] = {{24, 0.5f},  {88, -0.5f}, {18, 1.0f}, {85, -1.0f}, {21, 1.0f}, {22, 0.5f},
                               {86, 0.25f}, {23, 0.5f},  {87, 0.5f}, {83, 0.7f},  {81, 0.2f}, {17, 0.1f}};
    for (const auto& v : values) setControl(static_cast<int>(v[0]), v[1]);
    controls->floatValue[ControlTable::indexOf(0, 0, 24)] = 0.9f;  // another channel: not read
    WaveInput wave;
    wave.rightLevel = 0.5f;
    wave.leftLevel = 0.25f;
    reactor->setWave(&wave);
    reactor->update();
    const qelParticles& gene = *reactor->particles;
    EXPECT_FLOAT_EQ(gene.halfWidth, 0.5f * 1.5f + 0.1f);
    EXPECT_FLOAT_EQ(gene.halfHeight, -0.5f * 1.25f + 0.1f);
    EXPECT_EQ(gene.active, 100);
    EXPECT_FLOAT_EQ(gene.acceleration[1], -0.01f);
    EXPECT_FLOAT_EQ(gene.damping[0], 0.78f);
    const float spread[3] = {3.0f, 1.5f, 2.25f}, speed[3] = {0.15f, 0.15f, 0.2f}, centre[3] = {1.2f, -0.6f, 0.03f};
    for (int a = 0; a < 3; ++a) {
        EXPECT_FLOAT_EQ(gene.spread[a], spread[a]);
        EXPECT_FLOAT_EQ(gene.speed[a], speed[a]);
        EXPECT_FLOAT_EQ(gene.centre[a], centre[a]);
    }
    EXPECT_FLOAT_EQ(gene.lifeVariation, 0.7f);

    // Controller 19 below -0.5: every particle sits on the birth surface (the
    // ellipsoid around the centre with radii spread) every frame.
    setControl(19, -1.0f);
    for (int frame = 0; frame < 3; ++frame) {
        reactor->update();
        for (int i = 0; i < gene.active; ++i) {
            double r = 0.0;
            for (int a = 0; a < 3; ++a) r += std::pow((gene.record(i)[a] - gene.centre[a]) / gene.spread[a], 2);
            ASSERT_NEAR(r, 1.0, 1e-4) << "particle " << i;
        }
    }
}

TEST(Particles1, LoaderBuildsAPoolOf1280WithTheDefaultSprite) {
    testing::internal::CaptureStdout();
    std::unique_ptr<Reactor> reactor(loadReactor(4));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Reactor Loader  --4\nLoading ... : Particles1 \nParticle Viewr \nGenerating Particle Gene\n"
              "qelParticles 1280 \nModelFile not found...use defalt particle draw\nReactor Loader complete\n");
    ASSERT_NE(dynamic_cast<Particles1*>(reactor.get()), nullptr);
    EXPECT_EQ(static_cast<Particles1*>(reactor.get())->particles->pool, 1280);
}
