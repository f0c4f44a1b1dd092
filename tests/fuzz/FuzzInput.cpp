#include "FuzzInput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
std::string gPath;

// Files are written tens of thousands of times a second: to memory (/dev/shm) where it exists, as
// a disk may flush every rewrite when the file is closed, which slows a fuzzer down a hundredfold.
std::string fuzzFilePath(const char* suffix) {
    const char* dir = std::getenv("STRATA_FUZZ_TMP");
    if (!dir || !*dir) dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
    return std::string((dir && *dir) ? dir : "/tmp") + "/strata-fuzz-" + std::to_string(getpid()) + suffix;
}

bool writeFuzzFile(const std::string& path, const uint8_t* data, size_t size) {
    unlink(path.c_str());  // a new file rather than a truncated one
    FILE* file = std::fopen(path.c_str(), "wb");
    const bool ok = file && (size == 0 || std::fwrite(data, 1, size, file) == size);
    return file && std::fclose(file) == 0 && ok;
}
}  // namespace

void fuzzCheck(bool ok, const char* fault) {
    if (ok) return;
    std::fprintf(stderr, "fuzz: %s\n", fault);
    std::abort();
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!std::getenv("STRATA_FUZZ_VERBOSE")) {
        std::fflush(stdout);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0 && dup2(null, STDOUT_FILENO) >= 0) close(null);
    }
    if (kFuzzFileSuffix) gPath = fuzzFilePath(kFuzzFileSuffix);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (kFuzzFileSuffix && !writeFuzzFile(gPath, data, size)) abort();
    fuzzOne(data, size, gPath.c_str());
    return 0;
}
