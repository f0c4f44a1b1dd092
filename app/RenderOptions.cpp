#include "app/RenderOptions.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

bool parseCount(const std::string& text, long low, long high, int& value) {
    if (text.empty() || text.size() > 10) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    const long v = std::strtol(text.c_str(), nullptr, 10);
    if (v < low || v > high) return false;
    value = static_cast<int>(v);
    return true;
}

}  // namespace

bool parseFrameList(const std::string& text, std::vector<int>& frames) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        int frame = 0;
        if (!parseCount(text.substr(start, end - start), 0, 100000000, frame)) return false;
        frames.push_back(frame);
        start = end + 1;
    }
    std::sort(frames.begin(), frames.end());
    return !frames.empty();
}

bool RenderOptions::wantsPng(int n) const {
    if (pngEvery > 0 && n % pngEvery == 0) return true;
    return std::binary_search(pngFrames.begin(), pngFrames.end(), n);
}

bool parseRenderOptions(int argc, const char* const* argv, RenderOptions& options, std::string& error) {
    bool haveDirectory = false;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool inlineValue = false;
        if (arg.rfind("--", 0) == 0) {
            const size_t equals = arg.find('=');
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
                arg = arg.substr(0, equals);
                inlineValue = true;
            }
        }
        // Fetches the value of an option that takes one.
        auto takeValue = [&](std::string& out) {
            if (inlineValue) {
                out = value;
                return true;
            }
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto takeCount = [&](long low, long high, int& out) {
            std::string text;
            if (!takeValue(text)) return false;
            if (!parseCount(text, low, high, out)) {
                error = arg + " needs a whole number " + std::to_string(low) + ".." + std::to_string(high) +
                        ", found '" + text + "'";
                return false;
            }
            return true;
        };
        auto noValue = [&]() {
            if (!inlineValue) return true;
            error = arg + " takes no value";
            return false;
        };

        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--script") {
            if (!takeValue(options.scriptPath)) return false;
        } else if (arg == "--wav") {
            if (!takeValue(options.wavPath)) return false;
        } else if (arg == "--video") {
            if (!takeValue(options.videoPath)) return false;
            if (options.videoPath.empty()) {
                error = "--video needs a file name";
                return false;
            }
        } else if (arg == "--out") {
            if (!takeValue(options.outDirectory)) return false;
        } else if (arg == "--frame-ms") {
            if (!takeCount(1, 1000, options.frameMillis)) return false;
        } else if (arg == "--frames") {
            if (!takeCount(1, 100000000, options.frames)) return false;
            options.framesGiven = true;
        } else if (arg == "--png-every") {
            if (!takeCount(1, 100000000, options.pngEvery)) return false;
        } else if (arg == "--png-frames") {
            std::string text;
            if (!takeValue(text)) return false;
            if (!parseFrameList(text, options.pngFrames)) {
                error = "--png-frames needs frame numbers separated by commas (for example 10,20,30), found '" +
                        text + "'";
                return false;
            }
        } else if (arg == "--warmup") {
            if (!takeCount(0, 100000000, options.warmup)) return false;
        } else if (arg == "--memory-every") {
            if (!takeCount(1, 100000000, options.memoryEvery)) return false;
        } else if (arg == "--raw") {
            if (!noValue()) return false;
            options.raw = true;
        } else if (arg == "--stats") {
            if (!noValue()) return false;
            options.stats = true;
        } else if (arg == "--quiet") {
            if (!noValue()) return false;
            options.quiet = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else if (!haveDirectory) {
            options.directory = arg;
            haveDirectory = true;
        } else {
            error = "one working directory expected, found a second: '" + arg + "'";
            return false;
        }
    }
    if (options.help) return true;
    if (!haveDirectory) {
        error = "the working directory is missing (the directory holding key.db and modules.db)";
        return false;
    }
    return true;
}

const char* renderUsage() {
    return "Usage: strata-render DIRECTORY [options]\n"
           "\n"
           "Renders the instrument offline, without a display: the universe of DIRECTORY\n"
           "(key.db, modules.db, imgs*, mdls*, Reactors/) at 640x480, with a fixed frame\n"
           "time and scripted input, so the same command gives the same pictures.\n"
           "\n"
           "Options:\n"
           "  --script FILE        show script: per frame, controller writes, key presses\n"
           "                       and MIDI messages (format below)\n"
           "  --frames N           frames to render (default 300)\n"
           "  --frame-ms N         fixed frame time in milliseconds, 1..1000 (default 16)\n"
           "  --wav FILE           a wave file as the sound input, paced by the frame time\n"
           "  --png-every N        write a PNG of every frame whose number is a multiple of N\n"
           "  --png-frames LIST    write PNGs of these frames, e.g. 10,20,30\n"
           "  --out DIR            directory of the PNG files frame-NNNNNN.png (default .)\n"
           "  --raw                write every frame as raw RGBA (640x480x4 bytes, bottom row\n"
           "                       first) to standard output\n"
           "  --video FILE         encode the frames as an H.264 video (needs ffmpeg), at\n"
           "                       1000 / frame-ms frames per second, with the --wav sound\n"
           "  --stats              print frames per second and the CPU time per frame\n"
           "                       (cells' update, cells' draw, whole frame)\n"
           "  --warmup N           leave the first N frames out of --stats (default 0)\n"
           "  --quiet              no progress lines\n"
           "  --memory-every N     print the resident memory after every frame whose number\n"
           "                       is a multiple of N (for soak runs)\n"
           "  --help               this text\n"
           "\n"
           "Frames count from 0. The console lines of the instrument and the progress\n"
           "lines go to standard error; standard output carries only frames (--raw) or\n"
           "the --stats figures.\n"
           "\n"
           "Show script, one event per line ('#' starts a comment):\n"
           "  <frame> ctl  <channel 0..15> <entry 0..1023> <value 0..127>\n"
           "  <frame> key  <key> [<x 0..639> <y 0..479>]      (mouse at 320 240 if omitted)\n"
           "  <frame> midi <status 0x80..0xFF> <data1> <data2>\n"
           "  <frame> scene <1..99 or file> [<fade ms>]        (scenes/NN.scene, or a file\n"
           "                                                    beside the script)\n"
           "  <frame> end                                      (the show ends here)\n"
           "Recordings of live shows add ms, sound, set, midiin, joy and special events\n"
           "(see the README); a script with an end mark runs to it unless --frames is\n"
           "given.\n"
           "Keys: one character, or F1..F12, Left, Up, Right, Down, PageUp, PageDown,\n"
           "Home, End, Insert, Esc, Space, Tab, Enter, Backspace, Delete, Hash.\n"
           "Esc ends the render before that frame. Example:\n"
           "  0  key F1 639 240      # select cell 0 and raise it fully\n"
           "  0  key Down            # next module in cell 0\n"
           "  0  ctl 11 19 0         # no trail: clear every frame\n"
           "  30 midi 0xB0 22 100    # controller 22 of channel 0 to 100\n"
           "\n"
           "A video: strata-render DIR --script show.txt --wav sound.wav --video out.mp4,\n"
           "or by hand from raw frames:\n"
           "  strata-render DIR --script show.txt --wav sound.wav --frames 600 --raw |\n"
           "  ffmpeg -f rawvideo -pixel_format rgba -video_size 640x480 -framerate 62.5 -i - \\\n"
           "         -stream_loop -1 -i sound.wav -vf vflip -c:v libx264 -pix_fmt yuv420p \\\n"
           "         -c:a aac -shortest out.mp4\n"
           "(raw frames are bottom row first, hence vflip; -framerate is 1000 / frame-ms)\n";
}
