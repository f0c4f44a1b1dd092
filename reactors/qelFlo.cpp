#include "reactors/qelFlo.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>

#include "reactors/GridStrips.h"

qelFlo::qelFlo(int w, int h, int third) {
    // The draw needs an interior row and column: smaller grids are grown.
    growToInterior("qelFlo", w, h);
    width = w;
    height = h;
    extra = third;
    count = w * h;
    amplitude = 1.0f;
    speed = 0.0f;
    displacement.assign(2 * static_cast<size_t>(count), 0.0f);
    texCoords.assign(2 * static_cast<size_t>(count), 0.0f);
    positions.assign(3 * static_cast<size_t>(count), 0.0f);
    drawTexCoords.assign(2 * static_cast<size_t>(count), 0.0f);
    drawPositions.assign(3 * static_cast<size_t>(count), 0.0f);
    stripIndices.assign(gridStripIndexCount(height - 2, 1, width - 2), 0u);
    stripLength = buildGridStrips(stripIndices.data(), width, 1, height - 2, 1, width - 2);

    printf(" qelFlo generating..%d %d\n", width, height);

    tableWidth = 2 * width;
    tableHeight = 2 * height;
    flowTable.assign(2 * static_cast<size_t>(tableWidth) * tableHeight, 0.0f);
    for (int r = 0; r < tableHeight; ++r) {
        for (int c = 0; c < tableWidth; ++c) {
            const float x = 4.0f * static_cast<float>(c - width) / static_cast<float>(tableWidth);
            const float y = 4.0f * static_cast<float>(r - height) / static_cast<float>(tableHeight);
            const float d = std::sqrt(x * x + y * y);
            const float k = d * d * d + 0.03f;
            flowTable[2 * (r * tableWidth + c)] = x * 0.1f / k;
            flowTable[2 * (r * tableWidth + c) + 1] = y * 0.1f / k;
        }
    }
    init();
}

void qelFlo::init() {
    for (int p = 0; p < kPoleSlots; ++p) {
        poleColumnOffset[p] = 0;
        poleRowOffset[p] = 0;
        phase[p] = 0.0f;
    }
    const float su = 2.0f * (2.0f * 1.3f) / static_cast<float>(width);
    const float sv = 4.0f / static_cast<float>(height);
    const float tu = 1.0f / static_cast<float>(width);
    const float tv = 1.0f / static_cast<float>(height);
    float y = -2.0f;
    float v = 0.0f;
    for (int j = 0; j < height; ++j) {
        float x = -2.6f;
        float u = 0.0f;
        for (int i = 0; i < width; ++i) {
            const int n = j * width + i;
            texCoords[2 * n] = u;
            texCoords[2 * n + 1] = v;
            positions[3 * n] = x;
            positions[3 * n + 1] = y;
            positions[3 * n + 2] = 0.0f;
            x += su;
            u += tu;
        }
        y += sv;
        v += tv;
    }
}

// Pole windows: vertex (i, j) reads table cell (offset + i - 1, offset + j - 1),
// so a window stays inside the table for column offsets 1 .. width + 1 and
// row offsets 1 .. height + 1. A pole whose orbit would carry its window past
// the table edge is held at the edge (the pattern stops there instead of
// jumping), and a position that is not a number sits at the lowest offset.
void qelFlo::placePoles() {
    const int halfW = width / 2;
    const int halfH = height / 2;
    const float lowColumn = static_cast<float>(1 + halfW);
    const float highColumn = static_cast<float>(width + 1 + halfW);
    const float lowRow = static_cast<float>(1 + halfH);
    const float highRow = static_cast<float>(height + 1 + halfH);
    for (int p = 0; p < 2; ++p) {
        const float radius = (amplitude + 1.0f) * 0.5f / (static_cast<float>(p) + 4.0f);
        const float angle = static_cast<float>(p) * 3.14f + phase[0];
        float column = static_cast<float>(tableWidth) * (std::cos(angle) * radius + 0.5f);
        float row = static_cast<float>(tableHeight) * (std::sin(angle) * radius + 0.5f);
        if (!(column >= lowColumn)) column = lowColumn;
        if (column > highColumn) column = highColumn;
        if (!(row >= lowRow)) row = lowRow;
        if (row > highRow) row = highRow;
        poleColumnOffset[p] = static_cast<int>(column) - halfW;
        poleRowOffset[p] = static_cast<int>(row) - halfH;
    }
}

void qelFlo::update() {
    phase[0] += speed;
    if (phase[0] > 6.283f) phase[0] = 0.0f;
    placePoles();

    const float* table = flowTable.data();
    float* out = displacement.data();
    const int tw = tableWidth;
    for (int j = 0; j < height; ++j) {
        const float* row0 = table + 2 * ((poleRowOffset[0] + j - 1) * tw + poleColumnOffset[0] - 1);
        const float* row1 = table + 2 * ((poleRowOffset[1] + j - 1) * tw + poleColumnOffset[1] - 1);
        float* target = out + 2 * j * width;
        for (int i = 0; i < width; ++i) {
            target[2 * i] = row1[2 * i] - row0[2 * i];
            target[2 * i + 1] = row1[2 * i + 1] - row0[2 * i + 1];
        }
    }
}

void qelFlo::draw() {
    // Texture coordinate (u + dx, v + dy) and position (x, y, z + dx): the
    // depth follows the horizontal component.
    const float* d = displacement.data();
    const float* rest = texCoords.data();
    const float* at = positions.data();
    float* tex = drawTexCoords.data();
    float* pos = drawPositions.data();
    for (int n = 0; n < count; ++n) {
        tex[2 * n] = rest[2 * n] + d[2 * n];
        tex[2 * n + 1] = rest[2 * n + 1] + d[2 * n + 1];
        pos[3 * n] = at[3 * n];
        pos[3 * n + 1] = at[3 * n + 1];
        pos[3 * n + 2] = at[3 * n + 2] + d[2 * n];
    }
    drawTexturedStrips(pos, tex, stripIndices.data(), height - 2, stripLength);
}
