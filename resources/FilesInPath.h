#pragma once

// Lists the names that one directory search pattern matches: "prefix*" in the
// working directory, or "D/*.ext" inside directory D. Matching is case-blind;
// names are sorted so every run lists the same order; at most 256 names.
class FilesInPath {
public:
    static constexpr int kMaxNames = 256;
    static constexpr int kPatternSize = 1000;

    explicit FilesInPath(const char* pattern);
    ~FilesInPath();
    FilesInPath(const FilesInPath&) = delete;
    FilesInPath& operator=(const FilesInPath&) = delete;

    char pattern[kPatternSize] = {};
    char* names[kMaxNames] = {};
    int count = 0;
};

// Case-blind match of a name against a pattern with '*' (any characters) and
// '?' (one character).
bool wildcardMatch(const char* pattern, const char* name);
// The order of a listing: case-blind, then byte order.
bool listingOrder(const char* a, const char* b);
