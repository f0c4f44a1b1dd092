#include "show/OfflineRenderer.h"

#include <GL/gl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "app/ControlTable.h"
#include "app/KeyBindings.h"
#include "app/ScreenInfo.h"
#include "app/qelUnivCell.h"
#include "input/WaveInput.h"
#include "platform/AtomicFile.h"
#include "platform/HeadlessContext.h"
#include "platform/MemoryPolicy.h"
#include "platform/PngWriter.h"
#include "platform/VirtualScreen.h"
#include "reactor/FrameTimings.h"
#include "reactor/Random.h"
#include "show/ShowReplay.h"
#include "show/VideoPipe.h"

namespace fs = std::filesystem;

namespace {
// The renderer's millisecond clock: moved on by the fixed frame time before
// every frame, so the frame clock always measures exactly that time.
uint32_t gRenderClock = 0;
uint32_t renderClock() { return gRenderClock; }

}  // namespace

OfflineRenderer::OfflineRenderer(const RenderOptions& options) : options_(options) {}

OfflineRenderer::~OfflineRenderer() {
    if (universe_) universe_->input = &universe_->devices;
    replay_.reset();
    universe_.reset();  // also clears the process-wide pointer
    picture_.reset();
    setMillisSource(nullptr);
    if (!startDirectory_.empty()) {
        std::error_code ignored;
        fs::current_path(startDirectory_, ignored);
    }
}

bool OfflineRenderer::setUp(std::string& error) {
    if (!options_.scriptPath.empty() && !script_.parseFile(options_.scriptPath, error)) return false;

    std::error_code ec;
    if (!options_.scriptPath.empty()) scriptDirectory_ = fs::absolute(options_.scriptPath, ec).parent_path();
    // A script with an end mark (a recording) runs to it unless --frames says otherwise.
    if (!options_.framesGiven && script_.endFrame() >= 0) options_.frames = script_.endFrame();
    frameMillis_ = static_cast<uint32_t>(options_.frameMillis);
    startDirectory_ = fs::current_path(ec);
    outDirectory_ = fs::absolute(options_.outDirectory, ec);
    fs::path wav;
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

    picture_ = std::make_unique<uint8_t[]>(kFrameBytes);

    // Every render starts from the same state: the generator at its start
    // value, the frame clock at 0 with the fixed-step clock behind it.
    qelSetRandState(1);
    gRenderClock = 0;
    FrameClock::setPreviousReading(0);
    setMillisSource(&renderClock);

    loadKeyBindings("key.db");
    // The key bindings build the process-wide universe; unlike the
    // instrument, which keeps it until exit, the renderer owns and releases it.
    universe_.reset(::universe());
    if (!universe_) {
        error = "the universe could not be built";
        return false;
    }

    // The sound input is never the live device here: silence, or the wave
    // file moved on by the frame time.
    universe_->wave->stopAndClose();
    int soundMarks = 0;
    for (const ShowEvent& event : script_.events()) soundMarks += event.type == ShowEvent::Type::Sound;
    if (!wav.empty()) {
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
    replay_ = std::make_unique<ShowReplay>(*universe_, script_, scriptDirectory_);
    // A recording's MIDI, joystick and control-bus input comes from the
    // script, applied by the frame's own steps in place of the devices.
    if (script_.holdsRecording()) universe_->input = replay_.get();
    script_.rewind();
    return true;
}

bool OfflineRenderer::renderFrame() {
    if (!universe_ || endedByEscape_ || endedByScript_ || framesRendered_ >= options_.frames) return false;
    const int frame = framesRendered_;
    size_t begin = 0, end = 0;
    script_.eventsOfFrame(frame, begin, end);
    replay_->setFrame(begin, end);
    const auto& events = script_.events();
    int soundBlocks = 0;
    for (size_t i = begin; i < end; ++i) {
        const ShowEvent& event = events[i];
        if (event.type == ShowEvent::Type::End) {
            endedByScript_ = true;
            return false;
        }
        if (event.type == ShowEvent::Type::Sound) ++soundBlocks;
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
    if (soundByBlocks_)
        universe_->wave->advanceBlocks(soundBlocks);
    else if (wavePacedByRenderer_)
        universe_->wave->advanceClock(frameMillis_);
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
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, picture_.get());
    // The screen shows colour only; the target's alpha is whatever the last
    // blend left there. Pictures and videos are made opaque, as seen.
    for (int i = 3; i < kFrameBytes; i += 4) picture_[i] = 255;
    return picture_.get();
}

bool OfflineRenderer::writePng(int frame) {
    std::snprintf(pngPath_, sizeof pngPath_, "%s/frame-%06d.png", outDirectory_.c_str(), frame);
    return ::writePng(pngPath_, picture_.get(), kWidth, kHeight);
}

int OfflineRenderer::eventsLeft() const {
    int count = 0;
    for (const ShowEvent& event : script_.events())
        if (event.frame >= framesRendered_) ++count;
    return count;
}

namespace {

using Clock = std::chrono::steady_clock;

double millisBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// Running sums of the timed frames.
struct FrameFigures {
    int frames = 0;
    double frameMillis = 0.0;   // universe frame and glFinish
    double finishMillis = 0.0;  // glFinish alone: the rasteriser catching up
    double outputMillis = 0.0;  // read-back and writing
    double slowestMillis = 0.0;
    Clock::time_point start;
    Clock::time_point end;
    double cpuStartMillis = 0.0;  // process CPU time (every thread, the rasteriser's too)
    double cpuEndMillis = 0.0;
};

double processCpuMillis() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Resident memory of this process in kB (0 when /proc cannot tell).
long residentKilobytes() {
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm) return 0;
    long pages = 0;
    long resident = 0;
    const int read = std::fscanf(statm, "%ld %ld", &pages, &resident);
    std::fclose(statm);
    return read == 2 ? resident * (::sysconf(_SC_PAGESIZE) / 1024) : 0;
}

void printFigures(FILE* out, const RenderOptions& options, const FrameFigures& figures) {
    const FrameTimings::Totals cells = FrameTimings::totals();
    const double n = figures.frames > 0 ? figures.frames : 1;
    const double wall = millisBetween(figures.start, figures.end);
    std::fprintf(out, "frames timed          %d (of %d, %d warm-up), 640x480, frame time %d ms\n", figures.frames,
                 figures.frames + options.warmup, options.warmup, options.frameMillis);
    std::fprintf(out, "frames per second     %.1f\n", wall > 0.0 ? figures.frames * 1000.0 / wall : 0.0);
    std::fprintf(out, "update, all cells     %.3f ms per frame\n", cells.updateNanos / 1e6 / n);
    std::fprintf(out, "draw, all cells       %.3f ms per frame\n", cells.drawNanos / 1e6 / n);
    std::fprintf(out, "whole frame           %.3f ms per frame (universe frame and glFinish)\n",
                 figures.frameMillis / n);
    std::fprintf(out, "glFinish              %.3f ms per frame (of the whole frame)\n", figures.finishMillis / n);
    std::fprintf(out, "output                %.3f ms per frame\n", figures.outputMillis / n);
    std::fprintf(out, "process CPU           %.3f ms per frame (all threads; unaffected by other load)\n",
                 (figures.cpuEndMillis - figures.cpuStartMillis) / n);
    std::fprintf(out, "slowest frame         %.3f ms\n", figures.slowestMillis);
    std::fprintf(out, "cells drawn           %.1f per frame\n", cells.cellFrames / n);
    std::fflush(out);
}

}  // namespace

int runOfflineRender(int argc, char** argv) {
    keepLargeBuffersOffTheHeap();
    RenderOptions options;
    std::string error;
    if (!parseRenderOptions(argc - 1, argv + 1, options, error)) {
        std::fprintf(stderr, "strata-render: %s\nTry 'strata-render --help'.\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(renderUsage(), stdout);
        return 0;
    }

    // Standard output is kept for frames and figures only: it moves to a
    // private descriptor, and descriptor 1 becomes standard error, where the
    // instrument's console lines now go.
    std::fflush(stdout);
    const int outFd = ::dup(1);
    if (outFd < 0 || ::dup2(2, 1) < 0) {
        std::fprintf(stderr, "strata-render: cannot set up the output: %s\n", std::strerror(errno));
        return 1;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    std::signal(SIGPIPE, SIG_IGN);  // a closed pipe ends the render with a message
    if (options.raw && ::isatty(outFd)) {
        std::fprintf(stderr, "strata-render: --raw writes binary frames; send standard output to a file or a pipe\n");
        return 2;
    }

    HeadlessContext context;
    if (!context.create()) {
        std::fprintf(stderr, "strata-render: no OpenGL context without a display: %s\n", context.error().c_str());
        return 1;
    }
    VirtualScreen screen;
    if (!screen.create()) {
        std::fprintf(stderr, "strata-render: the OpenGL driver has no framebuffer objects\n");
        return 1;
    }
    screen.bind();
    setActiveVirtualScreen(&screen);

    // The renderer changes into the working directory: the encoder gets
    // the video and sound paths as the command line meant them.
    std::string videoPath, videoSound;
    if (!options.videoPath.empty()) {
        std::error_code ec;
        videoPath = fs::absolute(options.videoPath, ec).string();
        if (!options.wavPath.empty()) videoSound = fs::absolute(options.wavPath, ec).string();
    }

    FrameTimings::setEnabled(options.stats);
    int status = 0;
    {
        OfflineRenderer renderer(options);
        if (!renderer.setUp(error)) {
            std::fprintf(stderr, "strata-render: %s\n", error.c_str());
            setActiveVirtualScreen(nullptr);
            return 1;
        }

        VideoPipe video;
        if (!options.videoPath.empty() &&
            !video.open(videoPath, 1000.0 / options.frameMillis, videoSound, error)) {
            std::fprintf(stderr, "strata-render: %s\n", error.c_str());
            setActiveVirtualScreen(nullptr);
            return 1;
        }
        const bool wantsVideo = !options.videoPath.empty();

        FrameFigures figures;
        const Clock::time_point begin = Clock::now();
        Clock::time_point nextProgress = begin + std::chrono::seconds(1);
        figures.start = begin;
        for (;;) {
            const int frame = renderer.framesRendered();
            if (frame == options.warmup) {
                FrameTimings::reset();
                figures.start = Clock::now();
                figures.cpuStartMillis = processCpuMillis();
            }
            const Clock::time_point t0 = Clock::now();
            if (!renderer.renderFrame()) break;
            const Clock::time_point t1 = Clock::now();
            const bool png = options.wantsPng(frame);
            const uint8_t* picture = (png || options.raw || wantsVideo) ? renderer.readPicture() : nullptr;
            if (wantsVideo && !video.write(picture, OfflineRenderer::kFrameBytes)) {
                std::fprintf(stderr, "strata-render: ffmpeg stopped taking frames after %d frames\n", frame);
                status = 1;
                break;
            }
            if (png && !renderer.writePng(frame)) {
                status = 1;
                break;
            }
            if (options.raw && !writeAll(outFd, picture, OfflineRenderer::kFrameBytes)) {
                std::fprintf(stderr, "strata-render: standard output closed after %d frames: %s\n", frame,
                             std::strerror(errno));
                status = 1;
                break;
            }
            if (options.memoryEvery > 0 && frame % options.memoryEvery == 0)
                std::fprintf(stderr, "strata-render: memory after frame %d: resident %ld kB\n", frame,
                             residentKilobytes());
            const Clock::time_point t2 = Clock::now();
            if (frame >= options.warmup) {
                ++figures.frames;
                const double frameMillis = millisBetween(t0, t1);
                figures.frameMillis += frameMillis;
                figures.finishMillis += renderer.lastFinishMillis();
                figures.outputMillis += millisBetween(t1, t2);
                if (frameMillis > figures.slowestMillis) figures.slowestMillis = frameMillis;
                figures.end = t2;
                figures.cpuEndMillis = processCpuMillis();
            }
            if (!options.quiet && t2 >= nextProgress) {
                nextProgress = t2 + std::chrono::seconds(1);
                const double seconds = millisBetween(begin, t2) / 1000.0;
                std::fprintf(stderr, "strata-render: frame %d of %d (%d%%), %.1f frames per second\n", frame + 1,
                             options.frames, static_cast<int>((frame + 1) * 100.0 / options.frames),
                             seconds > 0.0 ? (frame + 1) / seconds : 0.0);
            }
        }

        if (wantsVideo && !video.close(error)) {
            std::fprintf(stderr, "strata-render: %s\n", error.c_str());
            status = 1;
        }
        const double seconds = millisBetween(begin, Clock::now()) / 1000.0;
        if (!options.quiet) {
            std::fprintf(stderr, "strata-render: %d frames rendered in %.2f s%s\n", renderer.framesRendered(), seconds,
                         renderer.endedByEscape() ? " (Esc in the script ended the show)" : "");
            const int left = renderer.eventsLeft();
            if (left > 0 && !renderer.endedByEscape() && !renderer.endedByScript())
                std::fprintf(stderr, "strata-render: %d script events lie after the last frame and were not used\n",
                             left);
        }
        if (options.stats) {
            // Figures go to standard output unless it carries the frames.
            FILE* out = options.raw ? stderr : fdopen(::dup(outFd), "w");
            if (!out) out = stderr;
            printFigures(out, options, figures);
            if (out != stderr) std::fclose(out);
        }
    }
    FrameTimings::setEnabled(false);
    setActiveVirtualScreen(nullptr);
    ::close(outFd);
    return status;
}
