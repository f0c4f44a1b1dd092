#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "reactor/Random.h"
#include "reactors/MetaballPolygoniser.h"
#include "support/MetaballAccuracy.h"

namespace {

using Poly = MetaballPolygoniser;
using Balls = std::vector<std::vector<float>>;

using EdgeUses = std::map<std::pair<int, int>, int>;

// How many triangles use each undirected edge; false when an index is out of
// range or two triangles run the same directed edge (inconsistent winding).
bool edgeUses(const Poly& poly, EdgeUses& uses) {
    const int* t = poly.triangleIndices();
    EdgeUses directed;
    for (int n = 0; n < 3 * poly.triangleCount(); ++n) {
        const int a = t[n], b = t[n % 3 == 2 ? n - 2 : n + 1];
        if (a < 0 || a >= poly.vertexCount() || ++directed[{a, b}] > 1) return false;
        ++uses[{std::min(a, b), std::max(a, b)}];
    }
    return true;
}

// A closed, consistently wound surface of `pieces` pieces of genus 0.
void expectClosed(const Poly& poly, int pieces) {
    EdgeUses uses;
    ASSERT_TRUE(edgeUses(poly, uses)) << "bad index, or neighbouring triangles wound the same way";
    for (const auto& [edge, count] : uses) ASSERT_EQ(count, 2) << edge.first << "-" << edge.second;
    EXPECT_EQ(poly.vertexCount() - static_cast<int>(uses.size()) + poly.triangleCount(), 2 * pieces);  // Euler
}

std::unique_ptr<Poly> withBalls(const Balls& balls) {
    auto poly = std::make_unique<Poly>();
    poly->setBallCount(static_cast<int>(balls.size()));
    for (size_t i = 0; i < balls.size(); ++i)
        poly->setBall(static_cast<int>(i), balls[i][0], balls[i][1], balls[i][2], balls[i][3]);
    poly->update();
    return poly;
}

}  // namespace

TEST(Polygoniser, SeedsFollowTheDistanceOfTheBallsAndSurfacesClose) {
    const std::tuple<Balls, int, int> cases[] = {  // balls, seeds, pieces
        {{{0.0f, 0.0f, 0.0f, 16.0f}}, 1, 1},
        {{{0.0f, 0.0f, 0.0f, 16.0f}, {0.1f, 0.0f, 0.0f, 16.0f}}, 1, 1},  // closer than 1/16 + 1/16
        {{{-1.0f, 0.2f, 0.0f, 16.0f}, {1.0f, -0.3f, 0.5f, 16.0f}}, 2, 2},
        {{{-0.16f, 0.0f, 0.0f, 16.0f}, {0.16f, 0.0f, 0.0f, 16.0f}}, 2, 1}};  // surfaces join
    for (const auto& [balls, seeds, pieces] : cases) {
        auto poly = withBalls(balls);
        EXPECT_EQ(poly->seedCount(), seeds);
        expectClosed(*poly, pieces);
    }
}

// Seed bookkeeping covers the whole ball table, not only the first forty.
TEST(Polygoniser, LoneBallBeyondAChainOfFortySeedsItsSurface) {
    Balls many;
    for (int i = 0; i < 40; ++i) many.push_back({-2.0f + 0.1f * i, 2.0f, -2.0f, 16.0f});
    many.push_back({1.5f, -1.5f, 1.5f, 16.0f});
    auto chain = withBalls(many);
    const Poly::Vertex* v = chain->vertices();
    EXPECT_TRUE(std::any_of(v, v + chain->vertexCount(), [](const Poly::Vertex& p) {
        return std::fabs(std::hypot(p.x - 1.5, p.y + 1.5, p.z - 1.5) - 0.25) < 0.03;  // the chain adds a little
    }));
}

TEST(Polygoniser, BallsWithoutStrengthAndCountsOutsideTheTableAddNothing) {
    auto alone = withBalls({{0.0f, 0.0f, 0.0f, 16.0f}});
    auto mixed = withBalls({{0.0f, 0.0f, 0.0f, 16.0f}, {0.2f, 0.0f, 0.0f, 0.0f}, {0.0f, 0.2f, 0.0f, -16.0f},
                            {0.0f, 0.0f, 0.2f, std::nanf("")}, {std::nanf(""), 0.0f, 0.0f, 16.0f}});
    ASSERT_EQ(mixed->vertexCount(), alone->vertexCount());
    ASSERT_EQ(mixed->triangleCount(), alone->triangleCount());
    EXPECT_EQ(mixed->seedCount(), 1);
    EXPECT_EQ(std::memcmp(mixed->vertices(), alone->vertices(), alone->vertexCount() * sizeof(Poly::Vertex)), 0);
    Poly& poly = *alone;
    poly.setBall(Poly::kMaxBalls, 1.0f, 1.0f, 1.0f, 1.0f);  // outside the table: ignored
    poly.setBall(-1, 1.0f, 1.0f, 1.0f, 1.0f);
    poly.ballCount = 1000;  // a count written straight into the field is limited too
    poly.update();
    EXPECT_EQ(poly.triangleCount(), mixed->triangleCount());
    poly.ballCount = -5;
    poly.update();  // no balls: the mesh goes
    EXPECT_TRUE(poly.triangleCount() == 0 && poly.vertexCount() == 0);
}

TEST(Polygoniser, SurfaceLeavingTheBoundsIsCutOpenAtTheBorder) {
    // The last cube layer ends at x = 15.5 x 0.15 = 2.325; this sphere reaches 2.45.
    auto poly = withBalls({{2.2f, 0.0f, 0.0f, 16.0f}});
    const double border = 15.5 * 0.15;
    for (int v = 0; v < poly->vertexCount(); ++v) EXPECT_LE(poly->vertices()[v].x, border + 1e-5);
    EdgeUses uses;
    ASSERT_TRUE(edgeUses(*poly, uses));
    int open = 0;
    for (const auto& [edge, count] : uses) {  // open only along the border face
        ASSERT_LE(count, 2);
        if (count == 2) continue;
        ++open;
        const float a = poly->vertices()[edge.first].x, b = poly->vertices()[edge.second].x;
        EXPECT_TRUE(std::fabs(a - border) < 1e-4 && std::fabs(b - border) < 1e-4) << a << " " << b;
    }
    EXPECT_GT(open, 0) << "the mesh is open";
    auto away = withBalls({{1.0e30f, -1.0e30f, 0.0f, 16.0f}});  // far outside the lattice range
    EXPECT_TRUE(away->triangleCount() == 0 && away->cubeCount() <= 1);
}

// A foam of a hundred balls, far more surface than the pools hold, stops at
// the pool limits with a valid mesh; the next small scene is whole again.
TEST(Polygoniser, FullPoolsStopAddingAndKeepTheMeshValid) {
    Poly poly;
    qelSetRandState(7);
    poly.setBallCount(Poly::kMaxBalls);
    for (int b = 0; b < Poly::kMaxBalls; ++b) {
        float p[3];
        for (float& v : p) v = (qelRand() / 16384.0f - 1.0f) * 2.2f;  // x, y, z in drawing order
        poly.setBall(b, p[0], p[1], p[2], 20.0f);
    }
    poly.update();
    EXPECT_TRUE(poly.truncated());
    EXPECT_TRUE(poly.cubeCount() <= Poly::kCubes && poly.cornerCount() <= Poly::kCorners &&
                poly.vertexCount() <= Poly::kVertices && 3 * poly.triangleCount() <= Poly::kTriangleIndices);
    EXPECT_GT(poly.triangleCount(), 1000);
    const int* t = poly.triangleIndices();
    for (int n = 0; n < 3 * poly.triangleCount(); ++n) ASSERT_TRUE(t[n] >= 0 && t[n] < poly.vertexCount());
    poly.setBallCount(1);
    poly.setBall(0, 0.0f, 0.0f, 0.0f, 16.0f);
    poly.update();
    expectClosed(poly, 1);
}

// Vertices lie on the surface and their normals follow the field's gradient,
// for fifty balls spread into many blobs and gathered into a few: far closer
// than the old eleven bisection steps got (a thousandth of a cube at worst).
TEST(Polygoniser, VerticesLieOnTheSurfaceWithNormalsAlongTheGradient) {
    for (double scale : {3.0, 0.6}) {
        Poly poly;
        setFiftyBalls(poly, scale);
        poly.update();
        ASSERT_GT(poly.vertexCount(), 5000);
        const MetaballAccuracy a = measureMetaballAccuracy(poly);
        EXPECT_LT(a.maxDistance, 5.0e-4) << "scale " << scale;
        EXPECT_LT(a.meanDistance, 2.0e-5) << "scale " << scale;
        EXPECT_LT(a.maxNormalDegrees, 0.1) << "scale " << scale;
        // Placing a vertex and its normal takes a handful of field sums.
        EXPECT_LT(poly.vertexFieldSums(), 6L * poly.vertexCount());
    }
}

// Fifty balls from a frame of the viewer under extreme controllers: on some
// edges the root finder's kept value at the positive end shrank below the
// float range and the next step divided 0 by 0. Every vertex stays finite.
TEST(Polygoniser, VerticesStayFiniteWhereTheRootFinderKeepsShrinkingOneEnd) {
    std::ifstream file(STRATA_SOURCE_DIR "/tests/support/metaball-finite-balls.txt");
    Balls balls;
    std::string line;
    for (float x, y, z; std::getline(file, line);)
        if (std::istringstream(line) >> x >> y >> z) balls.push_back({x, y, z, 16.0f});
    ASSERT_EQ(balls.size(), 50u);
    auto poly = withBalls(balls);
    ASSERT_GT(poly->vertexCount(), 0);
    for (int v = 0; v < poly->vertexCount(); ++v) {
        const Poly::Vertex& p = poly->vertices()[v];
        ASSERT_TRUE(std::isfinite(p.x + p.y + p.z + p.nx + p.ny + p.nz)) << "vertex " << v;
    }
}
