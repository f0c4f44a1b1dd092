#include "reactors/GeodesicWaveGene.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>

#include "reactor/Random.h"

namespace {
constexpr float kX = 0.525731f;
constexpr float kZ = 0.850651f;
const float kIcosahedronVertices[12][3] = {
    {-kX, 0.0f, kZ}, {kX, 0.0f, kZ},  {-kX, 0.0f, -kZ}, {kX, 0.0f, -kZ}, {0.0f, kZ, kX},  {0.0f, kZ, -kX},
    {0.0f, -kZ, kX}, {0.0f, -kZ, -kX}, {kZ, kX, 0.0f},  {-kZ, kX, 0.0f}, {kZ, -kX, 0.0f}, {-kZ, -kX, 0.0f}};
const int kIcosahedronFaces[20][3] = {{0, 4, 1},  {0, 9, 4},  {9, 5, 4},  {4, 5, 8},  {4, 8, 1},
                                      {8, 10, 1}, {8, 3, 10}, {5, 3, 8},  {5, 2, 3},  {2, 7, 3},
                                      {7, 10, 3}, {7, 6, 10}, {7, 11, 6}, {11, 0, 6}, {0, 1, 6},
                                      {6, 1, 10}, {9, 0, 11}, {9, 11, 2}, {9, 2, 5},  {7, 2, 11}};
}  // namespace

GeodesicWaveGene::GeodesicWaveGene() {
    positions.assign(3 * kVertices, 0.0f);
    directions.assign(3 * kVertices, 0.0f);
    faces.assign(3 * kFaces, 0);
    midpointCache.assign(3 * kEdges, 0);
    heights.assign(2 * kVertices, 0.0f);
    drawPositions.assign(3 * kVertices, 0.0f);
    drawNormals.assign(3 * kVertices, 0.0f);

    // Split edges are found again through this table (open addressing on
    // the ordered pair of ends) rather than by searching midpointCache, which
    // made building the sphere take a whole frame.
    std::vector<int> splits(2 * kSplitSlots, -1);  // (key, index into midpointCache) per slot
    for (const auto& v : kIcosahedronVertices) addVertex(v[0], v[1], v[2]);
    for (const auto& f : kIcosahedronFaces) addFace(f[0], f[1], f[2]);
    levelStart[0] = 0;
    levelEnd[0] = faceCount;
    levelVertexCount[0] = vertexCount;

    for (int level = 0; level < kLevels - 1; ++level) {
        levelStart[level + 1] = faceCount;
        for (int f = levelStart[level]; f < levelEnd[level]; ++f) {
            const int a = faces[3 * f];
            const int b = faces[3 * f + 1];
            const int c = faces[3 * f + 2];
            const int ab = midpoint(a, b, splits);
            const int bc = midpoint(b, c, splits);
            const int ca = midpoint(c, a, splits);
            addFace(a, ab, ca);
            addFace(b, bc, ab);
            addFace(c, ca, bc);
            addFace(ab, bc, ca);
        }
        levelEnd[level + 1] = faceCount;
        levelVertexCount[level + 1] = vertexCount;
    }

    for (int level = 0; level < kLevels; ++level) buildRings(level);

    currentBuffer = 0;
    dropFlag = 0;
    damping = 0.72f;
    init();
}

int GeodesicWaveGene::addVertex(float x, float y, float z) {
    if (vertexCount >= kVertices) return kVertices - 1;  // cannot happen for this mesh
    const int v = vertexCount++;
    positions[3 * v] = directions[3 * v] = x;
    positions[3 * v + 1] = directions[3 * v + 1] = y;
    positions[3 * v + 2] = directions[3 * v + 2] = z;
    return v;
}

void GeodesicWaveGene::addFace(int a, int b, int c) {
    if (faceCount >= kFaces) return;  // cannot happen for this mesh
    faces[3 * faceCount] = a;
    faces[3 * faceCount + 1] = b;
    faces[3 * faceCount + 2] = c;
    ++faceCount;
}

int GeodesicWaveGene::midpoint(int a, int b, std::vector<int>& splits) {
    const int key = (a < b ? a : b) * kVertices + (a < b ? b : a);
    int slot = static_cast<int>((static_cast<unsigned>(key) * 2654435761u) >> 19) & (kSplitSlots - 1);
    for (; splits[2 * slot] >= 0; slot = (slot + 1) & (kSplitSlots - 1))
        if (splits[2 * slot] == key) return midpointCache[3 * splits[2 * slot + 1] + 2];
    float x = positions[3 * a] + positions[3 * b];
    float y = positions[3 * a + 1] + positions[3 * b + 1];
    float z = positions[3 * a + 2] + positions[3 * b + 2];
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length == 0.0f) {
        printf("NORMALIZATION ERRO\n");
    } else {
        x /= length;
        y /= length;
        z /= length;
    }
    const int m = addVertex(x, y, z);
    if (midpointCount < kEdges) {
        splits[2 * slot] = key;
        splits[2 * slot + 1] = midpointCount;
        midpointCache[3 * midpointCount] = a;
        midpointCache[3 * midpointCount + 1] = b;
        midpointCache[3 * midpointCount + 2] = m;
        ++midpointCount;
    }
    return m;
}

// The ring of a vertex lists the other corners of the first six faces of the
// level that hold it (fewer for the icosahedron's corners), in face order and
// corner order, each once.
void GeodesicWaveGene::buildRings(int level) {
    const int count = levelVertexCount[level];
    rings[level].assign(static_cast<size_t>(kRingSize) * count, -1);
    // The faces holding each vertex, found in one pass over the level.
    std::vector<int> found(static_cast<size_t>(kRingSize) * count);
    std::vector<int> foundCount(count, 0);
    for (int f = levelStart[level]; f < levelEnd[level]; ++f) {
        for (int i = 0; i < 3; ++i) {
            const int v = faces[3 * f + i];
            if (v < count && foundCount[v] < kRingSize) found[kRingSize * v + foundCount[v]++] = f;
        }
    }
    for (int v = 0; v < count; ++v) {
        if (foundCount[v] < 5) {
            printf("Enclosure define Error %d : neighbour\n", v * 3);
            continue;
        }
        int* ringOf = rings[level].data() + kRingSize * v;
        int listed = 0;
        for (int k = 0; k < foundCount[v]; ++k) {
            const int* corner = &faces[3 * found[kRingSize * v + k]];
            for (int i = 0; i < 3; ++i) {
                const int other = corner[i];
                if (other == v) continue;
                bool seen = false;
                for (int s = 0; s < listed; ++s) seen = seen || ringOf[s] == other;
                if (!seen && listed < kRingSize) ringOf[listed++] = other;
            }
        }
        if (foundCount[v] == 5) ringOf[5] = -1;
    }
}

void GeodesicWaveGene::init() {
    for (float& h : heights) h = 0.0f;
    dropFlag = 0;
}

void GeodesicWaveGene::dropAt(int v) {
    if (v < 0 || v >= levelVertexCount[activeLevel()]) return;
    float* current = currentHeights();
    current[v] = 0.707f;
    const int* neighbours = ring(v);
    for (int k = 0; k < kRingSize; ++k)
        if (neighbours[k] >= 0) current[neighbours[k]] = 0.5f;
}

int GeodesicWaveGene::activeLevel() const {
    if (levelCount < 0) return 0;
    return levelCount < kLevels ? levelCount : kLevels - 1;
}

void GeodesicWaveGene::update() {
    const int level = activeLevel();
    const int vertices = levelVertexCount[level];
    if (qelRand() > 25386) dropFlag = 1;
    if (dropFlag) {
        const int v = static_cast<int>(static_cast<double>(vertices) * qelRand() / 32768.0);
        dropAt(v);
        dropFlag = 0;
    }

    coupling = 0.37f;
    const float keep = 1.0f - 6.0f * coupling;
    const float* __restrict current = currentHeights();
    float* __restrict next = otherHeights();
    const int* ringData = rings[level].data();
    for (int v = 0; v < vertices; ++v) {
        const int* n = ringData + kRingSize * v;
        float sum = 0.0f;
        for (int k = 0; k < kRingSize; ++k)
            if (n[k] >= 0) sum += current[n[k]];
        next[v] = (keep * next[v] + coupling * sum) * damping;
    }
    currentBuffer = 1 - currentBuffer;
}

void GeodesicWaveGene::draw() {
    // Each vertex moves along its direction by half its height; the normal
    // is the direction plus the same offset.
    const float* h = currentHeights();
    const float* u = directions.data();
    const float* p = positions.data();
    float* pos = drawPositions.data();
    float* normal = drawNormals.data();
    for (int v = 0; v < kVertices; ++v) {
        const float s = 0.5f * h[v];
        for (int k = 0; k < 3; ++k) {
            const float d = s * u[3 * v + k];
            normal[3 * v + k] = u[3 * v + k] + d;
            pos[3 * v + k] = p[3 * v + k] + d;
        }
    }
    glDisable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, pos);
    glNormalPointer(GL_FLOAT, 0, normal);
    const int level = activeLevel();
    const int first = levelStart[level];
    const int corners = 3 * (levelEnd[level] - first);
    glDrawElements(GL_TRIANGLES, corners, GL_UNSIGNED_INT, reinterpret_cast<const GLuint*>(faces.data() + 3 * first));
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}
