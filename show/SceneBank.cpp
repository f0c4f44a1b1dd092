#include "show/SceneBank.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "app/ControlFade.h"
#include "app/FrameObserver.h"
#include "app/qelUnivCell.h"
#include "platform/AtomicFile.h"
#include "platform/Settings.h"
#include "platform/UserFiles.h"
#include "reactor/Reactor.h"
#include "reactor/qelCell.h"

namespace {

constexpr const char* kHeader = "strata-scene 1";

// The frame's own measurements (sound level, frame time) are written anew
// every frame: a scene neither keeps nor restores them.
bool frameOwned(int index) { return ControlFade::frameOwned(index); }

uint8_t startByte(int index) { return index % ControlTable::kControllers == 7 ? 0 : 63; }

int fadeFromSettings() {
    settings().report(Setting::SceneFade);
    return settings().sceneFadeMillis;
}

bool wholeNumber(const std::string& token, long low, long high, long& value) {
    if (token.empty() || token.size() > 11) return false;
    char* end = nullptr;
    const long v = std::strtol(token.c_str(), &end, 10);
    if (*end != '\0' || v < low || v > high) return false;
    value = v;
    return true;
}

}  // namespace

SceneBank::SceneBank(qelUnivCell& universe)
    : universe_(universe),
      parsed_(std::make_unique<Scene>()),
      defaultFade_(fadeFromSettings()) {}

SceneBank::~SceneBank() = default;

std::string SceneBank::scenePath(int n) {
    char name[32];
    std::snprintf(name, sizeof name, "scenes/%02d.scene", n);
    return userFilePath(name).string();
}

bool SceneBank::storeScene(int n) {
    if (n < kFirst || n > kLast) return false;
    std::error_code ec;
    std::filesystem::create_directories("scenes", ec);
    return storeFile(scenePath(n));
}

bool SceneBank::storeFile(const std::string& path) {
    std::string error;
    if (!writeFileAtomically(path, capture(), error)) {
        std::fprintf(stderr, "strata: scene not stored: %s\n", error.c_str());
        return false;
    }
    std::fprintf(stderr, "strata: scene stored in %s\n", path.c_str());
    return true;
}

bool SceneBank::recallScene(int n) {
    if (n < kFirst || n > kLast) return false;
    return recallFile(scenePath(n), -1);
}

bool SceneBank::recallFile(const std::string& path, int fadeMillis) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "strata: %s: no scene there (%s); nothing changed\n", path.c_str(), std::strerror(errno));
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::string error;
    if (!parse(text.str(), path, *parsed_, error)) {
        std::fprintf(stderr, "strata: %s; nothing changed\n", error.c_str());
        return false;
    }
    const int fade = fadeMillis < 0 ? defaultFade_ : fadeMillis;
    std::fprintf(stderr, "strata: scene recalled from %s (fade %d ms)\n", path.c_str(), fade);
    if (universe_.observer) universe_.observer->sceneRecalled(path.c_str(), fade);
    apply(*parsed_, fade);
    return true;
}

void SceneBank::apply(const Scene& scene, int fadeMillis) {
    for (int i = 0; i < Scene::kCells && i < universe_.cellCount; ++i) {
        qelCell* cell = universe_.cells[i].get();
        if (!cell || !scene.described[i]) continue;
        // Only a cell whose module differs is rebuilt.
        if (cell->reactorIndex != scene.module[i] || !cell->reactor(0)) universe_.setModule(i, scene.module[i]);
        if (scene.imageSet[i] >= 0) universe_.setImageSet(i, scene.imageSet[i]);
    }
    universe_.select(scene.selectedChannel);

    universe_.fade->start(*universe_.controls, scene.bytes, scene.floats, fadeMillis);
}

std::string SceneBank::capture() const {
    const ControlTable& table = *universe_.controls;
    std::string text;
    text.reserve(8192);
    char line[96];
    text += "# A scene of the instrument: the selected channel, each cell's module and\n"
            "# image set, and every controller value that differs from the start-up\n"
            "# table (byte 63, float 0; byte 0 for controller 7); all others return to it.\n"
            "# The layers (controller 7 of channels 0..10) and the trail (channel 11,\n"
            "# controller 19) are always listed.\n";
    text += kHeader;
    text += '\n';
    std::snprintf(line, sizeof line, "selected %d\n", universe_.currentChannel);
    text += line;
    text += "# cell <index> <module> <image set>\n";
    for (int i = 0; i < universe_.cellCount && i < Scene::kCells; ++i) {
        const qelCell* cell = universe_.cells[i].get();
        std::snprintf(line, sizeof line, "cell %d %d %d\n", i, cell ? cell->reactorIndex : 0, universe_.imageSetOf(i));
        text += line;
    }
    text += "# value <channel> <controller> <byte> <float>\n";
    for (int i = 0; i < ControlTable::kEntries; ++i) {
        if (frameOwned(i)) continue;
        const int channel = i / ControlTable::kControllers;
        const int controller = i % ControlTable::kControllers;
        const bool always = (controller == 7 && channel < Scene::kCells) ||
                            (channel == qelUnivCell::kTrailChannel && controller == qelUnivCell::kTrailEntry);
        if (!always && table.byteValue[i] == startByte(i) && table.floatValue[i] == 0.0f &&
            !std::signbit(table.floatValue[i]))
            continue;
        std::snprintf(line, sizeof line, "value %d %d %d %.9g\n", channel, controller, table.byteValue[i],
                      static_cast<double>(table.floatValue[i]));
        text += line;
    }
    return text;
}

bool SceneBank::parse(std::string_view text, const std::string& name, Scene& scene, std::string& error) const {
    for (int i = 0; i < ControlTable::kEntries; ++i) {
        scene.bytes[i] = startByte(i);
        scene.floats[i] = 0.0f;
    }
    scene.selectedChannel = universe_.currentChannel;
    bool* cellSeen = scene.described;
    for (int i = 0; i < Scene::kCells; ++i) cellSeen[i] = false;
    bool headerSeen = false;

    int number = 0;
    size_t start = 0;
    std::vector<std::string> tokens;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        auto fail = [&](const std::string& what) {
            error = name + ":" + std::to_string(number) + ": " + what;
            return false;
        };
        tokens.clear();
        std::istringstream words{std::string(line)};
        for (std::string word; words >> word;) {
            if (word[0] == '#') break;
            tokens.push_back(word);
        }
        if (tokens.empty()) continue;
        if (!headerSeen) {
            if (tokens.size() != 2 || tokens[0] + " " + tokens[1] != kHeader)
                return fail(std::string("expected '") + kHeader + "' first");
            headerSeen = true;
            continue;
        }
        long a = 0, b = 0, c = 0;
        const std::string& kind = tokens[0];
        if (kind == "selected") {
            if (tokens.size() != 2 || !wholeNumber(tokens[1], 0, ControlTable::kChannels - 1, a))
                return fail("expected 'selected <channel 0..15>'");
            scene.selectedChannel = static_cast<int>(a);
        } else if (kind == "cell") {
            if (tokens.size() != 4) return fail("expected 'cell <index> <module> <image set>'");
            if (!wholeNumber(tokens[1], 0, std::min(universe_.cellCount, Scene::kCells) - 1, a))
                return fail("expected a cell 0.." + std::to_string(universe_.cellCount - 1) + ", found '" + tokens[1] +
                            "'");
            if (!wholeNumber(tokens[2], 0, universe_.moduleCount - 1, b))
                return fail("module '" + tokens[2] + "' is not in modules.db (0.." +
                            std::to_string(universe_.moduleCount - 1) + ")");
            if (!wholeNumber(tokens[3], -1, universe_.imageSetCount - 1, c))
                return fail("image set '" + tokens[3] + "' does not exist (-1.." +
                            std::to_string(universe_.imageSetCount - 1) + ")");
            if (cellSeen[a]) return fail("cell " + tokens[1] + " described twice");
            cellSeen[a] = true;
            scene.module[a] = static_cast<int>(b);
            scene.imageSet[a] = static_cast<int>(c);
        } else if (kind == "value") {
            if (tokens.size() != 5) return fail("expected 'value <channel> <controller> <byte> <float>'");
            if (!wholeNumber(tokens[1], 0, ControlTable::kChannels - 1, a))
                return fail("expected a channel 0..15, found '" + tokens[1] + "'");
            if (!wholeNumber(tokens[2], 0, ControlTable::kControllers - 1, b))
                return fail("expected a controller 0..1023, found '" + tokens[2] + "'");
            if (!wholeNumber(tokens[3], 0, 255, c)) return fail("expected a byte 0..255, found '" + tokens[3] + "'");
            char* end = nullptr;
            const float v = std::strtof(tokens[4].c_str(), &end);
            if (*end != '\0' || !std::isfinite(v)) return fail("expected a float value, found '" + tokens[4] + "'");
            const int index = ControlTable::indexOf(static_cast<int>(a), 0, static_cast<int>(b));
            scene.bytes[index] = static_cast<uint8_t>(c);
            scene.floats[index] = v;
        } else {
            return fail("expected selected, cell or value, found '" + kind + "'");
        }
    }
    if (!headerSeen) {
        error = name + ":1: empty; expected '" + std::string(kHeader) + "' first";
        return false;
    }
    return true;
}
