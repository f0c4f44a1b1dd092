#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "input/CaptureBackend.h"
#include "platform/ByteRing.h"
#include "show/ShowLines.h"

class SceneBank;
class qelUnivCell;

// Records a live show into a directory so that strata-render plays it again
// frame for frame:
//   show.script  every input the frames applied, at its frame number: keys
//                with the mouse position, MIDI messages and joystick readings
//                as the frame applied them, the writes of the MIDI mapping,
//                the control bus's commands (OSC), the writes of the sound
//                routes (so the analysis need not run again), scene recalls, exact
//                controller writes, the frame time (when it changes; the
//                first frame of a show recorded from start-up has the
//                clock's first reading as an uptime line) and, for every
//                frame that took a sound block, where in sound.wav that
//                block lies; an end mark when it stops.
//   sound.wav    the whole sound stream captured while recording (unsigned
//                8-bit stereo, 22 050 Hz), every block in order, the blocks
//                no frame took included; time a sound card was away is
//                silence in it. Without a followed stream (follow() not
//                used) it holds the taken blocks in order.
//   scene-NNNNNN[-K].scene  a copy of every scene recalled, named by its
//                frame (and its count within the frame).
// The frame only copies into two fixed rings; a writer thread of its own
// writes them to the files at least every 100 ms and syncs them to the disk
// once a second, so a show killed in the middle keeps all but its last
// moments. When a file cannot be written (a full disk, the directory
// removed) the recording stops, says so once on standard error and in
// status(), and the files keep what was written. A recording started at
// start-up (frame 0) re-renders exactly; one started later begins with the
// scene it found (start.scene), which restores the table and the modules but
// not the effects' own motion or the random generator.
class ShowRecorder final : public ShowLineObserver, public SoundStreamSink {
public:
    static constexpr size_t kTextRing = 4u << 20;   // about 45 s of a busy show
    static constexpr size_t kSoundRing = 1u << 20;  // about 24 s of sound

    explicit ShowRecorder(std::string directory);
    ~ShowRecorder() override;  // stops
    ShowRecorder(const ShowRecorder&) = delete;
    ShowRecorder& operator=(const ShowRecorder&) = delete;

    // Creates the directory and the files and starts the writer. fromStartUp:
    // the universe has run no frame yet; otherwise its scene (through scenes)
    // is stored as the recording's start. False with error set when the
    // files cannot be made.
    bool start(SceneBank& scenes, bool fromStartUp, std::string& error);
    // Watches universe's frames and keeps its whole sound stream; unfollow
    // lets it go (stop does not).
    void follow(qelUnivCell& universe);
    void unfollow(qelUnivCell& universe);
    // Writes the end mark, lets the writer finish, completes the wave header
    // and closes.
    void stop();
    bool recording() const { return started_; }
    // False once a file could not be written: the recording has stopped.
    bool healthy() const { return !failed_.load(std::memory_order_relaxed); }
    const std::string& directory() const { return directory_; }
    int framesRecorded() const { return nextFrame_; }
    // One line for the operator: where it records, or why it stopped.
    const char* status() const { return status_; }

    // The recorder's own lines beside the inputs' (show/ShowLines.h).
    void frameStarted(int frameMillis) override;
    void soundTaken(const uint8_t* block, int64_t position) override;
    void sceneRecalled(const char* path, int fadeMillis, const std::string& text) override;

    void blockCaptured(const uint8_t* block) override;
    void blocksMissed(int64_t blocks) override;

private:
    void line(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void takeLine(const char* text, int length) override;
    void writerLoop();
    // Writes what the rings hold; false once a file failed.
    bool drain();
    bool drainRing(ByteRing& ring, size_t bytes, int fd, const char* what);
    void fail(const char* what, int error);
    void reportFailure();
    void closeFiles();

    std::string directory_;
    int scriptFd_ = -1;
    int soundFd_ = -1;
    bool started_ = false;
    ByteRing text_{kTextRing};
    ByteRing sound_{kSoundRing};
    int64_t owedSilence_ = 0;   // blocks kept as silence: the ring was full or the card away
    int64_t soundBlocks_ = 0;   // blocks of the stream so far
    int64_t linesLost_ = 0;     // lines that found the text ring full
    std::thread writer_;
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> failed_{false};
    std::atomic<int64_t> soundBytesWritten_{0};
    const char* failedWhat_ = "";  // set by the writer before failed_
    int failedErrno_ = 0;
    bool failureReported_ = false;
    char status_[160] = "";
    bool fromStartUp_ = false;
    int copiesFrame_ = -1;  // the frame of the last scene copy and the copies made for it
    int copies_ = 0;
    bool haveMillis_ = false;
    int lastMillis_ = 0;
};
