#include "show/ShowReplay.h"

#include "app/ControlTable.h"
#include "app/FrameObserver.h"
#include "app/KeyBindings.h"
#include "app/qelUnivCell.h"
#include "control/ControlBus.h"
#include "show/SceneBank.h"
#include "show/ShowScript.h"

namespace {
// A recorded write of one entry, byte and float exactly as they were stored;
// the index written, or -1.
int writeExactly(ControlTable& table, const ShowEvent& event) {
    const int index = ControlTable::indexOf(event.a, 0, event.b);
    if (!ControlTable::validEntry(event.a, 0, event.b)) return -1;
    table.byteValue[index] = static_cast<uint8_t>(event.c);
    table.floatValue[index] = event.f;
    return index;
}
}  // namespace

ShowReplay::ShowReplay(qelUnivCell& universe, const ShowScript& script, std::filesystem::path scriptDirectory)
    : universe_(universe),
      script_(script),
      scriptDirectory_(std::move(scriptDirectory)),
      scenes_(std::make_unique<SceneBank>(universe)),
      bus_(std::make_unique<ControlBus>(universe)) {
    bus_->recallScene = [this](int n) { scenes_->recallScene(n); };
}

ShowReplay::~ShowReplay() = default;

void ShowReplay::applyBeforeFrame(const ShowEvent& event) {
    qelUnivCell& u = universe_;
    FrameObserver* observer = u.observer;
    switch (event.type) {
        case ShowEvent::Type::Control: {
            u.controls->setByte(event.a, 0, event.b, event.c);
            u.controls->setFloat(event.a, 0, event.b, static_cast<float>(event.c / 127.0));
            const int index = ControlTable::indexOf(event.a, 0, event.b);
            if (observer && ControlTable::validEntry(event.a, 0, event.b))
                observer->controlSet(index, u.controls->byteValue[index], u.controls->floatValue[index]);
            break;
        }
        case ShowEvent::Type::Key:
            if (observer) observer->keyPressed(static_cast<unsigned char>(event.a), event.b, event.c);
            pressCharacterKey(u, static_cast<unsigned char>(event.a), event.b, event.c);
            break;
        case ShowEvent::Type::SpecialKey:
            if (observer) observer->specialPressed(event.a, event.b, event.c);
            u.handleCode(event.a, event.b, event.c);
            break;
        case ShowEvent::Type::Midi:
            // Scripted messages always reach the table, whether or not the
            // live MIDI input has been switched on with End.
            u.applyMidiEvent(event.midiMessage());
            if (observer) observer->scriptedMidi(event.midiMessage());
            break;
        case ShowEvent::Type::Set:
            if (const int index = writeExactly(*u.controls, event); index >= 0 && observer)
                observer->controlSet(index, u.controls->byteValue[index], u.controls->floatValue[index]);
            break;
        case ShowEvent::Type::Scene:
            if (!event.inControlStep()) recallScene(event);  // else in the control step
            break;
        case ShowEvent::Type::FrameTime:  // taken by the renderer's clock
        case ShowEvent::Type::Sound:      // counted by the renderer
        case ShowEvent::Type::MidiIn:     // applied by the frame's MIDI step
        case ShowEvent::Type::Mapped:
        case ShowEvent::Type::Routed:
        case ShowEvent::Type::Osc:  // applied by the frame's control step
        case ShowEvent::Type::Joystick:
        case ShowEvent::Type::End:
            break;
    }
}

void ShowReplay::recallScene(const ShowEvent& event) {
    if (event.text.empty())
        scenes_->recallFile(SceneBank::scenePath(event.a), event.b);
    else
        scenes_->recallFile((scriptDirectory_ / event.text).string(), event.b);
}

void ShowReplay::midiStep(qelUnivCell& u) {
    const auto& events = script_.events();
    for (size_t i = begin_; i < end_; ++i) {
        const ShowEvent& event = events[i];
        if (event.type == ShowEvent::Type::MidiIn) {
            u.applyMidiEvent(event.midiMessage());
            if (u.observer) u.observer->midiApplied(event.midiMessage());
        } else if (event.type == ShowEvent::Type::Mapped) {
            const int index = writeExactly(*u.controls, event);
            if (index >= 0 && u.observer)
                u.observer->mappedWrite(index, u.controls->byteValue[index], u.controls->floatValue[index]);
        }
    }
}

void ShowReplay::controlStep(qelUnivCell& u) {
    const auto& events = script_.events();
    for (size_t i = begin_; i < end_; ++i) {
        const ShowEvent& event = events[i];
        if (event.type == ShowEvent::Type::Osc)
            bus_->apply(event.command);
        else if (event.inControlStep())
            recallScene(event);
    }
    // The sound routes: a recording's writes as they were, else (a script
    // with a wave file) the routes on the analysis of the file, if any.
    for (size_t i = begin_; i < end_; ++i) {
        const ShowEvent& event = events[i];
        if (event.type != ShowEvent::Type::Routed) continue;
        const int index = writeExactly(*u.controls, event);
        if (index >= 0 && u.observer)
            u.observer->routedWrite(index, u.controls->byteValue[index], u.controls->floatValue[index]);
    }
    bus_->musicStep();
}

void ShowReplay::joystickStep(qelUnivCell& u) {
    const auto& events = script_.events();
    for (size_t i = begin_; i < end_; ++i) {
        const ShowEvent& event = events[i];
        if (event.type != ShowEvent::Type::Joystick) continue;
        const auto x = static_cast<uint32_t>(event.a), y = static_cast<uint32_t>(event.b),
                   buttons = static_cast<uint32_t>(event.c);
        u.applyJoystick(x, y, buttons);
        if (u.observer) u.observer->joystickApplied(x, y, buttons);
    }
}
