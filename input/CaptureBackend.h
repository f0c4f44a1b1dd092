#pragma once
#include <cstddef>
#include <cstdint>

// Receives the whole captured stream, block by block in capture order (the
// recorder keeps it). Called on the thread that polls the source, inside the
// poll; it must not wait or allocate.
class SoundStreamSink {
public:
    virtual ~SoundStreamSink() = default;
    // The next block of the stream (kBlockBytes bytes).
    virtual void blockCaptured(const uint8_t* block) = 0;
    // The stream went on without blocks that can be delivered (a sound card
    // away for a while): that many blocks of silence keep its time.
    virtual void blocksMissed(int64_t blocks) = 0;
};

// One source of captured sound for WaveInput: a sound card, a wave file played
// as input, or a test's own blocks. Every source delivers the same blocks of
// 256 interleaved unsigned 8-bit stereo frames (512 bytes) at 22 050 frames per
// second and is polled once per frame, without callbacks or threads.
class CaptureBackend {
public:
    static constexpr int kBlockFrames = 256;
    static constexpr int kBlockBytes = 512;
    static constexpr int kFrameRate = 22050;

    virtual ~CaptureBackend() = default;

    // Begins capturing; false when the source cannot run.
    virtual bool start() = 0;
    // Copies the newest block completed since the previous call into block
    // (kBlockBytes bytes) and returns true; older completed blocks are
    // dropped so the picture never lags the sound. Returns false, leaving
    // block untouched, when no block completed since the previous call.
    virtual bool takeNewestBlock(uint8_t* block) = 0;
    // Moves a caller-paced source's clock forward; sources that follow the
    // wall clock or a sound card ignore it.
    virtual void advanceClock(double /*millis*/) {}
    // True once the source has failed for good (a sound card unplugged in
    // the middle of a show): it delivers nothing more and is to be closed
    // and opened again. Overruns are not losses: sources recover from them.
    virtual bool lost() const { return false; }
    // Fills text with a few words on the source for the operator (name,
    // rate, channels); sources without anything to say leave it empty.
    virtual void describe(char* text, size_t size) const {
        if (size > 0) text[0] = '\0';
    }
    // Hands every block this source completes, in order, to sink (null: no
    // one listens), the newest included, during takeNewestBlock. A source
    // that does not (streamsEveryBlock false) has its taken blocks passed
    // on by WaveInput instead.
    void setStreamSink(SoundStreamSink* sink) { sink_ = sink; }
    virtual bool streamsEveryBlock() const { return false; }
    // Completes exactly `blocks` more blocks of a caller-paced source, in
    // order, none skipped (the replay of a recording, where each frame that
    // took a block is marked); from then on the source counts blocks, not
    // time. Other sources ignore it.
    virtual void advanceBlocks(int /*blocks*/) {}

protected:
    void streamBlock(const uint8_t* block) {
        if (sink_) sink_->blockCaptured(block);
    }
    void streamGap(int64_t blocks) {
        if (sink_ && blocks > 0) sink_->blocksMissed(blocks);
    }

private:
    SoundStreamSink* sink_ = nullptr;
};
