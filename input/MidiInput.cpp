#include "input/MidiInput.h"
#include "platform/Settings.h"

#include "input/RtMidiPort.h"

#include <cstdio>

#include "platform/LatencyLog.h"
#include <cstring>

MidiInput::MidiInput() = default;

// The connections go first: their driver threads stop before the queue does.
MidiInput::~MidiInput() { port_.reset(); }

void MidiInput::open() {
    followsClock_ = settings().midiClock;
    if (!port_) port_ = RtMidiPort::open(*this);
}

void MidiInput::receive(uint32_t message) {
    latency::arrived(LatencyInput::Midi);
    std::lock_guard<std::mutex> lock(queueLock_);
    if (queueCount_ < static_cast<uint32_t>(kQueueSize)) queue_[queueCount_++] = message;
}

int MidiInput::fetch() {
    // The frame never waits for the driver's thread: while it is adding a
    // message, this frame fetches nothing and the queue comes whole with the
    // next one, in order.
    std::unique_lock<std::mutex> lock(queueLock_, std::try_to_lock);
    if (!lock.owns_lock()) {
        eventCount = 0;
        return 0;
    }
    std::memcpy(events, queue_, queueCount_ * sizeof(uint32_t));
    eventCount = static_cast<int>(queueCount_);
    queueCount_ = 0;
    latency::fetched(LatencyInput::Midi);
    return eventCount;
}

void MidiInput::describe(char* text, size_t size) const {
    if (!port_) {
        std::snprintf(text, size, "%s", RtMidiPort::sequencerAvailable() ? "no port could be opened" : "no sequencer");
        return;
    }
    const char* virtualName = port_->hasVirtualPort() ? RtMidiPort::virtualPortName() : "";
    const std::string& hardware = port_->hardwarePortName();
    if (!hardware.empty())
        std::snprintf(text, size, "%s%s%s", virtualName, *virtualName ? " (virtual port), connected: " : "connected: ",
                      hardware.c_str());
    else
        std::snprintf(text, size, "%s (virtual port), no hardware port connected", virtualName);
}
