#pragma once
#include <string>
#include <vector>

// Command line of the offline renderer (strata-render).
struct RenderOptions {
    std::string directory;      // working directory: key.db, modules.db, imgs*, mdls*, Reactors/
    std::string scriptPath;     // show script (none: no scripted input)
    std::string wavPath;        // wave file played as the sound input (none: silence)
    std::string outDirectory = ".";  // where PNG files go
    int frameMillis = 16;       // fixed frame time
    int frames = 300;           // frames to render
    bool framesGiven = false;   // --frames was given (else a script's end mark decides)
    int pngEvery = 0;           // PNG of every frame whose number is a multiple (0: none)
    std::vector<int> pngFrames; // PNG of these frames
    bool raw = false;           // raw RGBA frames on standard output
    std::string videoPath;      // H.264 video through ffmpeg (none: no video)
    int videoFps = 30;          // constant frame rate of a video that follows recorded frame times
    bool videoFpsGiven = false; // --fps was given
    bool stats = false;         // timing figures at the end
    int warmup = 0;             // frames left out of the figures
    bool quiet = false;         // no progress lines
    int memoryEvery = 0;        // resident memory after every frame whose number is a multiple (0: never)
    int width = 640;            // the size the frames are drawn at
    int height = 480;
    int msaa = 0;               // samples of a multisampled drawing (0: single-sampled)
    bool help = false;

    // True when frame n is written as a PNG file.
    bool wantsPng(int n) const;
};

// Parses the arguments after the program name. False with error set to one
// line saying what was wrong.
bool parseRenderOptions(int argc, const char* const* argv, RenderOptions& options, std::string& error);

// The --help text.
const char* renderUsage();
