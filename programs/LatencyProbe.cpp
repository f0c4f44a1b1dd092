#include "programs/LatencyProbe.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/qelUnivCell.h"
#include "input/MidiInput.h"
#include "input/RtMidiPort.h"
#include "platform/LatencyLog.h"
#include "platform/Settings.h"

namespace {

FILE* gLogFile = nullptr;

void writeLogAtExit() {
    const long lines = latency::writeTo(gLogFile);
    std::fclose(gLogFile);
    gLogFile = nullptr;
    std::fprintf(stderr, "latency: %ld lines written to %s\n", lines, settings().latencyLog.c_str());
}

// Channel 13, controller 100: no layer, effect or route reads it.
constexpr unsigned char kProbeStatus = 0xB0 | 13;
constexpr unsigned char kProbeController = 100;

// Waits five seconds (start-up, and time for whoever measures to switch MIDI
// on), then sends count messages 20 to 30 ms apart, so they fall at every
// point of the frame.
void feedMidi(MidiInput* midi, int count) {
    std::this_thread::sleep_for(std::chrono::seconds(5));
    uint32_t noise = 12345;
    for (int i = 0; i < count; ++i) {
        const unsigned char message[3] = {kProbeStatus, kProbeController, static_cast<unsigned char>(i & 127)};
        RtMidiPort::deliver(message, sizeof message, *midi);
        noise = noise * 1103515245u + 12345u;
        std::this_thread::sleep_for(std::chrono::microseconds(20000 + (noise >> 16) % 10000));
    }
}

}  // namespace

void startLatencyProbe(qelUnivCell& universe) {
    const Settings& s = settings();
    s.report(Setting::LatencyMidi);
    if (s.latencyLog.empty()) return;
    gLogFile = std::fopen(s.latencyLog.c_str(), "w");
    if (!gLogFile) {
        std::fprintf(stderr, "latency: cannot write %s; no latency log\n", s.latencyLog.c_str());
        return;
    }
    if (!latency::start()) return;
    std::atexit(writeLogAtExit);
    std::fprintf(stderr, "latency: logging every input's arrival and frame into %s at exit\n", s.latencyLog.c_str());
    if (s.latencyMidi > 0 && universe.midi) {
        // Ends by itself; the MIDI input lives until the process exits.
        std::thread(feedMidi, universe.midi.get(), s.latencyMidi).detach();
        std::fprintf(stderr, "latency: feeding %d MIDI messages through the driver's callback path from 5 s on\n",
                     s.latencyMidi);
    }
}
