#include "programs/RenderCommand.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>

#include "platform/AtomicFile.h"
#include "platform/HeadlessContext.h"
#include "platform/MemoryPolicy.h"
#include "platform/VirtualScreen.h"
#include "reactor/FrameTimings.h"
#include "show/OfflineRenderer.h"
#include "show/RenderOptions.h"
#include "show/VideoPipe.h"

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
    std::fprintf(out, "frames timed          %d (of %d, %d warm-up), %dx%d, frame time %d ms\n", figures.frames,
                 figures.frames + options.warmup, options.warmup, options.width, options.height, options.frameMillis);
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

// Standard output is kept for frames and figures only: it moves to a
// private descriptor, which is returned, and descriptor 1 becomes standard
// error, where the instrument's console lines now go. -1 (after a line
// saying why) when it cannot.
int setAsideStandardOutput() {
    std::fflush(stdout);
    const int outFd = ::dup(1);
    if (outFd < 0 || ::dup2(2, 1) < 0) {
        std::fprintf(stderr, "strata-render: cannot set up the output: %s\n", std::strerror(errno));
        return -1;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    std::signal(SIGPIPE, SIG_IGN);  // a closed pipe ends the render with a message
    return outFd;
}

// An OpenGL context without a display, drawing into the virtual screen.
// False after a line saying why.
bool createDrawingTarget(HeadlessContext& context, VirtualScreen& screen) {
    if (!context.create()) {
        std::fprintf(stderr, "strata-render: no OpenGL context without a display: %s\n", context.error().c_str());
        return false;
    }
    if (!screen.create()) {
        std::fprintf(stderr, "strata-render: the OpenGL driver has no framebuffer objects\n");
        return false;
    }
    screen.reportSamples("strata-render");
    screen.bind();
    setActiveVirtualScreen(&screen);
    return true;
}

// One render: the renderer, the frame loop and what the frames go to (PNG
// files, raw frames on the set-aside standard output, the video encoder),
// with the progress lines and the figures.
class RenderRun {
public:
    RenderRun(const RenderOptions& options, int outFd) : options_(options), outFd_(outFd), renderer_(options) {}

    // Sets the renderer up and starts the encoder. False after a line.
    bool start();
    // Renders every frame and ends the outputs; returns the exit status.
    int run();

private:
    void startTiming();
    // Reads the frame back where anything wants it and writes it out. False
    // after a line when an output fails.
    bool writeOutputs(int frame);
    void countFrame(Clock::time_point t0, Clock::time_point t1, Clock::time_point t2);
    void reportProgress(int frame, Clock::time_point begin, Clock::time_point now);
    void reportEnd(Clock::time_point begin);
    void printFiguresToOutput();
    int64_t videoFrameAt(int n) const;

    const RenderOptions& options_;
    const int outFd_;
    OfflineRenderer renderer_;
    VideoPipe video_;
    const bool wantsVideo_ = !options_.videoPath.empty();
    bool resample_ = false;  // video frames follow the frame times
    double videoFps_ = 0.0;
    FrameFigures figures_;
    Clock::time_point nextProgress_;
};

bool RenderRun::start() {
    // The renderer changes into the working directory: the encoder gets
    // the video and sound paths as the command line meant them.
    std::string videoPath;
    VideoSound sound;
    std::error_code ec;
    if (wantsVideo_) videoPath = std::filesystem::absolute(options_.videoPath, ec).string();
    if (wantsVideo_ && !options_.wavPath.empty()) sound.path = std::filesystem::absolute(options_.wavPath, ec).string();
    std::string error;
    if (!renderer_.setUp(error)) {
        std::fprintf(stderr, "strata-render: %s\n", error.c_str());
        return false;
    }
    if (!wantsVideo_) return true;
    // A recording's video keeps the recorded frame times at a constant rate;
    // other scripts give one video frame per frame.
    resample_ = options_.videoFpsGiven || renderer_.followsRecordedTimes();
    videoFps_ = resample_ ? options_.videoFps : 1000.0 / options_.frameMillis;
    if (!renderer_.playsSound()) sound.path.clear();
    if (renderer_.soundStartSeconds(sound.startSeconds)) {
        // The whole stream of a recording, in step with the picture.
        sound.loop = false;
        sound.lengthSeconds = videoFrameAt(renderer_.plannedFrames()) / videoFps_;
    }
    if (!video_.open(videoPath, videoFps_, sound, error, renderer_.width(), renderer_.height())) {
        std::fprintf(stderr, "strata-render: %s\n", error.c_str());
        return false;
    }
    return true;
}

// The first video frame at or after frame n's start.
int64_t RenderRun::videoFrameAt(int n) const {
    return static_cast<int64_t>(std::ceil(renderer_.frameStartMillis(n) * videoFps_ / 1000.0 - 1e-6));
}

int RenderRun::run() {
    int status = 0;
    const Clock::time_point begin = Clock::now();
    nextProgress_ = begin + std::chrono::seconds(1);
    figures_.start = begin;
    for (;;) {
        const int frame = renderer_.framesRendered();
        if (frame == options_.warmup) startTiming();
        const Clock::time_point t0 = Clock::now();
        if (!renderer_.renderFrame()) break;
        const Clock::time_point t1 = Clock::now();
        if (!writeOutputs(frame)) {
            status = 1;
            break;
        }
        const Clock::time_point t2 = Clock::now();
        if (frame >= options_.warmup) countFrame(t0, t1, t2);
        if (!options_.quiet && t2 >= nextProgress_) reportProgress(frame, begin, t2);
    }

    std::string error;
    if (wantsVideo_ && !video_.close(error)) {
        std::fprintf(stderr, "strata-render: %s\n", error.c_str());
        status = 1;
    }
    reportEnd(begin);
    if (options_.stats) printFiguresToOutput();
    return status;
}

// The figures leave out the warm-up frames.
void RenderRun::startTiming() {
    FrameTimings::reset();
    figures_.start = Clock::now();
    figures_.cpuStartMillis = processCpuMillis();
}

bool RenderRun::writeOutputs(int frame) {
    const bool png = options_.wantsPng(frame);
    const uint8_t* picture = (png || options_.raw || wantsVideo_) ? renderer_.readPicture() : nullptr;
    // At a constant rate a frame is shown by every video frame in its time:
    // once, several times, or (a frame shorter than the video's) not at all.
    const int64_t copies = resample_ ? videoFrameAt(frame + 1) - videoFrameAt(frame) : 1;
    for (int64_t i = 0; wantsVideo_ && i < copies; ++i) {
        if (!video_.write(picture, static_cast<size_t>(renderer_.frameBytes()))) {
            std::fprintf(stderr, "strata-render: ffmpeg stopped taking frames after %d frames\n", frame);
            return false;
        }
    }
    if (png && !renderer_.writePng(frame)) return false;
    if (options_.raw && !writeAll(outFd_, picture, static_cast<size_t>(renderer_.frameBytes()))) {
        std::fprintf(stderr, "strata-render: standard output closed after %d frames: %s\n", frame,
                     std::strerror(errno));
        return false;
    }
    if (options_.memoryEvery > 0 && frame % options_.memoryEvery == 0)
        std::fprintf(stderr, "strata-render: memory after frame %d: resident %ld kB\n", frame, residentKilobytes());
    return true;
}

// Adds a frame drawn from t0 to t1 and written out by t2 to the figures.
void RenderRun::countFrame(Clock::time_point t0, Clock::time_point t1, Clock::time_point t2) {
    ++figures_.frames;
    const double frameMillis = millisBetween(t0, t1);
    figures_.frameMillis += frameMillis;
    figures_.finishMillis += renderer_.lastFinishMillis();
    figures_.outputMillis += millisBetween(t1, t2);
    if (frameMillis > figures_.slowestMillis) figures_.slowestMillis = frameMillis;
    figures_.end = t2;
    figures_.cpuEndMillis = processCpuMillis();
}

// One progress line a second.
void RenderRun::reportProgress(int frame, Clock::time_point begin, Clock::time_point now) {
    nextProgress_ = now + std::chrono::seconds(1);
    const double seconds = millisBetween(begin, now) / 1000.0;
    const int planned = renderer_.plannedFrames() > 0 ? renderer_.plannedFrames() : 1;
    std::fprintf(stderr, "strata-render: frame %d of %d (%d%%), %.1f frames per second\n", frame + 1, planned,
                 static_cast<int>((frame + 1) * 100.0 / planned),
                 seconds > 0.0 ? (frame + 1) / seconds : 0.0);
}

void RenderRun::reportEnd(Clock::time_point begin) {
    if (options_.quiet) return;
    const double seconds = millisBetween(begin, Clock::now()) / 1000.0;
    std::fprintf(stderr, "strata-render: %d frames rendered in %.2f s%s\n", renderer_.framesRendered(), seconds,
                 renderer_.endedByEscape() ? " (Esc in the script ended the show)" : "");
    const int left = renderer_.eventsLeft();
    if (left > 0 && !renderer_.endedByEscape() && !renderer_.endedByScript())
        std::fprintf(stderr, "strata-render: %d script events lie after the last frame and were not used\n", left);
}

// Figures go to standard output unless it carries the frames.
void RenderRun::printFiguresToOutput() {
    FILE* out = options_.raw ? stderr : fdopen(::dup(outFd_), "w");
    if (!out) out = stderr;
    printFigures(out, options_, figures_);
    if (out != stderr) std::fclose(out);
}

}  // namespace

int runRenderCommand(int argc, char** argv) {
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
    const int outFd = setAsideStandardOutput();
    if (outFd < 0) return 1;
    if (options.raw && ::isatty(outFd)) {
        std::fprintf(stderr, "strata-render: --raw writes binary frames; send standard output to a file or a pipe\n");
        return 2;
    }
    HeadlessContext context;
    VirtualScreen screen(options.width, options.height, options.msaa);
    if (!createDrawingTarget(context, screen)) return 1;

    FrameTimings::setEnabled(options.stats);
    int status = 1;
    {
        RenderRun render(options, outFd);
        if (render.start()) status = render.run();
    }
    FrameTimings::setEnabled(false);
    setActiveVirtualScreen(nullptr);
    ::close(outFd);
    return status;
}
