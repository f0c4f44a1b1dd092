#pragma once
#include <vector>

#include "reactor/Gene.h"

// The flow gene of the Waver: a regular width x height vertex grid whose
// texture coordinates and depth are pushed around by a two-pole flow field.
//
// The field is a static table of 2 width x 2 height displacement pairs that
// points away from the table centre. Each update two W x H windows of the
// table are read, one per pole; the windows circle around the centre on
// opposite sides (phase advanced by `speed`, orbit size from `amplitude`),
// and the vertex displacement is pole 1's value minus pole 0's.
class qelFlo : public Gene {
public:
    static constexpr int kPoleSlots = 10;

    // `extra` is stored and not used.
    qelFlo(int width, int height, int extra = 0);
    ~qelFlo() override = default;

    // Pole offsets and phases to zero, rest grid.
    void init() override;
    // One textured triangle strip per interior row, warped by the displacement.
    void draw() override;
    // Advances the phase, places the poles, recomputes the displacement.
    void update() override;

    void setMotion(float newAmplitude, float newSpeed) {
        amplitude = newAmplitude;
        speed = newSpeed;
    }

    // Flow table cell (column, row) of the x or y component.
    float flowX(int column, int row) const { return flowTable[2 * (row * tableWidth + column)]; }
    float flowY(int column, int row) const { return flowTable[2 * (row * tableWidth + column) + 1]; }

    int width = 0;
    int height = 0;
    int count = 0;
    int tableWidth = 0;
    int tableHeight = 0;
    std::vector<float> flowTable;     // (x, y) pairs, tableWidth x tableHeight
    std::vector<float> displacement;  // (dx, dy) per vertex
    int poleColumnOffset[kPoleSlots] = {};
    int poleRowOffset[kPoleSlots] = {};
    float phase[kPoleSlots] = {};  // phase[0] turns the poles (radians)
    float amplitude = 1.0f;
    float speed = 0.0f;
    std::vector<float> texCoords;  // rest (u, v) per vertex
    std::vector<float> positions;  // rest (x, y, z) per vertex
    int extra = 0;

private:
    void placePoles();

    std::vector<float> drawTexCoords;
    std::vector<float> drawPositions;
    std::vector<unsigned int> stripIndices;
    int stripLength = 0;
};
