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
#include "platform/FileWriter.h"
#include "platform/Numbers.h"
#include "platform/RegularFile.h"
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
    // The disk work goes to the writer thread; until it is done, a recall
    // of this scene takes the text kept here.
    const std::string path = scenePath(n);
    std::string text = capture();
    const uint64_t ticket = fileWriter().write(path, text, "strata: scene stored in " + path, "strata: scene not stored: ");
    forgetWritten();
    pending_.push_back({path, std::move(text), ticket});
    return true;
}

void SceneBank::forgetWritten() {
    const uint64_t done = fileWriter().completed();
    std::erase_if(pending_, [done](const PendingStore& p) { return p.ticket <= done; });
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

namespace {

// A scene file's text, read only from a regular file of at most
// SceneBank::kMaxFileBytes: a FIFO, a device (a link to /dev/zero), a
// directory or a huge file is refused at once with one line. False after
// that line.
bool readSceneFile(const std::string& path, std::string& text) {
    switch (readSmallFile(path.c_str(), SceneBank::kMaxFileBytes, text)) {
        case SmallFile::Read: return true;
        case SmallFile::Refused: return false;  // its line said why
        case SmallFile::Missing:
            std::fprintf(stderr, "strata: %s: no scene there (%s); nothing changed\n", path.c_str(),
                         std::strerror(errno));
            return false;
        case SmallFile::TooBig:
            std::fprintf(stderr, "strata: %s: more than %zu bytes, too big for a scene; nothing changed\n",
                         path.c_str(), SceneBank::kMaxFileBytes);
            return false;
    }
    return false;
}

}  // namespace

bool SceneBank::recallFile(const std::string& path, int fadeMillis) {
    std::string text;
    forgetWritten();
    const auto stored = std::find_if(pending_.rbegin(), pending_.rend(),
                                     [&path](const PendingStore& p) { return p.path == path; });
    if (stored != pending_.rend())
        text = stored->text;
    else if (!readSceneFile(path, text))
        return false;
    return recallText(path, text, fadeMillis);
}

bool SceneBank::recallText(const std::string& name, std::string_view text, int fadeMillis, uint32_t keepChannels) {
    std::string error;
    if (!parse(text, name, *parsed_, error)) {
        std::fprintf(stderr, "strata: %s; nothing changed\n", error.c_str());
        return false;
    }
    Scene& scene = *parsed_;
    const ControlTable& table = *universe_.controls;
    for (int c = 0; c < ControlTable::kChannels; ++c) {
        if (!(keepChannels >> c & 1u)) continue;
        if (c < Scene::kCells) scene.described[c] = false;
        const int first = ControlTable::indexOf(c, 0, 0);
        std::copy_n(table.byteValue + first, ControlTable::kControllers, scene.bytes + first);
        std::copy_n(table.floatValue + first, ControlTable::kControllers, scene.floats + first);
    }
    const int fade = fadeMillis < 0 ? defaultFade_ : fadeMillis;
    std::fprintf(stderr, "strata: scene recalled from %s (fade %d ms)\n", name.c_str(), fade);
    if (universe_.observer) universe_.observer->sceneRecalled(name.c_str(), fade, std::string(text));
    apply(scene, fade);
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

namespace {

// A scene's numbers are decimal, with a sign allowed, at most 11 characters.
constexpr WholeNumberForm kSceneNumber = {.hexadecimal = false, .plus = true, .maxLength = 11};

// A word as a message quotes it: at most a few dozen characters.
std::string quote(const std::string& word) {
    constexpr size_t kShown = 32;
    return "'" + (word.size() <= kShown ? word : word.substr(0, kShown) + "...") + "'";
}

// Everything starts as the start-up table has it, on the selected channel,
// with no cell described.
void startFromTable(Scene& scene, int selectedChannel) {
    for (int i = 0; i < ControlTable::kEntries; ++i) {
        scene.bytes[i] = startByte(i);
        scene.floats[i] = 0.0f;
    }
    scene.selectedChannel = selectedChannel;
    for (bool& described : scene.described) described = false;
}

// The blank-separated words of a line, up to a word that begins with '#'.
void splitSceneWords(std::string_view line, std::vector<std::string>& words) {
    words.clear();
    std::istringstream text{std::string(line)};
    for (std::string word; text >> word;) {
        if (word[0] == '#') break;
        words.push_back(word);
    }
}

// What a scene may name: the universe's cells, modules and image sets.
struct SceneLimits {
    int cells;
    int modules;
    int imageSets;
};

using Words = std::vector<std::string>;

// The readers of the lines after the header: each says what was wrong, or
// nothing.
std::string readSelected(const Words& tokens, Scene& scene) {
    long channel = 0;
    if (tokens.size() != 2 || !parseWholeNumber(tokens[1], 0, ControlTable::kChannels - 1, channel, kSceneNumber))
        return "expected 'selected <channel 0..15>'";
    scene.selectedChannel = static_cast<int>(channel);
    return {};
}

std::string readCell(const Words& tokens, const SceneLimits& limits, Scene& scene) {
    if (tokens.size() != 4) return "expected 'cell <index> <module> <image set>'";
    long cell = 0, module = 0, imageSet = 0;
    if (!parseWholeNumber(tokens[1], 0, std::min(limits.cells, Scene::kCells) - 1, cell, kSceneNumber))
        return "expected a cell 0.." + std::to_string(limits.cells - 1) + ", found " + quote(tokens[1]);
    if (!parseWholeNumber(tokens[2], 0, limits.modules - 1, module, kSceneNumber))
        return "module " + quote(tokens[2]) + " is not in modules.db (0.." + std::to_string(limits.modules - 1) + ")";
    if (!parseWholeNumber(tokens[3], -1, limits.imageSets - 1, imageSet, kSceneNumber))
        return "image set " + quote(tokens[3]) + " does not exist (-1.." + std::to_string(limits.imageSets - 1) + ")";
    if (scene.described[cell]) return "cell " + tokens[1] + " described twice";
    scene.described[cell] = true;
    scene.module[cell] = static_cast<int>(module);
    scene.imageSet[cell] = static_cast<int>(imageSet);
    return {};
}

std::string readValue(const Words& tokens, Scene& scene) {
    if (tokens.size() != 5) return "expected 'value <channel> <controller> <byte> <float>'";
    long channel = 0, controller = 0, byte = 0;
    float value = 0.0f;
    if (!parseWholeNumber(tokens[1], 0, ControlTable::kChannels - 1, channel, kSceneNumber))
        return "expected a channel 0..15, found " + quote(tokens[1]);
    if (!parseWholeNumber(tokens[2], 0, ControlTable::kControllers - 1, controller, kSceneNumber))
        return "expected a controller 0..1023, found " + quote(tokens[2]);
    if (!parseWholeNumber(tokens[3], 0, 255, byte, kSceneNumber)) return "expected a byte 0..255, found " + quote(tokens[3]);
    if (!parseFloatNumber(tokens[4], value)) return "expected a float value, found " + quote(tokens[4]);
    const int index = ControlTable::indexOf(static_cast<int>(channel), 0, static_cast<int>(controller));
    scene.bytes[index] = static_cast<uint8_t>(byte);
    scene.floats[index] = value;
    return {};
}

std::string readSceneLine(const Words& tokens, const SceneLimits& limits, Scene& scene) {
    const std::string& kind = tokens[0];
    if (kind == "selected") return readSelected(tokens, scene);
    if (kind == "cell") return readCell(tokens, limits, scene);
    if (kind == "value") return readValue(tokens, scene);
    return "expected selected, cell or value, found " + quote(kind);
}

}  // namespace

bool SceneBank::parse(std::string_view text, const std::string& name, Scene& scene, std::string& error) const {
    startFromTable(scene, universe_.currentChannel);
    const SceneLimits limits = {universe_.cellCount, universe_.moduleCount, universe_.imageSetCount};
    bool headerSeen = false;
    int number = 0;
    size_t start = 0;
    std::vector<std::string> tokens;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        ++number;
        if (end - start > kMaxLineChars) {
            error = name + ":" + std::to_string(number) + ": a line longer than " + std::to_string(kMaxLineChars) +
                    " characters";
            return false;
        }
        splitSceneWords(text.substr(start, end - start), tokens);
        start = end + 1;
        if (tokens.empty()) continue;
        std::string wrong;
        if (headerSeen)
            wrong = readSceneLine(tokens, limits, scene);
        else if (tokens.size() != 2 || tokens[0] + " " + tokens[1] != kHeader)
            wrong = std::string("expected '") + kHeader + "' first";
        headerSeen = true;
        if (!wrong.empty()) {
            error = name + ":" + std::to_string(number) + ": " + wrong;
            return false;
        }
    }
    if (!headerSeen) {
        error = name + ":1: empty; expected '" + std::string(kHeader) + "' first";
        return false;
    }
    return true;
}
