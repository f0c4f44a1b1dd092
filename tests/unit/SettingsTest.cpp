#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

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
const std::function<std::string(const Settings&)> kValue[] = {
    [](const Settings& s) { return s.audio; },
    [](const Settings& s) { return s.midi; },
    [](const Settings& s) { return s.joystick; },
    [](const Settings& s) { return text(s.windowed); },
    [](const Settings& s) { return text(s.desktop); },
    [](const Settings& s) { return s.monitor; },
    [](const Settings& s) { return std::to_string(s.fps); },
    [](const Settings& s) { return text(s.vsync); },
    [](const Settings& s) { return text(s.overlayAtStart); },
    [](const Settings& s) { return text(s.cleanLayers); },
    [](const Settings& s) { return std::to_string(s.imageMemoryMegabytes); },
    [](const Settings& s) { return s.osc; },
    [](const Settings& s) { return s.oscOut; },
    [](const Settings& s) { return std::to_string(s.sceneFadeMillis); },
    [](const Settings& s) { return s.record; },
    [](const Settings& s) { return text(s.dumpFrames); },
    [](const Settings& s) { return s.dumpDirectory; },
    [](const Settings& s) { return s.display; },
    [](const Settings& s) { return s.path; },
    [](const Settings& s) { return s.home; },
    [](const Settings& s) { return s.xdgDataHome; },
};
static_assert(std::size(kValue) == kSettingCount);

}  // namespace

// Every variable: unset (or empty) gives the default, a good value is taken,
// a value that makes no sense keeps the default and leaves its one line,
// which report() prints on standard error.
TEST(Settings, EachVariableTakesItsValuesAndReportsNonsenseInOneLine) {
    const struct {
        const char* name;
        Setting setting;
        const char* value;  // null: unset
        const char* expected;
        const char* problem;
    } cases[] = {
        {"STRATA_AUDIO", Setting::Audio, nullptr, "default", ""},
        {"STRATA_AUDIO", Setting::Audio, "show/song.flac", "show/song.flac", ""},
        {"STRATA_MIDI", Setting::Midi, nullptr, "", ""},
        {"STRATA_MIDI", Setting::Midi, "nano", "nano", ""},
        {"STRATA_JOYSTICK", Setting::Joystick, nullptr, "/dev/input/js0", ""},
        {"STRATA_JOYSTICK", Setting::Joystick, "/dev/input/js1", "/dev/input/js1", ""},
        {"STRATA_WINDOWED", Setting::Windowed, nullptr, "0", ""},
        {"STRATA_WINDOWED", Setting::Windowed, "On", "1", ""},
        {"STRATA_WINDOWED", Setting::Windowed, "yes ", "0", ""},
        {"STRATA_MODE", Setting::Mode, nullptr, "0", ""},
        {"STRATA_MODE", Setting::Mode, "Desktop", "1", ""},
        {"STRATA_MODE", Setting::Mode, "fast", "0",
         "strata: STRATA_MODE=fast is not known (only desktop is); using game mode"},
        {"STRATA_MONITOR", Setting::Monitor, nullptr, "", ""},
        {"STRATA_MONITOR", Setting::Monitor, "HDMI-1", "HDMI-1", ""},
        {"STRATA_FPS", Setting::Fps, nullptr, "0", ""},
        {"STRATA_FPS", Setting::Fps, "", "0", ""},
        {"STRATA_FPS", Setting::Fps, "1000", "1000", ""},
        {"STRATA_FPS", Setting::Fps, "1001", "0",
         "strata: STRATA_FPS=1001 is not a number of frames per second from 1 to 1000; no cap"},
        {"STRATA_FPS", Setting::Fps, "60fps", "0",
         "strata: STRATA_FPS=60fps is not a number of frames per second from 1 to 1000; no cap"},
        {"STRATA_VSYNC", Setting::Vsync, nullptr, "1", ""},
        {"STRATA_VSYNC", Setting::Vsync, "OFF", "0", ""},
        {"STRATA_VSYNC", Setting::Vsync, "of", "1", ""},
        {"STRATA_OVERLAY", Setting::Overlay, nullptr, "1", ""},
        {"STRATA_OVERLAY", Setting::Overlay, "no", "0", ""},
        {"STRATA_CLEAN_LAYERS", Setting::CleanLayers, nullptr, "0", ""},
        {"STRATA_CLEAN_LAYERS", Setting::CleanLayers, "TRUE", "1", ""},
        {"STRATA_CLEAN_LAYERS", Setting::CleanLayers, "2", "0", ""},
        {"STRATA_IMAGE_MEMORY_MB", Setting::ImageMemory, nullptr, "512", ""},
        {"STRATA_IMAGE_MEMORY_MB", Setting::ImageMemory, "1048576", "1048576", ""},
        {"STRATA_IMAGE_MEMORY_MB", Setting::ImageMemory, "0", "512",
         "STRATA_IMAGE_MEMORY_MB=0 is not a number of megabytes from 1 to 1048576: using 512"},
        {"STRATA_OSC", Setting::Osc, nullptr, "127.0.0.1:9000", ""},
        {"STRATA_OSC", Setting::Osc, ":9100", ":9100", ""},
        {"STRATA_OSC", Setting::Osc, "off", "", ""},
        {"STRATA_OSC", Setting::Osc, "9000", "", "OSC: STRATA_OSC \"9000\" is not host:port; running without OSC"},
        {"STRATA_OSC", Setting::Osc, "host:70000", "", "OSC: STRATA_OSC port 70000 is beyond 65535; running without OSC"},
        {"STRATA_OSC_OUT", Setting::OscOut, nullptr, "", ""},
        {"STRATA_OSC_OUT", Setting::OscOut, "mixer:9001", "mixer:9001", ""},
        {"STRATA_OSC_OUT", Setting::OscOut, "off", "", ""},
        {"STRATA_OSC_OUT", Setting::OscOut, "mixer:", "", "OSC: STRATA_OSC_OUT \"mixer:\" is not host:port; no OSC output"},
        {"STRATA_SCENE_FADE", Setting::SceneFade, nullptr, "0", ""},
        {"STRATA_SCENE_FADE", Setting::SceneFade, "3600000", "3600000", ""},
        {"STRATA_SCENE_FADE", Setting::SceneFade, "-5", "0",
         "strata: STRATA_SCENE_FADE=-5 is not a time of 0..3600000 ms; scenes cut"},
        {"STRATA_RECORD", Setting::Record, nullptr, "", ""},
        {"STRATA_RECORD", Setting::Record, "takes/one", "takes/one", ""},
        {"STRATA_DUMP_FRAMES", Setting::DumpFrames, nullptr, "", ""},
        {"STRATA_DUMP_FRAMES", Setting::DumpFrames, "90,30,60", "30,60,90", ""},
        {"STRATA_DUMP_FRAMES", Setting::DumpFrames, "30,,60", "",
         "strata: STRATA_DUMP_FRAMES=30,,60 is not a list of frame numbers such as 30,60,90; no frames are dumped"},
        {"STRATA_DUMP_DIR", Setting::DumpDirectory, nullptr, ".", ""},
        {"STRATA_DUMP_DIR", Setting::DumpDirectory, "shots", "shots", ""},
        {"DISPLAY", Setting::Display, nullptr, "", ""},
        {"DISPLAY", Setting::Display, ":99", ":99", ""},
        {"PATH", Setting::Path, nullptr, "/usr/local/bin:/usr/bin:/bin", ""},
        {"PATH", Setting::Path, "/opt/bin", "/opt/bin", ""},
        {"HOME", Setting::Home, nullptr, "", ""},
        {"HOME", Setting::Home, "/home/player", "/home/player", ""},
        {"XDG_DATA_HOME", Setting::XdgDataHome, nullptr, "", ""},
        {"XDG_DATA_HOME", Setting::XdgDataHome, "/data", "/data", ""},
    };
    std::set<int> covered;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "=" + (c.value ? c.value : "(unset)"));
        const Settings s = Settings::read([&](const char* name) { return name == std::string(c.name) ? c.value : nullptr; });
        EXPECT_EQ(kValue[static_cast<int>(c.setting)](s), c.expected);
        EXPECT_EQ(s.problem(c.setting), c.problem);
        testing::internal::CaptureStderr();
        s.report(c.setting);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), *c.problem ? std::string(c.problem) + "\n" : "");
        covered.insert(static_cast<int>(c.setting));
    }
    EXPECT_EQ(covered.size(), static_cast<size_t>(kSettingCount));
}
