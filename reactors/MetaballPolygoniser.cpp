#include "reactors/MetaballPolygoniser.h"

#include <GL/gl.h>

#include <bit>
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

// The seven directions the tetrahedra's edges take from their
// lexicographically smaller end (i first, then j, then k): the three axes,
// the face diagonals and the inner diagonal.
constexpr int kEdgeSteps[7][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, -1, 0}, {0, 1, -1}, {1, 0, -1}, {1, 1, -1}};

// An edge of the cube: its two corner numbers, the lexicographically smaller
// lattice point first, and its direction from there.
struct CubeEdge {
    int first, second, direction;
};
// What a cube with a given sign code brings: its crossed edges in the order
// the six tetrahedra first ask for them, and its triangles as places in that
// list, in the tetrahedra's order.
struct CubeCase {
    int edgeCount;
    int triangleCount;
    int edges[kCubeEdges];
    int triangles[kCubeTriangles][3];
};
struct CubeTables {
    CubeEdge edges[kCubeEdges];
    CubeCase cases[256];
    // By sign code: bit f set when face f of kFaces has corners of both signs.
    unsigned crossedFaces[256];
};

constexpr int cornerStep(int n, int axis) { return (n >> (2 - axis)) & 1; }

constexpr int cubeEdgeOf(CubeTables& t, int& count, int m, int n) {
    for (int e = 0; e < count; ++e)
        if ((t.edges[e].first == m && t.edges[e].second == n) || (t.edges[e].first == n && t.edges[e].second == m))
            return e;
    int d[3] = {cornerStep(n, 0) - cornerStep(m, 0), cornerStep(n, 1) - cornerStep(m, 1),
                cornerStep(n, 2) - cornerStep(m, 2)};
    const bool nFirst = d[0] < 0 || (d[0] == 0 && (d[1] < 0 || (d[1] == 0 && d[2] < 0)));
    if (nFirst)
        for (int& v : d) v = -v;
    int direction = -1;
    for (int s = 0; s < 7; ++s)
        if (kEdgeSteps[s][0] == d[0] && kEdgeSteps[s][1] == d[1] && kEdgeSteps[s][2] == d[2]) direction = s;
    if (direction < 0) throw "an edge of the tetrahedra with no direction";  // stops the compile
    t.edges[count] = {nFirst ? n : m, nFirst ? m : n, direction};
    return count++;
}

constexpr CubeTables buildCubeTables() {
    CubeTables t{};
    int count = 0;
    int edgeOf[8][8] = {};
    for (const auto& tet : kTetrahedra)
        for (int x = 0; x < 4; ++x)
            for (int y = x + 1; y < 4; ++y)
                edgeOf[tet[x]][tet[y]] = edgeOf[tet[y]][tet[x]] = cubeEdgeOf(t, count, tet[x], tet[y]);
    if (count != kCubeEdges) throw "the tetrahedra do not have 19 edges";
    for (int code = 0; code < 256; ++code) {
        for (int f = 0; f < 6; ++f) {
            int mask = 0;
            for (int corner : kFaces[f].corners) mask |= 1 << corner;
            if ((code & mask) != 0 && (code & mask) != mask) t.crossedFaces[code] |= 1u << f;
        }
        CubeCase& c = t.cases[code];
        int place[kCubeEdges];
        for (int& p : place) p = -1;
        for (const auto& tet : kTetrahedra) {
            bool positive[4] = {};
            int index = 0;
            for (int x = 0; x < 4; ++x) {
                positive[x] = ((code >> tet[x]) & 1) != 0;
                index = 2 * index + (positive[x] ? 1 : 0);
            }
            if (index == 0 || index == 15) continue;
            // e1 = a-b, e2 = a-c, e3 = a-d, e4 = b-c, e5 = b-d, e6 = c-d
            constexpr int kPairs[6][2] = {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}};
            int e[7] = {-1, -1, -1, -1, -1, -1, -1};
            for (int p = 0; p < 6; ++p) {
                const int x = kPairs[p][0], y = kPairs[p][1];
                if (positive[x] == positive[y]) continue;
                const int edge = edgeOf[tet[x]][tet[y]];
                if (place[edge] < 0) {
                    place[edge] = c.edgeCount;
                    c.edges[c.edgeCount++] = edge;
                }
                e[p + 1] = place[edge];
            }
            const int* tri = kTetTriangles[index];
            for (int n = 0; n < 6 && tri[n] != 0; n += 3) {
                c.triangles[c.triangleCount][0] = e[tri[n]];
                c.triangles[c.triangleCount][1] = e[tri[n + 1]];
                c.triangles[c.triangleCount][2] = e[tri[n + 2]];
                ++c.triangleCount;
            }
        }
    }
    return t;
}

constexpr CubeTables kCubeTables = buildCubeTables();

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

// The root finder works on h = 1 / sqrt(S) - 1 rather than on F = 1 - S (S
// the sum of shares): both are positive exactly where the other is and vanish
// on the same surface, but h is the distance to the centre over the radius,
// less one, for a lone ball, and close to linear along an edge for any blob,
// while F runs off to minus infinity near a centre. Interpolating h finds the
// crossing in a few steps wherever the edge lies.
// The value kept at the positive end stays within these (h itself is never
// below -1), so the interpolation never meets 0 / 0 or infinity / infinity,
// even at a point with no measurable share. (Written out where used: a
// helper function would not be inlined into the vector code.)
constexpr float kTinyPositive = 1.0e-30f;
constexpr float kHugePositive = 1.0e30f;

// Finds the vertices of one batch of edges, one lane per edge, with every
// loop running across the lanes so that it becomes vector code; the machine
// code is built for several instruction sets and the best one the processor
// has is chosen when the program starts.
//
// Each lane brackets the crossing between its positive end (h > 0) and its
// other end, and takes kRootSteps steps of regula falsi with the Illinois
// modification (when the same end moves twice running, the value kept at the
// other end is halved, so that end moves too): a step evaluates the field at
// the point where the line through the two ends' values crosses 0, and that
// point replaces the end of its sign. The vertex is where that line crosses
// after the last step; the normal is the gradient there.
//
// No floating-point trap is ever enabled and errno is never read, so the
// compiler may compute both sides of a selection and take a square root
// without a library call; the results are the same bit for bit. (The square
// roots are the compiler's own: std::sqrt is not inlined into a function
// built with other options, and a call per lane stops the vector code.)
#if defined(__clang__)
// clang has no per-function optimize attribute; it vectorises the selections
// without it.
#define STRATA_NO_MATH_TRAPS
#else
#define STRATA_NO_MATH_TRAPS , optimize("no-trapping-math", "no-math-errno")
#endif
__attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default") STRATA_NO_MATH_TRAPS))
int solveEdges(const float* cx, const float* cy, const float* cz, const float* ck, int balls, EdgeBatch& e) {
    float px[kBatch], py[kBatch], pz[kBatch], hp[kBatch];  // positive end
    float ox[kBatch], oy[kBatch], oz[kBatch], ho[kBatch];  // other end
    float side[kBatch];  // which end moved last: 1 positive, -1 other, 0 none yet
    for (int l = 0; l < kBatch; ++l) {
        const bool firstPositive = e.va[l] > 0.0f;
        px[l] = firstPositive ? e.ax[l] : e.bx[l];
        py[l] = firstPositive ? e.ay[l] : e.by[l];
        pz[l] = firstPositive ? e.az[l] : e.bz[l];
        ox[l] = firstPositive ? e.bx[l] : e.ax[l];
        oy[l] = firstPositive ? e.by[l] : e.ay[l];
        oz[l] = firstPositive ? e.bz[l] : e.az[l];
        const float fp = firstPositive ? e.va[l] : e.vb[l];
        const float fo = firstPositive ? e.vb[l] : e.va[l];
        const float positive = 1.0f / __builtin_sqrtf(1.0f - fp) - 1.0f;
        const float other = 1.0f / __builtin_sqrtf(1.0f - fo) - 1.0f;
        hp[l] = positive > kTinyPositive ? (positive < kHugePositive ? positive : kHugePositive) : kTinyPositive;
        ho[l] = other < 0.0f ? other : 0.0f;
        side[l] = 0.0f;
    }
    float mx[kBatch], my[kBatch], mz[kBatch];
    int steps = 0;
    for (;; ++steps) {
        float s[kBatch];
        for (int l = 0; l < kBatch; ++l) {
            const float t = hp[l] / (hp[l] - ho[l]);
            mx[l] = px[l] + t * (ox[l] - px[l]);
            my[l] = py[l] + t * (oy[l] - py[l]);
            mz[l] = pz[l] + t * (oz[l] - pz[l]);
            s[l] = 0.0f;
        }
        if (steps == MetaballPolygoniser::kRootSteps) break;
        for (int b = 0; b < balls; ++b) {
            for (int l = 0; l < kBatch; ++l) {
                const float dx = mx[l] - cx[b];
                const float dy = my[l] - cy[b];
                const float dz = mz[l] - cz[b];
                s[l] += 1.0f / (ck[b] * (dx * dx + dy * dy + dz * dz));
            }
        }
        int unsettled = 0;  // lanes still farther than the tolerance
        for (int l = 0; l < kBatch; ++l) {
            const float h = 1.0f / __builtin_sqrtf(s[l]) - 1.0f;
            const bool positive = h > 0.0f;
            px[l] = positive ? mx[l] : px[l];
            py[l] = positive ? my[l] : py[l];
            pz[l] = positive ? mz[l] : pz[l];
            ox[l] = positive ? ox[l] : mx[l];
            oy[l] = positive ? oy[l] : my[l];
            oz[l] = positive ? oz[l] : mz[l];
            // The end that stays, when it stayed last time too, is scaled by
            // 1 - h / (the value replaced), or halved when that is not above 0.
            const float replaced = positive ? hp[l] : ho[l];
            const float ratio = 1.0f - h / replaced;
            const float scale = ratio > 0.0f ? ratio : 0.5f;
            const float stayingPositive = side[l] < 0.0f ? hp[l] * scale : hp[l];
            const float stayingOther = side[l] > 0.0f ? ho[l] * scale : ho[l];
            const float nextPositive = positive ? h : stayingPositive;
            hp[l] = nextPositive > kTinyPositive ? (nextPositive < kHugePositive ? nextPositive : kHugePositive)
                                                 : kTinyPositive;
            ho[l] = positive ? stayingOther : h;
            side[l] = positive ? 1.0f : -1.0f;
            unsettled += (positive ? h : -h) < MetaballPolygoniser::kRootTolerance ? 0 : 1;
        }
        if (unsettled == 0) {
            ++steps;
            break;
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
            gx[l] += w * dx;
            gy[l] += w * dy;
            gz[l] += w * dz;
        }
    }
    for (int l = 0; l < kBatch; ++l) {
        e.px[l] = mx[l];
        e.py[l] = my[l];
        e.pz[l] = mz[l];
        const float length = __builtin_sqrtf(gx[l] * gx[l] + gy[l] * gy[l] + gz[l] * gz[l]);
        const bool unit = length > 0.0f;
        e.nx[l] = unit ? -gx[l] / length : gx[l];
        e.ny[l] = unit ? -gy[l] / length : gy[l];
        e.nz[l] = unit ? -gz[l] / length : gz[l];
    }
    return steps;
}

}  // namespace

MetaballPolygoniser::MetaballPolygoniser()
    : batch_(std::make_unique<EdgeBatch>()),
      centreBuckets_(std::make_unique<int[]>(kHashBuckets)),
      valueBuckets_(std::make_unique<int[]>(kHashBuckets)),
      edgeBuckets_(std::make_unique<int[]>(kEdgeBuckets)),
      centreNodes_(std::make_unique<CentreNode[]>(kCentreNodes)),
      valueNodes_(std::make_unique<ValueNode[]>(kValueNodes)),
      edgeNodes_(std::make_unique<EdgeNode[]>(kEdgeNodes)),
      centreFilled_(std::make_unique<int[]>(kFilledBuckets)),
      valueFilled_(std::make_unique<int[]>(kFilledBuckets)),
      edgeFilled_(std::make_unique<int[]>(kFilledBuckets)),
      centreStamps_(std::make_unique<uint32_t[]>(kHashBuckets)),
      points_(std::make_unique<Point[]>(kHashBuckets)),
      corners_(std::make_unique<Corner[]>(kCorners)),
      cubes_(std::make_unique<Cube[]>(kCubes)),
      vertices_(std::make_unique<Vertex[]>(kVertices)),
      indices_(std::make_unique<int[]>(kTriangleIndices)) {
    for (int b = 0; b < kHashBuckets; ++b) centreBuckets_[b] = valueBuckets_[b] = -1;
    for (int b = 0; b < kEdgeBuckets; ++b) edgeBuckets_[b] = -1;
    padPack(all_);
}

MetaballPolygoniser::~MetaballPolygoniser() = default;

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
// the pack (and so out of the seeds).
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

// Eleven midpoints over the field (the seeds); the result is the
// eleventh. The end whose value is not below 0 (a, when va >= 0) starts as
// the positive end.
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
    // A new stamp empties every direct slot at once; when the stamp comes
    // round again after 2^32 updates the slots are cleared for real.
    if (++stamp_ == 0) {
        for (int p = 0; p < kHashBuckets; ++p) centreStamps_[p] = points_[p].stamp = 0;
        stamp_ = 1;
    }
    centreFilledCount_ = valueFilledCount_ = edgeFilledCount_ = 0;
    centreNodeCount_ = valueNodeCount_ = edgeNodeCount_ = 0;
    chainCentres_ = chainValues_ = chainEdges_ = 0;
    cornerCount_ = cubeCount_ = vertexCount_ = indexCount_ = 0;
    vertexFieldSums_ = 0;
    cubeSize = 0.15;
    bounds = kBounds;
    origin[0] = origin[1] = origin[2] = 0.0f;
    stackTop_ = -1;
    seedCount_ = 0;
    truncated_ = false;
    triangulating_ = true;
    pendingCount_ = 0;
}

bool MetaballPolygoniser::setCentre(int i, int j, int k) {
    if (!inSlots(i, j, k)) return setChainedCentre(i, j, k);
    uint32_t& stamp = centreStamps_[hash(i, j, k)];
    if (stamp == stamp_) return true;
    stamp = stamp_;
    ++centreNodeCount_;
    return false;
}

bool MetaballPolygoniser::setChainedCentre(int i, int j, int k) {
    const int bucket = hash(i, j, k);
    for (int n = centreBuckets_[bucket]; n >= 0; n = centreNodes_[n].next) {
        const CentreNode& node = centreNodes_[n];
        if (node.i == i && node.j == j && node.k == k) return true;
    }
    // Callers make sure a node is free (roomForCube); the chains hold no
    // more nodes than the count of both kinds.
    const int n = chainCentres_++;
    ++centreNodeCount_;
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
    if (inSlots(i, j, k)) {
        Point& slot = points_[hash(i, j, k)];
        if (slot.stamp != stamp_) {
            slot.stamp = stamp_;
            slot.value = latticeValue(i, j, k);
            for (uint16_t& vertex : slot.vertex) vertex = kNoVertex;
        }
        corner.value = slot.value;
    } else {
        corner.value = chainedValue(i, j, k);
    }
    return id;
}

// The field at a lattice point, evaluated (once per point and update).
float MetaballPolygoniser::latticeValue(int i, int j, int k) {
    ++valueNodeCount_;
    return fieldValue(static_cast<float>(origin[0] + (i - 0.5) * cubeSize),
                      static_cast<float>(origin[1] + (j - 0.5) * cubeSize),
                      static_cast<float>(origin[2] + (k - 0.5) * cubeSize));
}

// The field at a lattice point outside the bounds, through the value table.
float MetaballPolygoniser::chainedValue(int i, int j, int k) {
    const int bucket = hash(i, j, k);
    for (int n = valueBuckets_[bucket]; n >= 0; n = valueNodes_[n].next) {
        const ValueNode& node = valueNodes_[n];
        if (node.i == i && node.j == j && node.k == k) return node.value;
    }
    const float value = latticeValue(i, j, k);
    const int n = chainValues_++;
    valueNodes_[n] = {i, j, k, valueBuckets_[bucket], value};
    if (valueBuckets_[bucket] < 0) valueFilled_[valueFilledCount_++] = bucket;
    valueBuckets_[bucket] = n;
    return value;
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
    cube.code = 0;
    for (int n = 0; n < 8; ++n) {
        cube.corners[n] = setCorner(cube.i + ((n >> 2) & 1), cube.j + ((n >> 1) & 1), cube.k + (n & 1));
        if (corners_[cube.corners[n]].value > 0.0f) cube.code |= 1 << n;
    }
    // Two seeds in one cube put it into the array twice, on purpose: the
    // answer of setCentre is not consulted here.
    setCentre(cube.i, cube.j, cube.k);
    cube.next = stackTop_;
    stackTop_ = static_cast<int>(&cube - cubes_.get());
    triangulate(cube);
}

// A face the surface crosses (floodFill tests only those).
bool MetaballPolygoniser::testFace(const Cube& cube, int di, int dj, int dk, int bit, const int face[4]) {
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
    next.code = 0;
    for (int n = 0; n < 8; ++n) next.corners[n] = -1;
    for (int c = 0; c < 4; ++c) {
        const int shared = face[c] ^ (1 << bit);
        next.corners[shared] = cube.corners[face[c]];
        next.code |= ((cube.code >> face[c]) & 1) << shared;
    }
    for (int n = 0; n < 8; ++n) {
        if (next.corners[n] >= 0) continue;
        next.corners[n] = setCorner(i + ((n >> 2) & 1), j + ((n >> 1) & 1), k + (n & 1));
        if (corners_[next.corners[n]].value > 0.0f) next.code |= 1 << n;
    }
    next.next = stackTop_;
    stackTop_ = cubeCount_++;
    triangulate(next);
    return true;
}

// When the pools cannot take another cube the flood fill stops there: the
// cubes collected so far are triangulated, and the surface has a hole where
// the walk did not reach.
void MetaballPolygoniser::floodFill() {
    while (stackTop_ >= 0) {
        const int top = stackTop_;
        stackTop_ = cubes_[top].next;
        // The crossed faces, in the order of kFaces, without a branch per face.
        for (unsigned m = kCubeTables.crossedFaces[cubes_[top].code]; m != 0; m &= m - 1) {
            const Face& face = kFaces[std::countr_zero(m)];
            if (!testFace(cubes_[top], face.di, face.dj, face.dk, face.bit, face.corners)) {
                stackTop_ = -1;
                return;
            }
        }
    }
}

// The vertex of an edge with a direct slot, made when the slot is empty.
// Whether the vertex is new is as good as random, so there is no branch on
// it: the pending entry is always written and only kept (counted) for a new
// vertex.
inline int MetaballPolygoniser::slotVertex(uint16_t& slot, int p, int q) {
    const bool made = slot != kNoVertex;
    const int id = made ? slot : vertexCount_;
    const int fresh = made ? 0 : 1;
    slot = static_cast<uint16_t>(id);
    pendingVertex_[pendingCount_] = id;
    pendingFirst_[pendingCount_] = p;
    pendingSecond_[pendingCount_] = q;
    vertexCount_ += fresh;
    edgeNodeCount_ += fresh;
    pendingCount_ += fresh;
    if (pendingCount_ == kBatch) flushVertices();
    return id;
}

// The vertex on one of the cube's edges (a number of kCubeTables.edges),
// made once per update: an edge whose smaller end lies within the bounds
// keeps its vertex in that point's slot for its direction, any other edge in
// the edge hash table.
int MetaballPolygoniser::edgeVertex(const Cube& cube, int edge) {
    const CubeEdge& e = kCubeTables.edges[edge];
    const int p = cube.corners[e.first], q = cube.corners[e.second];
    const int i = cube.i + cornerStep(e.first, 0), j = cube.j + cornerStep(e.first, 1),
              k = cube.k + cornerStep(e.first, 2);
    // The point is a corner of this cube, so its slot is this update's.
    if (inSlots(i, j, k)) return slotVertex(points_[hash(i, j, k)].vertex[e.direction], p, q);
    const Corner& c1 = corners_[p];
    const Corner& c2 = corners_[q];
    const int bucket = hash(c1.i, c1.j, c1.k) + hash(c2.i, c2.j, c2.k);
    for (int n = edgeBuckets_[bucket]; n >= 0; n = edgeNodes_[n].next) {
        const EdgeNode& node = edgeNodes_[n];
        if (node.i1 == c1.i && node.j1 == c1.j && node.k1 == c1.k && node.i2 == c2.i && node.j2 == c2.j &&
            node.k2 == c2.k)
            return node.vertex;
    }
    const int id = newVertex(p, q);
    const int n = chainEdges_++;
    edgeNodes_[n] = {c1.i, c1.j, c1.k, c2.i, c2.j, c2.k, id, edgeBuckets_[bucket]};
    if (edgeBuckets_[bucket] < 0) edgeFilled_[edgeFilledCount_++] = bucket;
    edgeBuckets_[bucket] = n;
    return id;
}

// A new vertex between corners p (the smaller lattice point) and q: its id is
// its place in the pool (triangulate() made sure there is room); position and
// normal follow when its batch is solved.
int MetaballPolygoniser::newVertex(int p, int q) {
    const int id = vertexCount_++;
    ++edgeNodeCount_;
    pendingVertex_[pendingCount_] = id;
    pendingFirst_[pendingCount_] = p;
    pendingSecond_[pendingCount_] = q;
    if (++pendingCount_ == kBatch) flushVertices();
    return id;
}

// The smaller corner of the pair is the first end, so an edge gives the same
// vertex whichever cube asks first. Unused lanes of a short batch repeat
// lane 0 and are not stored.
void MetaballPolygoniser::flushVertices() {
    if (pendingCount_ == 0) return;
    EdgeBatch& e = *batch_;
    for (int l = 0; l < kBatch; ++l) {
        const int slot = l < pendingCount_ ? l : 0;
        const Corner& c1 = corners_[pendingFirst_[slot]];
        const Corner& c2 = corners_[pendingSecond_[slot]];
        e.ax[l] = static_cast<float>(origin[0] + (c1.i - 0.5) * cubeSize);
        e.ay[l] = static_cast<float>(origin[1] + (c1.j - 0.5) * cubeSize);
        e.az[l] = static_cast<float>(origin[2] + (c1.k - 0.5) * cubeSize);
        e.bx[l] = static_cast<float>(origin[0] + (c2.i - 0.5) * cubeSize);
        e.by[l] = static_cast<float>(origin[1] + (c2.j - 0.5) * cubeSize);
        e.bz[l] = static_cast<float>(origin[2] + (c2.k - 0.5) * cubeSize);
        e.va[l] = c1.value;
        e.vb[l] = c2.value;
    }
    const int steps = solveEdges(all_.x, all_.y, all_.z, all_.k, all_.count, e);
    for (int l = 0; l < pendingCount_; ++l) {
        Vertex& v = vertices_[pendingVertex_[l]];
        v.x = e.px[l];
        v.y = e.py[l];
        v.z = e.pz[l];
        v.nx = e.nx[l];
        v.ny = e.ny[l];
        v.nz = e.nz[l];
    }
    vertexFieldSums_ += static_cast<long>(pendingCount_) * (steps + 1);
    pendingCount_ = 0;
}

// A cube is triangulated as soon as it is collected, so cubes are
// triangulated in the order they were collected. Before each cube the
// vertex, edge and triangle pools must hold everything one cube can bring;
// when they cannot, the rest of the frame's surface is left out, so the mesh
// stays whole cubes and every index names a real vertex.
void MetaballPolygoniser::triangulate(const Cube& cube) {
    if (!triangulating_) return;
    if (vertexCount_ + kCubeEdges > kVertices || edgeNodeCount_ + kCubeEdges > kEdgeNodes ||
        indexCount_ + 3 * kCubeTriangles > kTriangleIndices) {
        truncated_ = true;
        triangulating_ = false;
        return;
    }
    const CubeCase& c = kCubeTables.cases[cube.code];
    int ids[kCubeEdges];
    if (inSlots(cube.i, cube.j, cube.k) && inSlots(cube.i + 1, cube.j + 1, cube.k + 1)) {
        // Every corner has its slot (all cubes but seed cubes off the bounds).
        for (int n = 0; n < c.edgeCount; ++n) {
            const CubeEdge& e = kCubeTables.edges[c.edges[n]];
            const int point = hash(cube.i + cornerStep(e.first, 0), cube.j + cornerStep(e.first, 1),
                                   cube.k + cornerStep(e.first, 2));
            ids[n] = slotVertex(points_[point].vertex[e.direction], cube.corners[e.first], cube.corners[e.second]);
        }
    } else {
        for (int n = 0; n < c.edgeCount; ++n) ids[n] = edgeVertex(cube, c.edges[n]);
    }
    for (int t = 0; t < c.triangleCount; ++t) {
        indices_[indexCount_++] = ids[c.triangles[t][0]];
        indices_[indexCount_++] = ids[c.triangles[t][1]];
        indices_[indexCount_++] = ids[c.triangles[t][2]];
    }
}

void MetaballPolygoniser::update() {
    reset();
    packBalls();
    selectSeeds();
    floodFill();
    flushVertices();
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
    glDrawElements(GL_TRIANGLES, indexCount_, GL_UNSIGNED_INT, indices_.get());
    glPopClientAttrib();
    glDisable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
}
