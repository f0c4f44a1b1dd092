#include "platform/Settings.h"

#include <cctype>
#include <cstdlib>

#include "platform/Numbers.h"
#include "platform/VirtualScreen.h"

namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        if (x != b[i]) return false;
    }
    return true;
}

bool isOneOf(std::string_view text, std::initializer_list<std::string_view> lowerCaseWords) {
    for (std::string_view word : lowerCaseWords)
        if (equalIgnoringCase(text, word)) return true;
    return false;
}

// A host:port endpoint, or off (nothing set); anything else leaves its line.
void readEndpoint(const std::string& text, std::string& out, std::string& problem, const char* before,
                  const char* after) {
    std::string host, error;
    int port = 0;
    if (text == "off") return;
    if (parseHostPort(text, host, port, error))
        out = text;
    else
        problem = before + error + after;
}

// One variable: its name, how it reads a value (never empty) into the
// record, and what help says about it.
struct Row {
    Setting setting;
    const char* name;
    const char* values;
    const char* byDefault;
    const char* effect;
    void (*read)(const std::string& text, Settings& s, std::string& problem);
};

constexpr Row kRows[] = {
    {Setting::Audio, "STRATA_AUDIO", "ALSA capture device name, or a sound file (.wav, .flac, .ogg)", "default",
     "the sound input", [](const std::string& text, Settings& s, std::string&) { s.audio = text; }},
    {Setting::Midi, "STRATA_MIDI", "part of a MIDI port name", "first hardware port",
     "the MIDI port connected at start", [](const std::string& text, Settings& s, std::string&) { s.midi = text; }},
    {Setting::Joystick, "STRATA_JOYSTICK", "device path", "/dev/input/js0", "the joystick",
     [](const std::string& text, Settings& s, std::string&) { s.joystick = text; }},
    {Setting::Windowed, "STRATA_WINDOWED", "1, true, yes, on", "off", "a plain 640x480 window for rehearsing",
     [](const std::string& text, Settings& s, std::string&) { s.windowed = isOnWord(text); }},
    {Setting::Mode, "STRATA_MODE", "desktop", "game mode",
     "a full-screen window at the desktop's resolution, no mode switch",
     [](const std::string& text, Settings& s, std::string& problem) {
         s.desktop = equalIgnoringCase(text, "desktop");
         if (!s.desktop) problem = "strata: STRATA_MODE=" + text + " is not known (only desktop is); using game mode";
     }},
    {Setting::Monitor, "STRATA_MONITOR", "XRandR monitor name or number", "none", "the monitor to fill",
     [](const std::string& text, Settings& s, std::string&) { s.monitor = text; }},
    {Setting::Fps, "STRATA_FPS", "1 to 1000 (0: none)", "no cap", "the most frames per second",
     [](const std::string& text, Settings& s, std::string& problem) {
         if (!parseWholeNumber(text, 0, 1000, s.fps))
             problem = "strata: STRATA_FPS=" + text + " is not a number of frames per second from 1 to 1000; no cap";
     }},
    {Setting::Vsync, "STRATA_VSYNC", "0, false, no, off", "on", "do not wait for the display's refresh at each swap",
     [](const std::string& text, Settings& s, std::string&) { s.vsync = !isOffWord(text); }},
    {Setting::Overlay, "STRATA_OVERLAY", "0, false, no, off", "as STRATA_OVERLAY_HINT says",
     "keep the operator view hidden at start even with STRATA_OVERLAY_HINT (Insert still shows it)",
     [](const std::string& text, Settings& s, std::string&) { s.overlayAtStart = !isOffWord(text); }},
    {Setting::OverlayHint, "STRATA_OVERLAY_HINT", "1, true, yes, on", "hidden at start",
     "show the operator view with its hint line for the first seconds after start (Insert hides it)",
     [](const std::string& text, Settings& s, std::string&) { s.overlayHint = isOnWord(text); }},
    {Setting::CleanLayers, "STRATA_CLEAN_LAYERS", "1, true, yes, on", "off",
     "every layer starts from the same OpenGL state (also strata-render)",
     [](const std::string& text, Settings& s, std::string&) { s.cleanLayers = isOnWord(text); }},
    {Setting::ImageMemory, "STRATA_IMAGE_MEMORY_MB", "whole megabytes, 1 to 1048576", "512",
     "the pixel memory all images of the stage may hold together",
     [](const std::string& text, Settings& s, std::string& problem) {
         // Up to 1 TB; anything else is a typing error.
         if (!parseWholeNumber(text, 1, 1l << 20, s.imageMemoryMegabytes))
             problem = "STRATA_IMAGE_MEMORY_MB=" + text + " is not a number of megabytes from 1 to 1048576: using " +
                       std::to_string(s.imageMemoryMegabytes);
     }},
    {Setting::Osc, "STRATA_OSC", "host:port, or off", "127.0.0.1:9000",
     "where the OSC server (UDP) and OSCQuery (TCP) listen",
     [](const std::string& text, Settings& s, std::string& problem) {
         // Off, or a value that makes no sense: the instrument runs without
         // OSC rather than opening a port nobody asked for.
         s.osc.clear();
         readEndpoint(text, s.osc, problem, "OSC: STRATA_OSC ", "; running without OSC");
     }},
    {Setting::OscOut, "STRATA_OSC_OUT", "host:port", "no output",
     "where the instrument's state is sent over OSC, about 30 times a second",
     [](const std::string& text, Settings& s, std::string& problem) {
         readEndpoint(text, s.oscOut, problem, "OSC: STRATA_OSC_OUT ", "; no OSC output");
     }},
    {Setting::Token, "STRATA_TOKEN", "8 to 128 letters, digits, dashes, underscores, dots", "random per start",
     "the access token of the control surface when OSC listens on a non-loopback address",
     [](const std::string& text, Settings& s, std::string& problem) {
         // It travels in URLs and a cookie: only characters that need no quoting.
         bool plain = text.size() >= 8 && text.size() <= 128;
         for (char c : text) plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.');
         if (plain)
             s.token = text;
         else
             problem = "OSC: STRATA_TOKEN is not 8 to 128 letters, digits, dashes, underscores or dots; using a random token";
     }},
    {Setting::SceneFade, "STRATA_SCENE_FADE", "milliseconds, 0 to 3600000", "0 (a cut)",
     "cross-fade time of a scene recall",
     [](const std::string& text, Settings& s, std::string& problem) {
         if (!parseWholeNumber(text, 0, 3600000, s.sceneFadeMillis))
             problem = "strata: STRATA_SCENE_FADE=" + text + " is not a time of 0..3600000 ms; scenes cut";
     }},
    {Setting::Record, "STRATA_RECORD", "a directory", "no recording", "record the show from start-up into this directory",
     [](const std::string& text, Settings& s, std::string&) { s.record = text; }},
    {Setting::DumpFrames, "STRATA_DUMP_FRAMES", "frame numbers such as 30,60,90", "none",
     "write these frames of the picture (640x480 or STRATA_RESOLUTION) as PNG files",
     [](const std::string& text, Settings& s, std::string& problem) {
         if (parseFrameList(text, s.dumpFrames)) return;
         s.dumpFrames.clear();
         problem = "strata: STRATA_DUMP_FRAMES=" + text +
                   " is not a list of frame numbers such as 30,60,90; no frames are dumped";
     }},
    {Setting::DumpDirectory, "STRATA_DUMP_DIR", "a directory", ".", "where STRATA_DUMP_FRAMES puts its PNG files",
     [](const std::string& text, Settings& s, std::string&) { s.dumpDirectory = text; }},
    {Setting::DumpWarped, "STRATA_DUMP_WARPED", "1, true, yes, on", "off",
     "with STRATA_DUMP_FRAMES, also write each such frame as the window shows it (the output mapping's warp) "
     "as frame-NNNNNN-window.png",
     [](const std::string& text, Settings& s, std::string&) { s.dumpWarped = isOnWord(text); }},
    {Setting::MidiClock, "STRATA_MIDI_CLOCK", "1, true, yes, on", "off",
     "follow the tempo and beat of a MIDI clock leader (timing, Start, Stop, Continue, Song Position)",
     [](const std::string& text, Settings& s, std::string&) { s.midiClock = isOnWord(text); }},
    {Setting::Link, "STRATA_LINK", "1, true, yes, on", "off",
     "join the Link tempo session of other machines on the local network (multicast)",
     [](const std::string& text, Settings& s, std::string&) { s.link = isOnWord(text); }},
    {Setting::Follow, "STRATA_FOLLOW", "host:port of the leader's STRATA_OSC", "none (leads)",
     "follow another instrument's show: apply every input it applies (needs this one's own OSC)",
     [](const std::string& text, Settings& s, std::string& problem) {
         readEndpoint(text, s.follow, problem, "follow: STRATA_FOLLOW ", "; not following");
     }},
    {Setting::FollowKeep, "STRATA_FOLLOW_KEEP", "layer numbers 1..11 such as 3,7", "none",
     "layers a follower keeps its own: what the leader does to them is not applied",
     [](const std::string& text, Settings& s, std::string& problem) {
         std::vector<int> layers;
         if (parseFrameList(text, layers) && layers.front() >= 1 && layers.back() <= 11) {
             for (int layer : layers) s.followKeep |= 1u << (layer - 1);
             return;
         }
         problem = "follow: STRATA_FOLLOW_KEEP=" + text + " is not a list of layers 1..11 such as 3,7; no layer kept";
     }},
    {Setting::Warmup, "STRATA_WARMUP", "0, false, no, off", "on",
     "do not build and draw every module off-screen once at start (the first switch to a module may then stall)",
     [](const std::string& text, Settings& s, std::string&) { s.warmup = !isOffWord(text); }},
    {Setting::LatencyLog, "STRATA_LATENCY_LOG", "a file", "none",
     "write when each key, MIDI message and OSC packet arrived and when the frame showing it was swapped, at exit",
     [](const std::string& text, Settings& s, std::string&) { s.latencyLog = text; }},
    {Setting::LatencyMidi, "STRATA_LATENCY_MIDI", "1 to 100000", "none",
     "with STRATA_LATENCY_LOG: a thread feeds this many control changes (channel 13, controller 100) through the MIDI "
     "driver's callback path, about 40 a second, from 5 s after start",
     [](const std::string& text, Settings& s, std::string& problem) {
         if (!parseWholeNumber(text, 1, 100000, s.latencyMidi))
             problem = "strata: STRATA_LATENCY_MIDI=" + text + " is not a count of 1 to 100000; no MIDI is fed";
     }},
    {Setting::Resolution, "STRATA_RESOLUTION", "WxH from 160x120 to 7680x4320", "640x480",
     "the size the frames are drawn at (a wider one shows more at the sides; the mouse stays 640x480)",
     [](const std::string& text, Settings& s, std::string& problem) {
         if (!parseScreenSize(text.c_str(), s.screenWidth, s.screenHeight))
             problem = "strata: STRATA_RESOLUTION=" + text + " is not WxH from 160x120 to 7680x4320; drawing at 640x480";
     }},
    {Setting::Msaa, "STRATA_MSAA", "2, 4, 8, 16", "off", "draw the frames multisampled with this many samples",
     [](const std::string& text, Settings& s, std::string& problem) {
         if (!parseSampleCount(text.c_str(), s.msaaSamples))
             problem = "strata: STRATA_MSAA=" + text + " is not 2, 4, 8 or 16 samples; drawing without";
     }},
    {Setting::Display, "DISPLAY", "an X display such as :0", "none",
     "the display to open; without one only --help and --version answer",
     [](const std::string& text, Settings& s, std::string&) { s.display = text; }},
    {Setting::Path, "PATH", "directories separated by colons", "/usr/local/bin:/usr/bin:/bin",
     "where strata-render --video finds ffmpeg",
     [](const std::string& text, Settings& s, std::string&) { s.path = text; }},
    {Setting::Home, "HOME", "a directory", "none",
     "scenes and recordings go to ~/.local/share/strata when the stage is read-only",
     [](const std::string& text, Settings& s, std::string&) { s.home = text; }},
    {Setting::XdgDataHome, "XDG_DATA_HOME", "an absolute directory", "~/.local/share",
     "scenes and recordings go to $XDG_DATA_HOME/strata when the stage is read-only",
     [](const std::string& text, Settings& s, std::string&) { s.xdgDataHome = text; }},
};

constexpr bool rowsInSettingOrder() {
    int i = 0;
    for (const Row& row : kRows)
        if (static_cast<int>(row.setting) != i++) return false;
    return i == kSettingCount;
}
static_assert(rowsInSettingOrder(), "one row per setting, in the order of the enumeration");

const char* fromEnvironment(const char* name) { return std::getenv(name); }

Settings& current() {
    static Settings record = Settings::read(fromEnvironment);
    return record;
}

}  // namespace

bool isOnWord(std::string_view text) { return isOneOf(text, {"1", "true", "yes", "on"}); }

bool isOffWord(std::string_view text) { return isOneOf(text, {"0", "false", "no", "off"}); }

bool parseHostPort(const std::string& text, std::string& host, int& port, std::string& error) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 >= text.size() || text.size() - colon > 6) {
        error = "\"" + text + "\" is not host:port";
        return false;
    }
    long number = 0;
    for (size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            error = "\"" + text + "\" is not host:port";
            return false;
        }
        number = number * 10 + (text[i] - '0');
    }
    if (number > 65535) {
        error = "port " + std::to_string(number) + " is beyond 65535";
        return false;
    }
    host = colon == 0 ? "127.0.0.1" : text.substr(0, colon);
    port = static_cast<int>(number);
    return true;
}

void Settings::report(Setting setting) const {
    const std::string& line = problem(setting);
    if (!line.empty()) std::fprintf(stderr, "%s\n", line.c_str());
}

Settings Settings::read(const std::function<const char*(const char*)>& lookup) {
    Settings s;
    for (const Row& row : kRows) {
        const char* text = lookup(row.name);
        if (text && *text) row.read(text, s, s.problems_[static_cast<int>(row.setting)]);
    }
    return s;
}

void Settings::reloadForTests() { current() = read(fromEnvironment); }

void Settings::printHelp(FILE* out) {
    for (const Row& row : kRows)
        std::fprintf(out, "  %-24s%s [%s; default: %s]\n", row.name, row.effect, row.values, row.byDefault);
}

const Settings& settings() { return current(); }
