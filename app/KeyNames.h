#pragma once
#include <string_view>

// Keys by name, as show scripts, recordings and remote control write them:
// F1..F12, Left, Up, Right, Down, PageUp, PageDown, Home, End, Insert (GLUT's
// special keys) and Esc, Space, Tab, Enter, Backspace, Delete, Hash (the
// characters 27, 32, 9, 13, 8, 127 and '#'), in any case; any printable
// character as itself and any character as 0x00..0xFF.
namespace KeyNames {
constexpr int kEscape = 27;

// GLUT code of a special key name, or 0.
int specialKeyCode(std::string_view name);
// Name of a special key's GLUT code, or null.
const char* specialKeyName(int code);
// Character of a named key or of a one-character token, or -1.
int characterKey(std::string_view name);
}  // namespace KeyNames
