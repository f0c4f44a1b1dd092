#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class MidiInput;
class RtMidiIn;

// Packs a raw MIDI message (status, data1, data2) into a short message:
// status in bits 0-7, data1 in 8-15, data2 in 16-23. Returns false for what
// the instrument ignores: empty messages, system exclusive, timing clock and
// the other real-time messages, active sensing among them.
bool packShortMessage(const unsigned char* bytes, size_t size, uint32_t& packed);

// The MIDI connections on the ALSA sequencer, delivering into a MidiInput:
// a virtual input port named "Strata" that any controller or program can be
// connected to (aconnect), and the first hardware input port, or the first
// port whose name contains STRATA_MIDI (case ignored) when that is set.
// Without a sequencer open() gives null and prints nothing.
class RtMidiPort {
public:
    static std::unique_ptr<RtMidiPort> open(MidiInput& target);
    // True when the ALSA sequencer device can be opened at all.
    static bool sequencerAvailable();
    ~RtMidiPort();
    RtMidiPort(const RtMidiPort&) = delete;
    RtMidiPort& operator=(const RtMidiPort&) = delete;

    bool hasHardwarePort() const { return hardware_ != nullptr; }
    bool hasVirtualPort() const { return virtual_ != nullptr; }
    // The name of the virtual port and of the hardware port connected at
    // start (empty without one).
    static const char* virtualPortName();
    // What the driver's callback does with one raw message: clock messages to
    // the clock (when it follows one), short messages into target's queue.
    // Also the latency probe's way in, where no sequencer exists.
    static void deliver(const unsigned char* bytes, size_t size, MidiInput& target);
    const std::string& hardwarePortName() const { return hardwareName_; }

private:
    RtMidiPort() = default;

    std::unique_ptr<RtMidiIn> virtual_;
    std::unique_ptr<RtMidiIn> hardware_;  // closed first: declared last
    std::string hardwareName_;
};
