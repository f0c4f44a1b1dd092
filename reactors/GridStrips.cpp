#include "reactors/GridStrips.h"

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
