#pragma once
#include <cstdio>
#include <string_view>

// Reads one line of text into buffer (bufferSize bytes, terminator
// included). The line end is consumed and not stored, nor is a carriage
// return before it. Characters beyond bufferSize - 1 are consumed and dropped
// (and *truncated is set), so a long line never stops the reading. Returns
// false only at the end of the file with nothing read, so a last line
// without a line end is delivered too.
bool readBoundedLine(FILE* file, char* buffer, int bufferSize, bool* truncated);

// Splits a line into blank-separated words, at most maxWords of them, into
// words (views into line). A '#' at the start of a word begins a comment that
// runs to the end of the line; with hashEndsWord a '#' inside a word also
// ends the word and begins the comment. Returns the count; *tooMany is set
// when the line holds more words than maxWords (the first maxWords are kept).
int splitWords(std::string_view line, std::string_view* words, int maxWords, bool* tooMany, bool hashEndsWord = false);

// True when the blank-separated list (an OpenGL or EGL extension string)
// holds name as a whole word. A null list holds nothing.
bool listHasWord(const char* list, const char* name);
