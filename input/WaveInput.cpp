#include "input/WaveInput.h"

#include "input/AlsaCapture.h"
#include "input/CaptureBackend.h"
#include "input/WavFileCapture.h"
#include "platform/Settings.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include <string>
#include <utility>

namespace {

// STRATA_AUDIO names a file when it ends in ".wav", ".flac" or ".ogg" (any
// case) or holds a path separator; ALSA device names ("default", "pulse",
// "hw:1,0", "plughw:CARD=USB,DEV=0") do neither.
bool namesWaveFile(const char* source) {
    const size_t n = std::strlen(source);
    for (const char* suffix : {".wav", ".flac", ".ogg"}) {
        const size_t k = std::strlen(suffix);
        if (n >= k && strcasecmp(source + n - k, suffix) == 0) return true;
    }
    return std::strchr(source, '/') != nullptr;
}

}  // namespace

WaveInput::WaveInput() {
    captureBlock = std::make_unique<uint8_t[]>(kBufferLength);
    history = std::make_unique<SoundSnapshot[]>(kHistory);
    historyIndex = 0;
    current = &history[0];
}

WaveInput::~WaveInput() {
    stopAndClose();
}

void WaveInput::start() {
    open();
    startRecording();
}

namespace {

// The operator's words for a wave file source, or for why it cannot play.
void describeWaveFile(const char* path, const CaptureBackend* device, char* text, size_t size) {
    if (const auto* file = dynamic_cast<const WavFileCapture*>(device)) {
        const WavSound& sound = file->sound();
        std::snprintf(text, size, "%s (wave file, %d Hz, %d channels, %d-bit), looping", path, sound.sourceRate,
                      sound.sourceChannels, sound.sourceBits);
        return;
    }
    struct stat info;
    if (::stat(path, &info) != 0)
        std::snprintf(text, size, "no sound input: %s: %s", path, std::strerror(errno));
    else
        std::snprintf(text, size, "no sound input: %s: not a usable wave file", path);
}

}  // namespace

int WaveInput::open() {
    stopAndClose();
    reopen_ = nullptr;
    const std::string& source = settings().audio;
    if (namesWaveFile(source.c_str())) {
        device = openWavCapture(source.c_str(), WavFileCapture::Pacing::WallClock);
        describeWaveFile(source.c_str(), device.get(), description_, sizeof description_);
    } else {
        const std::string name = source;
        char reason[128] = "cannot be opened";
        device = openAlsaCapture(name.c_str(), stdout, reason, sizeof reason);
        if (device) {
            describe(name.c_str());
        } else {
            std::snprintf(description_, sizeof description_, "no sound input: %s: %s", name.c_str(), reason);
        }
        reopen_ = [name] { return openAlsaCapture(name.c_str(), nullptr); };
    }
    return device ? 1 : 0;
}

void WaveInput::startRecording() {
    attach();
    if (!device || !device->start()) {
        if (device) std::snprintf(description_, sizeof description_, "no sound input: the source does not start");
        printf("Record Failed\n");
        stopAndClose();
    }
}

void WaveInput::stopAndClose() {
    device.reset();
    lost_ = false;
}

int WaveInput::startWavFile(const char* path, bool pacedByCaller) {
    stopAndClose();
    reopen_ = nullptr;
    device = openWavCapture(path, pacedByCaller ? WavFileCapture::Pacing::Caller
                                                : WavFileCapture::Pacing::WallClock);
    describeWaveFile(path, device.get(), description_, sizeof description_);
    startRecording();
    return device ? 1 : 0;
}

void WaveInput::setReopen(std::function<std::unique_ptr<CaptureBackend>()> reopen) { reopen_ = std::move(reopen); }

WaveInput::State WaveInput::state() const {
    if (device) return State::Live;
    return lost_ ? State::Lost : State::None;
}

void WaveInput::describe(const char* fallback) {
    if (device) device->describe(description_, sizeof description_);
    if (!description_[0] || !device) std::snprintf(description_, sizeof description_, "%s", fallback);
}

void WaveInput::setStreamSink(SoundStreamSink* sink) {
    sink_ = sink;
    streamBlocks_ = 0;
    snapshotPosition_ = -1;
    attach();
}

void WaveInput::attach() {
    if (device) device->setStreamSink(this);
}

void WaveInput::blockCaptured(const uint8_t* block) {
    ++streamBlocks_;
    if (sink_) sink_->blockCaptured(block);
    if (analysisSink_) analysisSink_->blockCaptured(block);
}

void WaveInput::blocksMissed(int64_t blocks) {
    if (blocks <= 0) return;
    streamBlocks_ += blocks;
    if (sink_) sink_->blocksMissed(blocks);
    if (analysisSink_) analysisSink_->blocksMissed(blocks);
}

void WaveInput::loseDevice() {
    device.reset();
    lost_ = true;
    lastAttempt_ = lostAt_ = std::chrono::steady_clock::now();
    level = leftLevel = rightLevel = 0.0f;
    std::memset(current->bytes, 128, kBufferLength);
}

void WaveInput::tryReopen() {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastAttempt_ < std::chrono::milliseconds(retryMillis)) return;
    lastAttempt_ = now;
    std::unique_ptr<CaptureBackend> backend = reopen_();
    if (!backend || !backend->start()) return;
    device = std::move(backend);
    lost_ = false;
    attach();
    // The stream keeps the show's time: the time away is silence in it.
    blocksMissed(static_cast<int64_t>(std::chrono::duration<double>(now - lostAt_).count() *
                                      CaptureBackend::kFrameRate / CaptureBackend::kBlockFrames));
    describe("sound input");
}

void WaveInput::advanceClock(double millis) {
    if (device) device->advanceClock(millis);
}

void WaveInput::advanceBlocks(int blocks) {
    if (device) device->advanceBlocks(blocks);
}

void WaveInput::startWith(std::unique_ptr<CaptureBackend> backend) {
    stopAndClose();
    reopen_ = nullptr;
    device = std::move(backend);
    describe("sound input");
    startRecording();
}

float WaveInput::update() {
    // Without a source (after a failed start) nothing is taken: the history,
    // the snapshot and the levels stay as they are and the system runs
    // without sound.
    if (device && device->lost()) loseDevice();
    if (!device && lost_ && reopen_) tryReopen();
    if (device && device->takeNewestBlock(captureBlock.get())) {
        if (!device->streamsEveryBlock()) blockCaptured(captureBlock.get());
        snapshotPosition_ = streamBlocks_ - 1;
        historyIndex = historyIndex == kHistory - 1 ? 0 : historyIndex + 1;
        current = &history[historyIndex];
        std::memcpy(current->bytes, captureBlock.get(), kBufferLength);

        float left = 0.0f, right = 0.0f;
        const uint8_t* b = current->bytes;
        for (int i = 0; i < kBufferLength; i += 2) {
            left += std::fabs((b[i] - 128) * 0.0078125f);
            right += std::fabs((b[i + 1] - 128) * 0.0078125f);
        }
        // Over the whole buffer length, so each channel lies in 0..0.5.
        leftLevel = left * (1.0f / kBufferLength);
        rightLevel = right * (1.0f / kBufferLength);
        level = rightLevel + leftLevel;
    }
    byteCount = kBufferLength;
    return level;
}
