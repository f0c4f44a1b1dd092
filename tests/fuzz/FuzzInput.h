#pragma once
#include <cstddef>
#include <cstdint>

// The entry points of every fuzzer are in FuzzInput.cpp; a fuzzer defines the
// two names below. An input is written to a file of this process first
// (in memory where /dev/shm exists) unless the suffix is null. Standard output
// (the readers' lines) goes to /dev/null unless STRATA_FUZZ_VERBOSE is set.

// The ending of the input file's name, or nullptr: the input is not written.
extern const char* const kFuzzFileSuffix;
// Checks one input, written to path (when there is a suffix); aborts on a fault.
void fuzzOne(const uint8_t* data, size_t size, const char* path);
// Ends the process with a line naming the fault, for libFuzzer to report, unless ok.
void fuzzCheck(bool ok, const char* fault = "check failed");
