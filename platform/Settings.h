#pragma once
#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Everything the programs take from their environment, read once into one
// record: the STRATA_* variables and the general DISPLAY, PATH, HOME and
// XDG_DATA_HOME. Each variable is one row of the table in Settings.cpp,
// which names it, reads it and describes it for `strata --help`.
//
// An empty variable counts as unset. A value that makes no sense keeps the
// default and leaves one line, which report() prints where the value is
// used: each line appears at the moment of the start-up it belongs to.

enum class Setting {
    Audio, Midi, Joystick, Windowed, Mode, Monitor, Fps, Vsync, Overlay, OverlayHint, CleanLayers, ImageMemory,
    Osc, OscOut, Token, SceneFade, Record, DumpFrames, DumpDirectory, DumpWarped, MidiClock, Link, Follow, FollowKeep,
    Warmup, LatencyLog, LatencyMidi, Resolution, Msaa,
    Display, Path, Home, XdgDataHome,
};
constexpr int kSettingCount = static_cast<int>(Setting::XdgDataHome) + 1;

struct Settings {
    std::string audio = "default";             // ALSA capture device, or a sound file
    std::string midi;                          // part of a port name; empty: the first hardware port
    std::string joystick = "/dev/input/js0";
    bool windowed = false;                     // a plain 640x480 window
    bool desktop = false;                      // a full-screen window without a mode switch
    std::string monitor;                       // XRandR output name or index; empty: none chosen
    int fps = 0;                               // 0: no cap
    bool vsync = true;
    bool overlayAtStart = true;                // false: hidden at start even with the hint
    bool overlayHint = false;                  // the operator view with its hint for the first seconds
    bool dumpWarped = false;                   // dumps also hold the window as the output mapping warps it
    bool cleanLayers = false;                  // every cell starts from the same OpenGL state
    long imageMemoryMegabytes = 512;
    std::string osc = "127.0.0.1:9000";        // where OSC listens; empty: no OSC
    std::string oscOut;                        // where the state is sent; empty: nowhere
    std::string token;                         // the web server's access token; empty: random per start
    int sceneFadeMillis = 0;                   // 0: a recall cuts
    std::string record;                        // record the show from start-up here; empty: no
    std::vector<int> dumpFrames;               // frames written as PNG files, sorted; empty: none
    std::string dumpDirectory = ".";
    bool midiClock = false;                    // follow a MIDI clock leader (timing messages reach the clock)
    bool link = false;                         // join the Link tempo session on the local network
    std::string follow;                        // the leader's OSC host:port to follow; empty: leads itself
    uint32_t followKeep = 0;                   // bit c: channel c (layer c + 1) stays this machine's own
    bool warmup = true;                        // build and draw every module off-screen once at start
    std::string latencyLog;                    // where input-to-frame times are written at exit; empty: nowhere
    int latencyMidi = 0;                       // MIDI messages a probe thread feeds through the driver's path
    int screenWidth = 640;                     // the size the frames are drawn at
    int screenHeight = 480;
    int msaaSamples = 0;                       // 0: single-sampled drawing
    std::string display;                       // empty: no display to open
    std::string path = "/usr/local/bin:/usr/bin:/bin";
    std::string home;
    std::string xdgDataHome;

    // The line a value that made no sense left, or empty.
    const std::string& problem(Setting setting) const { return problems_[static_cast<int>(setting)]; }
    // Prints that line, when there is one, on standard error.
    void report(Setting setting) const;

    // The record for the values lookup gives by name (null for unset).
    static Settings read(const std::function<const char*(const char*)>& lookup);
    // Reads the environment anew into the record settings() returns; for
    // tests that change it with setenv.
    static void reloadForTests();
    // One line per variable: its name, what it does, its values and its
    // default.
    static void printHelp(FILE* out);

private:
    std::array<std::string, kSettingCount> problems_;
};

// The record of this process, read from the environment on first use.
const Settings& settings();

// The readers the rows share.
// 1, true, yes, on in any case.
bool isOnWord(std::string_view text);
// 0, false, no, off in any case: the explicit no of a setting that is on by
// default.
bool isOffWord(std::string_view text);
// "host:port" with a port of 0..65535; an empty host is 127.0.0.1. False with
// error set to what is wrong ("\"x\" is not host:port", "port 70000 is
// beyond 65535").
bool parseHostPort(const std::string& text, std::string& host, int& port, std::string& error);
