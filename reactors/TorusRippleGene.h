#pragma once
#include <vector>

#include "reactor/Gene.h"

// A water ripple on a torus: a periodic grid of 108 rings by 36 segments laid
// over a torus of major radius 1.6 and minor radius 0.4. Random 3 x 3 drops
// start the waves, which wrap around both ways. Each vertex moves along its
// normal by its height. Cell (ring i, segment j) is at i * segments + j.
class TorusRippleGene : public Gene {
public:
    static constexpr int kRings = 108;
    static constexpr int kSegments = 36;

    TorusRippleGene();
    ~TorusRippleGene() override = default;

    // Zeroes both height buffers and builds the rest surface.
    void init() override;
    // One triangle strip per ring, joining it to the next ring.
    void draw() override;
    void update() override;

    // Writes the drop pattern centred on (ring, segment) into the current
    // buffer; both directions wrap around.
    void dropAt(int ring, int segment);

    float* currentHeights() { return heights.data() + currentBuffer * kRings * kSegments; }
    float* otherHeights() { return heights.data() + (1 - currentBuffer) * kRings * kSegments; }
    float heightAt(int ring, int segment) const {
        return heights[currentBuffer * kRings * kSegments + ring * kSegments + segment];
    }

    int rings = kRings;
    int segments = kSegments;
    float majorRadius = 1.6f;
    float minorRadius = 0.4f;
    std::vector<float> heights;  // two buffers of rings x segments
    int currentBuffer = 0;
    std::vector<float> positions;  // rest surface, 3 per cell
    std::vector<float> normals;    // 3 per cell
    int dropFlag = 0;
    int dropRing = 0;
    int dropSegment = 0;
    float dropPattern[9] = {0.3f, 0.5f, 0.3f, 0.5f, 0.7f, 0.5f, 0.3f, 0.5f, 0.3f};

private:
    std::vector<float> drawPositions;
    std::vector<float> drawNormals;
    std::vector<unsigned int> stripIndices;  // (kSegments + 1) pairs per ring
};
