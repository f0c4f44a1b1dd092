#pragma once
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

// What the live program measures beside the bus (the operator's frame
// figures and device lines), handed to the bus once a frame. Plain fields
// and fixed arrays: copying it never allocates.
struct LiveFigures {
    static constexpr int kDeviceChars = 64;
    float fps = 0.0f;            // frames in the last whole second
    float slowestMillis = 0.0f;  // the slowest frame of that second
    char midi[kDeviceChars] = "";
    char sound[kDeviceChars] = "";
    char joystick[kDeviceChars] = "";
};

// What the network threads may know of the instrument: copied by the frame
// thread once per frame, read by the OSCQuery and OSC output threads. The
// controller table itself is never read off the frame thread.
struct ControlSnapshot {
    static constexpr int kLayers = 11;
    struct Layer {
        float opacity = 0.0f;  // 0..1, as written, also while the layer is hidden
        bool shown = false;    // drawn (controller 7's byte above 10)
        int module = 0;
        int imageSet = -1;     // -1: the reactor holds no set of the list
    };
    float level = 0.0f;
    int selected = 1;  // 1..16, as F1..F12 number them
    float trail = 0.5f;
    bool midi = false;
    bool joystick = false;
    bool help = false;
    int learn = 0;  // ControlBus::LearnState as a number: 0 off, 1 waits for a control, 2 for a key
    int sceneFadeMillis = 0;
    int moduleCount = 0;
    int imageSetCount = 0;
    Layer layers[kLayers];
    // Musical time: the clock's tempo and beat phase, the detected tempo (0:
    // none) and who leads the clock (ClockSource as a number).
    float tempo = 0.0f;
    float detectedTempo = 0.0f;
    float beatPhase = 0.0f;
    int clockSource = 0;
    int linkPeers = -1;  // peers in the Link session; -1: Link is off
    // The sound analysis' three band energies 0..1 (below 200 Hz, to 2 kHz, above).
    float low = 0.0f;
    float mid = 0.0f;
    float high = 0.0f;
    LiveFigures live;
    // The output mapping's corners (x, y of top-left, top-right,
    // bottom-right, bottom-left in 0..1 of the letterbox).
    float outputCorners[8] = {0, 0, 1, 0, 1, 1, 0, 1};
};

// The names the stage gave at start-up: the modules as modules.db lists
// them and the image sets by their folders. Set before any network thread
// starts and never changed after, so its readers need no handoff.
struct ControlCatalogue {
    std::vector<std::string> modules;
    std::vector<std::string> imageSets;
};

// The handoff of the snapshot from the frame thread (the one writer) to any
// number of network threads: a sequence lock. The writer never waits: it
// makes the count odd, writes the words and makes it even again. A reader
// copies the words and tries again when the count was odd or moved while it
// copied. The words are atomics (read and written relaxed), so a torn copy is
// detected and thrown away rather than being a data race.
class ControlSnapshotBox {
public:
    ControlSnapshotBox() { store(ControlSnapshot{}); }

    // Frame thread only.
    void store(const ControlSnapshot& snapshot) {
        uint64_t words[kWords] = {};
        std::memcpy(words, &snapshot, sizeof snapshot);
        const uint32_t sequence = sequence_.load(std::memory_order_relaxed);
        sequence_.store(sequence + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        for (size_t i = 0; i < kWords; ++i) words_[i].store(words[i], std::memory_order_relaxed);
        sequence_.store(sequence + 2, std::memory_order_release);
    }

    // Any thread.
    ControlSnapshot load() const {
        uint64_t words[kWords];
        for (int attempt = 0;; ++attempt) {
            const uint32_t before = sequence_.load(std::memory_order_acquire);
            if ((before & 1u) == 0) {
                for (size_t i = 0; i < kWords; ++i) words[i] = words_[i].load(std::memory_order_relaxed);
                std::atomic_thread_fence(std::memory_order_acquire);
                if (sequence_.load(std::memory_order_relaxed) == before) break;
            }
            if (attempt >= 64) std::this_thread::yield();  // the writer was preempted mid-copy
        }
        ControlSnapshot snapshot;
        std::memcpy(&snapshot, words, sizeof snapshot);
        return snapshot;
    }

    void setCatalogue(ControlCatalogue catalogue) { catalogue_ = std::move(catalogue); }
    const ControlCatalogue& catalogue() const { return catalogue_; }

private:
    static_assert(std::is_trivially_copyable_v<ControlSnapshot>);
    static constexpr size_t kWords = (sizeof(ControlSnapshot) + 7) / 8;
    std::atomic<uint32_t> sequence_{0};
    std::atomic<uint64_t> words_[kWords];
    ControlCatalogue catalogue_;
};
