#pragma once
#include <vector>

#include "reactor/Gene.h"

// Waves running over a geodesic sphere: an icosahedron subdivided four times
// (2562 vertices). Every vertex knows the ring of its neighbours (five for the
// twelve corners of the icosahedron, six for all others), and the wave step
// couples each vertex to its ring. Random drops start the waves. Drawn as
// one triangle batch whose vertices move radially by half their height.
//
// Vertices and faces are kept as vertex numbers (faces index the position
// arrays directly, three floats per vertex).
class GeodesicWaveGene : public Gene {
public:
    static constexpr int kLevels = 5;
    static constexpr int kVertices = 2562;
    static constexpr int kFaces = 6820;
    static constexpr int kEdges = 2550;  // edges split over levels 0 to 3
    static constexpr int kRingSize = 6;

    GeodesicWaveGene();
    ~GeodesicWaveGene() override = default;

    // Zeroes both height buffers and clears the drop flag.
    void init() override;
    void draw() override;
    void update() override;

    // Puts a drop centred on vertex v into the current buffer (0.707 there,
    // 0.5 on its ring). Vertices outside the mesh are ignored.
    void dropAt(int v);

    // Neighbour ring of vertex v on the running level (kRingSize entries, -1
    // marks the empty sixth entry of a five-neighbour vertex).
    const int* ring(int v) const { return rings[activeLevel()].data() + kRingSize * v; }
    // levelCount limited to the levels that exist.
    int activeLevel() const;
    float* currentHeights() { return heights.data() + currentBuffer * kVertices; }
    float* otherHeights() { return heights.data() + (1 - currentBuffer) * kVertices; }

    std::vector<float> positions;   // unit sphere, 3 per vertex
    std::vector<float> directions;  // copy of the positions: radial directions and normals
    std::vector<int> faces;         // 3 vertex numbers per face, all levels one after another
    std::vector<int> midpointCache; // (end a, end b, midpoint) per split edge
    int midpointCount = 0;
    int faceCount = 0;
    int levelStart[kLevels] = {};
    int levelEnd[kLevels] = {};
    int levelVertexCount[kLevels] = {};
    std::vector<int> rings[kLevels];  // kRingSize neighbours per vertex of each level
    int levelCount = 4;               // the finest level, used by update and draw
    int vertexCount = 0;
    std::vector<float> heights;  // two buffers of kVertices
    int currentBuffer = 0;
    int dropFlag = 0;
    float coupling = 0.37f;
    float damping = 0.72f;

private:
    int addVertex(float x, float y, float z);
    static constexpr int kSplitSlots = 8192;  // power of two above 2 x kEdges
    int midpoint(int a, int b, std::vector<int>& splits);
    void addFace(int a, int b, int c);
    void buildRings(int level);

    std::vector<float> drawPositions;
    std::vector<float> drawNormals;
};
