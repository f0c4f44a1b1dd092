#pragma once
#include <cstddef>
#include <cstdint>

#include "app/FrameObserver.h"

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

// An observer that turns each input the frame applied into its show-script
// line (above) and hands it to takeLine: what the recorder and a leader share.
// Inputs between frames count to the next frame, inputs in a frame to it.
class ShowLineObserver : public FrameObserver {
public:
    static constexpr size_t kLine = 512;

    void keyPressed(unsigned char key, int x, int y) override;
    void specialPressed(int key, int x, int y) override;
    void controlSet(int index, int byteValue, float floatValue) override;
    void scriptedMidi(uint32_t message) override;
    void frameStarted(int frameMillis) override;
    void midiApplied(uint32_t message) override;
    void joystickApplied(uint32_t x, uint32_t y, uint32_t buttons) override;
    void mappedWrite(int index, int byteValue, float floatValue) override;
    void routedWrite(int index, int byteValue, float floatValue) override;
    void commandApplied(const char* words) override;
    void frameFinished() override { inFrame_ = false; }

protected:
    // One whole line with its newline (length > 0), on the frame's thread.
    virtual void takeLine(const char* line, int length) = 0;
    // The frame a scene recalled now belongs to.
    int sceneFrame() const { return inFrame_ ? currentFrame_ : nextFrame_; }

    int nextFrame_ = 0;     // frames started so far
    int currentFrame_ = 0;  // the frame running now
    bool inFrame_ = false;  // between frameStarted and frameFinished

private:
    void take(const char* line, int length) {
        if (length > 0) takeLine(line, length);
    }
};
