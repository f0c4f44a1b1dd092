#include "show/OfflineRenderer.h"

#include <GL/gl.h>

#include <chrono>
#include <cstdio>

#include "app/ControlTable.h"
#include "app/KeyBindings.h"
#include "app/ScreenInfo.h"
#include "app/qelUnivCell.h"
#include "input/CaptureBackend.h"
#include "control/ControlBus.h"
#include "control/SoundMap.h"
#include "input/WaveInput.h"
#include "music/MusicalTime.h"
#include "platform/PngWriter.h"
#include "platform/VirtualScreen.h"
#include "reactor/FrameTimings.h"
#include "reactor/Random.h"
#include "resources/ClipPlayer.h"
#include "show/ShowReplay.h"

namespace fs = std::filesystem;

namespace {
// The renderer's millisecond clock: moved on by the fixed frame time before
// every frame, so the frame clock always measures exactly that time.
uint32_t gRenderClock = 0;
uint32_t renderClock() { return gRenderClock; }

// Every render starts from the same state: the generator at its start
// value, the frame clock at 0 with the fixed-step clock behind it.
void startClocks() {
    qelSetRandState(1);
    gRenderClock = 0;
    FrameClock::setPreviousReading(0);
    setMillisSource(&renderClock);
    // Clips show the frame due at each frame time, however long decoding takes.
    ClipPlayer::setExactFrames(true);
}

}  // namespace

OfflineRenderer::OfflineRenderer(const RenderOptions& options) : options_(options) {}

OfflineRenderer::~OfflineRenderer() {
    if (universe_) universe_->input = &universe_->devices;
    if (universe_ && universe_->wave) universe_->wave->setAnalysisSink(nullptr);
    replay_.reset();
    music_.reset();
    universe_.reset();  // also clears the process-wide pointer
    picture_.reset();
    screenInfo()->drawWidth = VirtualScreen::kWidth;
    screenInfo()->drawHeight = VirtualScreen::kHeight;
    setMillisSource(nullptr);
    ClipPlayer::setExactFrames(false);
    if (!startDirectory_.empty()) {
        std::error_code ignored;
        fs::current_path(startDirectory_, ignored);
    }
}

bool OfflineRenderer::setUp(std::string& error) {
    fs::path wav;
    if (!readScript(error) || !checkFiles(wav, error) || !enterWorkingDirectory(error)) return false;
    planFrames();
    picture_ = std::make_unique<uint8_t[]>(static_cast<size_t>(frameBytes()));
    screenInfo()->drawWidth = options_.width;
    screenInfo()->drawHeight = options_.height;
    startClocks();

    loadKeyBindings("key.db");
    // The key bindings build the process-wide universe; unlike the
    // instrument, which keeps it until exit, the renderer owns and releases it.
    universe_.reset(::universe());
    if (!universe_) {
        error = "the universe could not be built";
        return false;
    }
    if (!connectSound(wav, error)) return false;
    replay_ = std::make_unique<ShowReplay>(*universe_, script_, scriptDirectory_);
    // A recording's MIDI, joystick and control-bus input comes from the
    // script, applied by the frame's own steps in place of the devices.
    if (script_.holdsRecording()) universe_->input = replay_.get();
    followMusic();
    script_.rewind();
    return true;
}

bool OfflineRenderer::readScript(std::string& error) {
    if (!options_.scriptPath.empty() && !script_.parseFile(options_.scriptPath, error)) return false;
    std::error_code ec;
    if (!options_.scriptPath.empty()) scriptDirectory_ = fs::absolute(options_.scriptPath, ec).parent_path();
    // A script with an end mark (a recording) runs to it unless --frames says
    // otherwise; a recording cut off without one (the instrument was killed)
    // runs to its last whole frame: the lines of the last may be incomplete.
    if (!options_.framesGiven && script_.endFrame() >= 0) options_.frames = script_.endFrame();
    if (!options_.framesGiven && script_.cutShort()) {
        options_.frames = script_.lastFrame() > 0 ? script_.lastFrame() : 1;
        std::fprintf(stderr, "strata-render: %s has no end mark: the recording was cut off at frame %d; rendering "
                             "its %d whole frames\n", options_.scriptPath.c_str(), script_.lastFrame(),
                     options_.frames);
    }
    frameMillis_ = static_cast<uint32_t>(options_.frameMillis);
    return true;
}

bool OfflineRenderer::checkFiles(fs::path& wav, std::string& error) {
    std::error_code ec;
    startDirectory_ = fs::current_path(ec);
    outDirectory_ = fs::absolute(options_.outDirectory, ec);
    if (!options_.wavPath.empty()) {
        wav = fs::absolute(options_.wavPath, ec);
        if (!fs::is_regular_file(wav, ec)) {
            error = options_.wavPath + ": no such wave file";
            return false;
        }
    }
    if (options_.pngEvery > 0 || !options_.pngFrames.empty()) {
        fs::create_directories(outDirectory_, ec);
        if (!fs::is_directory(outDirectory_, ec)) {
            error = options_.outDirectory + ": cannot create the output directory";
            return false;
        }
    }
    return true;
}

bool OfflineRenderer::enterWorkingDirectory(std::string& error) {
    std::error_code ec;
    const fs::path directory(options_.directory);
    if (!fs::is_directory(directory, ec)) {
        error = options_.directory + ": no such directory";
        return false;
    }
    // The instrument ends the process on a missing modules.db; say it plainly
    // before anything is built.
    if (!fs::is_regular_file(directory / "modules.db", ec)) {
        error = options_.directory + ": no modules.db here (the working directory must hold key.db, modules.db, "
                                     "imgs*, mdls* and Reactors/)";
        return false;
    }
    fs::current_path(directory, ec);
    if (ec) {
        error = options_.directory + ": cannot change into it: " + ec.message();
        return false;
    }
    return true;
}

bool OfflineRenderer::connectSound(const fs::path& wav, std::string& error) {
    // The sound input is never the live device here: silence, or the wave
    // file moved on by the frame time.
    universe_->wave->stopAndClose();
    int soundMarks = 0;
    for (const ShowEvent& event : script_.events()) soundMarks += event.type == ShowEvent::Type::Sound;
    if (!wav.empty() && soundMarks == 0 && script_.holdsRecording()) {
        std::fprintf(stderr, "strata-render: the recording took no sound (the show had no sound input): the sound "
                             "input stays silent\n");
    } else if (!wav.empty()) {
        if (!universe_->wave->startWavFile(wav.c_str(), true)) {
            error = options_.wavPath + ": cannot be played as the sound input (the console line above says why)";
            return false;
        }
        wavePacedByRenderer_ = true;
        // A recording's sound: block by block, at the frames that took them.
        soundByBlocks_ = soundMarks > 0;
        if (soundByBlocks_) universe_->wave->advanceBlocks(0);
    } else if (soundMarks > 0) {
        std::fprintf(stderr, "strata-render: the script takes %d sound blocks but no --wav was given: the sound "
                             "input stays silent\n", soundMarks);
    }
    return true;
}

void OfflineRenderer::followMusic() {
    // A recording holds its routes' writes; a script played with a wave file
    // routes the file's own analysis when the working directory holds a
    // sound.map. The analysis runs in the frame, block by block, so every
    // render of the same file gives the same values at the same frames.
    std::error_code ec;
    if (script_.holdsRecording() || !wavePacedByRenderer_ || !fs::is_regular_file(SoundMap::kFileName, ec)) return;
    music_ = std::make_unique<MusicalTime>(SoundAnalysis::Mode::Inline);
    universe_->wave->setAnalysisSink(&music_->sink());
    replay_->bus().setMusic(music_.get());
    replay_->bus().loadSoundMap(SoundMap::kFileName);
    universe_->input = replay_.get();
}

bool OfflineRenderer::renderFrame() {
    if (!universe_ || endedByEscape_ || endedByScript_ || framesRendered_ >= options_.frames) return false;
    const int frame = framesRendered_;
    size_t begin = 0, end = 0;
    script_.eventsOfFrame(frame, begin, end);
    replay_->setFrame(begin, end);
    const auto& events = script_.events();
    int64_t soundTarget = soundBlocksAdvanced_;
    for (size_t i = begin; i < end; ++i) {
        const ShowEvent& event = events[i];
        if (event.type == ShowEvent::Type::End) {
            endedByScript_ = true;
            return false;
        }
        // A block at its position in the sound file, or the next one.
        if (event.type == ShowEvent::Type::Sound) soundTarget = event.a >= 0 ? event.a + 1 : soundTarget + 1;
        // Esc ends the show as it ends the instrument, but without leaving
        // the process: the frame it is pressed before is not drawn.
        if (event.type == ShowEvent::Type::Key && event.a == ShowScript::kEscape) {
            endedByEscape_ = true;
            return false;
        }
        if (event.type == ShowEvent::Type::FrameTime) frameMillis_ = static_cast<uint32_t>(event.a);
        replay_->applyBeforeFrame(event);
    }
    gRenderClock += frameMillis_;
    // The wave file moves on by exactly the frame time, like the clock, or
    // by the blocks a recording marks for this frame.
    if (soundByBlocks_) {
        if (soundTarget > soundBlocksAdvanced_)
            universe_->wave->advanceBlocks(static_cast<int>(soundTarget - soundBlocksAdvanced_));
        soundBlocksAdvanced_ = soundTarget > soundBlocksAdvanced_ ? soundTarget : soundBlocksAdvanced_;
    } else if (wavePacedByRenderer_) {
        universe_->wave->advanceClock(frameMillis_);
    }
    const auto start = std::chrono::steady_clock::now();
    universe_->frame();
    const auto drawn = std::chrono::steady_clock::now();
    glFinish();
    const auto finished = std::chrono::steady_clock::now();
    lastFrameMillis_ = std::chrono::duration<double, std::milli>(drawn - start).count();
    lastFinishMillis_ = std::chrono::duration<double, std::milli>(finished - drawn).count();
    ++framesRendered_;
    return true;
}

const uint8_t* OfflineRenderer::readPicture() {
    if (VirtualScreen* screen = activeVirtualScreen()) {
        screen->read(picture_.get());
    } else {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width(), height(), GL_RGBA, GL_UNSIGNED_BYTE, picture_.get());
    }
    // The screen shows colour only; the target's alpha is whatever the last
    // blend left there. Pictures and videos are made opaque, as seen.
    const int bytes = frameBytes();
    for (int i = 3; i < bytes; i += 4) picture_[i] = 255;
    return picture_.get();
}

bool OfflineRenderer::writePng(int frame) {
    std::snprintf(pngPath_, sizeof pngPath_, "%s/frame-%06d.png", outDirectory_.c_str(), frame);
    return ::writePng(pngPath_, picture_.get(), width(), height());
}

int OfflineRenderer::eventsLeft() const {
    int count = 0;
    for (const ShowEvent& event : script_.events()) {
        const bool mark = event.type == ShowEvent::Type::End ||
                          (endedByEscape_ && event.type == ShowEvent::Type::Key && event.a == ShowScript::kEscape);
        if (event.frame >= framesRendered_ && !mark) ++count;
    }
    return count;
}

void OfflineRenderer::planFrames() {
    plannedFrames_ = options_.frames;
    for (const ShowEvent& event : script_.events()) {
        const bool stops = event.type == ShowEvent::Type::End ||
                           (event.type == ShowEvent::Type::Key && event.a == ShowScript::kEscape);
        if (stops && event.frame < plannedFrames_) plannedFrames_ = event.frame;
        if (event.type == ShowEvent::Type::FrameTime) recordedTimes_ = true;
    }
    // Frame n starts when frame n - 1 started plus the frame time in force at
    // n (the time since the frame before); the first frame's uptime reading
    // is no duration.
    frameStarts_.assign(static_cast<size_t>(plannedFrames_) + 1, 0.0);
    const auto& events = script_.events();
    size_t cursor = 0;
    double millis = options_.frameMillis;
    for (int n = 0; n <= plannedFrames_; ++n) {
        for (; cursor < events.size() && events[cursor].frame <= n; ++cursor)
            if (events[cursor].type == ShowEvent::Type::FrameTime && events[cursor].b == 0)
                millis = static_cast<uint32_t>(events[cursor].a);
        if (n > 0) frameStarts_[n] = frameStarts_[n - 1] + millis;
    }
}

double OfflineRenderer::frameStartMillis(int n) const {
    if (frameStarts_.empty()) return 0.0;
    return frameStarts_[static_cast<size_t>(n < 0 ? 0 : (n > plannedFrames_ ? plannedFrames_ : n))];
}

bool OfflineRenderer::soundStartSeconds(double& seconds) const {
    for (const ShowEvent& event : script_.events()) {
        if (event.type != ShowEvent::Type::Sound) continue;
        if (event.a < 0 || event.frame > plannedFrames_) return false;
        // The frame took the block that had just ended.
        seconds = frameStartMillis(event.frame) / 1000.0 -
                  (event.a + 1.0) * CaptureBackend::kBlockFrames / CaptureBackend::kFrameRate;
        return true;
    }
    return false;
}
