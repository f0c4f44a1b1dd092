#include "input/RtMidiPort.h"

#include <chrono>

#include "input/AlsaQuiet.h"
#include "input/MidiInput.h"
#include "platform/Settings.h"

#include <rtmidi/RtMidi.h>

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <utility>

namespace {

// The virtual port lives in the client "Strata"; the connection to the
// hardware port in its own client, so that "Strata" names one client only.
constexpr const char* kClientName = "Strata";
constexpr const char* kVirtualPortName = "Strata";
constexpr const char* kHardwareClientName = "Strata input";

void driverCallback(double /*timeStamp*/, std::vector<unsigned char>* message, void* userData) {
    if (message && !message->empty())
        RtMidiPort::deliver(message->data(), message->size(), *static_cast<MidiInput*>(userData));
}

// Errors after construction (a port that cannot be opened or connected) go
// here instead of standard error; the instrument simply has no such port.
void quietError(RtMidiError::Type, const std::string&, void* failed) {
    static_cast<std::atomic<bool>*>(failed)->store(true);
}

// RtMidi's constructor writes its error text to standard error before
// throwing; standard error points at /dev/null while it runs.
class StderrSilencer {
public:
    StderrSilencer() {
        std::cerr.flush();
        std::fflush(stderr);
        saved_ = ::dup(2);
        int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) ::dup2(null, 2);
        if (null >= 0) ::close(null);
    }
    ~StderrSilencer() {
        std::cerr.flush();
        std::fflush(stderr);
        if (saved_ >= 0) {
            ::dup2(saved_, 2);
            ::close(saved_);
        }
    }
    StderrSilencer(const StderrSilencer&) = delete;
    StderrSilencer& operator=(const StderrSilencer&) = delete;

private:
    int saved_ = -1;
};

// Set by quietError, which may also run on a driver thread.
std::atomic<bool> errorFlag{false};

std::unique_ptr<RtMidiIn> makeInput(const char* clientName) {
    StderrSilencer silence;
    try {
        auto in = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, clientName, 100);
        in->setErrorCallback(quietError, &errorFlag);
        return in;
    } catch (const RtMidiError&) {
        return nullptr;
    } catch (const std::exception&) {
        return nullptr;
    }
}

bool containsIgnoringCase(const std::string& text, const char* part) {
    std::string a = text, b = part;
    for (auto& c : a) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (auto& c : b) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return a.find(b) != std::string::npos;
}

// The port to open: the first whose name holds the wanted text, or without
// one the first that is neither the kernel's loop-back "Midi Through" port
// nor a port of this program (clients named "Strata..."). -1 when there is
// none.
int choosePort(RtMidiIn& in, const char* wanted) {
    const unsigned count = in.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        std::string name = in.getPortName(i);
        if (name.empty()) continue;
        if (wanted && *wanted) {
            if (containsIgnoringCase(name, wanted)) return static_cast<int>(i);
        } else if (name.find("Midi Through") == std::string::npos &&
                   name.rfind(kClientName, 0) != 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void listen(RtMidiIn& in, MidiInput& target) {
    // Timing pulses reach the callback only for a clock follower.
    in.ignoreTypes(true, !target.followsClock(), true);
    in.setCallback(driverCallback, &target);
}

}  // namespace

void RtMidiPort::deliver(const unsigned char* bytes, size_t size, MidiInput& target) {
    if (!bytes || size == 0) return;
    const unsigned char status = bytes[0];
    const bool clockMessage = status == 0xF8 || status == 0xFA || status == 0xFB || status == 0xFC || status == 0xF2;
    if (clockMessage && target.followsClock()) {
        const int data = size > 2 ? (bytes[1] & 0x7F) | ((bytes[2] & 0x7F) << 7) : 0;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
        target.clock.receive(status, data, seconds);
        return;
    }
    uint32_t packed = 0;
    if (packShortMessage(bytes, size, packed)) target.receive(packed);
}

bool packShortMessage(const unsigned char* bytes, size_t size, uint32_t& packed) {
    if (!bytes || size == 0) return false;
    const unsigned status = bytes[0];
    // System exclusive (and its end), timing clock and the other system
    // real-time messages carry nothing for the controller table.
    if (status == 0xF0 || status == 0xF7 || status >= 0xF8) return false;
    if (status < 0x80) return false;  // running-status fragment: no status byte
    const unsigned data1 = size > 1 ? bytes[1] : 0;
    const unsigned data2 = size > 2 ? bytes[2] : 0;
    packed = status | (data1 << 8) | (data2 << 16);
    return true;
}

bool RtMidiPort::sequencerAvailable() { return ::access("/dev/snd/seq", R_OK | W_OK) == 0; }

const char* RtMidiPort::virtualPortName() { return kVirtualPortName; }

std::unique_ptr<RtMidiPort> RtMidiPort::open(MidiInput& target) {
    silenceAlsaErrors();
    // No sequencer device: nothing to try, and nothing to say.
    if (!sequencerAvailable()) return nullptr;

    // The constructor is private (ports come only from here), which
    // make_unique cannot reach; the unique_ptr owns the port at once.
    std::unique_ptr<RtMidiPort> port(new (std::nothrow) RtMidiPort());
    if (!port) return nullptr;

    if (std::unique_ptr<RtMidiIn> in = makeInput(kClientName)) {
        errorFlag = false;
        listen(*in, target);
        in->openVirtualPort(kVirtualPortName);
        if (!errorFlag) port->virtual_ = std::move(in);
    }
    if (std::unique_ptr<RtMidiIn> in = makeInput(kHardwareClientName)) {
        errorFlag = false;
        int chosen = choosePort(*in, settings().midi.c_str());
        if (chosen >= 0) {
            listen(*in, target);
            in->openPort(static_cast<unsigned>(chosen), kHardwareClientName);
        }
        if (chosen >= 0 && !errorFlag && in->isPortOpen()) {
            port->hardwareName_ = in->getPortName(static_cast<unsigned>(chosen));
            port->hardware_ = std::move(in);
        }
    }
    if (!port->virtual_ && !port->hardware_) return nullptr;
    return port;
}

RtMidiPort::~RtMidiPort() = default;
