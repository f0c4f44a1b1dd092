#include "reactors/Wave.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>

#include "reactors/GridStrips.h"

Wave::Wave() {
    kernelWidth = 16;
    kernelHeight = 16;
    currentPlane = 0;
    columns = kColumns;
    rows = kRows;
    vertexCount = columns * rows;
    printf("Total point %d (%d,%d)\n", vertexCount, columns, rows);
    heights.assign(2 * static_cast<size_t>(vertexCount), 0);
    restTexCoords.assign(2 * static_cast<size_t>(vertexCount), 0.0f);
    texCoords.assign(2 * static_cast<size_t>(vertexCount), 0.0f);
    vertices.assign(3 * static_cast<size_t>(vertexCount), 0.0f);
    stripIndices.assign(gridStripIndexCount(rows - 1, 0, columns - 1), 0u);
    stripLength = buildGridStrips(stripIndices.data(), columns, 0, rows - 2, 0, columns - 1);
    init();
}

void Wave::init() {
    for (int32_t& h : heights) h = 0;
    printf("Wave 0 clear\n");

    buildRestGrid(vertices.data(), restTexCoords.data(), columns, rows);
    texCoords = restTexCoords;

    currentPlane = 0;
    angle = 0.0f;
    radius = 0.0f;

    // Surface value of a height h in -512 .. 511 at entry h + 512: the root
    // of |h| / 512, mirrored about the middle of the table.
    for (int i = 0; i < 512; ++i) {
        const float t = std::sqrt(static_cast<float>(i) / 512.0f);
        rootTable[512 + i] = t;
        rootTable[511 - i] = t;
    }

    kernelWidth = 4;
    kernelHeight = 4;
    for (int y2 = 0; y2 < kernelHeight; ++y2) {
        for (int x2 = 0; x2 < kernelWidth; ++x2) {
            const float fx = static_cast<float>(x2) / 4.0f - 0.5f;
            const float fy = static_cast<float>(y2) / 4.0f - 0.5f;
            const float d = 1.0f - std::sqrt(fx * fx + fy * fy);
            kernel[y2 * kernelWidth + x2] = d > 0.0f ? 0.5f * d : 0.0f;
        }
    }
    printf("Finish Initialize\n");
}

// Overwrites the kernel, scaled to 0..128, centred at (column, row); cells
// off the grid are skipped.
void Wave::stampKernel(int centreColumn, int centreRow) {
    if (kernelWidth > kKernelStorage || kernelHeight > kKernelStorage) return;  // larger than the storage
    int* plane = currentPlaneData();
    for (int ky = 0; ky < kernelHeight; ++ky) {
        const int row = centreRow - 2 + ky;
        if (row < 0 || row >= rows) continue;
        for (int kx = 0; kx < kernelWidth; ++kx) {
            const int column = centreColumn - 2 + kx;
            if (column < 0 || column >= columns) continue;
            plane[row * columns + column] = static_cast<int>(128.0f * kernel[ky * kernelWidth + kx]);
        }
    }
}

void Wave::update() {
    const int next = 1 - currentPlane;

    angle += static_cast<float>(controlByte(17) - 63) * 0.01f;
    radius = static_cast<float>(controlByte(81)) * 0.3f;
    const float maxRadius = static_cast<float>((rows - kernelHeight) / 2);
    if (maxRadius < radius) radius = maxRadius;
    if (angle > 3.14159f) angle = -3.14159f;

    const int dx = static_cast<int>(std::cos(angle) * radius);
    const int dy = static_cast<int>(std::sin(angle) * radius);
    impulseColumn[0] = 60 + dx;
    impulseRow[0] = 45 + dy;
    impulseColumn[1] = 60 - dx;
    impulseRow[1] = 45 - dy;
    stampKernel(impulseColumn[0], impulseRow[0]);
    stampKernel(impulseColumn[1], impulseRow[1]);

    const int* __restrict current = currentPlaneData();
    int* __restrict target = heights.data() + next * vertexCount;
    float* __restrict vertex = vertices.data();
    float* __restrict tex = texCoords.data();
    const float* __restrict rest = restTexCoords.data();
    const int w = columns;
    for (int r = 1; r < rows - 1; ++r) {
        for (int c = 1; c < w - 1; ++c) {
            const int n = r * w + c;
            const int sum = current[n - 1] + current[n + 1] + current[n - w] + current[n + w];
            const int v = (sum >> 1) - target[n];
            const int stored = v - (v >> 4);
            target[n] = stored;
            const float z = rootTable[(stored + 512) & 1023];
            vertex[3 * n + 2] = z;
            tex[2 * n] = rest[2 * n] + 0.3f * z;
            tex[2 * n + 1] = rest[2 * n + 1] + 0.3f * z;
        }
    }
    currentPlane = next;
}

void Wave::draw() {
    glDisable(GL_DEPTH_TEST);
    drawTexturedStrips(vertices.data(), texCoords.data(), stripIndices.data(), rows - 1, stripLength);
    glDisable(GL_COLOR_MATERIAL);
    glEnable(GL_DEPTH_TEST);
}
