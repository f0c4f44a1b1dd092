#pragma once

// key.db maps ASCII keys to control codes; unbound keys give code 128.
constexpr int kKeyMapSize = 128;
int* keyMap();  // the 128 process-wide entries

// Resets the map and reads the bindings from `path` (normally "key.db" in
// the working directory), one "<key> <code>" per line; then creates the
// universe cell. A missing file leaves every key unbound.
void loadKeyBindings(const char* path = "key.db", bool createUniverse = true);

class qelUnivCell;
// A character key pressed on the given universe: 'h' toggles help mode,
// then the key's bound code goes to handleCode (keys 128..255 do nothing).
// Esc is left to the caller.
void pressCharacterKey(qelUnivCell& universe, unsigned char key, int x, int y);

// GLUT keyboard handler: 'h' toggles help mode, Esc ends the process with
// status 0, keys below 128 go through the key map to handleCode.
void keyboardKey(unsigned char key, int x, int y);
// GLUT special-key handler: the GLUT code itself goes to handleCode.
void specialKey(int key, int x, int y);

// The digit 1..9 of a Ctrl+digit or Ctrl+Shift+digit press as X11 delivers
// it through the keyboard callback (Ctrl turns 2..8 into control
// characters: 2 gives 0, 3..7 give 27..31, 8 gives 127; with Shift the
// shifted symbols of a US layout arrive, ^ and @ as control characters), or
// 0 when the key is no digit.
int controlDigit(unsigned char key, bool shift);
