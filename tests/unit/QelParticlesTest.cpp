#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "reactor/Random.h"
#include "reactors/Particles1.h"
#include "reactors/qelParticles.h"
#include "support/ReactorFixture.h"

TEST(QelParticles, ActiveShareAndLifeControllerAtTheirEdges) {
    qelParticles gene(1280);
    const std::pair<float, int> actives[] = {{0.0f, 1}, {1.0f, 1280}, {7.0f, 1280}, {0.5f, 640}, {0.0009f, 1},
                                             {std::nanf(""), 1}, {-1e30f, 1}};
    for (const auto& [fraction, active] : actives) {
        gene.setActive(fraction);
        EXPECT_EQ(gene.active, active) << fraction;
    }
    // The life controller kills the active particles only below -0.5.
    qelParticles few(10);
    for (int i = 0; i < 10; ++i) few.record(i)[9] = 42.0f;
    few.setActive(0.5f);
    for (const float kill : {-0.5f, -0.51f}) {
        few.setLife(kill, 0.3f);
        for (int i = 0; i < 10; ++i) EXPECT_FLOAT_EQ(few.record(i)[9], i < 5 && kill < -0.5f ? -1.0f : 42.0f) << i;
    }
    qelParticles empty(0);  // a pool below one still has one record to visit
    empty.update();
    EXPECT_EQ(empty.active, 1);
}

// Position moves by the old velocity; the velocity gains the acceleration and
// is then damped; life loses one. Inactive records are left alone.
TEST(QelParticles, IntegratesStepByStepAndLeavesInactiveRecords) {
    qelParticles gene(2);
    float* p = gene.record(0);
    const float start[10] = {1.0f, 2.0f, 3.0f, 0.5f, -0.25f, 1.0f, 0.0f, 0.0f, 0.0f, 10.0f};
    std::copy(start, start + 10, p);
    gene.record(1)[9] = -5.0f;  // dead, but inactive: never reborn
    gene.setActive(0.5f);
    gene.setGravity(2.0f);  // acceleration (0, 0.02, 0)
    gene.setDamping(0.5f);  // 0.88 per step
    const double expected[2][7] = {{1.5, 1.75, 4.0, 0.44, -0.2024, 0.88, 9.0},
                                   {1.94, 1.5476, 4.88, 0.3872, -0.160512, 0.7744, 8.0}};
    for (const auto& step : expected) {
        gene.update();
        for (int a = 0; a < 6; ++a) EXPECT_NEAR(p[a], step[a], 1e-5) << "component " << a;
        EXPECT_FLOAT_EQ(p[9], static_cast<float>(step[6]));
    }
    EXPECT_FLOAT_EQ(gene.record(1)[9], -5.0f);
}

// Three draws per particle whose life went below 0 (NaN counts), in index
// order; a life that reaches exactly 0 draws nothing yet.
TEST(QelParticles, RebirthDrawsThreeNumbersPerDeadParticleInIndexOrder) {
    qelParticles gene(3);
    gene.setSpread(0.5f, 0.25f);  // (3, 1.5, 2.25)
    gene.setCentre(0.1f, 0.2f);   // (0.6, -1.2, 0.03)
    gene.setLife(0.0f, 0.4f);
    const float lives[3] = {0.5f, 1.0f, std::nanf("")};
    for (int i = 0; i < 3; ++i) gene.record(i)[9] = lives[i];
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
        EXPECT_NEAR(gene.record(2 * k)[0], u[0] / length * 3.0 + 0.6, 1e-5);
        EXPECT_NEAR(gene.record(2 * k)[1], u[1] / length * 1.5 - 1.2, 1e-5);
    }
    float up[3];  // a zero draw would divide by zero: it points up instead
    qelParticles::unitDirection(16386, 16386, 16386, up);
    EXPECT_TRUE(up[0] == 0.0f && up[1] == 1.0f && up[2] == 0.0f);
}

class Particles1Test : public ReactorFixture<Particles1> {
    std::unique_ptr<Particles1> makeReactor() override { return std::make_unique<Particles1>(100); }
};

// Controller 19 below -0.5 keeps every particle on the birth surface (the
// ellipsoid around the centre with radii spread), frame after frame.
TEST_F(Particles1Test, LifeControllerHoldsParticlesOnTheBirthSurface) {
    for (const auto& [n, v] : {std::pair{22, 0.5f}, {86, 0.25f}, {19, -1.0f}}) setControl(n, v);
    const qelParticles& gene = *reactor->particles;
    for (int frame = 0; frame < 3; ++frame) {
        reactor->update();
        for (int i = 0; i < gene.active; ++i) {
            double r = 0.0;
            for (int a = 0; a < 3; ++a) r += std::pow((gene.record(i)[a] - gene.centre[a]) / gene.spread[a], 2);
            ASSERT_NEAR(r, 1.0, 1e-4) << "particle " << i;
        }
    }
}

