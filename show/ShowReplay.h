#pragma once
#include <cstddef>
#include <filesystem>
#include <memory>

#include "app/FrameInput.h"

class ControlBus;
class SceneBank;
class ShowScript;
struct ShowEvent;
class qelUnivCell;

// Plays a show script into a universe. The presses of a frame (keys, ctl and
// midi lines, exact writes, scene recalls between frames) are applied before
// the frame runs; as the universe's frame input it hands the frame's own
// steps the input a recording kept (MIDI and joystick as the frame applied
// them, the writes of the MIDI mapping, the control bus's commands). What it
// applies is shown to the universe's observer as live input is, so a replay
// can itself be recorded.
class ShowReplay : public FrameInput {
public:
    // scriptDirectory: where scene files a script names lie.
    ShowReplay(qelUnivCell& universe, const ShowScript& script, std::filesystem::path scriptDirectory);
    ~ShowReplay() override;
    ShowReplay(const ShowReplay&) = delete;
    ShowReplay& operator=(const ShowReplay&) = delete;

    // The events of one frame are [begin, end) of the script's events.
    void setFrame(size_t begin, size_t end) {
        begin_ = begin;
        end_ = end;
    }
    // Applies one event before its frame runs.
    void applyBeforeFrame(const ShowEvent& event);

    void midiStep(qelUnivCell& universe) override;
    void controlStep(qelUnivCell& universe) override;
    void joystickStep(qelUnivCell& universe) override;

    SceneBank& scenes() { return *scenes_; }
    // The bus that applies the script's commands (and musical time, when
    // the renderer gives it one).
    ControlBus& bus() { return *bus_; }

private:
    void recallScene(const ShowEvent& event);

    qelUnivCell& universe_;
    const ShowScript& script_;
    std::filesystem::path scriptDirectory_;
    std::unique_ptr<SceneBank> scenes_;
    std::unique_ptr<ControlBus> bus_;  // no network: it only applies the script's commands
    size_t begin_ = 0;
    size_t end_ = 0;
};
