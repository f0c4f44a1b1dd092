#include "reactors/TorusRippleGene.h"

#include <GL/gl.h>

#include <cmath>

#include "reactor/Random.h"

namespace {
constexpr int kCells = TorusRippleGene::kRings * TorusRippleGene::kSegments;
constexpr int kStripLength = 2 * (TorusRippleGene::kSegments + 1);

int wrap(int value, int size) {
    value %= size;
    return value < 0 ? value + size : value;
}
}  // namespace

TorusRippleGene::TorusRippleGene() {
    heights.assign(2 * kCells, 0.0f);
    positions.assign(3 * kCells, 0.0f);
    normals.assign(3 * kCells, 0.0f);
    drawPositions.assign(3 * kCells, 0.0f);
    drawNormals.assign(3 * kCells, 0.0f);
    stripIndices.assign(static_cast<size_t>(kRings) * kStripLength, 0u);
    for (int i = 0; i < kRings; ++i) {
        const int following = (i + 1) % kRings;
        unsigned int* strip = stripIndices.data() + i * kStripLength;
        for (int j = 0; j <= kSegments; ++j) {
            const int segment = j % kSegments;
            strip[2 * j] = static_cast<unsigned int>(following * kSegments + segment);
            strip[2 * j + 1] = static_cast<unsigned int>(i * kSegments + segment);
        }
    }
    init();
}

void TorusRippleGene::init() {
    for (float& h : heights) h = 0.0f;
    // Ring angles step by 2 pi / 107, so the last ring lies on the first and
    // the surface closes without a gap.
    for (int i = 0; i < kRings; ++i) {
        const float a = static_cast<float>(i) * 6.283185f / 107.0f;
        for (int j = 0; j < kSegments; ++j) {
            const float b = static_cast<float>(j) * 6.283185f / 36.0f;
            const int n = 3 * (i * kSegments + j);
            const float tube = minorRadius * std::cos(b) + majorRadius;
            positions[n] = std::cos(a) * tube;
            positions[n + 1] = std::sin(a) * tube;
            positions[n + 2] = minorRadius * std::sin(b);
            normals[n] = std::cos(b) * std::cos(a);
            normals[n + 1] = std::cos(b) * std::sin(a);
            normals[n + 2] = std::sin(b);
        }
    }
}

void TorusRippleGene::dropAt(int ring, int segment) {
    dropRing = ring;
    dropSegment = segment;
    float* current = currentHeights();
    for (int di = -1; di <= 1; ++di) {
        const int i = wrap(ring + di, kRings);
        for (int dj = -1; dj <= 1; ++dj) {
            const int j = wrap(segment + dj, kSegments);
            current[i * kSegments + j] = dropPattern[(di + 1) * 3 + (dj + 1)];
        }
    }
}

void TorusRippleGene::update() {
    if (qelRand() > 30386) dropFlag = 1;
    if (dropFlag) {
        const int ring = static_cast<int>(qelRand() * (kRings * 0.95) / 32780.0 + 1.0);
        const int segment = static_cast<int>(qelRand() * (kSegments * 0.95) / 32780.0 + 1.0);
        dropAt(ring, segment);
        dropFlag = 0;
    }

    const float* __restrict current = currentHeights();
    float* __restrict next = otherHeights();
    for (int i = 0; i < kRings; ++i) {
        const float* up = current + ((i + kRings - 1) % kRings) * kSegments;
        const float* down = current + ((i + 1) % kRings) * kSegments;
        const float* here = current + i * kSegments;
        float* target = next + i * kSegments;
        for (int j = 0; j < kSegments; ++j) {
            const int left = j == 0 ? kSegments - 1 : j - 1;
            const int right = j == kSegments - 1 ? 0 : j + 1;
            target[j] = ((here[left] + here[right] + up[j] + down[j]) * 0.5f - target[j]) * 0.9f;
        }
    }
    currentBuffer = 1 - currentBuffer;
}

void TorusRippleGene::draw() {
    const float* h = currentHeights();
    const float* p = positions.data();
    const float* n = normals.data();
    float* pos = drawPositions.data();
    float* normal = drawNormals.data();
    for (int c = 0; c < kCells; ++c) {
        for (int k = 0; k < 3; ++k) {
            const float d = h[c] * n[3 * c + k];
            normal[3 * c + k] = n[3 * c + k] + d;
            pos[3 * c + k] = p[3 * c + k] + d;
        }
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, pos);
    glNormalPointer(GL_FLOAT, 0, normal);
    for (int i = 0; i < kRings; ++i)
        glDrawElements(GL_TRIANGLE_STRIP, kStripLength, GL_UNSIGNED_INT, stripIndices.data() + i * kStripLength);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}
