#include "resources/FilesInPath.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool wildcardMatch(const char* pattern, const char* name) {
    // Iterative glob with backtracking to the last '*': linear in practice,
    // no recursion depth to worry about.
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || (*pattern && lower(*pattern) == lower(*name))) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

bool listingOrder(const char* a, const char* b) {
    // Case-blind first (so that A.RGB sits beside a.rgb, as a case-blind file
    // system lists them), then byte order so that the order is total.
    for (size_t i = 0;; ++i) {
        const char ca = lower(a[i]);
        const char cb = lower(b[i]);
        if (ca != cb) return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb);
        if (ca == '\0') break;
    }
    return strcmp(a, b) < 0;
}

FilesInPath::FilesInPath(const char* pattern) {
    count = 0;
    if (!pattern) pattern = "";
    const size_t length = strlen(pattern);
    if (length >= static_cast<size_t>(kPatternSize)) {
        // Longer than the pattern field: refused rather than truncated, since
        // a truncated pattern would list another directory.
        printf("FilesInPath::Error pattern longer than %d characters, nothing listed\n", kPatternSize - 1);
        return;
    }
    memcpy(this->pattern, pattern, length + 1);
    printf("FilesInPath:: path = %s\n", this->pattern);

    // "D/name-pattern" lists directory D; a bare "name-pattern" lists the
    // working directory. Wildcards are only understood in the last part.
    std::string directory = ".";
    const char* namePattern = this->pattern;
    if (const char* slash = strrchr(this->pattern, '/')) {
        const size_t dirLength = slash == this->pattern ? 1 : static_cast<size_t>(slash - this->pattern);
        directory = std::string(this->pattern, dirLength);  // "/name" lists the root
        namePattern = slash + 1;
    }

    // The platform search this replaces matched case-blind and handed out
    // entries in the file system's order; here every match is gathered and
    // sorted, so every run (and every machine) lists the same order. Files,
    // directories and anything else are listed alike. The directory iterator
    // is closed when it goes out of scope.
    std::vector<std::string> found;
    std::error_code error;
    fs::directory_iterator it(directory, error);
    if (!error) {
        const fs::directory_iterator end;
        while (it != end) {
            const std::string name = it->path().filename().string();
            if (wildcardMatch(namePattern, name.c_str())) found.push_back(name);
            it.increment(error);
            if (error) break;
        }
    }
    if (found.empty()) {
        printf("FilesInPath::Error in Opening Path %s\n", this->pattern);
        return;
    }
    std::sort(found.begin(), found.end(),
              [](const std::string& a, const std::string& b) { return listingOrder(a.c_str(), b.c_str()); });

    printf("FilesInPath:: filename %s\n", found[0].c_str());
    const size_t kept = std::min(found.size(), static_cast<size_t>(kMaxNames));
    for (size_t i = 0; i < kept; ++i) {
        names[count] = std::make_unique_for_overwrite<char[]>(found[i].size() + 1);
        memcpy(names[count].get(), found[i].c_str(), found[i].size() + 1);
        ++count;
    }
}

void copyDirectoryName(char* field, int size, const char* name, const char* refusal) {
    if (!name) name = "";
    field[0] = '\0';
    if (std::strlen(name) >= static_cast<size_t>(size)) {
        printf(refusal, size - 1);
        return;
    }
    std::strcpy(field, name);
}
