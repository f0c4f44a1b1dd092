#pragma once
#include <vector>

#include "reactor/Gene.h"

// A water surface on a grid of width x height vertices, drawn as a textured
// sheet whose texture coordinates are shifted by the surface height.
//
// Drops are stamped into the height field where the owner's two drop controls
// point (byte values 0..127 mapped onto the grid), or at random positions when
// drop x control is small. The drop shape is a kernel the owner may replace:
// point `kernel` at its own row-major array and set kernelWidth,
// kernelHeight and kernelScale between updates (setKernel does all three).
// Stamping is clipped to the grid for any kernel size.
//
// The gene binds no texture; it draws with whatever texture state its owner
// has set up. Vertex (c, r) has index r * width + c in every array.
class RippleGene : public Gene {
public:
    // `text` is accepted for the owners' sake and not used.
    RippleGene(int width, int height, const char* text = nullptr);
    ~RippleGene() override = default;

    // Scale from the kernel size, both height planes zero, rest grid.
    void init() override;
    // One textured triangle strip per interior row.
    void draw() override;
    // Drops from the controls, then one wave step.
    void update() override;

    // Records a drop at (column, row) for the next update, clamped so that
    // the kernel stays on the grid: columns 1 .. width - kernelWidth, rows
    // 1 .. height - kernelHeight.
    void setDrop(int column, int row);

    // Points the kernel at `values` (kernelH rows of kernelW floats, owned by
    // the caller) with the given scale. A null pointer puts the gene's own
    // 3 x 3 kernel back (with scale 1).
    void setKernel(const float* values, int kernelW, int kernelH, float scale);

    // Height of cell (column, row) in the current plane (0 outside the grid).
    float heightAt(int column, int row) const;
    float* currentHeights() { return heights.data() + currentPlane * count; }
    float* nextHeights() { return heights.data() + (1 - currentPlane) * count; }

    // Written by the owner before update; compared with their last values.
    int dropXControl = 0;
    int dropYControl = 0;
    int kernelWidth = 3;
    int kernelHeight = 3;
    std::vector<float> heights;  // two planes of width x height, plane 1 after plane 0
    int currentPlane = 0;
    const float* kernel = nullptr;
    float ownKernel[9] = {0.3f, 0.5f, 0.3f, 0.5f, 1.0f, 0.5f, 0.3f, 0.5f, 0.3f};
    int dropColumn = 1;
    int dropRow = 1;
    int lastDropXControl = -1;
    int lastDropYControl = -1;
    bool dropPending = false;
    int width = 0;
    int height = 0;
    int count = 0;
    float kernelScale = 1.0f;
    std::vector<float> restTexCoords;  // (u, v) per vertex
    std::vector<float> vertices;       // (x, y, z) per vertex; z is the height

private:
    void randomDrop();
    void dropAtFraction(float fx, float fy);
    void stampKernel();
    void waveStep();

    std::vector<float> drawTexCoords;      // (u + z, v + z) per vertex, filled by draw
    std::vector<unsigned int> stripIndices;  // one strip per interior row
    int stripLength = 0;
};
