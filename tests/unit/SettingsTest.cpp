#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/Settings.h"

namespace {

std::string text(bool on) { return on ? "1" : "0"; }

std::string text(const std::vector<int>& frames) {
    std::string out;
    for (int f : frames) {
        if (!out.empty()) out += ',';
        out += std::to_string(f);
    }
    return out;
}

// Each setting's value as text, in the order of the enumeration.
#define V(value) [](const Settings& s) { return value; }
const std::function<std::string(const Settings&)> kValue[] = {
    V(s.audio), V(s.midi), V(s.joystick), V(text(s.windowed)), V(text(s.desktop)), V(s.monitor),
    V(std::to_string(s.fps)), V(text(s.vsync)), V(text(s.overlayAtStart)), V(text(s.cleanLayers)),
    V(std::to_string(s.imageMemoryMegabytes)), V(s.osc), V(s.oscOut), V(std::to_string(s.sceneFadeMillis)),
    V(s.record), V(text(s.dumpFrames)), V(s.dumpDirectory), V(s.display), V(s.path), V(s.home), V(s.xdgDataHome),
};
#undef V
static_assert(std::size(kValue) == kSettingCount);

}  // namespace

// Every variable: unset (or empty) gives the default, a good value is taken,
// a value that makes no sense keeps the default and leaves its one line,
// which report() prints on standard error.
TEST(Settings, EachVariableTakesItsValuesAndReportsNonsenseInOneLine) {
    struct Value {
        const char* value;  // null: unset
        const char* expected;
        const char* problem = "";
    };
    const struct {
        const char* name;
        Setting setting;
        std::vector<Value> values;
    } cases[] = {
        {"STRATA_AUDIO", Setting::Audio, {{nullptr, "default"}, {"show/song.flac", "show/song.flac"}}},
        {"STRATA_MIDI", Setting::Midi, {{nullptr, ""}, {"nano", "nano"}}},
        {"STRATA_JOYSTICK", Setting::Joystick, {{nullptr, "/dev/input/js0"}, {"/dev/input/js1", "/dev/input/js1"}}},
        {"STRATA_WINDOWED", Setting::Windowed, {{nullptr, "0"}, {"On", "1"}, {"yes ", "0"}}},
        {"STRATA_MODE", Setting::Mode, {{nullptr, "0"}, {"Desktop", "1"},
          {"fast", "0", "strata: STRATA_MODE=fast is not known (only desktop is); using game mode"}}},
        {"STRATA_MONITOR", Setting::Monitor, {{nullptr, ""}, {"HDMI-1", "HDMI-1"}}},
        {"STRATA_FPS", Setting::Fps, {{nullptr, "0"}, {"", "0"}, {"1000", "1000"},
          {"1001", "0", "strata: STRATA_FPS=1001 is not a number of frames per second from 1 to 1000; no cap"},
          {"60fps", "0", "strata: STRATA_FPS=60fps is not a number of frames per second from 1 to 1000; no cap"}}},
        {"STRATA_VSYNC", Setting::Vsync, {{nullptr, "1"}, {"OFF", "0"}, {"of", "1"}}},
        {"STRATA_OVERLAY", Setting::Overlay, {{nullptr, "1"}, {"no", "0"}}},
        {"STRATA_CLEAN_LAYERS", Setting::CleanLayers, {{nullptr, "0"}, {"TRUE", "1"}, {"2", "0"}}},
        {"STRATA_IMAGE_MEMORY_MB", Setting::ImageMemory, {{nullptr, "512"}, {"1048576", "1048576"},
          {"0", "512", "STRATA_IMAGE_MEMORY_MB=0 is not a number of megabytes from 1 to 1048576: using 512"}}},
        {"STRATA_OSC", Setting::Osc, {{nullptr, "127.0.0.1:9000"}, {":9100", ":9100"}, {"off", ""},
          {"9000", "", "OSC: STRATA_OSC \"9000\" is not host:port; running without OSC"},
          {"host:70000", "", "OSC: STRATA_OSC port 70000 is beyond 65535; running without OSC"}}},
        {"STRATA_OSC_OUT", Setting::OscOut, {{nullptr, ""}, {"mixer:9001", "mixer:9001"}, {"off", ""},
          {"mixer:", "", "OSC: STRATA_OSC_OUT \"mixer:\" is not host:port; no OSC output"}}},
        {"STRATA_SCENE_FADE", Setting::SceneFade, {{nullptr, "0"}, {"3600000", "3600000"},
          {"-5", "0", "strata: STRATA_SCENE_FADE=-5 is not a time of 0..3600000 ms; scenes cut"}}},
        {"STRATA_RECORD", Setting::Record, {{nullptr, ""}, {"takes/one", "takes/one"}}},
        {"STRATA_DUMP_FRAMES", Setting::DumpFrames, {{nullptr, ""}, {"90,30,60", "30,60,90"},
          {"30,,60", "", "strata: STRATA_DUMP_FRAMES=30,,60 is not a list of frame numbers such as 30,60,90; no "
                         "frames are dumped"}}},
        {"STRATA_DUMP_DIR", Setting::DumpDirectory, {{nullptr, "."}, {"shots", "shots"}}},
        {"DISPLAY", Setting::Display, {{nullptr, ""}, {":99", ":99"}}},
        {"PATH", Setting::Path, {{nullptr, "/usr/local/bin:/usr/bin:/bin"}, {"/opt/bin", "/opt/bin"}}},
        {"HOME", Setting::Home, {{nullptr, ""}, {"/home/player", "/home/player"}}},
        {"XDG_DATA_HOME", Setting::XdgDataHome, {{nullptr, ""}, {"/data", "/data"}}},
    };
    std::set<int> covered;
    for (const auto& c : cases) {
        for (const Value& v : c.values) {
            SCOPED_TRACE(std::string(c.name) + "=" + (v.value ? v.value : "(unset)"));
            const Settings s = Settings::read([&](const char* name) { return name == std::string(c.name) ? v.value : nullptr; });
            EXPECT_EQ(kValue[static_cast<int>(c.setting)](s), v.expected);
            EXPECT_EQ(s.problem(c.setting), v.problem);
            testing::internal::CaptureStderr();
            s.report(c.setting);
            EXPECT_EQ(testing::internal::GetCapturedStderr(), *v.problem ? std::string(v.problem) + "\n" : "");
        }
        covered.insert(static_cast<int>(c.setting));
    }
    EXPECT_EQ(covered.size(), static_cast<size_t>(kSettingCount));
}
