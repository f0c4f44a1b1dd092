#include "reactors/GridStrips.h"

#include <GL/gl.h>

#include <cstdio>

void growToInterior(const char* who, int& width, int& height) {
    if (width >= 3 && height >= 3) return;
    printf("%s:: grid too small %d %d\n", who, width, height);
    if (width < 3) width = 3;
    if (height < 3) height = 3;
}

int gridStripIndexCount(int rows, int firstColumn, int lastColumn) {
    if (rows <= 0 || lastColumn < firstColumn) return 0;
    return rows * 2 * (lastColumn - firstColumn + 1);
}

int buildGridStrips(unsigned int* indices, int width, int firstRow, int lastRow, int firstColumn,
                    int lastColumn) {
    if (lastColumn < firstColumn) return 0;
    int k = 0;
    for (int r = firstRow; r <= lastRow; ++r) {
        for (int c = firstColumn; c <= lastColumn; ++c) {
            indices[k++] = static_cast<unsigned int>(r * width + c);
            indices[k++] = static_cast<unsigned int>((r + 1) * width + c);
        }
    }
    return 2 * (lastColumn - firstColumn + 1);
}

void drawTexturedStrips(const float* positions, const float* texCoords, const unsigned int* indices, int strips,
                        int stripLength) {
    if (strips <= 0 || stripLength <= 0) return;
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, positions);
    glTexCoordPointer(2, GL_FLOAT, 0, texCoords);
    for (int s = 0; s < strips; ++s) glDrawElements(GL_TRIANGLE_STRIP, stripLength, GL_UNSIGNED_INT, indices + s * stripLength);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void buildRestGrid(float* vertices, float* restTexCoords, int width, int height) {
    const float stepX = 3.9f / static_cast<float>(width);
    const float stepY = 3.0f / static_cast<float>(height);
    const float stepU = 1.0f / static_cast<float>(width);
    const float stepV = 1.0f / static_cast<float>(height);
    float y = -1.5f;
    float v = 0.0f;
    for (int r = 0; r < height; ++r) {
        float x = -1.5f * 1.3f;
        float u = 0.0f;
        for (int c = 0; c < width; ++c) {
            const int n = r * width + c;
            vertices[3 * n] = x;
            vertices[3 * n + 1] = y;
            vertices[3 * n + 2] = 0.0f;
            restTexCoords[2 * n] = u;
            restTexCoords[2 * n + 1] = v;
            x += stepX;
            u += stepU;
        }
        y += stepY;
        v += stepV;
    }
}
