#include "programs/LiveSession.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "app/KeyBindings.h"
#include "app/qelUnivCell.h"
#include "platform/PngWriter.h"
#include "platform/Settings.h"
#include "platform/UserFiles.h"
#include "platform/VirtualScreen.h"
#include "show/SceneBank.h"
#include "show/ShowRecorder.h"

namespace {
// GLUT's modifier bits (glutGetModifiers).
constexpr int kShift = 1;
constexpr int kCtrl = 2;
constexpr int kAlt = 4;
constexpr unsigned char kCtrlR = 18;
}  // namespace

LiveSession::LiveSession() = default;
LiveSession::~LiveSession() = default;

void LiveSession::begin(qelUnivCell& universe) {
    universe_ = &universe;
    scenes_ = std::make_unique<SceneBank>(universe);
    const Settings& s = settings();
    s.report(Setting::DumpFrames);
    if (!s.dumpFrames.empty()) {
        dumpFrames_ = s.dumpFrames;
        dumpDirectory_ = s.dumpDirectory;
        std::error_code ec;
        std::filesystem::create_directories(dumpDirectory_, ec);
        // The screen's size, or 640x480 where it could not be made.
        dumpBytes_ = std::max(s.screenWidth * s.screenHeight, VirtualScreen::kWidth * VirtualScreen::kHeight) * 4;
        dumpPicture_ = std::make_unique<uint8_t[]>(static_cast<size_t>(dumpBytes_));
    }
    if (!s.record.empty()) {
        const char* directory = s.record.c_str();
        recorder_ = std::make_unique<ShowRecorder>(directory);
        std::string error;
        if (!recorder_->start(*scenes_, true, error)) {
            std::fprintf(stderr, "strata: no recording: %s\n", error.c_str());
            recorder_.reset();
            return;
        }
        watch(universe);
        std::fprintf(stderr, "strata: recording the show from start-up into %s\n", directory);
    }
}

const char* LiveSession::recordingStatus() const { return recorder_ ? recorder_->status() : nullptr; }

std::string LiveSession::nextRecordingDirectory() const {
    const std::string& base = settings().record;
    const std::string stem = !base.empty() ? base : userFilePath("recordings/take").string();
    std::error_code ec;
    if (!std::filesystem::exists(stem, ec)) return stem;
    for (int n = 2;; ++n) {
        const std::string candidate = stem + "-" + std::to_string(n);
        if (!std::filesystem::exists(candidate, ec)) return candidate;
    }
}

void LiveSession::toggleRecording() {
    if (!universe_) return;
    if (recorder_) {
        stopRecording();
        return;
    }
    const std::string directory = nextRecordingDirectory();
    recorder_ = std::make_unique<ShowRecorder>(directory);
    std::string error;
    if (!recorder_->start(*scenes_, framesDrawn_ == 0, error)) {
        std::fprintf(stderr, "strata: no recording: %s\n", error.c_str());
        recorder_.reset();
        return;
    }
    watch(*universe_);
    std::fprintf(stderr, "strata: recording the show into %s%s\n", directory.c_str(),
                 framesDrawn_ == 0 ? "" : " (started during the show: it re-renders close, not exactly)");
}

void LiveSession::stopRecording() {
    if (!recorder_) return;
    if (universe_) {
        recorder_->unfollow(*universe_);
        observers_.first = nullptr;
        universe_->observer = observers_.active();
    }
    recorder_->stop();
    recorder_.reset();
}

void LiveSession::watch(qelUnivCell& universe) {
    recorder_->follow(universe);  // the sound stream
    observers_.first = recorder_.get();
    universe.observer = observers_.active();
}

void LiveSession::setLeader(FrameObserver* leader) {
    observers_.second = leader;
    if (universe_) universe_->observer = observers_.active();
}

bool LiveSession::keyPressed(unsigned char key, int modifiers) {
    if ((modifiers & kCtrl) && !(modifiers & kAlt) && universe_) {
        if (key == kCtrlR) {
            toggleRecording();
            return true;
        }
        const bool shift = (modifiers & kShift) != 0;
        if (const int digit = controlDigit(key, shift)) {
            if (shift)
                storeScene(digit);
            else
                recallScene(digit);
            return true;
        }
    }
    return false;
}

// A recording notes a recall through the bank (with a copy of the file).
void LiveSession::recallScene(int n) {
    if (scenes_) scenes_->recallScene(n);
}

void LiveSession::storeScene(int n) {
    if (scenes_) scenes_->storeScene(n);
}

void LiveSession::frameDrawn(VirtualScreen* screen) {
    const int frame = framesDrawn_++;
    while (nextDump_ < dumpFrames_.size() && dumpFrames_[nextDump_] < frame) ++nextDump_;
    if (!screen || nextDump_ >= dumpFrames_.size() || dumpFrames_[nextDump_] != frame) return;
    ++nextDump_;
    if (screen->width() * screen->height() * 4 > dumpBytes_) return;
    dumpedFrame_ = frame;
    uint8_t* picture = dumpPicture_.get();
    screen->read(picture);
    // Opaque, as strata-render writes its pictures.
    const int bytes = screen->width() * screen->height() * 4;
    for (int i = 3; i < bytes; i += 4) picture[i] = 255;
    char path[4096];
    std::snprintf(path, sizeof path, "%s/frame-%06d.png", dumpDirectory_.c_str(), frame);
    if (writePng(path, picture, screen->width(), screen->height()))
        std::fprintf(stderr, "strata: frame %d dumped to %s\n", frame, path);
}
