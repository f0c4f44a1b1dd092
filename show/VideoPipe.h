#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

// The sound track of a video: a wave file, either looped under the whole
// video, or placed at a time of the video (a recording's whole stream) and
// padded with silence to the video's length.
struct VideoSound {
    std::string path;             // none: no sound track
    bool loop = true;
    double startSeconds = 0.0;    // where the file starts in the video (negative: cut)
    double lengthSeconds = 0.0;   // the video's length, for a placed sound
};

// Hands rendered frames to an ffmpeg process that encodes them as H.264
// (libx264, yuv420p so every player takes it), turned right side up, with an
// optional wave file muxed in as AAC.
class VideoPipe {
public:
    VideoPipe() = default;
    ~VideoPipe();  // closes (and waits for) a running encoder
    VideoPipe(const VideoPipe&) = delete;
    VideoPipe& operator=(const VideoPipe&) = delete;

    // The full path of an executable on PATH, or "" when there is none.
    static std::string findProgram(const char* name);

    // Starts ffmpeg writing outPath at framesPerSecond from width x height
    // RGBA frames, bottom row first. False with error set when ffmpeg is
    // missing or cannot be started.
    bool open(const std::string& outPath, double framesPerSecond, const VideoSound& sound, std::string& error,
              int width = 640, int height = 480);
    // One frame of width * height * 4 bytes.
    bool write(const uint8_t* rgba, size_t bytes);
    // Ends the stream and waits for ffmpeg; false with error when it failed.
    bool close(std::string& error);

private:
    int fd_ = -1;
    pid_t child_ = -1;
};
