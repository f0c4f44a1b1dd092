#pragma once

// Index lists for drawing a regular vertex grid (vertex (c, r) at r * width + c)
// as one triangle strip per row with GL 1.1 vertex arrays.
//
// Each strip joins row r and row r + 1: for every column c of the strip it
// lists (c, r) and then (c, r + 1).

// Grows a grid of width x height vertices to at least 3 x 3, so that it has
// an interior row and column, saying so with one line that names `who`.
void growToInterior(const char* who, int& width, int& height);

// Number of indices for `rows` strips of the columns first..last (inclusive).
int gridStripIndexCount(int rows, int firstColumn, int lastColumn);

// Writes the strips of rows firstRow..lastRow (each joined with the row below
// it in index order, that is r + 1) for the columns firstColumn..lastColumn
// into `indices`, which must hold gridStripIndexCount(...) entries. Returns
// the number of indices of one strip.
int buildGridStrips(unsigned int* indices, int width, int firstRow, int lastRow, int firstColumn,
                    int lastColumn);

// Draws `strips` strips of `stripLength` indices each from `indices` with the
// given positions (three floats a vertex) and texture coordinates (two).
void drawTexturedStrips(const float* positions, const float* texCoords, const unsigned int* indices, int strips,
                        int stripLength);

// The flat rest grid of the water surfaces: x runs from -1.95 in steps of
// 3.9 / width across the columns, y from -1.5 in steps of 3 / height across
// the rows, z = 0; u = column / width and v = row / height, all accumulated
// by repeated addition.
void buildRestGrid(float* vertices, float* restTexCoords, int width, int height);
