#pragma once
#include <chrono>
#include <memory>

#include "app/GlutApp.h"
#include "control/ControlSnapshot.h"
#include "operator/DeviceReport.h"
#include "operator/OperatorOverlay.h"
#include "projection/PinEditor.h"

class ControlBus;
class FollowClient;
class FollowInput;
class FollowLeader;
class LiveSession;
class LinkSession;
class MusicalTime;
class WebServer;

// Everything the live program adds around the instrument: the session
// (recording, scene keys, frame dumps), the control bus (OSC, the MIDI
// mapping and learn) with the web server (OSCQuery, the control surface) as the frame's input, the device lines on standard
// error, musical time (the sound analysis and clock, with the routes of
// sound.map) and the operator overlay drawn over the presented picture.
class LiveShow final : public ShellExtension {
public:
    // overlayAtStart: true shows the overlay with its hint for the first
    // seconds; false keeps it hidden until Insert.
    explicit LiveShow(bool overlayAtStart);
    ~LiveShow() override;

    void started(qelUnivCell& universe) override;
    bool keyboard(unsigned char key, int modifiers, int x, int y) override;
    bool special(int key, int modifiers, int x, int y) override;
    void frameDrawn(VirtualScreen* screen) override;
    bool present(VirtualScreen* screen, int windowWidth, int windowHeight) override;
    bool mouse(int button, int state, int x, int y) override;
    bool drag(int x, int y) override;
    void presented(int windowWidth, int windowHeight) override;
    void ending() override;

private:
    double millisSinceLastFrame();
    LiveFigures liveFigures(const OperatorOverlay::Snapshot& snapshot) const;
    // Several machines: follows STRATA_FOLLOW's leader, or else leads
    // whoever asks to follow through this instrument's OSC port.
    void startSeveralMachines(qelUnivCell& universe);
    // The output mapping: read at start, its keys in mapping mode, and its
    // file written a second after the last change (and at exit).
    void loadOutputMap();
    bool mappingKey(unsigned char key, int modifiers);
    bool mappingSpecial(int key, int modifiers);
    void saveOutputMap();
    void saveOutputMapWhenSettled();
    void paintMapping(int windowWidth, int windowHeight);
    void dumpWindow(int windowWidth, int windowHeight);

    qelUnivCell* universe_ = nullptr;
    std::unique_ptr<LiveSession> session_;
    std::unique_ptr<MusicalTime> music_;
    std::unique_ptr<LinkSession> link_;  // STRATA_LINK only
    std::unique_ptr<ControlBus> bus_;
    // Declared after the bus: it reads the bus's snapshot and feeds its
    // queue, so it stops first.
    std::unique_ptr<WebServer> web_;
    std::unique_ptr<FollowLeader> leader_;
    std::unique_ptr<FollowClient> follower_;
    std::unique_ptr<FollowInput> followInput_;
    DeviceReport report_{stderr};
    OperatorOverlay overlay_;
    char midiText_[256] = "";
    std::chrono::steady_clock::time_point lastFrame_{};
    std::chrono::steady_clock::time_point musicStart_{};
    PinEditor pin_;
    PinTable pinTable_;
    char pinOutput_[PinTable::kNameSize] = "default";
    uint64_t pinChangesSeen_ = 0;
    uint64_t pinChangesSaved_ = 0;
    std::chrono::steady_clock::time_point pinChanged_{};
    bool pinWarned_ = false;
    int windowWidth_ = 640;
    int windowHeight_ = 480;
    char pinStatus_[256] = "";
    std::unique_ptr<uint8_t[]> windowDump_;
    size_t windowDumpBytes_ = 0;
};
