#pragma once
#include <atomic>
#include <cstdint>

// Follows a MIDI clock leader (a drum machine, a DAW): 24 timing pulses per
// quarter note, Start, Stop, Continue and Song Position Pointer. The MIDI
// thread hands it every system real-time and song-position message with its
// arrival time; the frame reads the tempo and the beat position without
// waiting (a sequence counter guards the published figures, never a lock).
//
// The tempo is the least-squares slope of the last pulses' arrival times
// (up to two bars of them), so a leader's jitter of a few milliseconds moves
// it by a fraction of a BPM; a pause of more than half a second between
// pulses starts the estimate afresh (the leader changed or stopped sending).
class MidiClock {
public:
    static constexpr int kPulsesPerBeat = 24;
    static constexpr int kWindow = 192;  // pulses kept for the estimate: two bars of 4/4

    struct Reading {
        bool running = false;  // between Start/Continue and Stop
        bool locked = false;   // enough pulses (a beat) for a tempo
        double bpm = 0.0;      // 0 until locked
        double beats = 0.0;    // beats since Start (Song Position included), between pulses interpolated
        double beatPhase() const { return beats - static_cast<int64_t>(beats); }
    };

    // One message from the MIDI thread: status 0xF8 (pulse), 0xFA (Start),
    // 0xFB (Continue), 0xFC (Stop) or 0xF2 (Song Position: data in 16ths,
    // 14 bits); anything else is ignored. seconds: arrival on a monotonic clock.
    void receive(uint8_t status, int data, double seconds);
    // The clock at `seconds` (same monotonic clock), from the frame thread.
    Reading read(double seconds) const;

private:
    void publish();
    void restartEstimate();

    // The MIDI thread's own state.
    double times_[kWindow] = {};
    int count_ = 0;             // pulses in the window
    int next_ = 0;              // where the next pulse goes
    int64_t pulses_ = 0;        // pulses since Start (position included)
    bool running_ = false;
    double lastTime_ = -1.0;
    double interval_ = 0.0;     // seconds per pulse, 0 before a beat of pulses

    // Published for the frame.
    std::atomic<uint32_t> sequence_{0};
    std::atomic<bool> publishedRunning_{false};
    std::atomic<double> publishedInterval_{0.0};
    std::atomic<double> publishedLastTime_{-1.0};
    std::atomic<int64_t> publishedPulses_{0};
};
