#pragma once
#include <mutex>

// What the network threads may know of the instrument: copied by the frame
// thread once per frame, read by the OSCQuery and OSC output threads. The
// controller table itself is never read off the frame thread.
struct ControlSnapshot {
    static constexpr int kLayers = 11;
    struct Layer {
        float opacity = 0.0f;  // 0..1
        int module = 0;
        int imageSet = -1;     // -1: the reactor holds no set of the list
    };
    float level = 0.0f;
    int selected = 1;  // 1..16, as F1..F12 number them
    float trail = 0.5f;
    bool midi = false;
    bool joystick = false;
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
};

class ControlSnapshotBox {
public:
    void store(const ControlSnapshot& snapshot) {
        std::lock_guard<std::mutex> guard(lock_);
        snapshot_ = snapshot;
    }
    ControlSnapshot load() const {
        std::lock_guard<std::mutex> guard(lock_);
        return snapshot_;
    }

private:
    mutable std::mutex lock_;
    ControlSnapshot snapshot_;
};
