#pragma once

// Reads one SGI image file into an owned RGBA buffer (width x height pixels of
// R, G, B, A bytes, rows in file order: bottom row first). Sets width, height
// and components from the header before the pixels are read. Returns null for
// a file it cannot decode safely. A file that cannot be opened, or memory that
// runs out, ends the process with status 1 after a line on standard error.
// The buffer is released with delete[].
unsigned char* readTexture(const char* path, int* width, int* height, int* components);
