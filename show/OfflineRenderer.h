#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "show/RenderOptions.h"
#include "show/ShowScript.h"

class MusicalTime;
class ShowReplay;
class qelUnivCell;

// Runs the instrument's universe without a display: the same key bindings,
// module database, image and model sets, cells and reactors, drawn into the
// virtual screen (640x480 or the options' size), with a clock that advances by a fixed frame time
// and input taken from a show script (and, with a wave file and a
// sound.map beside the stage, the sound routes on the file's analysis). Because the random generator and the
// arithmetic are deterministic, the same options give the same pictures.
class OfflineRenderer {
public:
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;
    static constexpr int kFrameBytes = kWidth * kHeight * 4;  // at the default size

    explicit OfflineRenderer(const RenderOptions& options);
    // Releases the universe and returns to the directory it started in.
    ~OfflineRenderer();
    OfflineRenderer(const OfflineRenderer&) = delete;
    OfflineRenderer& operator=(const OfflineRenderer&) = delete;

    // Needs a current OpenGL context with the virtual screen bound. Reads the
    // show script, changes into the working directory, restarts the random
    // generator and the frame clock and builds the universe through the key
    // bindings. False with error set when the script or directory is bad.
    bool setUp(std::string& error);

    // Applies the script events of the next frame and runs it (universe
    // frame, then glFinish as the display handler does). False, with nothing
    // drawn, when every frame is rendered or the script pressed Esc.
    // Allocates nothing.
    bool renderFrame();

    // The picture's size (the options') and its bytes, width * height * 4.
    int width() const { return options_.width; }
    int height() const { return options_.height; }
    int frameBytes() const { return options_.width * options_.height * 4; }
    // Reads the frame just rendered: RGBA, bottom row first, opaque.
    const uint8_t* readPicture();
    // Writes the picture read last as outDirectory/frame-NNNNNN.png.
    bool writePng(int frame);

    int framesRendered() const { return framesRendered_; }
    bool endedByEscape() const { return endedByEscape_; }
    // The script's end mark was reached.
    bool endedByScript() const { return endedByScript_; }
    // Frame time of the frame rendered last (the script's ms events change it).
    int frameMillis() const { return static_cast<int>(frameMillis_); }
    // Script events that lie after the last frame rendered (the end mark and
    // an Esc that ended the show are not counted).
    int eventsLeft() const;
    // The frames this render will draw: --frames, or up to the script's end
    // mark, an Esc in it, or the last whole frame of a cut recording.
    int plannedFrames() const { return plannedFrames_; }
    // When frame n (0..plannedFrames) starts in the show's own time, in
    // milliseconds from the first frame: the recorded frame times, or the
    // fixed one; plannedFrames gives the show's length.
    double frameStartMillis(int n) const;
    // True when the --wav file is the sound input.
    bool playsSound() const { return wavePacedByRenderer_; }
    // True when the frame times come from the script (a recording).
    bool followsRecordedTimes() const { return recordedTimes_; }
    // A recording whose frames name their blocks' positions in the sound
    // file: the sound file's start, in seconds of the show's time (before
    // the first frame when negative). False for other scripts.
    bool soundStartSeconds(double& seconds) const;
    qelUnivCell* universe() const { return universe_.get(); }
    ShowReplay& replay() { return *replay_; }
    // Wall-clock time of the last frame's universe frame and of its glFinish.
    double lastFrameMillis() const { return lastFrameMillis_; }
    double lastFinishMillis() const { return lastFinishMillis_; }
    const RenderOptions& options() const { return options_; }

private:
    // The steps of setUp, in order; each is false with error set.
    bool readScript(std::string& error);
    // The wave file (returned in wav) and the output directory.
    bool checkFiles(std::filesystem::path& wav, std::string& error);
    bool enterWorkingDirectory(std::string& error);
    bool connectSound(const std::filesystem::path& wav, std::string& error);
    // The planned frames and their start times, from the script.
    void planFrames();
    // Musical time from the wave file, for the routes of sound.map.
    void followMusic();

    RenderOptions options_;
    ShowScript script_;
    std::filesystem::path startDirectory_;
    std::filesystem::path outDirectory_;
    std::unique_ptr<qelUnivCell> universe_;
    std::unique_ptr<ShowReplay> replay_;
    std::unique_ptr<MusicalTime> music_;
    std::unique_ptr<uint8_t[]> picture_;
    char pngPath_[4096] = {};
    size_t eventCursor_ = 0;
    int framesRendered_ = 0;
    bool endedByEscape_ = false;
    bool wavePacedByRenderer_ = false;
    bool endedByScript_ = false;
    bool soundByBlocks_ = false;     // the script marks the frames that take a block
    uint32_t frameMillis_ = 16;      // the fixed frame time, or the script's
    int64_t soundBlocksAdvanced_ = 0;  // blocks of the sound file completed so far
    int plannedFrames_ = 0;
    bool recordedTimes_ = false;
    std::vector<double> frameStarts_;  // plannedFrames_ + 1 start times
    std::filesystem::path scriptDirectory_;
    double lastFrameMillis_ = 0.0;
    double lastFinishMillis_ = 0.0;
};
