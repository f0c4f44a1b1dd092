// Fuzzes readModuleNames, the part of the module database's build that reads
// modules.db (the rest needs OpenGL and reads no file): at most 128 modules,
// every name one word of at most 78 characters taken from the file, a line
// without a name only before a named one, nothing written past the arrays.
#include <cctype>
#include <cstdint>
#include <cstring>

#include "FuzzInput.h"
#include "app/ModuleDatabase.h"

const char* const kFuzzFileSuffix = "-modules.db";

namespace {
ModuleNames gModules;
}  // namespace

void fuzzOne(const uint8_t* data, size_t size, const char* path) {
    fuzzCheck(readModuleNames(path, gModules), "a regular file was not read");

    const int count = gModules.count;
    fuzzCheck(count >= 0 && count <= ModuleNames::kMaxModules, "module count outside 0..128");
    fuzzCheck(!gModules.linesIgnored || count == ModuleNames::kMaxModules, "lines ignored below 128 modules");
    // Lines without a name become modules only before a named line (which
    // may be the one beyond the 128th that was left out).
    fuzzCheck(count == 0 || gModules.linesIgnored || gModules.names[count - 1][0] != '\0',
              "the last module has no name");
    size_t lines = 1;
    for (size_t i = 0; i < size; ++i) lines += data[i] == '\n';
    fuzzCheck(static_cast<size_t>(count) <= lines, "more modules than lines");
    for (int i = 0; i < count; ++i) {
        const char* name = gModules.names[i];
        const size_t length = strnlen(name, ModuleNames::kNameSize);
        fuzzCheck(length < static_cast<size_t>(ModuleNames::kNameSize), "name without terminator");
        for (size_t k = 0; k < length; ++k)
            fuzzCheck(!isspace(static_cast<unsigned char>(name[k])), "name holds a blank");
        fuzzCheck(length == 0 || memmem(data, size, name, length), "name not taken from the file");
    }
}
