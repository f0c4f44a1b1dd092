#include "reactors/MetaballPolygoniser.h"

#include <GL/gl.h>

#include <cmath>

namespace {

// The six tetrahedra of a cube, as corner numbers a, b, c, d.
constexpr int kTetrahedra[6][4] = {
    {0, 2, 4, 1}, {6, 2, 1, 4}, {6, 2, 3, 1}, {6, 4, 1, 5}, {6, 1, 3, 5}, {6, 3, 7, 5},
};

// Triangles of a tetrahedron by its sign index (8a + 4b + 2c + d, a corner
// counting 1 when its value is above 0), as edge numbers 1..6 (e1 = a-b,
// e2 = a-c, e3 = a-d, e4 = b-c, e5 = b-d, e6 = c-d); 0 ends the list.
constexpr int kTetTriangles[16][6] = {
    {0, 0, 0, 0, 0, 0},  // 0
    {6, 3, 5, 0, 0, 0},  // 1
    {2, 6, 4, 0, 0, 0},  // 2
    {3, 5, 4, 3, 4, 2},  // 3
    {1, 4, 5, 0, 0, 0},  // 4
    {3, 1, 4, 3, 4, 6},  // 5
    {1, 2, 6, 1, 6, 5},  // 6
    {1, 2, 3, 0, 0, 0},  // 7
    {1, 3, 2, 0, 0, 0},  // 8
    {1, 5, 6, 1, 6, 2},  // 9
    {1, 3, 6, 1, 6, 4},  // 10
    {1, 5, 4, 0, 0, 0},  // 11
    {3, 2, 4, 3, 4, 5},  // 12
    {6, 2, 4, 0, 0, 0},  // 13
    {5, 3, 6, 0, 0, 0},  // 14
    {0, 0, 0, 0, 0, 0},  // 15
};

// The six faces in the order the flood fill tests them: neighbour offset,
// the corner bit that flips across the face, and the face's four corners.
struct Face {
    int di, dj, dk, bit;
    int corners[4];
};
constexpr Face kFaces[6] = {
    {-1, 0, 0, 2, {0, 1, 2, 3}},  // left
    {1, 0, 0, 2, {4, 5, 6, 7}},   // right
    {0, -1, 0, 1, {0, 1, 4, 5}},  // bottom
    {0, 1, 0, 1, {2, 3, 6, 7}},   // top
    {0, 0, -1, 0, {0, 2, 4, 6}},  // near
    {0, 0, 1, 0, {1, 3, 5, 7}},   // far
};

// A cube brings at most 19 distinct edges (12 sides, 6 face diagonals, one
// inner diagonal) and at most 12 triangles (two per tetrahedron).
constexpr int kCubeEdges = 19;
constexpr int kCubeTriangles = 12;

// Padding balls: so far away that their share of any sum is below the float
// precision of the real balls' share.
constexpr float kFarAway = 1.0e18f;

bool finite(float v) { return std::isfinite(v); }

// Sum of 1 / (k d^2) over balls padded to a multiple of kSumLanes. Written
// lane by lane over fixed-width groups so that the compiler turns each group
// into vector instructions (built for several instruction sets, as
// solveEdges below).
constexpr int kSumLanes = 8;
__attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
float sumShares(const float* cx, const float* cy, const float* cz, const float* ck, int padded, float x, float y,
                float z) {
    float acc[kSumLanes] = {};
    for (int n = 0; n < padded; n += kSumLanes) {
        for (int l = 0; l < kSumLanes; ++l) {
            const float dx = x - cx[n + l];
            const float dy = y - cy[n + l];
            const float dz = z - cz[n + l];
            acc[l] += 1.0f / (ck[n + l] * (dx * dx + dy * dy + dz * dz));
        }
    }
    return ((acc[0] + acc[4]) + (acc[1] + acc[5])) + ((acc[2] + acc[6]) + (acc[3] + acc[7]));
}

using EdgeBatch = MetaballPolygoniser::EdgeBatch;
constexpr int kBatch = MetaballPolygoniser::kBatch;

// Finds the vertices of one batch of edges, one lane per edge, with every
// loop running across the lanes so that it becomes vector code; the machine
// code is built for several instruction sets and the best one the processor
// has is chosen when the program starts.
//
// Near list: a ball is listed for a lane when its share 1 / (k d^2) at the
// edge midpoint is above kNearThreshold. A ball below it can still matter
// when many add up (fifty coincident balls each give 1/50 of the field on
// their common surface), so a lane whose unlisted shares add up to more than
// kNearSlack lists every ball. The listed balls are then summed for the
// eleven bisection midpoints and the gradient at the result.
//
// No floating-point trap is ever enabled and errno is never read, so the
// compiler may compute both sides of a selection and take a square root
// without a library call; the results are the same bit for bit.
#if defined(__clang__)
// clang has no per-function optimize attribute; it vectorises the selections
// without it.
#define STRATA_NO_MATH_TRAPS
#else
#define STRATA_NO_MATH_TRAPS , optimize("no-trapping-math", "no-math-errno")
#endif
__attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default") STRATA_NO_MATH_TRAPS))
void solveEdges(const float* cx, const float* cy, const float* cz, const float* ck, int balls, EdgeBatch& e) {
    float left[kBatch];
    for (int l = 0; l < kBatch; ++l) left[l] = 0.0f;
    for (int b = 0; b < balls; ++b) {
        for (int l = 0; l < kBatch; ++l) {
            const float dx = e.mx[l] - cx[b];
            const float dy = e.my[l] - cy[b];
            const float dz = e.mz[l] - cz[b];
            const float share = 1.0f / (ck[b] * (dx * dx + dy * dy + dz * dz));
            const bool listed = share > MetaballPolygoniser::kNearThreshold;
            e.near[b][l] = listed ? 1.0f : 0.0f;
            left[l] += listed ? 0.0f : share;
        }
    }
    for (int b = 0; b < balls; ++b)
        for (int l = 0; l < kBatch; ++l)
            e.near[b][l] = left[l] > MetaballPolygoniser::kNearSlack ? 1.0f : e.near[b][l];

    float px[kBatch], py[kBatch], pz[kBatch];  // positive end
    float ox[kBatch], oy[kBatch], oz[kBatch];  // other end
    for (int l = 0; l < kBatch; ++l) {
        const bool firstPositive = e.va[l] >= 0.0f;
        px[l] = firstPositive ? e.ax[l] : e.bx[l];
        py[l] = firstPositive ? e.ay[l] : e.by[l];
        pz[l] = firstPositive ? e.az[l] : e.bz[l];
        ox[l] = firstPositive ? e.bx[l] : e.ax[l];
        oy[l] = firstPositive ? e.by[l] : e.ay[l];
        oz[l] = firstPositive ? e.bz[l] : e.az[l];
    }
    float mx[kBatch], my[kBatch], mz[kBatch];
    for (int step = 1; step <= MetaballPolygoniser::kBisections; ++step) {
        float s[kBatch];
        for (int l = 0; l < kBatch; ++l) {
            mx[l] = (px[l] + ox[l]) * 0.5f;
            my[l] = (py[l] + oy[l]) * 0.5f;
            mz[l] = (pz[l] + oz[l]) * 0.5f;
            s[l] = 0.0f;
        }
        for (int b = 0; b < balls; ++b) {
            for (int l = 0; l < kBatch; ++l) {
                const float dx = mx[l] - cx[b];
                const float dy = my[l] - cy[b];
                const float dz = mz[l] - cz[b];
                const float share = 1.0f / (ck[b] * (dx * dx + dy * dy + dz * dz));
                s[l] += e.near[b][l] != 0.0f ? share : 0.0f;
            }
        }
        if (step == MetaballPolygoniser::kBisections) break;  // the eleventh midpoint is the result
        for (int l = 0; l < kBatch; ++l) {
            const bool positive = 1.0f - s[l] > 0.0f;
            px[l] = positive ? mx[l] : px[l];
            py[l] = positive ? my[l] : py[l];
            pz[l] = positive ? mz[l] : pz[l];
            ox[l] = positive ? ox[l] : mx[l];
            oy[l] = positive ? oy[l] : my[l];
            oz[l] = positive ? oz[l] : mz[l];
        }
    }

    // Gradient g = sum of -(1/d^2)^2 k (p - c); the normal is -g / |g|.
    float gx[kBatch], gy[kBatch], gz[kBatch];
    for (int l = 0; l < kBatch; ++l) gx[l] = gy[l] = gz[l] = 0.0f;
    for (int b = 0; b < balls; ++b) {
        for (int l = 0; l < kBatch; ++l) {
            const float dx = mx[l] - cx[b];
            const float dy = my[l] - cy[b];
            const float dz = mz[l] - cz[b];
            const float inv = 1.0f / (dx * dx + dy * dy + dz * dz);
            const float w = -(inv * inv) * ck[b];
            const bool listed = e.near[b][l] != 0.0f;
            gx[l] += listed ? w * dx : 0.0f;
            gy[l] += listed ? w * dy : 0.0f;
            gz[l] += listed ? w * dz : 0.0f;
        }
    }
    for (int l = 0; l < kBatch; ++l) {
        e.px[l] = mx[l];
        e.py[l] = my[l];
        e.pz[l] = mz[l];
        const float length = std::sqrt(gx[l] * gx[l] + gy[l] * gy[l] + gz[l] * gz[l]);
        const bool unit = length > 0.0f;
        e.nx[l] = unit ? -gx[l] / length : gx[l];
        e.ny[l] = unit ? -gy[l] / length : gy[l];
        e.nz[l] = unit ? -gz[l] / length : gz[l];
    }
}

}  // namespace

MetaballPolygoniser::MetaballPolygoniser() {
    centreBuckets_ = new int[kHashBuckets];
    valueBuckets_ = new int[kHashBuckets];
    edgeBuckets_ = new int[kEdgeBuckets];
    for (int b = 0; b < kHashBuckets; ++b) centreBuckets_[b] = valueBuckets_[b] = -1;
    for (int b = 0; b < kEdgeBuckets; ++b) edgeBuckets_[b] = -1;
    centreNodes_ = new CentreNode[kCentreNodes]();
    valueNodes_ = new ValueNode[kValueNodes]();
    edgeNodes_ = new EdgeNode[kEdgeNodes]();
    centreFilled_ = new int[kFilledBuckets]();
    valueFilled_ = new int[kFilledBuckets]();
    edgeFilled_ = new int[kFilledBuckets]();
    corners_ = new Corner[kCorners]();
    cubes_ = new Cube[kCubes]();
    vertices_ = new Vertex[kVertices]();
    indices_ = new int[kTriangleIndices]();
    batch_ = new EdgeBatch();
    padPack(all_);
}

MetaballPolygoniser::~MetaballPolygoniser() {
    delete[] centreBuckets_;
    delete[] valueBuckets_;
    delete[] edgeBuckets_;
    delete[] centreNodes_;
    delete[] valueNodes_;
    delete[] edgeNodes_;
    delete[] centreFilled_;
    delete[] valueFilled_;
    delete[] edgeFilled_;
    delete[] corners_;
    delete[] cubes_;
    delete[] vertices_;
    delete[] indices_;
    delete batch_;
}

void MetaballPolygoniser::setBall(int i, float x, float y, float z, float k) {
    if (i < 0 || i >= kMaxBalls) return;
    balls[i][0] = x;
    balls[i][1] = y;
    balls[i][2] = z;
    balls[i][3] = k;
}

void MetaballPolygoniser::setBallCount(int count) {
    ballCount = count < 0 ? 0 : (count > kMaxBalls ? kMaxBalls : count);
}

// ---------------------------------------------------------------- the field

void MetaballPolygoniser::padPack(BallPack& pack) {
    static_assert(kLanes == kSumLanes, "packs are padded to whole sum groups");
    pack.padded = (pack.count + kLanes - 1) / kLanes * kLanes;
    for (int n = pack.count; n < kPadded; ++n) {
        pack.x[n] = pack.y[n] = pack.z[n] = kFarAway;
        pack.k[n] = 1.0f;
    }
}

float MetaballPolygoniser::sum(const BallPack& pack, float x, float y, float z) {
    return sumShares(pack.x, pack.y, pack.z, pack.k, pack.padded, x, y, z);
}

float MetaballPolygoniser::fieldValue(float x, float y, float z) const { return 1.0f - sum(all_, x, y, z); }

// Balls with k <= 0 add nothing to the field, and a ball with a centre or
// strength that is not a finite number cannot be placed; both are left out of
// the pack (and so out of the seeds and near lists).
void MetaballPolygoniser::packBalls() {
    // The count is written by the owner; only the table's own entries are read.
    const int count = ballCount < 0 ? 0 : (ballCount > kMaxBalls ? kMaxBalls : ballCount);
    int n = 0;
    for (int b = 0; b < count; ++b) {
        const float* ball = balls[b];
        if (!(ball[3] > 0.0f) || !finite(ball[3]) || !finite(ball[0]) || !finite(ball[1]) || !finite(ball[2]))
            continue;
        all_.x[n] = ball[0];
        all_.y[n] = ball[1];
        all_.z[n] = ball[2];
        all_.k[n] = ball[3];
        ++n;
    }
    all_.count = n;
    padPack(all_);
}

// Eleven midpoints over the full field (the seeds); the result is the
// eleventh. The end whose value is not below 0 (a, when va >= 0) starts as
// the positive end. solveEdges does the same for the vertices, lane by lane.
void MetaballPolygoniser::bisect(const float a[3], const float b[3], float va, float out[3]) const {
    float positive[3], other[3];
    for (int c = 0; c < 3; ++c) {
        positive[c] = va >= 0.0f ? a[c] : b[c];
        other[c] = va >= 0.0f ? b[c] : a[c];
    }
    for (int step = 1;; ++step) {
        const float m[3] = {(positive[0] + other[0]) * 0.5f, (positive[1] + other[1]) * 0.5f,
                            (positive[2] + other[2]) * 0.5f};
        const float value = fieldValue(m[0], m[1], m[2]);
        if (step == kBisections) {
            out[0] = m[0];
            out[1] = m[1];
            out[2] = m[2];
            return;
        }
        float* end = value > 0.0f ? positive : other;
        end[0] = m[0];
        end[1] = m[1];
        end[2] = m[2];
    }
}

// ------------------------------------------------------------ the polygoniser

int MetaballPolygoniser::cubeIndex(double x) const {
    double t = x / cubeSize + 0.5;
    if (t < 0.0) t = t + 0.5;
    // Keep far-off or invalid coordinates inside the integer range; such a
    // cube lies outside the bounds and stays a lone seed cube.
    if (!(t > -1.0e6)) t = -1.0e6;
    if (t > 1.0e6) t = 1.0e6;
    return static_cast<int>(std::floor(t));
}

void MetaballPolygoniser::reset() {
    for (int n = 0; n < centreFilledCount_; ++n) centreBuckets_[centreFilled_[n]] = -1;
    for (int n = 0; n < valueFilledCount_; ++n) valueBuckets_[valueFilled_[n]] = -1;
    for (int n = 0; n < edgeFilledCount_; ++n) edgeBuckets_[edgeFilled_[n]] = -1;
    centreFilledCount_ = valueFilledCount_ = edgeFilledCount_ = 0;
    centreNodeCount_ = valueNodeCount_ = edgeNodeCount_ = 0;
    cornerCount_ = cubeCount_ = vertexCount_ = indexCount_ = 0;
    cubeSize = 0.15;
    bounds = 15;
    origin[0] = origin[1] = origin[2] = 0.0f;
    stackTop_ = -1;
    seedCount_ = 0;
    truncated_ = false;
    pendingCount_ = 0;
}

bool MetaballPolygoniser::setCentre(int i, int j, int k) {
    const int bucket = hash(i, j, k);
    for (int n = centreBuckets_[bucket]; n >= 0; n = centreNodes_[n].next) {
        const CentreNode& node = centreNodes_[n];
        if (node.i == i && node.j == j && node.k == k) return true;
    }
    // Callers make sure a node is free (roomForCube).
    const int n = centreNodeCount_++;
    centreNodes_[n] = {i, j, k, centreBuckets_[bucket]};
    if (centreBuckets_[bucket] < 0) centreFilled_[centreFilledCount_++] = bucket;
    centreBuckets_[bucket] = n;
    return false;
}

int MetaballPolygoniser::setCorner(int i, int j, int k) {
    const int id = cornerCount_++;
    Corner& corner = corners_[id];
    corner.i = i;
    corner.j = j;
    corner.k = k;
    corner.x = origin[0] + (i - 0.5) * cubeSize;
    corner.y = origin[1] + (j - 0.5) * cubeSize;
    corner.z = origin[2] + (k - 0.5) * cubeSize;
    const int bucket = hash(i, j, k);
    for (int n = valueBuckets_[bucket]; n >= 0; n = valueNodes_[n].next) {
        const ValueNode& node = valueNodes_[n];
        if (node.i == i && node.j == j && node.k == k) {
            corner.value = node.value;
            return id;
        }
    }
    corner.value = fieldValue(static_cast<float>(corner.x), static_cast<float>(corner.y), static_cast<float>(corner.z));
    const int n = valueNodeCount_++;
    valueNodes_[n].i = i;
    valueNodes_[n].j = j;
    valueNodes_[n].k = k;
    valueNodes_[n].value = corner.value;
    valueNodes_[n].next = valueBuckets_[bucket];
    if (valueBuckets_[bucket] < 0) valueFilled_[valueFilledCount_++] = bucket;
    valueBuckets_[bucket] = n;
    return id;
}

// Room for one more cube with `newCorners` corners of its own: a cube slot, a
// centre node, and a corner record and (at worst) a value node per corner.
bool MetaballPolygoniser::roomForCube(int newCorners) const {
    return cubeCount_ < kCubes && centreNodeCount_ < kCentreNodes && cornerCount_ + newCorners <= kCorners &&
           valueNodeCount_ + newCorners <= kValueNodes;
}

void MetaballPolygoniser::selectSeeds() {
    const int n = all_.count < kSeedBalls ? all_.count : kSeedBalls;
    for (int b = 0; b < n; ++b) kept_[b] = true;
    for (int i = 0; i < n; ++i) {
        if (!kept_[i]) continue;
        for (int j = i + 1; j < n; ++j) {
            if (!kept_[j]) continue;
            const float dx = all_.x[i] - all_.x[j];
            const float dy = all_.y[i] - all_.y[j];
            const float dz = all_.z[i] - all_.z[j];
            const float distance = std::sqrt(dx * dx + dy * dy + dz * dz);
            if (1.0f / all_.k[i] + 1.0f / all_.k[j] > distance) kept_[j] = false;
        }
    }
    for (int b = 0; b < n; ++b) {
        if (!kept_[b]) continue;
        ++seedCount_;
        const float s[3] = {all_.x[b], all_.y[b], all_.z[b]};
        seed(s);
    }
}

void MetaballPolygoniser::seed(const float s[3]) {
    if (!roomForCube(8)) {
        truncated_ = true;
        return;
    }
    const float start[3] = {3.0f, 3.0f, 3.0f};
    float q[3];
    bisect(start, s, 1.0f, q);  // (3, 3, 3) is taken as the positive end
    Cube& cube = cubes_[cubeCount_++];
    cube.i = cubeIndex(q[0]);
    cube.j = cubeIndex(q[1]);
    cube.k = cubeIndex(q[2]);
    for (int n = 0; n < 8; ++n) cube.corners[n] = setCorner(cube.i + ((n >> 2) & 1), cube.j + ((n >> 1) & 1), cube.k + (n & 1));
    // Two seeds in one cube put it into the array twice, on purpose: the
    // answer of setCentre is not consulted here.
    setCentre(cube.i, cube.j, cube.k);
    cube.next = stackTop_;
    stackTop_ = static_cast<int>(&cube - cubes_);
}

bool MetaballPolygoniser::testFace(const Cube& cube, int di, int dj, int dk, int bit, const int face[4]) {
    const bool positive = corners_[cube.corners[face[0]]].value > 0.0;
    int same = 1;
    for (int c = 1; c < 4; ++c)
        if ((corners_[cube.corners[face[c]]].value > 0.0) == positive) ++same;
    if (same == 4) return true;
    const int i = cube.i + di, j = cube.j + dj, k = cube.k + dk;
    if (std::abs(i) > bounds || std::abs(j) > bounds || std::abs(k) > bounds) return true;
    if (!roomForCube(4)) {
        truncated_ = true;
        return false;
    }
    if (setCentre(i, j, k)) return true;
    Cube& next = cubes_[cubeCount_];
    next.i = i;
    next.j = j;
    next.k = k;
    for (int n = 0; n < 8; ++n) next.corners[n] = -1;
    for (int c = 0; c < 4; ++c) next.corners[face[c] ^ (1 << bit)] = cube.corners[face[c]];
    for (int n = 0; n < 8; ++n)
        if (next.corners[n] < 0) next.corners[n] = setCorner(i + ((n >> 2) & 1), j + ((n >> 1) & 1), k + (n & 1));
    next.next = stackTop_;
    stackTop_ = cubeCount_++;
    return true;
}

// When the pools cannot take another cube the flood fill stops there: the
// cubes collected so far are triangulated, and the surface has a hole where
// the walk did not reach.
void MetaballPolygoniser::floodFill() {
    while (stackTop_ >= 0) {
        const int top = stackTop_;
        stackTop_ = cubes_[top].next;
        for (const Face& face : kFaces) {
            if (!testFace(cubes_[top], face.di, face.dj, face.dk, face.bit, face.corners)) {
                stackTop_ = -1;
                return;
            }
        }
    }
}

int MetaballPolygoniser::vertexOnEdge(int p, int q) {
    if (corners_[q].i < corners_[p].i ||
        (corners_[q].i == corners_[p].i &&
         (corners_[q].j < corners_[p].j || (corners_[q].j == corners_[p].j && corners_[q].k < corners_[p].k)))) {
        const int t = p;
        p = q;
        q = t;
    }
    const Corner& c1 = corners_[p];
    const Corner& c2 = corners_[q];
    const int bucket = hash(c1.i, c1.j, c1.k) + hash(c2.i, c2.j, c2.k);
    for (int n = edgeBuckets_[bucket]; n >= 0; n = edgeNodes_[n].next) {
        const EdgeNode& e = edgeNodes_[n];
        if (e.i1 == c1.i && e.j1 == c1.j && e.k1 == c1.k && e.i2 == c2.i && e.j2 == c2.j && e.k2 == c2.k)
            return e.vertex;
    }
    // A new vertex: its id is its place in the pool (triangulate() made sure
    // there is room); position and normal follow when its batch is solved.
    const int id = vertexCount_++;
    const int n = edgeNodeCount_++;
    edgeNodes_[n] = {c1.i, c1.j, c1.k, c2.i, c2.j, c2.k, id, edgeBuckets_[bucket]};
    if (edgeBuckets_[bucket] < 0) edgeFilled_[edgeFilledCount_++] = bucket;
    edgeBuckets_[bucket] = n;
    pendingVertex_[pendingCount_] = id;
    pendingFirst_[pendingCount_] = p;
    pendingSecond_[pendingCount_] = q;
    if (++pendingCount_ == kBatch) flushVertices();
    return id;
}

// The smaller corner of the pair is the start of the bisection, so an edge
// gives the same vertex whichever tetrahedron asks first. Unused lanes of a
// short batch repeat lane 0 and are not stored.
void MetaballPolygoniser::flushVertices() {
    if (pendingCount_ == 0) return;
    EdgeBatch& e = *batch_;
    for (int l = 0; l < kBatch; ++l) {
        const int slot = l < pendingCount_ ? l : 0;
        const Corner& c1 = corners_[pendingFirst_[slot]];
        const Corner& c2 = corners_[pendingSecond_[slot]];
        e.ax[l] = static_cast<float>(c1.x);
        e.ay[l] = static_cast<float>(c1.y);
        e.az[l] = static_cast<float>(c1.z);
        e.bx[l] = static_cast<float>(c2.x);
        e.by[l] = static_cast<float>(c2.y);
        e.bz[l] = static_cast<float>(c2.z);
        e.va[l] = static_cast<float>(c1.value);
        e.mx[l] = static_cast<float>((c1.x + c2.x) * 0.5);
        e.my[l] = static_cast<float>((c1.y + c2.y) * 0.5);
        e.mz[l] = static_cast<float>((c1.z + c2.z) * 0.5);
    }
    solveEdges(all_.x, all_.y, all_.z, all_.k, all_.count, e);
    for (int l = 0; l < pendingCount_; ++l) {
        Vertex& v = vertices_[pendingVertex_[l]];
        v.x = e.px[l];
        v.y = e.py[l];
        v.z = e.pz[l];
        v.nx = e.nx[l];
        v.ny = e.ny[l];
        v.nz = e.nz[l];
    }
    pendingCount_ = 0;
}

bool MetaballPolygoniser::triangle(int a, int b, int c) {
    indices_[indexCount_++] = a;
    indices_[indexCount_++] = b;
    indices_[indexCount_++] = c;
    return true;
}

// The vertex on the edge between corners m and n (corner numbers) of the
// cube being triangulated. The six tetrahedra of a cube share its edges, so
// each edge is looked up in the edge table once per cube.
int MetaballPolygoniser::cubeVertex(const Cube& cube, int m, int n) {
    int& id = cubeEdges_[m][n];
    if (id < 0) id = cubeEdges_[n][m] = vertexOnEdge(cube.corners[m], cube.corners[n]);
    return id;
}

void MetaballPolygoniser::tetrahedron(const Cube& cube, int a, int b, int c, int d) {
    const bool pa = corners_[cube.corners[a]].value > 0.0, pb = corners_[cube.corners[b]].value > 0.0;
    const bool pc = corners_[cube.corners[c]].value > 0.0, pd = corners_[cube.corners[d]].value > 0.0;
    const int index = (pa ? 8 : 0) + (pb ? 4 : 0) + (pc ? 2 : 0) + (pd ? 1 : 0);
    if (index == 0 || index == 15) return;
    int e[7] = {-1, -1, -1, -1, -1, -1, -1};
    if (pa != pb) e[1] = cubeVertex(cube, a, b);
    if (pa != pc) e[2] = cubeVertex(cube, a, c);
    if (pa != pd) e[3] = cubeVertex(cube, a, d);
    if (pb != pc) e[4] = cubeVertex(cube, b, c);
    if (pb != pd) e[5] = cubeVertex(cube, b, d);
    if (pc != pd) e[6] = cubeVertex(cube, c, d);
    const int* t = kTetTriangles[index];
    triangle(e[t[0]], e[t[1]], e[t[2]]);
    if (t[3] != 0) triangle(e[t[3]], e[t[4]], e[t[5]]);
}

// Cubes are triangulated in the order they were collected. Before each cube
// the vertex, edge and triangle pools must hold everything one cube can
// bring; when they cannot, the rest of the frame's surface is left out, so
// the mesh stays whole cubes and every index names a real vertex.
void MetaballPolygoniser::triangulate() {
    for (int n = 0; n < cubeCount_; ++n) {
        if (vertexCount_ + kCubeEdges > kVertices || edgeNodeCount_ + kCubeEdges > kEdgeNodes ||
            indexCount_ + 3 * kCubeTriangles > kTriangleIndices) {
            truncated_ = true;
            break;
        }
        const Cube& cube = cubes_[n];
        for (auto& row : cubeEdges_)
            for (int& id : row) id = -1;
        for (const auto& tet : kTetrahedra) tetrahedron(cube, tet[0], tet[1], tet[2], tet[3]);
    }
    flushVertices();
}

void MetaballPolygoniser::update() {
    reset();
    packBalls();
    selectSeeds();
    floodFill();
    triangulate();
}

void MetaballPolygoniser::draw() {
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CW);
    // One batch through vertex arrays: the same triangles, normals and order
    // as sending each vertex by hand, at a fraction of the calls.
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(Vertex), &vertices_[0].x);
    glNormalPointer(GL_FLOAT, sizeof(Vertex), &vertices_[0].nx);
    glDrawElements(GL_TRIANGLES, indexCount_, GL_UNSIGNED_INT, indices_);
    glPopClientAttrib();
    glDisable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
}
