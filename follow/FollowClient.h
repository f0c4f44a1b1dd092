#pragma once
#include <netinet/in.h>

#include <atomic>
#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/FrameInput.h"
#include "control/OscCommand.h"
#include "control/OscServer.h"
#include "follow/FollowWire.h"
#include "platform/ByteRing.h"
#include "show/ShowScript.h"

class ControlBus;
class SceneBank;
class qelUnivCell;

// The following side of several machines (STRATA_FOLLOW): says hello to the
// leader about once a second from a socket of its own, takes the leader's
// messages on its own OSC server's thread (take) and hands what applies to
// the frame through a fixed ring; the frame applies it at its next control
// step (apply). Events come numbered: a gap (a message lost on the way)
// makes it ask for the whole table, and the events that arrive meanwhile
// wait (at most kWaiting) to be applied after it. The layers of
// keepChannels stay the follower's own (doc/osc-and-midi.md).
class FollowClient final : public OscPacketTap {
public:
    static constexpr size_t kRing = 4u << 20;
    static constexpr size_t kWaiting = 4096;
    static constexpr size_t kWaitingBytes = 8u << 20;  // the scenes' texts among them
    static constexpr int kHelloMillis = 1000;

    // leader: the leader's OSC address; ownPort: this instrument's OSC port,
    // where the leader sends. keepChannels: bit c keeps channel c.
    FollowClient(const sockaddr_in& leader, int ownPort, uint32_t keepChannels);
    ~FollowClient() override;
    FollowClient(const FollowClient&) = delete;
    FollowClient& operator=(const FollowClient&) = delete;

    // The socket and the hello thread; false with error set.
    bool start(std::string& error);
    void stop();

    // The OSC server's thread.
    bool take(const char* data, size_t size, const sockaddr_in* from) override;
    // The frame thread, in the control step: applies what arrived, in order.
    void apply(qelUnivCell& universe, ControlBus& bus, SceneBank& scenes);

    bool inStep() const { return !waitingTable_.load(std::memory_order_acquire); }
    // The times it fell out of step (events lost) and asked for the table.
    int gaps() const { return gaps_.load(std::memory_order_relaxed); }
    // The next hello or resync message (tests send it themselves).
    size_t request(bool resync, uint8_t* out, size_t capacity) const;

private:
    // One event as the frame applies it (a scene's text follows it in the ring).
    struct Event {
        ShowEvent::Type type;
        int a, b, c;
        float f;
        OscCommand command;
    };
    struct Waiting {
        uint32_t sequence;
        std::string line;
        std::string text;  // a scene's
        bool whole;        // its text came whole
    };
    void onEvent(uint32_t sequence, std::string_view line);
    void onText(uint32_t sequence, int offset, int total, std::string_view piece);
    void onTable(uint32_t sequence, int first, std::string_view piece);
    void onState(uint32_t sequence, std::string_view state);
    void deliver(std::string_view line, std::string_view text);
    void askTable(const char* why);
    void run();

    void applyEvent(qelUnivCell& u, ControlBus& bus, SceneBank& scenes, const Event& e, std::string_view text);
    void applyTable(qelUnivCell& u, const uint8_t* bytes, const float* floats, const followwire::State& state);
    bool kept(int channel) const { return channel >= 0 && channel < 32 && (keep_ >> channel & 1u); }

    sockaddr_in leader_;
    int ownPort_;
    uint32_t keep_;
    ByteRing ring_{kRing};
    int socket_ = -1;
    std::atomic<bool> running_{false};
    std::thread hello_;
    std::atomic<bool> waitingTable_{true};
    std::atomic<bool> resyncNow_{false};
    std::atomic<int> gaps_{0};

    // The OSC server thread's own.
    uint32_t expected_ = 0;
    int32_t run_ = 0;  // the leader's run its last table came from
    bool everInStep_ = false;
    uint32_t tableSequence_ = 0;
    std::bitset<followwire::kTablePieces> pieces_;
    std::unique_ptr<uint8_t[]> tableBytes_;
    std::unique_ptr<float[]> tableFloats_;
    uint32_t textSequence_ = 0;
    size_t textTotal_ = 0;
    std::string text_;
    std::vector<Waiting> waiting_;
    size_t waitingBytes_ = 0;
    void wait(uint32_t sequence, std::string_view line, bool scene, bool whole);
    ShowScript parser_;

    // The frame thread's own, allocated once.
    std::unique_ptr<uint8_t[]> record_;
    std::unique_ptr<uint8_t[]> savedBytes_;
    std::unique_ptr<float[]> savedFloats_;
};

// The frame's input of a follower: its own control bus (devices, OSC, the
// MIDI map, musical time), with the leader's events applied at the start of
// each control step.
class FollowInput final : public FrameInput {
public:
    FollowInput(ControlBus& bus, FollowClient& client, SceneBank& scenes) : bus_(bus), client_(client), scenes_(scenes) {}
    void midiStep(qelUnivCell& universe) override;
    void controlStep(qelUnivCell& universe) override;
    void joystickStep(qelUnivCell& universe) override;

private:
    ControlBus& bus_;
    FollowClient& client_;
    SceneBank& scenes_;
};
