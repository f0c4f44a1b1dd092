#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/ControlTable.h"

class qelUnivCell;

// The whole look of the instrument: every controller's byte and float value
// (the trail, channel 11 entry 19, among them), each cell's module and image
// set, and the selected channel.
struct Scene {
    static constexpr int kCells = 11;

    uint8_t bytes[ControlTable::kEntries];
    float floats[ControlTable::kEntries];
    int selectedChannel = 0;
    bool described[kCells] = {};  // cells the scene names (the rest are left alone)
    int module[kCells] = {};      // reactor index of each cell
    int imageSet[kCells] = {};    // position in the image sets, -1: none
};

// Stores and recalls scenes as readable text files scenes/NN.scene under the
// working directory. Storing replaces the file atomically; recalling a
// missing or malformed file changes nothing and prints one line on standard
// error naming the file (and the line). Cells whose module differs are
// rebuilt at once; the float values cross-fade over the fade time (0: cut)
// and the byte values follow them. This is the one entry point for every
// writer that stores or recalls scenes (keys, show scripts, remote control).
class SceneBank {
public:
    static constexpr int kFirst = 1;
    static constexpr int kLast = 99;
    // A scene file is read only when it is a regular file of at most this
    // size (the largest scene, every controller listed, is about 600 KB; a
    // usual one a few kilobytes), with lines of at most kMaxLineChars.
    static constexpr size_t kMaxFileBytes = 1 << 20;
    static constexpr size_t kMaxLineChars = 200;

    // The fade time comes from STRATA_SCENE_FADE (milliseconds, default 0).
    explicit SceneBank(qelUnivCell& universe);
    ~SceneBank();
    SceneBank(const SceneBank&) = delete;
    SceneBank& operator=(const SceneBank&) = delete;

    // Where scene n lives: scenes/NN.scene under the working directory, or
    // under the user's data directory when the working directory is
    // read-only (userFilePath).
    static std::string scenePath(int n);

    // Captures the look at once; the file is written by the writer thread
    // (platform/FileWriter), which says in one line when it is stored or why
    // not. A recall before that takes the captured text.
    bool storeScene(int n);
    bool recallScene(int n);
    // A scene file by name; fadeMillis < 0 takes the default fade.
    bool recallFile(const std::string& path, int fadeMillis);
    bool storeFile(const std::string& path);
    // A scene given as its text (another machine's, name for messages),
    // recalled as recallFile does. The channels set in keepChannels (bit c:
    // channel c) stay as they are: their controllers, and the module and
    // image set of their cells.
    bool recallText(const std::string& name, std::string_view text, int fadeMillis, uint32_t keepChannels = 0);

    int defaultFadeMillis() const { return defaultFade_; }
    void setDefaultFadeMillis(int millis) { defaultFade_ = millis > 0 ? millis : 0; }

    // The universe's scene as file text, and file text back to a scene
    // (checked against the universe's modules and image sets). On failure
    // error is "<name>:<line>: <what>".
    std::string capture() const;
    bool parse(std::string_view text, const std::string& name, Scene& scene, std::string& error) const;

private:
    void apply(const Scene& scene, int fadeMillis);
    void forgetWritten();  // drops the stores the writer has done

    struct PendingStore {
        std::string path;
        std::string text;
        uint64_t ticket;
    };
    std::vector<PendingStore> pending_;  // stores handed to the writer, oldest first

    qelUnivCell& universe_;
    std::unique_ptr<Scene> parsed_;  // a file read, before it is known good
    int defaultFade_ = 0;
};
