#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <numeric>
#include <utility>
#include <vector>

#include "reactor/Random.h"
#include "reactors/MetaballPolygoniser.h"

namespace {

using Poly = MetaballPolygoniser;

// Largest distance of a bisected vertex from the true crossing on its edge:
// the longest tetrahedron edge (the cube diagonal) halved eleven times, with
// a factor two of room.
const double kLatticeTolerance = 0.15 * std::sqrt(3.0) / 1024.0;

struct MeshStats {
    int edgesOnce = 0;    // undirected edges used by one triangle
    int edgesTwice = 0;   // by exactly two
    int edgesMore = 0;    // by three or more
    int directedRepeats = 0;  // a directed edge used twice (inconsistent winding)
    int components = 0;   // connected pieces over shared vertices
    int edges = 0;
};

MeshStats analyse(const Poly& poly) {
    MeshStats s;
    std::map<std::pair<int, int>, int> undirected;
    std::map<std::pair<int, int>, int> directed;
    const int* t = poly.triangleIndices();
    std::vector<int> parent(poly.vertexCount());
    std::iota(parent.begin(), parent.end(), 0);
    auto find = [&](int v) {
        while (parent[v] != v) v = parent[v] = parent[parent[v]];
        return v;
    };
    for (int n = 0; n < poly.triangleCount(); ++n) {
        for (int e = 0; e < 3; ++e) {
            const int a = t[3 * n + e], b = t[3 * n + (e + 1) % 3];
            ++undirected[{std::min(a, b), std::max(a, b)}];
            ++directed[{a, b}];
            parent[find(a)] = find(b);
        }
    }
    for (const auto& [edge, count] : undirected) {
        (void)edge;
        if (count == 1) ++s.edgesOnce;
        else if (count == 2) ++s.edgesTwice;
        else ++s.edgesMore;
    }
    for (const auto& [edge, count] : directed) {
        (void)edge;
        if (count > 1) ++s.directedRepeats;
    }
    std::vector<bool> used(poly.vertexCount(), false);
    for (int n = 0; n < 3 * poly.triangleCount(); ++n) used[t[n]] = true;
    for (int v = 0; v < poly.vertexCount(); ++v)
        if (used[v] && find(v) == v) ++s.components;
    s.edges = static_cast<int>(undirected.size());
    return s;
}

bool indicesValid(const Poly& poly) {
    for (int n = 0; n < 3 * poly.triangleCount(); ++n) {
        const int v = poly.triangleIndices()[n];
        if (v < 0 || v >= poly.vertexCount()) return false;
    }
    return true;
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
    EXPECT_DOUBLE_EQ(poly->cubeSize, 0.15);
    EXPECT_EQ(poly->bounds, 15);
    ASSERT_TRUE(indicesValid(*poly));

    const MeshStats s = analyse(*poly);
    EXPECT_EQ(s.edgesOnce, 0);
    EXPECT_EQ(s.edgesMore, 0);
    EXPECT_EQ(s.directedRepeats, 0) << "neighbouring triangles wind the same way";
    EXPECT_EQ(s.components, 1);
    // A closed surface of genus 0: V - E + F = 2.
    EXPECT_EQ(poly->vertexCount() - s.edges + poly->triangleCount(), 2);

    for (int v = 0; v < poly->vertexCount(); ++v) {
        const Poly::Vertex& p = poly->vertices()[v];
        const double r = std::sqrt(double(p.x) * p.x + double(p.y) * p.y + double(p.z) * p.z);
        ASSERT_NEAR(r, 0.25, kLatticeTolerance) << "vertex " << v;
        const double outward = (p.x * p.nx + p.y * p.ny + p.z * p.nz) / r;
        ASSERT_GT(outward, 0.999) << "vertex " << v;
        ASSERT_NEAR(p.nx * p.nx + p.ny * p.ny + p.nz * p.nz, 1.0, 1e-5);
    }

    // The draw shows clockwise faces as front faces: seen from outside, every
    // triangle is clockwise, so its counter-clockwise normal points inwards.
    const int* t = poly->triangleIndices();
    for (int n = 0; n < poly->triangleCount(); ++n) {
        const Poly::Vertex& a = poly->vertices()[t[3 * n]];
        const Poly::Vertex& b = poly->vertices()[t[3 * n + 1]];
        const Poly::Vertex& c = poly->vertices()[t[3 * n + 2]];
        const double u[3] = {b.x - a.x, b.y - a.y, b.z - a.z};
        const double w[3] = {c.x - a.x, c.y - a.y, c.z - a.z};
        const double cross[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
        const double centre[3] = {a.x + b.x + c.x, a.y + b.y + c.y, a.z + b.z + c.z};
        ASSERT_LE(cross[0] * centre[0] + cross[1] * centre[1] + cross[2] * centre[2], 0.0) << "triangle " << n;
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
    EXPECT_EQ(analyse(*close).components, 1);

    // Far apart: two seeds and two separate closed spheres.
    auto far = withBalls({{-1.0f, 0.2f, 0.0f, 16.0f}, {1.0f, -0.3f, 0.5f, 16.0f}});
    EXPECT_EQ(far->seedCount(), 2);
    MeshStats s = analyse(*far);
    EXPECT_EQ(s.components, 2);
    EXPECT_EQ(s.edgesOnce, 0);
    EXPECT_EQ(s.edgesMore, 0);

    // Two seeds whose surfaces join give one closed mesh.
    auto joined = withBalls({{-0.16f, 0.0f, 0.0f, 16.0f}, {0.16f, 0.0f, 0.0f, 16.0f}});
    EXPECT_EQ(joined->seedCount(), 2);
    s = analyse(*joined);
    EXPECT_EQ(s.components, 1);
    EXPECT_EQ(s.edgesOnce, 0);
    EXPECT_EQ(s.edgesMore, 0);
    EXPECT_EQ(joined->vertexCount() - s.edges + joined->triangleCount(), 2);

    // Ball 40 stands alone, far from a chain of forty: seed bookkeeping
    // covers the whole table, so it still seeds a surface of its own.
    std::vector<std::vector<float>> many;
    for (int i = 0; i < 40; ++i) many.push_back({-2.0f + 0.1f * i, 2.0f, -2.0f, 16.0f});  // one chain
    many.push_back({1.5f, -1.5f, 1.5f, 16.0f});  // ball 40, alone: must still seed
    auto chain = withBalls(many);
    EXPECT_EQ(analyse(*chain).components, 2);
    bool found = false;
    for (int v = 0; v < chain->vertexCount() && !found; ++v) {
        const Poly::Vertex& p = chain->vertices()[v];
        found = std::fabs(std::sqrt((p.x - 1.5) * (p.x - 1.5) + (p.y + 1.5) * (p.y + 1.5) + (p.z - 1.5) * (p.z - 1.5)) -
                          0.25) < 0.03;  // the chain's field adds a little
    }
    EXPECT_TRUE(found) << "the lone ball beyond the thirtieth has its surface";
}

TEST(Polygoniser, BallsWithoutStrengthAddNothing) {
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
    EXPECT_FLOAT_EQ(mixed->fieldValue(0.3f, 0.1f, 0.0f), alone->fieldValue(0.3f, 0.1f, 0.0f));

    auto none = withBalls({{0.0f, 0.0f, 0.0f, 0.0f}, {0.5f, 0.0f, 0.0f, -4.0f}});
    EXPECT_EQ(none->triangleCount(), 0);
    EXPECT_EQ(none->seedCount(), 0);
}

TEST(Polygoniser, NoBallsGiveAnEmptyMesh) {
    Poly poly;
    poly.update();
    EXPECT_EQ(poly.triangleCount(), 0);
    EXPECT_EQ(poly.vertexCount(), 0);
    EXPECT_EQ(poly.cubeCount(), 0);

    // A mesh from balls disappears when the balls go.
    poly.setBallCount(1);
    poly.setBall(0, 0.0f, 0.0f, 0.0f, 16.0f);
    poly.update();
    EXPECT_GT(poly.triangleCount(), 0);
    poly.setBallCount(0);
    poly.update();
    EXPECT_EQ(poly.triangleCount(), 0);

    poly.setBallCount(-3);
    EXPECT_EQ(poly.ballCount, 0);
    poly.setBallCount(500);
    EXPECT_EQ(poly.ballCount, Poly::kMaxBalls);
    poly.setBall(Poly::kMaxBalls, 1.0f, 1.0f, 1.0f, 1.0f);  // outside the table: ignored
    poly.setBall(-1, 1.0f, 1.0f, 1.0f, 1.0f);

    // A count written straight into the field is limited to the table.
    poly.setBallCount(0);
    poly.setBall(0, 0.0f, 0.0f, 0.0f, 16.0f);
    poly.ballCount = 1000;
    poly.update();
    EXPECT_GT(poly.triangleCount(), 0);
    poly.ballCount = -5;
    poly.update();
    EXPECT_EQ(poly.triangleCount(), 0);
}

TEST(Polygoniser, SurfaceLeavingTheBoundsIsCutOpenAtTheBorder) {
    // The last cube layer ends at x = (15 + 0.5) * 0.15 = 2.325; this sphere
    // reaches 2.45.
    auto poly = withBalls({{2.2f, 0.0f, 0.0f, 16.0f}});
    const double border = 15.5 * 0.15;
    ASSERT_GT(poly->triangleCount(), 0);
    ASSERT_TRUE(indicesValid(*poly));
    for (int c = 0; c < poly->cubeCount(); ++c) EXPECT_LE(poly->cubes()[c].i, 15);
    const MeshStats s = analyse(*poly);
    EXPECT_GT(s.edgesOnce, 0) << "the mesh is open";
    EXPECT_EQ(s.edgesMore, 0);
    for (int v = 0; v < poly->vertexCount(); ++v) EXPECT_LE(poly->vertices()[v].x, border + 1e-5);

    // Every open edge lies on the border face.
    std::map<std::pair<int, int>, int> undirected;
    const int* t = poly->triangleIndices();
    for (int n = 0; n < poly->triangleCount(); ++n)
        for (int e = 0; e < 3; ++e) {
            const int a = t[3 * n + e], b = t[3 * n + (e + 1) % 3];
            ++undirected[{std::min(a, b), std::max(a, b)}];
        }
    for (const auto& [edge, count] : undirected) {
        if (count != 1) continue;
        EXPECT_NEAR(poly->vertices()[edge.first].x, border, 1e-4);
        EXPECT_NEAR(poly->vertices()[edge.second].x, border, 1e-4);
    }

    // A ball far outside the lattice range gives no surface and no trouble.
    auto away = withBalls({{1.0e30f, -1.0e30f, 0.0f, 16.0f}});
    EXPECT_EQ(away->triangleCount(), 0);
    EXPECT_LE(away->cubeCount(), 1);
}

TEST(Polygoniser, FullPoolsStopAddingAndKeepTheMeshValid) {
    // A hundred balls scattered over the lattice give a foam of bubbles with
    // far more surface than the 5000-cube pool can hold.
    Poly poly;
    qelSetRandState(7);
    poly.setBallCount(Poly::kMaxBalls);
    for (int b = 0; b < Poly::kMaxBalls; ++b) {
        const float x = (qelRand() / 16384.0f - 1.0f) * 2.2f;
        const float y = (qelRand() / 16384.0f - 1.0f) * 2.2f;
        const float z = (qelRand() / 16384.0f - 1.0f) * 2.2f;
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
        EXPECT_TRUE(indicesValid(poly));
    }

    // After a full frame a small scene is whole again.
    poly.setBallCount(1);
    poly.setBall(0, 0.0f, 0.0f, 0.0f, 16.0f);
    poly.update();
    EXPECT_FALSE(poly.truncated());
    EXPECT_EQ(analyse(poly).edgesOnce, 0);
}
