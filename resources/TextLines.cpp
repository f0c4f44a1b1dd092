#include "resources/TextLines.h"

bool readBoundedLine(FILE* file, char* buffer, int bufferSize, bool* truncated) {
    *truncated = false;
    int n = 0;
    bool any = false;
    flockfile(file);
    for (;;) {
        const int c = getc_unlocked(file);
        if (c == EOF) break;
        any = true;
        if (c == '\n') break;
        if (n < bufferSize - 1)
            buffer[n++] = static_cast<char>(c);
        else
            *truncated = true;
    }
    funlockfile(file);
    if (n > 0 && buffer[n - 1] == '\r') --n;
    buffer[n] = '\0';
    return any;
}
