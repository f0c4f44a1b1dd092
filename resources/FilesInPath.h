#pragma once
#include <memory>

// Lists the names that one directory search pattern matches: "prefix*" in the
// working directory, or "D/*.ext" inside directory D. Matching is case-blind;
// names are sorted so every run lists the same order; at most 256 names.
class FilesInPath {
public:
    static constexpr int kMaxNames = 256;
    static constexpr int kPatternSize = 1000;

    explicit FilesInPath(const char* pattern);
    FilesInPath(const FilesInPath&) = delete;
    FilesInPath& operator=(const FilesInPath&) = delete;

    char pattern[kPatternSize] = {};
    std::unique_ptr<char[]> names[kMaxNames];
    int count = 0;
};

// Case-blind match of a name against a pattern with '*' (any characters) and
// '?' (one character).
bool wildcardMatch(const char* pattern, const char* name);
// The order of a listing: case-blind, then byte order.
bool listingOrder(const char* a, const char* b);

// Copies a gene's directory name into its fixed field of `size` characters.
// A name that does not fit is refused rather than truncated (a truncated name
// would read another directory): the field stays empty, and `refusal` is
// printed with the limit. A null name counts as empty.
void copyDirectoryName(char* field, int size, const char* name, const char* refusal);
