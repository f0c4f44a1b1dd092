#pragma once
#include <cstdint>
#include <memory>

class ControlTable;

// Moves the whole controller table to a target: at once, or cross-fading the
// float values over a time while the byte values follow them. The entries
// the frame itself writes every frame (sound level and frame time, channel 15
// entries 0 and 1) are never touched. The universe steps a running fade once
// a frame, after the input steps; the arrays are allocated once.
class ControlFade {
public:
    ControlFade();
    ~ControlFade();
    ControlFade(const ControlFade&) = delete;
    ControlFade& operator=(const ControlFade&) = delete;

    // True for the entries the frame owns.
    static bool frameOwned(int index);

    // Starts a move of table to bytes and floats (kEntries each); fadeMillis
    // <= 0 writes the target now and stops a running fade.
    void start(ControlTable& table, const uint8_t* bytes, const float* floats, int fadeMillis);
    // Moves a running fade on by the frame time.
    void step(ControlTable& table, int frameMillis);
    bool running() const { return running_; }

private:
    std::unique_ptr<uint8_t[]> fromBytes_;
    std::unique_ptr<float[]> fromFloats_;
    std::unique_ptr<uint8_t[]> toBytes_;
    std::unique_ptr<float[]> toFloats_;
    bool running_ = false;
    int fadeMillis_ = 0;
    int64_t elapsed_ = 0;
};
