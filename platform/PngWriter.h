#pragma once
#include <cstdint>
#include <vector>

// Writes an RGBA picture stored bottom row first (as OpenGL reads it) to a
// PNG file, top row first. Returns false with a console line on failure.
bool writePng(const char* path, const uint8_t* rgbaBottomUp, int width, int height);

// Reads a PNG file into RGBA, bottom row first. False when it cannot.
bool readPng(const char* path, std::vector<uint8_t>& rgbaBottomUp, int* width, int* height);
