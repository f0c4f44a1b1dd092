#include "app/KeyBindings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/qelUnivCell.h"
#include "platform/RegularFile.h"

namespace {
int gKeyMap[kKeyMapSize];

// Reads one line of at most `size - 1` characters into `line` and its length
// into `length`; the rest of a longer line is skipped so the next read starts
// on the next line. False at end of file with nothing read.
bool readLine(FILE* file, char* line, int size, int& length) {
    length = 0;
    int c = 0;
    bool any = false;
    while ((c = fgetc(file)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (length < size - 1) line[length++] = static_cast<char>(c);
    }
    line[length] = '\0';
    if (length > 0 && line[length - 1] == '\r') line[--length] = '\0';
    return any;
}

// Parses "<key><separator><blanks><decimal code>". False for a line without a
// key or without a number.
bool parseBinding(const char* line, int length, int& key, int& code) {
    if (length < 3) return false;
    key = static_cast<unsigned char>(line[0]);
    const char* p = line + 2;
    while (*p == ' ' || *p == '\t') ++p;
    char* end = nullptr;
    const long value = std::strtol(p, &end, 10);
    if (end == p) return false;
    if (value < -1000000 || value > 1000000) return false;
    code = static_cast<int>(value);
    return true;
}
}  // namespace

int* keyMap() { return gKeyMap; }

void loadKeyBindings(const char* path, bool createUniverse) {
    for (int& code : gKeyMap) code = 128;
    FILE* file = openRegularFile(path, "r");
    if (file) {
        char line[79];
        int length = 0;
        while (readLine(file, line, sizeof line, length)) {
            int key = 0, code = 0;
            if (!parseBinding(line, length, key, code)) continue;
            if (key >= kKeyMapSize) continue;  // keys 128..255 have no entry
            gKeyMap[key] = code;
            printf("Keybind Override :: %c %d to %d\n", static_cast<char>(key), key, code);
        }
    }
    // The instrument's universe lives until the process exits and is never
    // released (the offline renderer takes it over and releases it itself).
    if (createUniverse) setUniverse(new qelUnivCell());
    if (file) std::fclose(file);
}

void pressCharacterKey(qelUnivCell& universe, unsigned char key, int x, int y) {
    if (key == 'h') {
        universe.helpMode = !universe.helpMode;
        printf(universe.helpMode ? " Enter Help Mode ...\n" : " Out   Help Mode ...\n");
    }
    if (key < kKeyMapSize) universe.handleCode(gKeyMap[key], x, y);
}

void keyboardKey(unsigned char key, int x, int y) {
    if (key == 27) std::exit(0);
    if (qelUnivCell* universe = ::universe()) pressCharacterKey(*universe, key, x, y);
}

void specialKey(int key, int x, int y) {
    if (qelUnivCell* universe = ::universe()) universe->handleCode(key, x, y);
}

int controlDigit(unsigned char key, bool shift) {
    if (key >= '1' && key <= '9') return key - '0';
    if (!shift) {
        switch (key) {
            case 0: return 2;
            case 27: return 3;
            case 28: return 4;
            case 29: return 5;
            case 30: return 6;
            case 31: return 7;
            case 127: return 8;
            default: return 0;
        }
    }
    static const char kShifted[] = "!@#$%^&*(";
    for (int i = 0; i < 9; ++i)
        if (key == static_cast<unsigned char>(kShifted[i])) return i + 1;
    if (key == 0) return 2;   // Ctrl+@
    if (key == 30) return 6;  // Ctrl+^
    return 0;
}
