// Fuzzes readModuleNames, the part of the module database's build that reads
// modules.db (the rest needs OpenGL and reads no file): at most 128 modules,
// every name one word of at most 78 characters taken from the file, a line
// without a name only before a named one, nothing written past the arrays.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "FuzzInput.h"
#include "app/ModuleDatabase.h"

const char* const kFuzzFileSuffix = "-modules.db";

namespace {
ModuleNames gModules;

void fail(const char* why) {
    fprintf(stderr, "ModulesDbFuzz: %s\n", why);
    abort();
}
}  // namespace

void fuzzOne(const uint8_t* data, size_t size, const char* path) {
    if (!readModuleNames(path, gModules)) fail("a regular file was not read");

    const int count = gModules.count;
    if (count < 0 || count > ModuleNames::kMaxModules) fail("module count outside 0..128");
    if (gModules.linesIgnored && count != ModuleNames::kMaxModules) fail("lines ignored below 128 modules");
    // Lines without a name become modules only before a named line (which
    // may be the one beyond the 128th that was left out).
    if (count > 0 && !gModules.linesIgnored && gModules.names[count - 1][0] == '\0') fail("the last module has no name");
    size_t lines = 1;
    for (size_t i = 0; i < size; ++i) lines += data[i] == '\n';
    if (static_cast<size_t>(count) > lines) fail("more modules than lines");
    for (int i = 0; i < count; ++i) {
        const char* name = gModules.names[i];
        const size_t length = strnlen(name, ModuleNames::kNameSize);
        if (length >= static_cast<size_t>(ModuleNames::kNameSize)) fail("name without terminator");
        for (size_t k = 0; k < length; ++k)
            if (isspace(static_cast<unsigned char>(name[k]))) fail("name holds a blank");
        if (length > 0 && !memmem(data, size, name, length)) fail("name not taken from the file");
    }
}
