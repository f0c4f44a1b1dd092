#include "show/ShowRecorder.h"

#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/qelUnivCell.h"
#include "input/WaveInput.h"
#include "input/CaptureBackend.h"
#include "platform/AtomicFile.h"
#include "platform/FileWriter.h"
#include "show/SceneBank.h"
#include "show/ShowLines.h"
#include "show/ShowScript.h"

namespace {

constexpr int kWaveHeader = 44;
// The data size written until the recording stops: a recording cut short by a
// crash still reads back (readers clamp the size to the file).
constexpr uint32_t kOpenDataSize = 0x7FFFFF00u;

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    put16(p, v & 0xFFFFu);
    put16(p + 2, v >> 16);
}

// The header of unsigned 8-bit stereo PCM at the capture rate.
void waveHeader(uint8_t* h, uint32_t dataBytes) {
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, dataBytes + 36);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1);  // PCM
    put16(h + 22, 2);
    put32(h + 24, CaptureBackend::kFrameRate);
    put32(h + 28, CaptureBackend::kFrameRate * 2);
    put16(h + 32, 2);
    put16(h + 34, 8);
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, dataBytes);
}

}  // namespace

ShowRecorder::ShowRecorder(std::string directory) : directory_(std::move(directory)) {}

ShowRecorder::~ShowRecorder() { stop(); }

bool ShowRecorder::start(SceneBank& scenes, bool fromStartUp, std::string& error) {
    stop();
    std::error_code ec;
    std::filesystem::create_directories(directory_, ec);
    if (!std::filesystem::is_directory(directory_, ec)) {
        error = directory_ + ": cannot create the recording directory";
        return false;
    }
    const std::string script = directory_ + "/show.script";
    const std::string sound = directory_ + "/sound.wav";
    scriptFd_ = ::open(script.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    soundFd_ = scriptFd_ >= 0 ? ::open(sound.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644) : -1;
    if (soundFd_ < 0) {
        error = (scriptFd_ < 0 ? script : sound) + ": cannot create it: " + std::strerror(errno);
        closeFiles();
        return false;
    }
    uint8_t header[kWaveHeader];
    waveHeader(header, kOpenDataSize);
    if (!writeAll(soundFd_, header, sizeof header)) {
        error = sound + ": cannot write it: " + std::strerror(errno);
        closeFiles();
        return false;
    }
    owedSilence_ = soundBlocks_ = linesLost_ = 0;
    soundBytesWritten_ = 0;
    stopping_ = false;
    failed_ = false;
    failureReported_ = false;
    nextFrame_ = currentFrame_ = 0;
    inFrame_ = false;
    fromStartUp_ = fromStartUp;
    copiesFrame_ = -1;
    copies_ = 0;
    haveMillis_ = false;
    started_ = true;
    std::snprintf(status_, sizeof status_, "recording into %s", directory_.c_str());

    line("# A live show recorded by strata. Play it again with\n"
         "#   strata-render <the working directory> --script %s --wav %s\n", script.c_str(), sound.c_str());
    if (!fromStartUp) {
        // Started in the middle: the show goes on from the look it had.
        line("# Started during the show: the start scene restores the controllers and\n"
             "# modules, not the effects' motion, so the pictures only come close.\n");
        scenes.storeFile(directory_ + "/start.scene");
        line("0 scene start.scene 0\n");
    }
    writer_ = std::thread([this] { writerLoop(); });
    return true;
}

void ShowRecorder::follow(qelUnivCell& universe) {
    universe.observer = this;
    if (universe.wave) universe.wave->setStreamSink(this);
}

void ShowRecorder::unfollow(qelUnivCell& universe) {
    if (universe.observer == this) universe.observer = nullptr;
    if (universe.wave) universe.wave->setStreamSink(nullptr);
}

void ShowRecorder::stop() {
    if (!started_) return;
    if (soundBlocks_ == 0)
        line("# No sound input during the show: sound.wav holds no sound, and a render's input stays silent.\n");
    line("%d end\n", nextFrame_);
    {
        std::lock_guard<std::mutex> lock(wakeMutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (writer_.joinable()) writer_.join();
    fileWriter().drain();  // the scene copies, so the directory is whole when it says stopped
    // Sound the ring could not take is silence at its place in the stream.
    uint8_t silence[CaptureBackend::kBlockBytes];
    std::memset(silence, 128, sizeof silence);
    for (; owedSilence_ > 0 && healthy(); --owedSilence_) {
        if (!writeAll(soundFd_, silence, sizeof silence)) fail("cannot write the sound", errno);
        soundBytesWritten_ += sizeof silence;
    }
    // The header's sizes, also after a failure: it needs no new space.
    uint8_t header[kWaveHeader];
    waveHeader(header, static_cast<uint32_t>(soundBytesWritten_.load()));
    if (::pwrite(soundFd_, header, sizeof header, 0) != kWaveHeader && healthy())
        fail("cannot complete the wave header", errno);
    closeFiles();
    started_ = false;
    if (!healthy()) {
        reportFailure();
        return;
    }
    std::fprintf(stderr, "strata: recording stopped: %d frames, %.1f s of sound in %s\n", nextFrame_,
                 static_cast<double>(soundBlocks_) * CaptureBackend::kBlockFrames / CaptureBackend::kFrameRate,
                 directory_.c_str());
    if (linesLost_ > 0)
        std::fprintf(stderr, "strata: recording: the disk did not keep up: %lld script lines were lost\n",
                     static_cast<long long>(linesLost_));
}

void ShowRecorder::closeFiles() {
    if (scriptFd_ >= 0) ::close(scriptFd_);
    if (soundFd_ >= 0) ::close(soundFd_);
    scriptFd_ = soundFd_ = -1;
}

void ShowRecorder::fail(const char* what, int error) {
    if (failed_.load()) return;
    failedWhat_ = what;
    failedErrno_ = error;
    failed_.store(true, std::memory_order_release);
}

// On the frame thread, once: the line and the operator's status.
void ShowRecorder::reportFailure() {
    if (failureReported_ || !failed_.load(std::memory_order_acquire)) return;
    failureReported_ = true;
    const char* reason = failedErrno_ ? std::strerror(failedErrno_) : "";
    std::snprintf(status_, sizeof status_, "STOPPED: %s%s%s", failedWhat_, failedErrno_ ? ": " : "", reason);
    std::fprintf(stderr, "strata: recording in %s stopped at frame %d: %s%s%s; the files keep what was written\n",
                 directory_.c_str(), nextFrame_, failedWhat_, failedErrno_ ? ": " : "", reason);
}

// The writer thread: every 100 ms it writes what the rings hold; once a
// second it makes sure the files still have a directory and syncs them.
void ShowRecorder::writerLoop() {
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastSync = Clock::now();
    for (;;) {
        const bool stopping = stopping_.load(std::memory_order_acquire);
        if (!drain()) return;
        const Clock::time_point now = Clock::now();
        if (stopping || now - lastSync >= std::chrono::seconds(1)) {
            lastSync = now;
            struct stat info {};
            if (::fstat(scriptFd_, &info) == 0 && info.st_nlink == 0) {
                fail("its directory was removed", 0);
                return;
            }
            if (::fdatasync(soundFd_) != 0 || ::fdatasync(scriptFd_) != 0) {
                fail("cannot write the recording to the disk", errno);
                return;
            }
        }
        if (stopping) return;
        std::unique_lock<std::mutex> lock(wakeMutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return stopping_.load(); });
    }
}

bool ShowRecorder::drain() {
    // The frame puts a block in before the line that names it: with the
    // text's size taken first, every line written has its block written.
    const size_t text = text_.readable();
    const size_t sound = sound_.readable();
    // The script is worth keeping even when the sound cannot be written.
    const bool soundWritten = drainRing(sound_, sound, soundFd_, "cannot write the sound");
    return drainRing(text_, text, scriptFd_, "cannot write the show script") && soundWritten;
}

bool ShowRecorder::drainRing(ByteRing& ring, size_t bytes, int fd, const char* what) {
    while (bytes > 0) {
        size_t length = 0;
        const uint8_t* data = ring.span(bytes, length);
        if (!writeAll(fd, data, length)) {
            fail(what, errno);
            return false;
        }
        if (&ring == &sound_) soundBytesWritten_ += static_cast<int64_t>(length);
        ring.consume(length);
        bytes -= length;
    }
    return true;
}

void ShowRecorder::takeLine(const char* text, int length) {
    if (!started_ || !healthy() || length <= 0) return;
    if (!text_.push(text, static_cast<size_t>(length))) ++linesLost_;
}

void ShowRecorder::line(const char* format, ...) {
    if (!started_ || !healthy()) return;
    char buffer[kLine];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return;
    if (n >= static_cast<int>(sizeof buffer)) {
        n = sizeof buffer - 1;
        buffer[n - 1] = '\n';
    }
    if (!text_.push(buffer, static_cast<size_t>(n))) ++linesLost_;
}

void ShowRecorder::blockCaptured(const uint8_t* block) {
    if (!started_) return;
    ++soundBlocks_;
    static const auto silence = [] {
        std::array<uint8_t, CaptureBackend::kBlockBytes> b;
        b.fill(128);
        return b;
    }();
    while (owedSilence_ > 0 && sound_.push(silence.data(), silence.size())) --owedSilence_;
    if (owedSilence_ > 0 || !sound_.push(block, CaptureBackend::kBlockBytes)) ++owedSilence_;
}

void ShowRecorder::blocksMissed(int64_t blocks) {
    if (!started_ || blocks <= 0) return;
    soundBlocks_ += blocks;
    owedSilence_ += blocks;
}

void ShowRecorder::frameStarted(int frameMillis) {
    reportFailure();
    ShowLineObserver::frameStarted(frameMillis);
    // The first frame of a show runs from the clock's first reading, which
    // is the time since the machine started, not a frame time.
    if (currentFrame_ == 0 && fromStartUp_) {
        line("0 uptime %u\n", static_cast<uint32_t>(frameMillis));
        return;
    }
    if (!haveMillis_ || frameMillis != lastMillis_)
        line("%d ms %u\n", currentFrame_, static_cast<uint32_t>(frameMillis));
    haveMillis_ = true;
    lastMillis_ = frameMillis;
}

void ShowRecorder::soundTaken(const uint8_t* block, int64_t position) {
    if (!started_) return;
    if (position >= 0) {
        line("%d sound %lld\n", currentFrame_, static_cast<long long>(position));
        return;
    }
    // No stream followed: the taken blocks are the stream.
    blockCaptured(block);
    line("%d sound\n", currentFrame_);
}

void ShowRecorder::sceneRecalled(const char* path, int fadeMillis, const std::string& text) {
    if (!recording()) return;
    // Between frames (a key) it goes before the next frame; inside a frame
    // only the control step recalls, and the replay recalls it there too.
    const int frame = sceneFrame();
    copies_ = frame == copiesFrame_ ? copies_ + 1 : 0;
    copiesFrame_ = frame;
    // The file may change later in the show: the recording keeps its own copy.
    char name[48];
    if (copies_ == 0)
        std::snprintf(name, sizeof name, "scene-%06d.scene", frame);
    else
        std::snprintf(name, sizeof name, "scene-%06d-%d.scene", frame, copies_);
    // Written off the frame, from the text recalled.
    fileWriter().write(directory_ + "/" + name, text, "", std::string("strata: recording: cannot copy ") + path + ": ");
    char buffer[kLine];
    takeLine(buffer, showline::scene(buffer, sizeof buffer, frame, name, fadeMillis, inFrame_));
}

