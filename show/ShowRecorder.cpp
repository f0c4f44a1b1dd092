#include "show/ShowRecorder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/KeyNames.h"
#include "input/CaptureBackend.h"
#include "platform/AtomicFile.h"
#include "show/SceneBank.h"
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

ShowRecorder::ShowRecorder(std::string directory)
    : directory_(std::move(directory)),
      text_(std::make_unique<char[]>(kTextBuffer)),
      sound_(std::make_unique<uint8_t[]>(kSoundBuffer)) {}

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
        if (scriptFd_ >= 0) ::close(scriptFd_);
        scriptFd_ = -1;
        return false;
    }
    uint8_t header[kWaveHeader];
    waveHeader(header, kOpenDataSize);
    if (!writeAll(soundFd_, header, sizeof header)) {
        error = sound + ": cannot write it: " + std::strerror(errno);
        ::close(soundFd_);
        ::close(scriptFd_);
        soundFd_ = scriptFd_ = -1;
        return false;
    }
    textUsed_ = soundUsed_ = 0;
    soundBytes_ = 0;
    nextFrame_ = currentFrame_ = 0;
    inFrame_ = false;
    copiesFrame_ = -1;
    copies_ = 0;
    haveMillis_ = false;

    line("# A live show recorded by strata. Play it again with\n"
         "#   strata-render <the working directory> --script %s --wav %s\n", script.c_str(), sound.c_str());
    if (!fromStartUp) {
        // Started in the middle: the show goes on from the look it had.
        line("# Started during the show: the start scene restores the controllers and\n"
             "# modules, not the effects' motion, so the pictures only come close.\n");
        scenes.storeFile(directory_ + "/start.scene");
        line("0 scene start.scene 0\n");
    }
    return true;
}

void ShowRecorder::stop() {
    if (!recording()) return;
    line("%d end\n", nextFrame_);
    flushText();
    flushSound();
    uint8_t header[kWaveHeader];
    waveHeader(header, static_cast<uint32_t>(soundBytes_));
    if (::pwrite(soundFd_, header, sizeof header, 0) != kWaveHeader) fail("cannot complete the wave header");
    ::close(scriptFd_);
    ::close(soundFd_);
    scriptFd_ = soundFd_ = -1;
    std::fprintf(stderr, "strata: recording stopped: %d frames, %lld sound blocks in %s\n", nextFrame_,
                 static_cast<long long>(soundBytes_ / CaptureBackend::kBlockBytes), directory_.c_str());
}

void ShowRecorder::fail(const char* what) {
    std::fprintf(stderr, "strata: recording in %s stopped: %s: %s\n", directory_.c_str(), what, std::strerror(errno));
    if (scriptFd_ >= 0) ::close(scriptFd_);
    if (soundFd_ >= 0) ::close(soundFd_);
    scriptFd_ = soundFd_ = -1;
}

bool ShowRecorder::flushText() {
    if (textUsed_ > 0 && scriptFd_ >= 0 && !writeAll(scriptFd_, text_.get(), static_cast<size_t>(textUsed_))) {
        fail("cannot write the show script");
        return false;
    }
    textUsed_ = 0;
    return true;
}

bool ShowRecorder::flushSound() {
    if (soundUsed_ > 0 && soundFd_ >= 0 && !writeAll(soundFd_, sound_.get(), static_cast<size_t>(soundUsed_))) {
        fail("cannot write the sound");
        return false;
    }
    soundUsed_ = 0;
    return true;
}

void ShowRecorder::line(const char* format, ...) {
    if (!recording()) return;
    char buffer[512];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return;
    if (n >= static_cast<int>(sizeof buffer)) n = sizeof buffer - 1;
    if (textUsed_ + n > kTextBuffer && !flushText()) return;
    std::memcpy(text_.get() + textUsed_, buffer, static_cast<size_t>(n));
    textUsed_ += n;
}

void ShowRecorder::keyPressed(unsigned char key, int x, int y) {
    if (key > 32 && key < 127 && key != '#')
        line("%d key %c %d %d\n", nextFrame_, key, x, y);
    else if (key == 27)
        line("%d key Esc %d %d\n", nextFrame_, x, y);
    else
        line("%d key 0x%02x %d %d\n", nextFrame_, key, x, y);
    // An Esc ends the process right after: nothing may stay in the buffer.
    if (key == 27) flushText();
}

void ShowRecorder::specialPressed(int key, int x, int y) {
    if (const char* name = KeyNames::specialKeyName(key))
        line("%d key %s %d %d\n", nextFrame_, name, x, y);
    else if (key >= 1 && key <= 255)
        line("%d special %d %d %d\n", nextFrame_, key, x, y);
}

void ShowRecorder::frameStarted(int frameMillis) {
    currentFrame_ = nextFrame_++;
    inFrame_ = true;
    if (!haveMillis_ || frameMillis != lastMillis_)
        line("%d ms %u\n", currentFrame_, static_cast<uint32_t>(frameMillis));
    haveMillis_ = true;
    lastMillis_ = frameMillis;
}

void ShowRecorder::soundTaken(const uint8_t* block) {
    if (!recording()) return;
    line("%d sound\n", currentFrame_);
    if (soundUsed_ + CaptureBackend::kBlockBytes > kSoundBuffer && !flushSound()) return;
    std::memcpy(sound_.get() + soundUsed_, block, CaptureBackend::kBlockBytes);
    soundUsed_ += CaptureBackend::kBlockBytes;
    soundBytes_ += CaptureBackend::kBlockBytes;
}

void ShowRecorder::scriptedMidi(uint32_t message) {
    line("%d midi 0x%02x %u %u\n", nextFrame_, message & 0xFFu, (message >> 8) & 0xFFu, (message >> 16) & 0xFFu);
}

void ShowRecorder::midiApplied(uint32_t message) {
    line("%d midiin 0x%02x %u %u\n", currentFrame_, message & 0xFFu, (message >> 8) & 0xFFu, (message >> 16) & 0xFFu);
}

void ShowRecorder::joystickApplied(uint32_t x, uint32_t y, uint32_t buttons) {
    line("%d joy %u %u %u\n", currentFrame_, x > 65535 ? 65535 : x, y > 65535 ? 65535 : y, buttons & 15u);
}

void ShowRecorder::sceneRecalled(const char* path, int fadeMillis) {
    if (!recording()) return;
    // Between frames (a key) it goes before the next frame; inside a frame
    // only the control step recalls, and the replay recalls it there too.
    const int frame = inFrame_ ? currentFrame_ : nextFrame_;
    copies_ = frame == copiesFrame_ ? copies_ + 1 : 0;
    copiesFrame_ = frame;
    // The file may change later in the show: the recording keeps its own copy.
    char name[48];
    if (copies_ == 0)
        std::snprintf(name, sizeof name, "scene-%06d.scene", frame);
    else
        std::snprintf(name, sizeof name, "scene-%06d-%d.scene", frame, copies_);
    std::error_code ec;
    std::filesystem::copy_file(path, directory_ + "/" + name, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) std::fprintf(stderr, "strata: recording: cannot copy %s: %s\n", path, ec.message().c_str());
    line("%d scene %s %d%s\n", frame, name, fadeMillis, inFrame_ ? " bus" : "");
}

void ShowRecorder::mappedWrite(int index, int byteValue, float floatValue) {
    if (index < 0 || index >= 16 * 1024) return;
    line("%d mapped %d %d %d %.9g\n", currentFrame_, index / 1024, index % 1024, byteValue & 0xFF,
         static_cast<double>(floatValue));
}

void ShowRecorder::commandApplied(const char* words) { line("%d osc %s\n", currentFrame_, words); }

void ShowRecorder::controlSet(int index, int byteValue, float floatValue) {
    if (index < 0 || index >= 16 * 1024) return;
    line("%d set %d %d %d %.9g\n", nextFrame_, index / 1024, index % 1024, byteValue & 0xFF,
         static_cast<double>(floatValue));
}
