#pragma once
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
// anchored at the origin and shared by all seeds. The visited cubes are then
// split into six tetrahedra each and triangulated from the corner signs.
// Vertices are shared through an edge table, field values at lattice points
// are cached per update, and the field near a vertex is summed over a short
// list of the balls that matter there.
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
    static constexpr float kNearThreshold = 0.05f;
    // Largest total share of the balls left out of a near list (see
    // solveEdges): on the blobs the viewer makes it moves a vertex by about a
    // hundredth of a cube at most.
    static constexpr float kNearSlack = 1.0e-3f;
    static constexpr int kBisections = 11;

    struct Corner {
        int i, j, k;
        double x, y, z;
        double value;
    };
    struct Cube {
        int i, j, k;
        int corners[8];  // indices into the corner pool
        int next;        // link of the flood-fill stack (-1 ends it)
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

    // The field over every ball (near list off).
    float fieldValue(float x, float y, float z) const;
    // The cube index of a coordinate on the current lattice.
    int cubeIndex(double x) const;

    // Results of the last update.
    int vertexCount() const { return vertexCount_; }
    int triangleCount() const { return indexCount_ / 3; }
    const Vertex* vertices() const { return vertices_; }
    const int* triangleIndices() const { return indices_; }
    int seedCount() const { return seedCount_; }
    int cubeCount() const { return cubeCount_; }
    const Cube* cubes() const { return cubes_; }
    int cornerCount() const { return cornerCount_; }
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
    // the tetrahedra ask for them (ids are handed out at once, in order), and
    // the batch is bisected side by side, one vector lane per edge.
    static constexpr int kBatch = 16;
    struct EdgeBatch {
        float ax[kBatch], ay[kBatch], az[kBatch];  // first corner (the smaller)
        float bx[kBatch], by[kBatch], bz[kBatch];  // second corner
        float va[kBatch];                          // field value at the first
        float mx[kBatch], my[kBatch], mz[kBatch];  // edge midpoint (near list)
        float px[kBatch], py[kBatch], pz[kBatch];  // result: position
        float nx[kBatch], ny[kBatch], nz[kBatch];  // result: normal
        // Near list of each lane as a mask over the balls (1 listed, 0 not).
        float near[kMaxBalls][kBatch];
    };

private:
    struct CentreNode {
        int i, j, k, next;
    };
    struct ValueNode {
        int i, j, k;
        int next;
        double value;
    };
    struct EdgeNode {
        int i1, j1, k1, i2, j2, k2;
        int vertex;
        int next;
    };

    static int hash(int i, int j, int k) { return (((i & 31) * 32 + (j & 31)) * 32) + (k & 31); }
    static float sum(const BallPack& pack, float x, float y, float z);
    static void padPack(BallPack& pack);

    void reset();
    void packBalls();
    void selectSeeds();
    void seed(const float s[3]);
    void floodFill();
    void triangulate();

    void bisect(const float a[3], const float b[3], float va, float out[3]) const;
    bool setCentre(int i, int j, int k);
    int setCorner(int i, int j, int k);
    int vertexOnEdge(int p, int q);
    void flushVertices();
    bool testFace(const Cube& cube, int di, int dj, int dk, int bit, const int face[4]);  // false: pools full
    int cubeVertex(const Cube& cube, int m, int n);
    void tetrahedron(const Cube& cube, int a, int b, int c, int d);
    bool triangle(int a, int b, int c);
    bool roomForCube(int newCorners) const;

    BallPack all_{};
    EdgeBatch* batch_ = nullptr;
    int cubeEdges_[8][8] = {};  // vertex ids of the cube being triangulated
    int pendingCount_ = 0;
    int pendingVertex_[kBatch] = {};
    int pendingFirst_[kBatch] = {};
    int pendingSecond_[kBatch] = {};

    int* centreBuckets_ = nullptr;
    int* valueBuckets_ = nullptr;
    int* edgeBuckets_ = nullptr;
    CentreNode* centreNodes_ = nullptr;
    ValueNode* valueNodes_ = nullptr;
    EdgeNode* edgeNodes_ = nullptr;
    int* centreFilled_ = nullptr;
    int* valueFilled_ = nullptr;
    int* edgeFilled_ = nullptr;
    Corner* corners_ = nullptr;
    Cube* cubes_ = nullptr;
    Vertex* vertices_ = nullptr;
    int* indices_ = nullptr;

    int centreNodeCount_ = 0;
    int valueNodeCount_ = 0;
    int edgeNodeCount_ = 0;
    int centreFilledCount_ = 0;
    int valueFilledCount_ = 0;
    int edgeFilledCount_ = 0;
    int cornerCount_ = 0;
    int cubeCount_ = 0;
    int vertexCount_ = 0;
    int indexCount_ = 0;
    int stackTop_ = -1;
    int seedCount_ = 0;
    bool kept_[kSeedBalls] = {};
    bool truncated_ = false;
};
