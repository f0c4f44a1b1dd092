#pragma once
#include <cstdint>
#include <vector>

#include "reactor/Reactor.h"

// A water surface: a 120 x 90 vertex grid whose texture is shifted by the
// heights of an integer ripple simulation. Two impulse points, symmetric
// about the grid centre on a circle, are stamped into the heights every
// frame. It binds no texture and draws with whatever 2D texture is bound.
//
// Controllers of its own channel (byte values):
//   17  angular speed of the impulse points: (value - 63) * 0.01 per frame
//   81  radius of their circle in cells: value * 0.3, at most 43
class Wave : public Reactor {
public:
    static constexpr int kColumns = 120;
    static constexpr int kRows = 90;
    static constexpr int kKernelStorage = 16;

    Wave();
    ~Wave() override = default;

    // Clears the planes, builds the rest grid, root table and kernel.
    void init() override;
    // One simulation step.
    void update() override;
    // One textured triangle strip per row.
    void draw() override;

    int* currentPlaneData() { return heights.data() + currentPlane * vertexCount; }
    int* otherPlaneData() { return heights.data() + (1 - currentPlane) * vertexCount; }

    int kernelWidth = 16;
    int kernelHeight = 16;
    float kernel[kKernelStorage * kKernelStorage] = {};
    std::vector<int32_t> heights;  // two planes of 120 x 90, plane 1 after plane 0
    float rootTable[1024] = {};
    int currentPlane = 0;
    int columns = kColumns;
    int rows = kRows;
    std::vector<float> restTexCoords;  // (u, v) per vertex
    std::vector<float> texCoords;      // (u, v) drawn this frame
    std::vector<float> vertices;       // (x, y, z) per vertex; z is the surface value
    int vertexCount = 0;
    float angle = 0.0f;   // radians
    float radius = 0.0f;  // grid cells
    // Centres of the two impulses stamped by the last update (column, row).
    int impulseColumn[2] = {0, 0};
    int impulseRow[2] = {0, 0};

private:
    void stampKernel(int centreColumn, int centreRow);

    std::vector<unsigned int> stripIndices;
    int stripLength = 0;
};
