#pragma once

// The module names of a modules.db file, read without building anything: line
// i names module i (its first word, at most 78 characters; a line is read up
// to 78 characters). A line without a name in the middle of the file keeps
// its index, so that every later line still selects the reactor of its line
// number, and is held as an empty name; blank lines at the end (and the end
// of the file after a final line end) make no module. At most 128 modules.
struct ModuleNames {
    static constexpr int kMaxModules = 128;
    static constexpr int kNameSize = 79;  // 78 characters and the terminator

    char names[kMaxModules][kNameSize] = {};
    int count = 0;
    bool linesIgnored = false;  // named lines beyond the 128th module were left out
};

// Reads path into modules. False, with modules empty, when the file cannot be
// opened or is not a regular file (the latter with its own line).
bool readModuleNames(const char* path, ModuleNames& modules);
