#include "reactors/RippleGene.h"

#include <GL/gl.h>

#include <cstdio>

#include "reactor/Random.h"
#include "reactors/GridStrips.h"

namespace {
// A random number in -1 .. 1 from the process-wide generator.
float randomSigned() { return static_cast<float>(qelRand()) / 16386.0f - 1.0f; }
// A random fraction in 0 .. 1.
float randomFraction() { return randomSigned() * 0.5f + 0.5f; }
}  // namespace

RippleGene::RippleGene(int w, int h, const char* /*text*/) {
    // The wave step needs an interior: anything smaller than 3 x 3 is grown.
    growToInterior("RippleGene", w, h);
    width = w;
    height = h;
    count = w * h;
    kernel = ownKernel;
    heights.assign(2 * static_cast<size_t>(count), 0.0f);
    restTexCoords.assign(2 * static_cast<size_t>(count), 0.0f);
    vertices.assign(3 * static_cast<size_t>(count), 0.0f);
    drawTexCoords.assign(2 * static_cast<size_t>(count), 0.0f);
    stripIndices.assign(gridStripIndexCount(height - 2, 1, width - 2), 0u);
    stripLength = buildGridStrips(stripIndices.data(), width, 1, height - 2, 1, width - 2);
    init();
}

void RippleGene::init() {
    const int area = (kernelWidth - 2) * (kernelHeight - 2);
    // A kernel of 2 or fewer rows or columns has no inner area: keep the
    // plain scale instead of dividing by zero.
    kernelScale = area > 0 ? 1.0f / static_cast<float>(area) : 1.0f;
    for (float& h : heights) h = 0.0f;

    buildRestGrid(vertices.data(), restTexCoords.data(), width, height);
}

void RippleGene::setKernel(const float* values, int kernelW, int kernelH, float scale) {
    if (!values) {
        kernel = ownKernel;
        kernelWidth = 3;
        kernelHeight = 3;
        kernelScale = 1.0f;
        return;
    }
    kernel = values;
    kernelWidth = kernelW;
    kernelHeight = kernelH;
    kernelScale = scale;
}

void RippleGene::setDrop(int column, int row) {
    dropColumn = column;
    dropRow = row;
    if (dropColumn < 1) dropColumn = 1;
    if (dropColumn >= width - kernelWidth) dropColumn = width - kernelWidth;
    if (dropRow < 1) dropRow = 1;
    if (dropRow >= height - kernelHeight) dropRow = height - kernelHeight;
    dropPending = true;
}

float RippleGene::heightAt(int column, int row) const {
    if (column < 0 || column >= width || row < 0 || row >= height) return 0.0f;
    return heights[static_cast<size_t>(currentPlane) * count + row * width + column];
}

void RippleGene::dropAtFraction(float fx, float fy) {
    // Controls far outside 0..127 would overflow the integer cell; setDrop
    // clamps anything beyond the grid anyway.
    if (!(fx > -1.0f)) fx = -1.0f;
    if (fx > 2.0f) fx = 2.0f;
    if (!(fy > -1.0f)) fy = -1.0f;
    if (fy > 2.0f) fy = 2.0f;
    setDrop(static_cast<int>(static_cast<float>(width) * fx), static_cast<int>(static_cast<float>(height) * fy));
}

// A random drop: one draw decides whether it happens, two more place it.
// When the first draw fails its test no drop is made at all (rather than one
// parked in a corner), so the random rain stays a sparse, even sprinkle.
void RippleGene::randomDrop() {
    const float fx = randomFraction();
    const float fy = randomFraction();
    dropAtFraction(fx, fy);
}

void RippleGene::update() {
    if (dropXControl != lastDropXControl || dropYControl != lastDropYControl) {
        lastDropXControl = dropXControl;
        lastDropYControl = dropYControl;
        if (dropXControl >= 3) {
            dropAtFraction(static_cast<float>(dropXControl) / 127.0f, static_cast<float>(dropYControl) / 127.0f);
        } else if (randomSigned() > 0.5f) {
            randomDrop();
        }
    }
    if (dropXControl < 2 && randomSigned() > 0.9f) randomDrop();

    if (dropPending) {
        stampKernel();
        dropPending = false;
    }
    waveStep();
    currentPlane = 1 - currentPlane;
}

void RippleGene::stampKernel() {
    if (!kernel || kernelWidth <= 0 || kernelHeight <= 0) return;
    // The kernel may have changed size since the drop was placed: clamp the
    // drop cell again for the present size, then clip every cell to the grid.
    setDrop(dropColumn, dropRow);
    float* current = currentHeights();
    for (int ky = 0; ky < kernelHeight; ++ky) {
        const int row = dropRow + ky - 1;
        if (row < 0 || row >= height) continue;
        const float* source = kernel + static_cast<size_t>(ky) * kernelWidth;
        float* target = current + row * width;
        for (int kx = 0; kx < kernelWidth; ++kx) {
            const int column = dropColumn + kx - 1;
            if (column < 0 || column >= width) continue;
            target[column] += kernelScale * source[kx];
        }
    }
}

void RippleGene::waveStep() {
    const float* __restrict current = currentHeights();
    float* __restrict next = nextHeights();
    float* __restrict z = vertices.data() + 2;
    const int w = width;
    for (int r = 1; r < height - 1; ++r) {
        for (int c = 1; c < w - 1; ++c) {
            const int n = r * w + c;
            const float sum = current[n - 1] + current[n + 1] + current[n - w] + current[n + w];
            const float value = (sum * 0.5f - next[n]) * 0.98f;
            next[n] = value;
            z[3 * n] = value;
        }
    }
}

void RippleGene::draw() {
    // Texture coordinates of this frame: the rest coordinate shifted by the
    // height on both axes. Only interior and last-row vertices are drawn, but
    // the whole grid is cheap to fill.
    const float* rest = restTexCoords.data();
    const float* vertex = vertices.data();
    float* tex = drawTexCoords.data();
    for (int n = 0; n < count; ++n) {
        const float z = vertex[3 * n + 2];
        tex[2 * n] = rest[2 * n] + z;
        tex[2 * n + 1] = rest[2 * n + 1] + z;
    }
    drawTexturedStrips(vertex, tex, stripIndices.data(), height - 2, stripLength);
}
