#include "show/ShowLines.h"

#include <cstdarg>
#include <cstdio>

#include "app/ControlTable.h"
#include "app/KeyNames.h"

namespace {

int format(char* out, size_t size, const char* pattern, ...) __attribute__((format(printf, 3, 4)));
int format(char* out, size_t size, const char* pattern, ...) {
    if (size < 2) return 0;
    va_list args;
    va_start(args, pattern);
    int n = std::vsnprintf(out, size, pattern, args);
    va_end(args);
    if (n < 0) return 0;
    if (n >= static_cast<int>(size)) {
        n = static_cast<int>(size) - 1;
        out[n - 1] = '\n';
    }
    return n;
}

}  // namespace

namespace showline {

int key(char* out, size_t size, int frame, unsigned char key, int x, int y) {
    if (key > 32 && key < 127 && key != '#') return format(out, size, "%d key %c %d %d\n", frame, key, x, y);
    if (key == 27) return format(out, size, "%d key Esc %d %d\n", frame, x, y);
    return format(out, size, "%d key 0x%02x %d %d\n", frame, key, x, y);
}

int special(char* out, size_t size, int frame, int key, int x, int y) {
    if (const char* name = KeyNames::specialKeyName(key)) return format(out, size, "%d key %s %d %d\n", frame, name, x, y);
    if (key >= 1 && key <= 255) return format(out, size, "%d special %d %d %d\n", frame, key, x, y);
    return 0;
}

int midi(char* out, size_t size, int frame, const char* word, uint32_t message) {
    return format(out, size, "%d %s 0x%02x %u %u\n", frame, word, message & 0xFFu, (message >> 8) & 0xFFu,
                  (message >> 16) & 0xFFu);
}

int joystick(char* out, size_t size, int frame, uint32_t x, uint32_t y, uint32_t buttons) {
    return format(out, size, "%d joy %u %u %u\n", frame, x > 65535 ? 65535 : x, y > 65535 ? 65535 : y, buttons & 15u);
}

int write(char* out, size_t size, int frame, const char* word, int index, int byteValue, float floatValue) {
    if (!ControlTable::validIndex(index)) return 0;
    return format(out, size, "%d %s %d %d %d %.9g\n", frame, word, index / ControlTable::kControllers,
                  index % ControlTable::kControllers, byteValue & 0xFF, static_cast<double>(floatValue));
}

int osc(char* out, size_t size, int frame, const char* words) { return format(out, size, "%d osc %s\n", frame, words); }

int scene(char* out, size_t size, int frame, const char* name, int fadeMillis, bool bus) {
    return format(out, size, "%d scene %s %d%s\n", frame, name, fadeMillis, bus ? " bus" : "");
}

}  // namespace showline

void ShowLineObserver::keyPressed(unsigned char key, int x, int y) {
    char line[kLine];
    take(line, showline::key(line, sizeof line, nextFrame_, key, x, y));
}

void ShowLineObserver::specialPressed(int key, int x, int y) {
    char line[kLine];
    take(line, showline::special(line, sizeof line, nextFrame_, key, x, y));
}

void ShowLineObserver::controlSet(int index, int byteValue, float floatValue) {
    char line[kLine];
    take(line, showline::write(line, sizeof line, nextFrame_, "set", index, byteValue, floatValue));
}

void ShowLineObserver::scriptedMidi(uint32_t message) {
    char line[kLine];
    take(line, showline::midi(line, sizeof line, nextFrame_, "midi", message));
}

void ShowLineObserver::frameStarted(int /*frameMillis*/) {
    currentFrame_ = nextFrame_++;
    inFrame_ = true;
}

void ShowLineObserver::midiApplied(uint32_t message) {
    char line[kLine];
    take(line, showline::midi(line, sizeof line, currentFrame_, "midiin", message));
}

void ShowLineObserver::joystickApplied(uint32_t x, uint32_t y, uint32_t buttons) {
    char line[kLine];
    take(line, showline::joystick(line, sizeof line, currentFrame_, x, y, buttons));
}

void ShowLineObserver::mappedWrite(int index, int byteValue, float floatValue) {
    char line[kLine];
    take(line, showline::write(line, sizeof line, currentFrame_, "mapped", index, byteValue, floatValue));
}

void ShowLineObserver::routedWrite(int index, int byteValue, float floatValue) {
    char line[kLine];
    take(line, showline::write(line, sizeof line, currentFrame_, "routed", index, byteValue, floatValue));
}

void ShowLineObserver::commandApplied(const char* words) {
    char line[kLine];
    take(line, showline::osc(line, sizeof line, currentFrame_, words));
}
