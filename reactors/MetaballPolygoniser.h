#pragma once
#include <cstdint>
#include <memory>

#include "reactor/Reactor.h"

// Turns up to 100 weighted points (metaballs) into a triangle mesh of their
// iso-surface once per update, and draws it sphere-mapped.
//
// Field: F(p) = 1 - sum over balls with k > 0 of 1 / (k * d^2), d the distance
// from p to the ball's centre; F < 0 inside, the surface is F = 0, and an
// isolated ball has radius 1 / sqrt(k).
//
// The surface is followed, not scanned: every seed ball gives one lattice
// cube on its surface (found by bisection towards (3, 3, 3)), and a flood fill
// walks from cube to neighbouring cube across faces that the surface crosses.
// The lattice (corner (i, j, k) at ((i - 0.5) s, (j - 0.5) s, (k - 0.5) s)) is
// anchored at the origin and shared by all seeds. Each cube is triangulated
// as soon as it is collected, while its corners are fresh: its eight corner
// signs make one code, and a table built at compile time from the six
// tetrahedra of a cube gives the code's crossed edges and triangles, exactly
// the triangles the tetrahedra give, in their order. Vertices are shared
// through per-lattice-point edge slots and field values at lattice points
// are cached per update; a vertex is placed by a bracketing root finder
// started from the two corner values.
//
// Within the bounds the lattice points, cubes and edges have slots of their
// own in direct arrays, stamped with the update they belong to, so nothing
// needs clearing between updates; the few seed cubes outside the bounds use
// small hash tables instead.
//
// Every table and pool is allocated once at construction; an update only
// resets counts and the hash buckets it filled, so it allocates nothing.
// Nothing is written past a pool: when the pools cannot take another cube the
// flood fill stops, and when the vertex, edge or triangle pools cannot take
// everything one more cube may bring, the remaining cubes are not
// triangulated. Either way the mesh stays whole cubes whose indices all name
// real vertices, and truncated() reports it.
class MetaballPolygoniser : public Reactor {
public:
    static constexpr int kMaxBalls = 100;
    static constexpr int kHashBuckets = 32768;      // centres and corner values
    static constexpr int kEdgeBuckets = 65536;      // H(first) + H(second) < 65536
    static constexpr int kCentreNodes = 50000;
    static constexpr int kValueNodes = 50000;
    static constexpr int kEdgeNodes = 50000;
    static constexpr int kCorners = 50000;
    static constexpr int kCubes = 5000;
    static constexpr int kVertices = 50000;
    static constexpr int kTriangleIndices = 150000;
    static constexpr int kFilledBuckets = 50000;
    // Seed bookkeeping covers the whole ball table, so every ball (not only
    // the first thirty) can seed a surface of its own: a ball that drifts
    // away from the others is never lost for want of a seed.
    static constexpr int kSeedBalls = kMaxBalls;
    static constexpr int kBisections = 11;  // midpoints of a seed's bisection
    // The root finder that places a vertex on its edge stops when every
    // vertex of its batch is within kRootTolerance of the surface (in the
    // measure solveEdges uses, about that fraction of the blob's radius), or
    // after kRootSteps steps; with the gradient, a vertex costs one field sum
    // more than its steps.
    static constexpr int kRootSteps = 8;
    static constexpr float kRootTolerance = 1.0e-5f;
    // The bounds every update uses; lattice points with coordinates in
    // -kBounds .. kBounds + 1 (every corner of a cube within the bounds) have
    // direct slots.
    static constexpr int kBounds = 15;

    struct Corner {
        int i, j, k;
        float value;
    };
    struct Cube {
        int i, j, k;
        int corners[8];  // indices into the corner pool
        int next;        // link of the flood-fill stack (-1 ends it)
        int code;        // bit n set when corner n is positive (value > 0)
    };
    struct Vertex {
        float x, y, z;
        float nx, ny, nz;
    };

    MetaballPolygoniser();
    ~MetaballPolygoniser() override;

    // Polygonises the ball table (cube size 0.15, bounds 15, origin 0).
    void update() override;
    // Sends the mesh as one batch of sphere-mapped, face-culled triangles.
    void draw() override;

    // Sets ball i (ignored outside the table) and the ball count (limited to
    // 0..kMaxBalls).
    void setBall(int i, float x, float y, float z, float k);
    void setBallCount(int count);

    // The field over every ball.
    float fieldValue(float x, float y, float z) const;
    // The cube index of a coordinate on the current lattice.
    int cubeIndex(double x) const;

    // Results of the last update.
    int vertexCount() const { return vertexCount_; }
    int triangleCount() const { return indexCount_ / 3; }
    const Vertex* vertices() const { return vertices_.get(); }
    const int* triangleIndices() const { return indices_.get(); }
    int seedCount() const { return seedCount_; }
    int cubeCount() const { return cubeCount_; }
    const Cube* cubes() const { return cubes_.get(); }
    int cornerCount() const { return cornerCount_; }
    // Field sums spent on placing the vertices and their normals.
    long vertexFieldSums() const { return vertexFieldSums_; }
    // True when a pool was full during the last update and part of the
    // surface was left out.
    bool truncated() const { return truncated_; }

    // Inputs, written by the owner.
    int ballCount = 0;
    float balls[kMaxBalls][4] = {};  // x, y, z, k
    double cubeSize = 0.25;
    int bounds = 15;
    float origin[3] = {0.0f, 0.0f, 0.0f};

private:
    // The balls a scalar sum runs over, as structure of arrays padded to a
    // multiple of kLanes with far-away balls that add nothing measurable, so
    // the sums run in whole vector-width steps.
    static constexpr int kLanes = 8;  // the width of sumShares' groups
    static constexpr int kPadded = (kMaxBalls + kLanes - 1) / kLanes * kLanes;
    struct BallPack {
        float x[kPadded];
        float y[kPadded];
        float z[kPadded];
        float k[kPadded];
        int count;
        int padded;
    };

public:
    // New vertices are found kBatch at a time: their edges are collected as
    // the cubes ask for them (ids are handed out at once, in order), and the
    // batch is solved side by side, one vector lane per edge.
    static constexpr int kBatch = 16;
    struct EdgeBatch {
        float ax[kBatch], ay[kBatch], az[kBatch];  // first corner (the smaller)
        float bx[kBatch], by[kBatch], bz[kBatch];  // second corner
        float va[kBatch], vb[kBatch];              // field values at the two
        float px[kBatch], py[kBatch], pz[kBatch];  // result: position
        float nx[kBatch], ny[kBatch], nz[kBatch];  // result: normal
    };

private:
    struct CentreNode {
        int i, j, k, next;
    };
    struct ValueNode {
        int i, j, k;
        int next;
        float value;
    };
    struct EdgeNode {
        int i1, j1, k1, i2, j2, k2;
        int vertex;
        int next;
    };
    // The direct slot of a lattice point within the bounds: its field value
    // and the vertices on the edges that start there, by direction (see
    // kEdgeSteps; kNoVertex when not made yet). The slot counts only when
    // its stamp is the current update's; it is filled when a corner first
    // lands on the point, so the edges of a cube find their slots in cache.
    static constexpr uint16_t kNoVertex = 0xffff;
    static_assert(kVertices < kNoVertex, "vertex ids fit the slots");
    struct Point {
        uint32_t stamp;
        float value;
        uint16_t vertex[7];
    };

    static int hash(int i, int j, int k) { return (((i & 31) * 32 + (j & 31)) * 32) + (k & 31); }
    static bool inSlots(int i, int j, int k) {
        return static_cast<unsigned>(i + kBounds) < 32u && static_cast<unsigned>(j + kBounds) < 32u &&
               static_cast<unsigned>(k + kBounds) < 32u;
    }
    static float sum(const BallPack& pack, float x, float y, float z);
    static void padPack(BallPack& pack);

    void reset();
    void packBalls();
    void selectSeeds();
    void seed(const float s[3]);
    void floodFill();

    void bisect(const float a[3], const float b[3], float va, float out[3]) const;
    bool setCentre(int i, int j, int k);
    bool setChainedCentre(int i, int j, int k);
    int setCorner(int i, int j, int k);
    float latticeValue(int i, int j, int k);
    float chainedValue(int i, int j, int k);
    int edgeVertex(const Cube& cube, int edge);
    int slotVertex(uint16_t& slot, int p, int q);
    int newVertex(int p, int q);
    void flushVertices();
    bool testFace(const Cube& cube, int di, int dj, int dk, int bit, const int face[4]);  // false: pools full
    void triangulate(const Cube& cube);
    bool roomForCube(int newCorners) const;

    BallPack all_{};
    std::unique_ptr<EdgeBatch> batch_;
    int pendingCount_ = 0;
    int pendingVertex_[kBatch] = {};
    int pendingFirst_[kBatch] = {};
    int pendingSecond_[kBatch] = {};

    // Hash tables, for the lattice points and cubes outside the bounds.
    std::unique_ptr<int[]> centreBuckets_;
    std::unique_ptr<int[]> valueBuckets_;
    std::unique_ptr<int[]> edgeBuckets_;
    std::unique_ptr<CentreNode[]> centreNodes_;
    std::unique_ptr<ValueNode[]> valueNodes_;
    std::unique_ptr<EdgeNode[]> edgeNodes_;
    std::unique_ptr<int[]> centreFilled_;
    std::unique_ptr<int[]> valueFilled_;
    std::unique_ptr<int[]> edgeFilled_;
    // Direct slots, indexed by hash(), for everything within the bounds.
    std::unique_ptr<uint32_t[]> centreStamps_;
    std::unique_ptr<Point[]> points_;
    uint32_t stamp_ = 0;

    std::unique_ptr<Corner[]> corners_;
    std::unique_ptr<Cube[]> cubes_;
    std::unique_ptr<Vertex[]> vertices_;
    std::unique_ptr<int[]> indices_;

    // Node counts cover both kinds of storage, so the pool limits hold as
    // they would with hash tables alone.
    int centreNodeCount_ = 0;
    int valueNodeCount_ = 0;
    int edgeNodeCount_ = 0;
    int centreFilledCount_ = 0;
    int valueFilledCount_ = 0;
    int edgeFilledCount_ = 0;
    int chainCentres_ = 0;  // nodes in the hash chains
    int chainValues_ = 0;
    int chainEdges_ = 0;
    int cornerCount_ = 0;
    int cubeCount_ = 0;
    int vertexCount_ = 0;
    int indexCount_ = 0;
    int stackTop_ = -1;
    int seedCount_ = 0;
    long vertexFieldSums_ = 0;
    bool kept_[kSeedBalls] = {};
    bool truncated_ = false;
    bool triangulating_ = true;  // false once a cube did not fit the pools
};
