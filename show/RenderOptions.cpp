#include "show/RenderOptions.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <getopt.h>

#include "platform/Numbers.h"
#include "platform/VirtualScreen.h"

bool RenderOptions::wantsPng(int n) const {
    if (pngEvery > 0 && n % pngEvery == 0) return true;
    return std::binary_search(pngFrames.begin(), pngFrames.end(), n);
}

namespace {

enum : int {
    kScript = 256, kWav, kOut, kFrameMs, kFrames, kPngEvery, kPngFrames, kWarmup, kMemoryEvery, kRaw, kStats,
    kQuiet, kHelp, kVideo, kFps, kSize, kMsaa
};
const option kLongOptions[] = {
    {"script", required_argument, nullptr, kScript},     {"wav", required_argument, nullptr, kWav},
    {"out", required_argument, nullptr, kOut},           {"frame-ms", required_argument, nullptr, kFrameMs},
    {"frames", required_argument, nullptr, kFrames},     {"png-every", required_argument, nullptr, kPngEvery},
    {"png-frames", required_argument, nullptr, kPngFrames}, {"warmup", required_argument, nullptr, kWarmup},
    {"memory-every", required_argument, nullptr, kMemoryEvery}, {"raw", no_argument, nullptr, kRaw},
    {"stats", no_argument, nullptr, kStats},             {"quiet", no_argument, nullptr, kQuiet},
    {"help", no_argument, nullptr, kHelp},               {"video", required_argument, nullptr, kVideo},
    {"fps", required_argument, nullptr, kFps},           {"size", required_argument, nullptr, kSize},
    {"msaa", required_argument, nullptr, kMsaa},
    {nullptr, 0, nullptr, 0}};

// An option as the command line spells it: --name, or -c for a short one.
std::string nameOf(int code) {
    for (const option& o : kLongOptions)
        if (o.name && o.val == code) return std::string("--") + o.name;
    return std::string("-") + static_cast<char>(code);
}

// Fills the options from what getopt_long hands out, one code at a time;
// each step is false with error set.
class OptionReader {
public:
    OptionReader(RenderOptions& options, std::string& error) : options_(options), error_(error) {}

    // One code of getopt_long, its value in optarg; args is its array.
    bool apply(int code, char* const* args);
    // The working directory, given once.
    bool operand(const char* text);
    bool finish();

private:
    bool number(int code, long low, long high, int& out);
    // A known option given a value it does not take, or no option at all
    // (named without its value).
    bool refuse(char* const* args);

    RenderOptions& options_;
    std::string& error_;
    bool haveDirectory_ = false;
};

bool OptionReader::apply(int code, char* const* args) {
    switch (code) {
        case 1: return operand(optarg);
        case 'h':
        case kHelp: options_.help = true; return true;
        case kScript: options_.scriptPath = optarg; return true;
        case kWav: options_.wavPath = optarg; return true;
        case kOut: options_.outDirectory = optarg; return true;
        case kVideo:
            options_.videoPath = optarg;
            if (options_.videoPath.empty()) error_ = "--video needs a file name";
            return !options_.videoPath.empty();
        case kFrameMs: return number(code, 1, 1000, options_.frameMillis);
        case kFps: options_.videoFpsGiven = true; return number(code, 1, 240, options_.videoFps);
        case kFrames: options_.framesGiven = true; return number(code, 1, 100000000, options_.frames);
        case kPngEvery: return number(code, 1, 100000000, options_.pngEvery);
        case kWarmup: return number(code, 0, 100000000, options_.warmup);
        case kMemoryEvery: return number(code, 1, 100000000, options_.memoryEvery);
        case kPngFrames:
            if (parseFrameList(optarg, options_.pngFrames)) return true;
            error_ = std::string("--png-frames needs frame numbers separated by commas (for example 10,20,30), "
                                 "found '") + optarg + "'";
            return false;
        case kSize:
            if (parseScreenSize(optarg, options_.width, options_.height)) return true;
            error_ = std::string("--size needs WxH from 160x120 to 7680x4320, found '") + optarg + "'";
            return false;
        case kMsaa:
            if (parseSampleCount(optarg, options_.msaa)) return true;
            error_ = std::string("--msaa needs 2, 4, 8 or 16 samples, found '") + optarg + "'";
            return false;
        case kRaw: options_.raw = true; return true;
        case kStats: options_.stats = true; return true;
        case kQuiet: options_.quiet = true; return true;
        case ':': error_ = nameOf(optopt) + " needs a value"; return false;
        default: return refuse(args);
    }
}

bool OptionReader::number(int code, long low, long high, int& out) {
    if (parseWholeNumber(optarg, low, high, out)) return true;
    error_ = nameOf(code) + " needs a whole number " + std::to_string(low) + ".." + std::to_string(high) +
             ", found '" + optarg + "'";
    return false;
}

bool OptionReader::refuse(char* const* args) {
    if (optopt >= kScript) {
        error_ = nameOf(optopt) + " takes no value";
    } else {
        std::string arg = args[optind - 1];
        if (optopt != 0 && arg.rfind("--", 0) != 0) arg = std::string("-") + static_cast<char>(optopt);
        error_ = "unknown option " + arg.substr(0, arg.find('='));
    }
    return false;
}

bool OptionReader::operand(const char* text) {
    if (haveDirectory_) {
        error_ = std::string("one working directory expected, found a second: '") + text + "'";
        return false;
    }
    options_.directory = text;
    haveDirectory_ = true;
    return true;
}

bool OptionReader::finish() {
    if (options_.help || haveDirectory_) return true;
    error_ = "the working directory is missing (the directory holding key.db and modules.db)";
    return false;
}

}  // namespace

bool parseRenderOptions(int argc, const char* const* argv, RenderOptions& options, std::string& error) {
    // getopt_long wants a program name first and may reorder the array, so
    // it works on a copy. "-" first: operands come back in order as code 1,
    // whatever POSIXLY_CORRECT says; ":" next: no messages of its own.
    std::vector<std::string> copies = {"strata-render"};
    copies.insert(copies.end(), argv, argv + argc);
    std::vector<char*> args;
    for (std::string& c : copies) args.push_back(c.data());
    args.push_back(nullptr);
    optind = 0;  // a fresh scan (glibc), also after an earlier parse
    opterr = 0;

    OptionReader reader(options, error);
    const int count = static_cast<int>(copies.size());
    for (int code; (code = getopt_long(count, args.data(), "-:h", kLongOptions, nullptr)) != -1;)
        if (!reader.apply(code, args.data())) return false;
    for (int i = optind; i < count; ++i)  // after "--"
        if (!reader.operand(args[i])) return false;
    return reader.finish();
}

const char* renderUsage() {
    return "Usage: strata-render DIRECTORY [options]\n"
           "\n"
           "Renders the instrument offline, without a display: the universe of DIRECTORY\n"
           "(key.db, modules.db, imgs*, mdls*, Reactors/) at 640x480 or --size, with a\n"
           "fixed frame time and scripted input, so the same command gives the same\n"
           "pictures.\n"
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
           "  --size WxH           draw at this size, 160x120 to 7680x4320 (default 640x480);\n"
           "                       a wider aspect shows more at the sides; script mouse\n"
           "                       positions stay in the 640x480 space\n"
           "  --msaa N             draw multisampled with 2, 4, 8 or 16 samples where the\n"
           "                       driver offers them (a line on standard error says what\n"
           "                       it got; STRATA_RESOLUTION and STRATA_MSAA are not read)\n"
           "  --raw                write every frame as raw RGBA (W x H x 4 bytes, bottom row\n"
           "                       first) to standard output\n"
           "  --video FILE         encode the frames as an H.264 video (needs ffmpeg) with\n"
           "                       the --wav sound; a recording's video follows its\n"
           "                       recorded frame times at --fps, with the whole sound in\n"
           "                       step; other scripts give 1000 / frame-ms frames a second\n"
           "  --fps N              frames per second of the video, 1..240 (default 30 for a\n"
           "                       recording): frames are repeated or left out to keep the\n"
           "                       frame times\n"
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
           "Recordings of live shows add ms, uptime, sound, set, midiin, joy and special\n"
           "events (see the README); a script with an end mark runs to it unless --frames\n"
           "is given, and a recording cut off without one runs to its last whole frame.\n"
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
