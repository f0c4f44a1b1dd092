#include "platform/TextLines.h"

#include <cctype>
#include <cstring>

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

int splitWords(std::string_view line, std::string_view* words, int maxWords, bool* tooMany, bool hashEndsWord) {
    int count = 0;
    *tooMany = false;
    size_t i = 0;
    const auto blank = [&](size_t at) { return std::isspace(static_cast<unsigned char>(line[at])) != 0; };
    while (i < line.size()) {
        while (i < line.size() && blank(i)) ++i;
        if (i >= line.size() || line[i] == '#') break;
        const size_t start = i;
        while (i < line.size() && !blank(i) && !(hashEndsWord && line[i] == '#')) ++i;
        if (count == maxWords) {
            *tooMany = true;
            break;
        }
        words[count++] = line.substr(start, i - start);
    }
    return count;
}

bool listHasWord(const char* list, const char* name) {
    if (!list) return false;
    const size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n)
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
    return false;
}
