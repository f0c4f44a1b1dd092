// Fuzzes the key.db loader: any file must leave 128 control codes in the key
// map, with every key that no line bound keeping code 128, and write nothing
// outside the map.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzInput.h"
#include "app/KeyBindings.h"

namespace {
std::string gPath;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quietStandardOutput();
    gPath = fuzzFilePath("-key.db");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!writeFuzzFile(gPath, data, size)) abort();
    loadKeyBindings(gPath.c_str(), false);

    // A key can only be bound by a line that starts with it: a key whose
    // character never follows a line end (or starts the file) keeps 128.
    bool startsLine[256] = {};
    for (size_t i = 0; i < size; ++i)
        if (i == 0 || data[i - 1] == '\n') startsLine[data[i]] = true;
    const int* map = keyMap();
    for (int key = 0; key < kKeyMapSize; ++key)
        if (!startsLine[key] && map[key] != 128) abort();
    return 0;
}
