#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

// A video clip (.mp4, .mov, .webm, .mkv) in an image set: one slot whose
// picture moves. The clip is opened and decoded by a thread of its own
// (FFmpeg behind this class), which fills a few fixed frame buffers of the
// set's size, allocated when the set loads; the frame thread only picks the
// newest frame that is due and never waits for the decoder (except in exact
// mode, below). Nothing is opened before the slot is first shown.
//
// Clip time runs while the clip is shown, with the frame clock, times the
// speed that the layer's controller kClipSpeedEntry sets (its centre: the
// clip's own speed; a quarter of the way: paused; far left: backwards;
// far right: three times), and loops at the end. A move of controller
// kClipPositionEntry jumps to that fraction of the clip.
class ClipPlayer {
public:
    static constexpr int kBuffers = 4;  // the one shown and three decoded ahead
    static constexpr int kClipSpeedEntry = 400;
    static constexpr int kClipPositionEntry = 401;

    // Pixel memory of one clip at the set's size (the caller takes it from
    // the image memory budget).
    static size_t bytesFor(int width, int height) { return size_t{kBuffers} * width * height * 4; }

    // Allocates the buffers (the first one black) and starts the decoder
    // thread, which waits until the clip is first shown.
    ClipPlayer(const char* path, int width, int height);
    ~ClipPlayer();
    ClipPlayer(const ClipPlayer&) = delete;
    ClipPlayer& operator=(const ClipPlayer&) = delete;

    // Frame thread: advances the clip's time once per frame of the frame
    // clock (setClipFrameClock) by the frame time times the speed that
    // speedControl (-1..1) gives, jumps when positionControl (-1..1) moved,
    // and returns the pixels to show: the newest decoded frame due at the
    // clip time, else the frame shown last (black before the first).
    // *changed says whether they differ from the previous call's.
    const unsigned char* frame(float speedControl, float positionControl, bool* changed);

    // Exact mode (the offline renderer): frame() waits (up to maxWaitMillis,
    // then the frame repeats with a line) for the frame due, so that the same
    // show renders the same pictures.
    static void setExactFrames(bool on, int maxWaitMillis = 10000);

    // Clip time in microseconds, and the presentation time of the frame
    // shown (INT64_MIN before the first); for tests and the overlay.
    int64_t clipTime() const { return time_; }
    int64_t shownTime() const;
    // True once the decoder gave up on the file (after its one line).
    bool failed() const { return failed_.load(std::memory_order_acquire); }

    // The decoder's side; public for the thread function only.
    struct Decoder;

private:
    enum State : int { Free, Decoding, Ready, Shown };
    struct Buffer {
        std::unique_ptr<unsigned char[]> pixels;
        std::atomic<int> state{Free};
        int64_t pts = 0;   // presentation time, microseconds from the clip's start
        int generation = 0;  // the seek request it answers
    };

    void run();                        // the decoder thread
    bool pick(int64_t due, int generation, bool* changed);  // frame thread: newest due frame
    bool settled(int64_t due, int generation) const;         // exact mode: the due frame is known
    void requestSeek(int64_t target);

    std::string path_;
    int width_ = 0, height_ = 0;
    Buffer buffers_[kBuffers];
    int shown_ = 0;

    // Frame thread state.
    uint32_t lastTick_ = 0;
    bool started_ = false;
    int64_t time_ = 0;
    float lastPosition_ = 0.0f;
    int seekGeneration_ = 0;
    bool seekPending_ = false;

    // Between the threads.
    std::atomic<bool> wanted_{false};
    std::atomic<bool> stop_{false};
    std::atomic<int> requestGeneration_{0};
    std::atomic<int64_t> requestTarget_{0};
    std::atomic<int64_t> duration_{0};   // microseconds, 0 while unknown
    std::atomic<int> endGeneration_{-1};  // the request whose frames are all decoded
    std::atomic<bool> failed_{false};
    std::atomic<uint32_t> wake_{0};      // bumped whenever the decoder may go on
    std::thread thread_;

    friend struct Decoder;
};

// Once at the start of every frame (the universe's frame step): the frame
// time that clip time advances by. Clips advance at most once per tick.
void setClipFrameClock(int frameMillis);
