#include "FuzzInput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

void quietStandardOutput() {
    if (std::getenv("STRATA_FUZZ_VERBOSE")) return;
    std::fflush(stdout);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
}

// Files are written tens of thousands of times a second: they go to memory
// (/dev/shm) where it exists. On a disk file system every rewrite of a file
// may be flushed to the disk when it is closed, which slows a fuzzer down a
// hundredfold.
std::string fuzzFilePath(const char* suffix) {
    const char* dir = std::getenv("STRATA_FUZZ_TMP");
    if (!dir || !*dir) dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
    std::string path = (dir && *dir) ? dir : "/tmp";
    path += "/strata-fuzz-" + std::to_string(getpid()) + suffix;
    return path;
}

bool writeFuzzFile(const std::string& path, const uint8_t* data, size_t size) {
    unlink(path.c_str());  // a new file rather than a truncated one
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}
