#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "reactor/Random.h"
#include "reactors/MetaballPolygoniser.h"

namespace {

using Poly = MetaballPolygoniser;

// Largest distance of a bisected vertex from the true crossing: the cube
// diagonal halved eleven times, with a factor two of room.
const double kLatticeTolerance = 0.15 * std::sqrt(3.0) / 1024.0;

struct MeshStats {
    std::vector<std::pair<int, int>> openEdges;  // used by one triangle
    int edges = 0, edgesMore = 0;                // all; used by three or more
    int directedRepeats = 0;                     // inconsistent winding
    int components = 0;                          // pieces over shared vertices
    bool indicesValid = true;
};

MeshStats analyse(const Poly& poly) {
    MeshStats s;
    const int* t = poly.triangleIndices();
    const int corners = 3 * poly.triangleCount();
    for (int n = 0; n < corners; ++n) s.indicesValid &= t[n] >= 0 && t[n] < poly.vertexCount();
    if (!s.indicesValid) return s;
    std::map<std::pair<int, int>, int> undirected, directed;
    std::vector<int> parent(poly.vertexCount(), -1);  // -1: unused vertex
    auto find = [&](int v) {
        while (parent[v] != v) v = parent[v] = parent[parent[v]];
        return v;
    };
    for (int n = 0; n < corners; ++n) parent[t[n]] = t[n];
    for (int n = 0; n < corners; ++n) {
        const int a = t[n], b = t[n % 3 == 2 ? n - 2 : n + 1];
        ++undirected[{std::min(a, b), std::max(a, b)}];
        s.directedRepeats += ++directed[{a, b}] == 2;
        parent[find(a)] = find(b);
    }
    for (const auto& [edge, count] : undirected) {
        if (count == 1) s.openEdges.push_back(edge);
        s.edgesMore += count > 2;
    }
    for (int v = 0; v < poly.vertexCount(); ++v) s.components += parent[v] >= 0 && find(v) == v;
    s.edges = static_cast<int>(undirected.size());
    return s;
}

// A closed, consistently wound surface of `components` pieces of genus 0.
void expectClosed(const Poly& poly, int components) {
    const MeshStats s = analyse(poly);
    ASSERT_TRUE(s.indicesValid);
    EXPECT_TRUE(s.openEdges.empty());
    EXPECT_EQ(s.edgesMore, 0);
    EXPECT_EQ(s.directedRepeats, 0) << "neighbouring triangles wind the same way";
    EXPECT_EQ(s.components, components);
    EXPECT_EQ(poly.vertexCount() - s.edges + poly.triangleCount(), 2 * components);  // Euler
}

std::unique_ptr<Poly> withBalls(const std::vector<std::vector<float>>& balls) {
    auto poly = std::make_unique<Poly>();
    poly->setBallCount(static_cast<int>(balls.size()));
    for (size_t i = 0; i < balls.size(); ++i)
        poly->setBall(static_cast<int>(i), balls[i][0], balls[i][1], balls[i][2], balls[i][3]);
    poly->update();
    return poly;
}

}  // namespace

TEST(Polygoniser, OneBallGivesAClosedOutwardSphere) {
    auto poly = withBalls({{0.0f, 0.0f, 0.0f, 16.0f}});
    ASSERT_GT(poly->triangleCount(), 100);
    EXPECT_EQ(poly->seedCount(), 1);
    EXPECT_FALSE(poly->truncated());
    expectClosed(*poly, 1);
    for (int v = 0; v < poly->vertexCount(); ++v) {
        const Poly::Vertex& p = poly->vertices()[v];
        const double r = std::hypot(p.x, p.y, p.z);
        ASSERT_NEAR(r, 0.25, kLatticeTolerance) << "vertex " << v;
        ASSERT_GT((p.x * p.nx + p.y * p.ny + p.z * p.nz) / r, 0.999) << "vertex " << v;
        ASSERT_NEAR(p.nx * p.nx + p.ny * p.ny + p.nz * p.nz, 1.0, 1e-5);
    }
    // The draw shows clockwise faces as front faces: seen from outside every
    // triangle is clockwise, so its counter-clockwise normal points inwards.
    const int* t = poly->triangleIndices();
    for (int n = 0; n < poly->triangleCount(); ++n) {
        const Poly::Vertex &a = poly->vertices()[t[3 * n]], &b = poly->vertices()[t[3 * n + 1]],
                           &c = poly->vertices()[t[3 * n + 2]];
        const double u[3] = {b.x - a.x, b.y - a.y, b.z - a.z}, w[3] = {c.x - a.x, c.y - a.y, c.z - a.z};
        const double cross[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
        ASSERT_LE(cross[0] * (a.x + b.x + c.x) + cross[1] * (a.y + b.y + c.y) + cross[2] * (a.z + b.z + c.z), 0.0)
            << "triangle " << n;
    }
    // Every update starts from scratch: the same balls give the same mesh.
    const int vertices = poly->vertexCount(), triangles = poly->triangleCount();
    poly->update();
    EXPECT_EQ(poly->vertexCount(), vertices);
    EXPECT_EQ(poly->triangleCount(), triangles);
}

TEST(Polygoniser, SeedsFollowTheDistanceOfTheBalls) {
    // Closer than 1/16 + 1/16: one seed, one closed blob.
    auto close = withBalls({{0.0f, 0.0f, 0.0f, 16.0f}, {0.1f, 0.0f, 0.0f, 16.0f}});
    EXPECT_EQ(close->seedCount(), 1);
    expectClosed(*close, 1);
    // Far apart: two seeds, two closed spheres.
    auto far = withBalls({{-1.0f, 0.2f, 0.0f, 16.0f}, {1.0f, -0.3f, 0.5f, 16.0f}});
    EXPECT_EQ(far->seedCount(), 2);
    expectClosed(*far, 2);
    // Two seeds whose surfaces join: one closed mesh.
    auto joined = withBalls({{-0.16f, 0.0f, 0.0f, 16.0f}, {0.16f, 0.0f, 0.0f, 16.0f}});
    EXPECT_EQ(joined->seedCount(), 2);
    expectClosed(*joined, 1);

    // Ball 40 stands alone, far from a chain of forty: seed bookkeeping
    // covers the whole table, so it still seeds a surface of its own.
    std::vector<std::vector<float>> many;
    for (int i = 0; i < 40; ++i) many.push_back({-2.0f + 0.1f * i, 2.0f, -2.0f, 16.0f});
    many.push_back({1.5f, -1.5f, 1.5f, 16.0f});
    auto chain = withBalls(many);
    EXPECT_EQ(analyse(*chain).components, 2);
    bool found = false;
    for (int v = 0; v < chain->vertexCount(); ++v) {
        const Poly::Vertex& p = chain->vertices()[v];
        found |= std::fabs(std::hypot(p.x - 1.5, p.y + 1.5, p.z - 1.5) - 0.25) < 0.03;  // the chain adds a little
    }
    EXPECT_TRUE(found) << "the lone ball beyond the thirtieth has its surface";
}

TEST(Polygoniser, BallsWithoutStrengthAndCountsOutsideTheTableAddNothing) {
    auto alone = withBalls({{0.0f, 0.0f, 0.0f, 16.0f}});
    auto mixed = withBalls({{0.0f, 0.0f, 0.0f, 16.0f},
                            {0.2f, 0.0f, 0.0f, 0.0f},
                            {0.0f, 0.2f, 0.0f, -16.0f},
                            {0.0f, 0.0f, 0.2f, std::nanf("")},
                            {std::nanf(""), 0.0f, 0.0f, 16.0f}});
    ASSERT_EQ(mixed->vertexCount(), alone->vertexCount());
    ASSERT_EQ(mixed->triangleCount(), alone->triangleCount());
    EXPECT_EQ(mixed->seedCount(), 1);
    for (int v = 0; v < alone->vertexCount(); ++v) {
        EXPECT_EQ(mixed->vertices()[v].x, alone->vertices()[v].x);
        EXPECT_EQ(mixed->vertices()[v].nz, alone->vertices()[v].nz);
    }
    auto none = withBalls({{0.0f, 0.0f, 0.0f, 0.0f}, {0.5f, 0.0f, 0.0f, -4.0f}});
    EXPECT_EQ(none->triangleCount(), 0);
    EXPECT_EQ(none->seedCount(), 0);

    Poly& poly = *alone;
    poly.setBallCount(-3);
    EXPECT_EQ(poly.ballCount, 0);
    poly.update();  // no balls: the mesh goes
    EXPECT_EQ(poly.triangleCount(), 0);
    EXPECT_EQ(poly.vertexCount(), 0);
    poly.setBallCount(500);
    EXPECT_EQ(poly.ballCount, Poly::kMaxBalls);
    poly.setBall(Poly::kMaxBalls, 1.0f, 1.0f, 1.0f, 1.0f);  // outside the table: ignored
    poly.setBall(-1, 1.0f, 1.0f, 1.0f, 1.0f);
    poly.ballCount = 1000;  // a count written straight into the field is limited too
    poly.update();
    EXPECT_EQ(poly.triangleCount(), mixed->triangleCount());
    poly.ballCount = -5;
    poly.update();
    EXPECT_EQ(poly.triangleCount(), 0);
}

TEST(Polygoniser, SurfaceLeavingTheBoundsIsCutOpenAtTheBorder) {
    // The last cube layer ends at x = 15.5 x 0.15 = 2.325; this sphere reaches 2.45.
    auto poly = withBalls({{2.2f, 0.0f, 0.0f, 16.0f}});
    const double border = 15.5 * 0.15;
    ASSERT_GT(poly->triangleCount(), 0);
    for (int c = 0; c < poly->cubeCount(); ++c) EXPECT_LE(poly->cubes()[c].i, 15);
    for (int v = 0; v < poly->vertexCount(); ++v) EXPECT_LE(poly->vertices()[v].x, border + 1e-5);
    const MeshStats s = analyse(*poly);
    ASSERT_TRUE(s.indicesValid);
    EXPECT_FALSE(s.openEdges.empty()) << "the mesh is open";
    EXPECT_EQ(s.edgesMore, 0);
    for (const auto& [a, b] : s.openEdges) {  // only along the border face
        EXPECT_NEAR(poly->vertices()[a].x, border, 1e-4);
        EXPECT_NEAR(poly->vertices()[b].x, border, 1e-4);
    }
    // A ball far outside the lattice range gives no surface and no trouble.
    auto away = withBalls({{1.0e30f, -1.0e30f, 0.0f, 16.0f}});
    EXPECT_EQ(away->triangleCount(), 0);
    EXPECT_LE(away->cubeCount(), 1);
}

TEST(Polygoniser, FullPoolsStopAddingAndKeepTheMeshValid) {
    // A hundred scattered balls: a foam with far more surface than the pools hold.
    Poly poly;
    qelSetRandState(7);
    poly.setBallCount(Poly::kMaxBalls);
    auto coordinate = [] { return (qelRand() / 16384.0f - 1.0f) * 2.2f; };
    for (int b = 0; b < Poly::kMaxBalls; ++b) {
        const float x = coordinate(), y = coordinate(), z = coordinate();
        poly.setBall(b, x, y, z, 20.0f);
    }
    for (int frame = 0; frame < 2; ++frame) {
        poly.update();
        EXPECT_TRUE(poly.truncated());
        EXPECT_LE(poly.cubeCount(), Poly::kCubes);
        EXPECT_LE(poly.cornerCount(), Poly::kCorners);
        EXPECT_LE(poly.vertexCount(), Poly::kVertices);
        EXPECT_LE(3 * poly.triangleCount(), Poly::kTriangleIndices);
        EXPECT_GT(poly.triangleCount(), 1000);
        EXPECT_TRUE(analyse(poly).indicesValid);
    }
    // After a full frame a small scene is whole again.
    poly.setBallCount(1);
    poly.setBall(0, 0.0f, 0.0f, 0.0f, 16.0f);
    poly.update();
    EXPECT_FALSE(poly.truncated());
    EXPECT_TRUE(analyse(poly).openEdges.empty());
}
