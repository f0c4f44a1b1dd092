#include "app/KeyNames.h"

#include <cctype>

#include "platform/Numbers.h"

namespace {

struct NamedKey {
    const char* name;
    int code;
};

// GLUT's special-key codes.
constexpr NamedKey kSpecialKeys[] = {
    {"F1", 1},        {"F2", 2},         {"F3", 3},      {"F4", 4},     {"F5", 5},       {"F6", 6},
    {"F7", 7},        {"F8", 8},         {"F9", 9},      {"F10", 10},   {"F11", 11},     {"F12", 12},
    {"Left", 100},    {"Up", 101},       {"Right", 102}, {"Down", 103}, {"PageUp", 104}, {"PageDown", 105},
    {"Home", 106},    {"End", 107},      {"Insert", 108},
};

// Characters that cannot be written as themselves in a script.
constexpr NamedKey kCharacterKeys[] = {
    {"Esc", 27},      {"Escape", 27}, {"Space", 32},     {"Tab", 9},
    {"Enter", 13},    {"Return", 13}, {"Backspace", 8},  {"Delete", 127},
    {"Hash", '#'},
};

bool sameName(std::string_view a, const char* b) {
    const std::string_view bv(b);
    if (a.size() != bv.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(bv[i])))
            return false;
    return true;
}

}  // namespace

namespace KeyNames {

int specialKeyCode(std::string_view name) {
    for (const NamedKey& key : kSpecialKeys)
        if (sameName(name, key.name)) return key.code;
    return 0;
}

const char* specialKeyName(int code) {
    for (const NamedKey& key : kSpecialKeys)
        if (key.code == code) return key.name;
    return nullptr;
}

int characterKey(std::string_view name) {
    long code = 0;
    if (name.size() == 4 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X') &&
        parseWholeNumber(name, 0, 255, code))
        return static_cast<int>(code);
    if (name.size() == 1) {
        const unsigned char c = static_cast<unsigned char>(name[0]);
        return (c > 32 && c < 127) ? c : -1;
    }
    for (const NamedKey& key : kCharacterKeys)
        if (sameName(name, key.name)) return key.code;
    return -1;
}

}  // namespace KeyNames
