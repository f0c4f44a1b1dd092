#pragma once
#include <cstdint>
#include <string>

// Watches what the frame applies, for whatever keeps it (the show recorder).
// The universe holds at most one, not owned. Every call happens on the main
// thread, inside the frame in the frame's own order, or between frames where
// a call says so. An observer only watches: it never changes the universe.
class FrameObserver {
public:
    virtual ~FrameObserver() = default;

    // Between frames: a key about to reach the key map, with the mouse
    // position in the 640x480 space.
    virtual void keyPressed(unsigned char /*key*/, int /*x*/, int /*y*/) {}
    virtual void specialPressed(int /*key*/, int /*x*/, int /*y*/) {}
    // Between frames: an exact write of one entry by a writer outside the
    // frame (byte and float as stored).
    virtual void controlSet(int /*index*/, int /*byteValue*/, float /*floatValue*/) {}
    // Between frames: a MIDI message applied by the fixed rule outside the
    // MIDI step (a show script's midi line).
    virtual void scriptedMidi(uint32_t /*message*/) {}

    // Right after the clock tick, with this frame's time.
    virtual void frameStarted(int /*frameMillis*/) {}
    // The sound step took a new block (512 bytes, 256 stereo frames) at this
    // position of the followed sound stream (-1 when none is followed).
    virtual void soundTaken(const uint8_t* /*block*/, int64_t /*position*/) {}
    // A MIDI message and a joystick reading as the frame applied them.
    virtual void midiApplied(uint32_t /*message*/) {}
    virtual void joystickApplied(uint32_t /*x*/, uint32_t /*y*/, uint32_t /*buttons*/) {}
    // In the MIDI step: a mapping wrote one entry (byte and float as stored)
    // in place of the frame's fixed rule.
    virtual void mappedWrite(int /*index*/, int /*byteValue*/, float /*floatValue*/) {}
    // In the control step: a sound route wrote one entry (byte and float as
    // stored) from musical time.
    virtual void routedWrite(int /*index*/, int /*byteValue*/, float /*floatValue*/) {}
    // In the control step: a remote command that changed the instrument, as
    // one line of words ("<address> <arguments>") that reads back to it.
    virtual void commandApplied(const char* /*words*/) {}
    // A scene file was recalled with a fade time: between frames (keys) or in
    // the control step (remote control).
    // text: the scene as recalled (the file may change on the disk later).
    virtual void sceneRecalled(const char* /*path*/, int /*fadeMillis*/, const std::string& /*text*/) {}
    // The frame's inputs are done and its picture drawn.
    virtual void frameFinished() {}
};

// Two observers watching the same frames (the show recorder and a leader
// sending the show to other machines): each call goes to both, the first
// first. Either may be null. Holds no state of its own and never allocates.
class FrameObserverPair final : public FrameObserver {
public:
    FrameObserver* first = nullptr;
    FrameObserver* second = nullptr;

    // This pair when either is set, else null: what the universe should hold.
    FrameObserver* active() { return first || second ? this : nullptr; }

    void keyPressed(unsigned char k, int x, int y) override { each([&](FrameObserver& o) { o.keyPressed(k, x, y); }); }
    void specialPressed(int k, int x, int y) override { each([&](FrameObserver& o) { o.specialPressed(k, x, y); }); }
    void controlSet(int i, int b, float f) override { each([&](FrameObserver& o) { o.controlSet(i, b, f); }); }
    void scriptedMidi(uint32_t m) override { each([&](FrameObserver& o) { o.scriptedMidi(m); }); }
    void frameStarted(int ms) override { each([&](FrameObserver& o) { o.frameStarted(ms); }); }
    void soundTaken(const uint8_t* b, int64_t p) override { each([&](FrameObserver& o) { o.soundTaken(b, p); }); }
    void midiApplied(uint32_t m) override { each([&](FrameObserver& o) { o.midiApplied(m); }); }
    void joystickApplied(uint32_t x, uint32_t y, uint32_t b) override {
        each([&](FrameObserver& o) { o.joystickApplied(x, y, b); });
    }
    void mappedWrite(int i, int b, float f) override { each([&](FrameObserver& o) { o.mappedWrite(i, b, f); }); }
    void routedWrite(int i, int b, float f) override { each([&](FrameObserver& o) { o.routedWrite(i, b, f); }); }
    void commandApplied(const char* w) override { each([&](FrameObserver& o) { o.commandApplied(w); }); }
    void sceneRecalled(const char* p, int ms, const std::string& t) override {
        each([&](FrameObserver& o) { o.sceneRecalled(p, ms, t); });
    }
    void frameFinished() override { each([](FrameObserver& o) { o.frameFinished(); }); }

private:
    template <class Call>
    void each(const Call& call) {
        if (first) call(*first);
        if (second) call(*second);
    }
};
