#pragma once

// Index lists for drawing a regular vertex grid (vertex (c, r) at r * width + c)
// as one triangle strip per row with GL 1.1 vertex arrays.
//
// Each strip joins row r and row r + 1: for every column c of the strip it
// lists (c, r) and then (c, r + 1).

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
