#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <tuple>
#include <memory>
#include <utility>
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
    EXPECT_EQ(poly.triangleCount(), 0);
    EXPECT_EQ(poly.vertexCount(), 0);
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
        EXPECT_NEAR(poly->vertices()[edge.first].x, border, 1e-4);
        EXPECT_NEAR(poly->vertices()[edge.second].x, border, 1e-4);
    }
    EXPECT_GT(open, 0) << "the mesh is open";
    auto away = withBalls({{1.0e30f, -1.0e30f, 0.0f, 16.0f}});  // far outside the lattice range
    EXPECT_EQ(away->triangleCount(), 0);
    EXPECT_LE(away->cubeCount(), 1);
}

// A foam of a hundred balls, far more surface than the pools hold, stops at
// the pool limits with a valid mesh; the next small scene is whole again.
TEST(Polygoniser, FullPoolsStopAddingAndKeepTheMeshValid) {
    Poly poly;
    qelSetRandState(7);
    poly.setBallCount(Poly::kMaxBalls);
    auto coordinate = [] { return (qelRand() / 16384.0f - 1.0f) * 2.2f; };
    for (int b = 0; b < Poly::kMaxBalls; ++b) {
        const float x = coordinate(), y = coordinate(), z = coordinate();
        poly.setBall(b, x, y, z, 20.0f);
    }
    poly.update();
    EXPECT_TRUE(poly.truncated());
    EXPECT_LE(poly.cubeCount(), Poly::kCubes);
    EXPECT_LE(poly.cornerCount(), Poly::kCorners);
    EXPECT_LE(poly.vertexCount(), Poly::kVertices);
    EXPECT_LE(3 * poly.triangleCount(), Poly::kTriangleIndices);
    EXPECT_GT(poly.triangleCount(), 1000);
    const int* t = poly.triangleIndices();
    for (int n = 0; n < 3 * poly.triangleCount(); ++n) ASSERT_TRUE(t[n] >= 0 && t[n] < poly.vertexCount());
    poly.setBallCount(1);
    poly.setBall(0, 0.0f, 0.0f, 0.0f, 16.0f);
    poly.update();
    expectClosed(poly, 1);
}

// The mesh is exactly what splitting every collected cube into six
// tetrahedra and triangulating each by its corner signs gives: the same
// triangles in the same order, one shared vertex per crossed lattice edge,
// lying on that edge. The tetrahedra are worked through here by hand.
TEST(Polygoniser, TrianglesAreThoseOfTheSixTetrahedraOfEveryCube) {
    constexpr int kTets[6][4] = {{0, 2, 4, 1}, {6, 2, 1, 4}, {6, 2, 3, 1}, {6, 4, 1, 5}, {6, 1, 3, 5}, {6, 3, 7, 5}};
    constexpr int kTris[16][6] = {{0}, {6, 3, 5}, {2, 6, 4}, {3, 5, 4, 3, 4, 2}, {1, 4, 5}, {3, 1, 4, 3, 4, 6},
                                  {1, 2, 6, 1, 6, 5}, {1, 2, 3}, {1, 3, 2}, {1, 5, 6, 1, 6, 2}, {1, 3, 6, 1, 6, 4},
                                  {1, 5, 4}, {3, 2, 4, 3, 4, 5}, {6, 2, 4}, {5, 3, 6}, {0}};
    constexpr int kPairs[7][2] = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}};  // e1..e6
    for (double scale : {3.0, 0.6}) {
        Poly poly;
        setFiftyBalls(poly, scale);
        poly.update();
        ASSERT_FALSE(poly.truncated());
        const double size = poly.cubeSize;
        std::map<std::array<int, 6>, int> edgeVertex;  // lattice end points -> vertex id
        int t = 0;
        for (int c = 0; c < poly.cubeCount(); ++c) {
            const Poly::Cube& cube = poly.cubes()[c];
            std::array<int, 3> lattice[8];
            bool positive[8];
            for (int n = 0; n < 8; ++n) {
                lattice[n] = {cube.i + ((n >> 2) & 1), cube.j + ((n >> 1) & 1), cube.k + (n & 1)};
                positive[n] = poly.fieldValue(static_cast<float>((lattice[n][0] - 0.5) * size),
                                              static_cast<float>((lattice[n][1] - 0.5) * size),
                                              static_cast<float>((lattice[n][2] - 0.5) * size)) > 0.0f;
            }
            for (const auto& tet : kTets) {
                const int index = 8 * positive[tet[0]] + 4 * positive[tet[1]] + 2 * positive[tet[2]] + positive[tet[3]];
                for (int n = 0; n < 6 && kTris[index][n] != 0; ++n) {
                    ASSERT_LT(t, poly.triangleCount());
                    const int id = poly.triangleIndices()[3 * t + n % 3];
                    if (n % 3 == 2) ++t;
                    auto a = lattice[tet[kPairs[kTris[index][n]][0]]], b = lattice[tet[kPairs[kTris[index][n]][1]]];
                    if (b < a) std::swap(a, b);
                    const auto [known, fresh] = edgeVertex.try_emplace({a[0], a[1], a[2], b[0], b[1], b[2]}, id);
                    ASSERT_EQ(known->second, id) << "triangle " << t << ": one edge, two vertices";
                    if (!fresh) continue;
                    // On the segment from a to b.
                    const Poly::Vertex& v = poly.vertices()[id];
                    const double p[3] = {v.x, v.y, v.z};
                    double along = 0.0, across = 0.0, length2 = 0.0;
                    for (int x = 0; x < 3; ++x) length2 += (b[x] - a[x]) * (b[x] - a[x]) * size * size;
                    for (int x = 0; x < 3; ++x) along += (p[x] - (a[x] - 0.5) * size) * (b[x] - a[x]) * size / length2;
                    for (int x = 0; x < 3; ++x) {
                        const double off = p[x] - ((a[x] - 0.5) * size + along * (b[x] - a[x]) * size);
                        across += off * off;
                    }
                    ASSERT_TRUE(along >= -1e-5 && along <= 1.0 + 1e-5 && across < 1e-10) << "vertex " << id;
                }
            }
        }
        EXPECT_EQ(t, poly.triangleCount());
        EXPECT_EQ(static_cast<int>(edgeVertex.size()), poly.vertexCount());
    }
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
    const float centres[] = {  // x, y, z of each ball
        -2.02207804, 1.74648345, 1.10457313, 0.292521864, -2.02384782, -0.723670661, 2.61771202, -1.43642974,
        0.0208585449, 1.83217239, -2.21706557, 0.842591286, 1.46676791, -2.16560912, -1.02229047, 1.03305852,
        -1.10073125, 1.55302417, 0.250825107, -0.222836733, -0.534058094, 0.604701638, 0.146010503, 0.150175899,
        2.07463765, -1.83972454, -0.941592157, 0.408905268, -1.41137159, 1.28859615, 0.465560347, -0.00161994097,
        0.501791477, 1.50316453, 0.132422403, -0.546947658, 1.73712313, -2.20149469, 0.93689996, 0.980651855,
        -2.40519452, -0.705122352, 0.777278483, -2.07119346, 1.13970733, 1.14664781, -2.5996027, 0.199858889,
        -0.215561822, -1.40799952, -0.113237038, 0.202625349, -2.14040184, 0.431951672, 0.495889813, -1.71894002,
        1.23559797, 0.0675187036, -1.73919201, -0.685418069, 0.241800219, -1.87995243, 0.894565701, 1.23538554,
        -2.38239932, 0.858529508, 0.658328831, -0.658628047, 1.34826827, 1.51335275, -0.378079623, -1.19474185,
        0.441183865, -1.52306545, -1.20075798, 0.312760025, -0.843862236, 1.19397938, 0.154571399, -0.17006959,
        0.0763044879, -0.161012933, -1.33704269, 0.514677227, 0.0851662382, -0.254161566, 0.153283715, -0.0255306847,
        -1.11438406, 0.844025254, 1.87728047, 0.0124883326, -0.476170927, 2.40936756, -0.428621292, 0.337157428,
        1.94591415, -1.66964436, 1.23165786, -0.0181211475, -1.88663518, 0.337449849, 0.369628042, -2.33231139,
        -0.148118079, 1.46546745, -2.25242972, 1.0027957, 2.38723302, -1.97423553, -0.1074659, 1.945732, -0.310389876,
        -0.903260231, 0.774318099, -0.421115458, -1.18697441, 1.15645111, -0.838870466, 1.5246495, 0.691074312,
        -0.884379566, 1.43575895, 2.43078279, -1.28902483, 0.825970113, 0.0153315607, -1.42571092, -0.78664279,
        2.14801049, -0.209210023, -0.510594547, 0.788157701, -2.49984431, -0.344361395, 2.33564138, -2.03343081,
        -0.171297655, 2.19170856, -1.71879888, -0.901014745, 2.06237578, -0.329791307, -0.806785107, 2.17776823,
        -0.237208635, 0.585944891, 0.282538801, -2.23086619, 0.383977145,
    };
    Balls balls;
    for (int b = 0; b < 150; b += 3) balls.push_back({centres[b], centres[b + 1], centres[b + 2], 16.0f});
    auto poly = withBalls(balls);
    ASSERT_GT(poly->vertexCount(), 0);
    for (int v = 0; v < poly->vertexCount(); ++v) {
        const Poly::Vertex& p = poly->vertices()[v];
        ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z) && std::isfinite(p.nx) &&
                    std::isfinite(p.ny) && std::isfinite(p.nz))
            << "vertex " << v;
    }
}
