#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "TempStage.h"
#include "platform/Settings.h"

namespace {

std::string text(bool on) { return on ? "1" : "0"; }

std::string text(const std::vector<int>& frames) {
    std::string out;
    for (int f : frames) out.append(out.empty() ? "" : ",").append(std::to_string(f));
    return out;
}

// Each setting's value as text, in the order of the enumeration.
#define V(value) [](const Settings& s) { return value; }
const std::function<std::string(const Settings&)> kValue[] = {
    V(s.audio), V(s.midi), V(s.joystick), V(text(s.windowed)), V(text(s.desktop)), V(s.monitor),
    V(std::to_string(s.fps)), V(text(s.vsync)), V(text(s.overlayAtStart)), V(text(s.overlayHint)),
    V(text(s.cleanLayers)),
    V(std::to_string(s.imageMemoryMegabytes)), V(s.osc), V(s.oscOut), V(s.token), V(std::to_string(s.sceneFadeMillis)),
    V(s.record), V(text(s.dumpFrames)), V(s.dumpDirectory), V(text(s.dumpWarped)), V(text(s.midiClock)), V(text(s.link)),
    V(s.follow), V(std::to_string(s.followKeep)), V(text(s.warmup)), V(s.latencyLog),
    V(std::to_string(s.latencyMidi)), V(std::to_string(s.screenWidth) + "x" + std::to_string(s.screenHeight)),
    V(std::to_string(s.msaaSamples)), V(s.display), V(s.path), V(s.home), V(s.xdgDataHome),
};
#undef V
static_assert(std::size(kValue) == kSettingCount);

}  // namespace

// Defaults, spellings, and nonsense keeping the default with one line report() prints (good values are the e2e run's).
TEST(Settings, DefaultsSpellingsAndNonsenseInOneLine) {
    const Settings none = Settings::read([](const char*) -> const char* { return nullptr; });
    std::string defaults;
    for (const auto& value : kValue) defaults += value(none) + "|";
    EXPECT_EQ(defaults, "default||/dev/input/js0|0|0||0|1|1|0|0|512|127.0.0.1:9000|||0|||.|0|0|0||0|1||0|640x480|0||/usr/local/bin:/usr/bin:/bin|||");
    const struct {
        const char* name;
        Setting setting;
        const char *value, *expected, *problem = "";
    } cases[] = {
        {"STRATA_WINDOWED", Setting::Windowed, "On", "1"},
        {"STRATA_MODE", Setting::Mode, "fast", "0", "strata: STRATA_MODE=fast is not known (only desktop is); using game mode"},
        {"STRATA_FPS", Setting::Fps, "1001", "0",
         "strata: STRATA_FPS=1001 is not a number of frames per second from 1 to 1000; no cap"},
        {"STRATA_VSYNC", Setting::Vsync, "OFF", "0"},
        {"STRATA_OVERLAY", Setting::Overlay, "no", "0"},
        {"STRATA_OVERLAY_HINT", Setting::OverlayHint, "Yes", "1"},
        {"STRATA_CLEAN_LAYERS", Setting::CleanLayers, "TRUE", "1"},
        {"STRATA_MIDI_CLOCK", Setting::MidiClock, "yes", "1"},
        {"STRATA_DUMP_WARPED", Setting::DumpWarped, "on", "1"},
        {"STRATA_IMAGE_MEMORY_MB", Setting::ImageMemory, "0", "512",
         "STRATA_IMAGE_MEMORY_MB=0 is not a number of megabytes from 1 to 1048576: using 512"},
        {"STRATA_OSC", Setting::Osc, "host:70000", "", "OSC: STRATA_OSC port 70000 is beyond 65535; running without OSC"},
        {"STRATA_OSC_OUT", Setting::OscOut, "mixer:", "", "OSC: STRATA_OSC_OUT \"mixer:\" is not host:port; no OSC output"},
        {"STRATA_TOKEN", Setting::Token, "stage-2026", "stage-2026"},
        {"STRATA_TOKEN", Setting::Token, "a b;c=d", "",
         "OSC: STRATA_TOKEN is not 8 to 128 letters, digits, dashes, underscores or dots; using a random token"},
        {"STRATA_SCENE_FADE", Setting::SceneFade, "-5", "0",
         "strata: STRATA_SCENE_FADE=-5 is not a time of 0..3600000 ms; scenes cut"},
        {"STRATA_DUMP_FRAMES", Setting::DumpFrames, "90,30,60", "30,60,90"},
        {"STRATA_FOLLOW", Setting::Follow, "leader", "", "follow: STRATA_FOLLOW \"leader\" is not host:port; not following"},
        {"STRATA_FOLLOW_KEEP", Setting::FollowKeep, "7,3", "68"},
        {"STRATA_WARMUP", Setting::Warmup, "Off", "0"},
        {"STRATA_LATENCY_MIDI", Setting::LatencyMidi, "0", "0",
         "strata: STRATA_LATENCY_MIDI=0 is not a count of 1 to 100000; no MIDI is fed"},
        {"STRATA_FOLLOW_KEEP", Setting::FollowKeep, "0,3", "0",
         "follow: STRATA_FOLLOW_KEEP=0,3 is not a list of layers 1..11 such as 3,7; no layer kept"},
        {"STRATA_RESOLUTION", Setting::Resolution, "1920X1080", "1920x1080"},
        {"STRATA_RESOLUTION", Setting::Resolution, "7680x4321", "640x480",
         "strata: STRATA_RESOLUTION=7680x4321 is not WxH from 160x120 to 7680x4320; drawing at 640x480"},
        {"STRATA_RESOLUTION", Setting::Resolution, "159x120", "640x480",
         "strata: STRATA_RESOLUTION=159x120 is not WxH from 160x120 to 7680x4320; drawing at 640x480"},
        {"STRATA_RESOLUTION", Setting::Resolution, "1280x720p", "640x480",
         "strata: STRATA_RESOLUTION=1280x720p is not WxH from 160x120 to 7680x4320; drawing at 640x480"},
        {"STRATA_MSAA", Setting::Msaa, "16", "16"},
        {"STRATA_MSAA", Setting::Msaa, "3", "0", "strata: STRATA_MSAA=3 is not 2, 4, 8 or 16 samples; drawing without"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "=" + c.value);
        const Settings s = Settings::read([&](const char* name) { return name == std::string(c.name) ? c.value : nullptr; });
        EXPECT_EQ(kValue[static_cast<int>(c.setting)](s), c.expected);
        EXPECT_EQ(s.problem(c.setting), c.problem);
        EXPECT_EQ(captureStderr([&] { s.report(c.setting); }), *c.problem ? std::string(c.problem) + "\n" : "");
    }
}
