#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Helpers shared by the fuzzers. The readers under test read files, so each
// fuzz input is written to a file of this process first.

// Sends standard output (the readers' console lines) to /dev/null unless
// STRATA_FUZZ_VERBOSE is set; libFuzzer reports on standard error.
void quietStandardOutput();

// A path in the temporary directory unique to this process, ending in
// `suffix`.
std::string fuzzFilePath(const char* suffix);

// Writes the bytes to path (replacing it). False when it cannot be written.
bool writeFuzzFile(const std::string& path, const uint8_t* data, size_t size);
