#pragma once
#include <cstdio>

// Reads one line of text into buffer (bufferSize bytes, terminator
// included). The line end is consumed and not stored, nor is a carriage
// return before it. Characters beyond bufferSize - 1 are consumed and dropped
// (and *truncated is set), so a long line never stops the reading. Returns
// false only at the end of the file with nothing read, so a last line
// without a line end is delivered too.
bool readBoundedLine(FILE* file, char* buffer, int bufferSize, bool* truncated);
