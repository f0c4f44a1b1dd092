#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "input/MidiClock.h"

class RtMidiPort;

// Receives MIDI short messages (status in bits 0-7, data1 in 8-15, data2 in
// 16-23) on the driver's thread into a locked queue of 4096; the frame
// fetches and empties the queue once per frame while MIDI is on, never
// waiting for the lock.
class MidiInput {
public:
    static constexpr int kQueueSize = 4096;

    MidiInput();
    ~MidiInput();
    MidiInput(const MidiInput&) = delete;
    MidiInput& operator=(const MidiInput&) = delete;

    // Opens the MIDI connections (see RtMidiPort): the virtual port "Strata"
    // and the first hardware input. Without a sequencer nothing is reported
    // and fetch always returns 0.
    void open();
    // Hands over everything queued since the last fetch; returns the count
    // (0 without waiting while a driver thread holds the queue).
    int fetch();
    // Appends one packed short message (the driver callback's work; tests and
    // the offline renderer call it directly). Safe from any thread. When the
    // queue is full the message is dropped: the oldest 4096 are kept.
    void receive(uint32_t message);
    // True when a MIDI connection is open (virtual or hardware port).
    bool connected() const { return port_ != nullptr; }
    // A few words on the connections for the operator: the virtual port's
    // name and the hardware port's, or why there is none ("no sequencer").
    void describe(char* text, size_t size) const;

    // The MIDI clock leader's tempo and beat; timing messages reach it only
    // when STRATA_MIDI_CLOCK chose it (otherwise they stay dropped).
    MidiClock clock;
    bool followsClock() const { return followsClock_; }

    uint32_t events[kQueueSize] = {};
    int eventCount = 0;

private:
    std::unique_ptr<RtMidiPort> port_;
    bool followsClock_ = false;
    std::mutex queueLock_;
    uint32_t queue_[kQueueSize] = {};
    uint32_t queueCount_ = 0;
};
