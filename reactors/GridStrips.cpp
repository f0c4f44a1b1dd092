#include "reactors/GridStrips.h"

#include <GL/gl.h>

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
