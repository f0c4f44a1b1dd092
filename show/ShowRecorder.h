#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "app/FrameObserver.h"

class SceneBank;

// Records a live show into a directory so that strata-render plays it again
// frame for frame:
//   show.script  every input the frames applied, at its frame number: keys
//                with the mouse position, MIDI messages and joystick readings
//                as the frame applied them, the writes of the MIDI mapping,
//                the control bus's commands (OSC), scene recalls, exact
//                controller writes, the frame time (when it changes) and a
//                mark for every frame that took a sound block; an end mark
//                when it stops.
//   sound.wav    the sound blocks in the order the frames took them
//                (unsigned 8-bit stereo, 22 050 Hz, 256 frames per block), so
//                that each 'sound' mark takes the next block.
//   scene-NNNNNN[-K].scene  a copy of every scene recalled, named by its
//                frame (and its count within the frame).
// Both files are written through fixed buffers by plain write calls: a
// recording frame allocates nothing. A recording started at start-up (frame
// 0) re-renders exactly; one started later begins with the scene it found
// (start.scene), which restores the table and the modules but not the
// effects' own motion or the random generator.
class ShowRecorder final : public FrameObserver {
public:
    static constexpr int kTextBuffer = 64 * 1024;
    static constexpr int kSoundBuffer = 64 * 1024;

    explicit ShowRecorder(std::string directory);
    ~ShowRecorder() override;  // stops
    ShowRecorder(const ShowRecorder&) = delete;
    ShowRecorder& operator=(const ShowRecorder&) = delete;

    // Creates the directory and the files. fromStartUp: the universe has run
    // no frame yet; otherwise its scene (through scenes) is stored as the
    // recording's start. False with error set when the files cannot be made.
    bool start(SceneBank& scenes, bool fromStartUp, std::string& error);
    // Writes the end mark, flushes, completes the wave header and closes.
    void stop();
    bool recording() const { return scriptFd_ >= 0; }
    const std::string& directory() const { return directory_; }
    int framesRecorded() const { return nextFrame_; }

    // Key presses from the window, before they are handled (frame: the next).
    void keyPressed(unsigned char key, int x, int y) override;
    void specialPressed(int key, int x, int y) override;

    void frameStarted(int frameMillis) override;
    void soundTaken(const uint8_t* block) override;
    void midiApplied(uint32_t message) override;
    void joystickApplied(uint32_t x, uint32_t y, uint32_t buttons) override;
    void sceneRecalled(const char* path, int fadeMillis) override;
    void controlSet(int index, int byteValue, float floatValue) override;
    void scriptedMidi(uint32_t message) override;
    void mappedWrite(int index, int byteValue, float floatValue) override;
    void commandApplied(const char* words) override;
    void frameFinished() override { inFrame_ = false; }

private:
    void line(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool flushText();
    bool flushSound();
    void fail(const char* what);

    std::string directory_;
    int scriptFd_ = -1;
    int soundFd_ = -1;
    std::unique_ptr<char[]> text_;
    int textUsed_ = 0;
    std::unique_ptr<uint8_t[]> sound_;
    int soundUsed_ = 0;
    int64_t soundBytes_ = 0;
    int nextFrame_ = 0;     // frames started so far
    int currentFrame_ = 0;  // the frame running now
    bool inFrame_ = false;  // between frameStarted and frameFinished
    int copiesFrame_ = -1;  // the frame of the last scene copy and the copies made for it
    int copies_ = 0;
    bool haveMillis_ = false;
    int lastMillis_ = 0;
};
