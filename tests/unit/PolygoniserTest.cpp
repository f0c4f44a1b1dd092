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
    const Balls balls = {
        {-2.02207804f, 1.74648345f, 1.10457313f, 16.0f}, {0.292521864f, -2.02384782f, -0.723670661f, 16.0f},
        {2.61771202f, -1.43642974f, 0.0208585449f, 16.0f}, {1.83217239f, -2.21706557f, 0.842591286f, 16.0f},
        {1.46676791f, -2.16560912f, -1.02229047f, 16.0f}, {1.03305852f, -1.10073125f, 1.55302417f, 16.0f},
        {0.250825107f, -0.222836733f, -0.534058094f, 16.0f}, {0.604701638f, 0.146010503f, 0.150175899f, 16.0f},
        {2.07463765f, -1.83972454f, -0.941592157f, 16.0f}, {0.408905268f, -1.41137159f, 1.28859615f, 16.0f},
        {0.465560347f, -0.00161994097f, 0.501791477f, 16.0f}, {1.50316453f, 0.132422403f, -0.546947658f, 16.0f},
        {1.73712313f, -2.20149469f, 0.93689996f, 16.0f}, {0.980651855f, -2.40519452f, -0.705122352f, 16.0f},
        {0.777278483f, -2.07119346f, 1.13970733f, 16.0f}, {1.14664781f, -2.5996027f, 0.199858889f, 16.0f},
        {-0.215561822f, -1.40799952f, -0.113237038f, 16.0f}, {0.202625349f, -2.14040184f, 0.431951672f, 16.0f},
        {0.495889813f, -1.71894002f, 1.23559797f, 16.0f}, {0.0675187036f, -1.73919201f, -0.685418069f, 16.0f},
        {0.241800219f, -1.87995243f, 0.894565701f, 16.0f}, {1.23538554f, -2.38239932f, 0.858529508f, 16.0f},
        {0.658328831f, -0.658628047f, 1.34826827f, 16.0f}, {1.51335275f, -0.378079623f, -1.19474185f, 16.0f},
        {0.441183865f, -1.52306545f, -1.20075798f, 16.0f}, {0.312760025f, -0.843862236f, 1.19397938f, 16.0f},
        {0.154571399f, -0.17006959f, 0.0763044879f, 16.0f}, {-0.161012933f, -1.33704269f, 0.514677227f, 16.0f},
        {0.0851662382f, -0.254161566f, 0.153283715f, 16.0f}, {-0.0255306847f, -1.11438406f, 0.844025254f, 16.0f},
        {1.87728047f, 0.0124883326f, -0.476170927f, 16.0f}, {2.40936756f, -0.428621292f, 0.337157428f, 16.0f},
        {1.94591415f, -1.66964436f, 1.23165786f, 16.0f}, {-0.0181211475f, -1.88663518f, 0.337449849f, 16.0f},
        {0.369628042f, -2.33231139f, -0.148118079f, 16.0f}, {1.46546745f, -2.25242972f, 1.0027957f, 16.0f},
        {2.38723302f, -1.97423553f, -0.1074659f, 16.0f}, {1.945732f, -0.310389876f, -0.903260231f, 16.0f},
        {0.774318099f, -0.421115458f, -1.18697441f, 16.0f}, {1.15645111f, -0.838870466f, 1.5246495f, 16.0f},
        {0.691074312f, -0.884379566f, 1.43575895f, 16.0f}, {2.43078279f, -1.28902483f, 0.825970113f, 16.0f},
        {0.0153315607f, -1.42571092f, -0.78664279f, 16.0f}, {2.14801049f, -0.209210023f, -0.510594547f, 16.0f},
        {0.788157701f, -2.49984431f, -0.344361395f, 16.0f}, {2.33564138f, -2.03343081f, -0.171297655f, 16.0f},
        {2.19170856f, -1.71879888f, -0.901014745f, 16.0f}, {2.06237578f, -0.329791307f, -0.806785107f, 16.0f},
        {2.17776823f, -0.237208635f, 0.585944891f, 16.0f}, {0.282538801f, -2.23086619f, 0.383977145f, 16.0f},
    };
    auto poly = withBalls(balls);
    ASSERT_GT(poly->vertexCount(), 0);
    for (int v = 0; v < poly->vertexCount(); ++v) {
        const Poly::Vertex& p = poly->vertices()[v];
        ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z) && std::isfinite(p.nx) &&
                    std::isfinite(p.ny) && std::isfinite(p.nz))
            << "vertex " << v;
    }
}
