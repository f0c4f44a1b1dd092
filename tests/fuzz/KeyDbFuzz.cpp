// Fuzzes the key.db loader: any file must leave 128 control codes in the key
// map, with every key that no line bound keeping code 128, and write nothing
// outside the map.
#include <cstdlib>

#include "FuzzInput.h"
#include "app/KeyBindings.h"

const char* const kFuzzFileSuffix = "-key.db";

void fuzzOne(const uint8_t* data, size_t size, const char* path) {
    loadKeyBindings(path, false);
    // A key can only be bound by a line that starts with it: a key whose
    // character never follows a line end (or starts the file) keeps 128.
    bool startsLine[256] = {};
    for (size_t i = 0; i < size; ++i)
        if (i == 0 || data[i - 1] == '\n') startsLine[data[i]] = true;
    const int* map = keyMap();
    for (int key = 0; key < kKeyMapSize; ++key)
        if (!startsLine[key] && map[key] != 128) abort();
}
