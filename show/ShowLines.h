#pragma once
#include <cstddef>
#include <cstdint>

// The lines of a show script as the recorder writes them, one input each,
// ending in a newline: the recorder and a leader sending its show to
// followers format through these, so that both say exactly the same.
// Each writes into out (size bytes; a line too long is cut and still ends
// in a newline) and returns the length, or 0 when the input has no line
// (a write outside the table, a special key without a code).
namespace showline {
int key(char* out, size_t size, int frame, unsigned char key, int x, int y);
int special(char* out, size_t size, int frame, int key, int x, int y);
// word: "midi" (a scripted message) or "midiin" (as the MIDI step applied it).
int midi(char* out, size_t size, int frame, const char* word, uint32_t message);
int joystick(char* out, size_t size, int frame, uint32_t x, uint32_t y, uint32_t buttons);
// word: "set", "mapped" or "routed"; index: the entry of the table.
int write(char* out, size_t size, int frame, const char* word, int index, int byteValue, float floatValue);
int osc(char* out, size_t size, int frame, const char* words);
int scene(char* out, size_t size, int frame, const char* name, int fadeMillis, bool bus);
}  // namespace showline
