#include "control/ControlBus.h"
#include "projection/PinEditor.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/ControlTable.h"
#include "app/FrameObserver.h"
#include "app/KeyBindings.h"
#include "app/qelUnivCell.h"
#include "control/OscAddresses.h"
#include "platform/FileWriter.h"
#include "music/LinkSession.h"
#include "music/MusicalTime.h"
#include "input/MidiInput.h"
#include "control/OscCommand.h"
#include "control/OscCommandQueue.h"
#include "control/OscEndpoint.h"
#include "control/OscSender.h"
#include "control/OscServer.h"
#include "control/SoundMap.h"
#include "app/ScreenInfo.h"
#include "music/MusicalTime.h"
#include "platform/Settings.h"
#include "reactor/qelCell.h"

namespace {

// One nudge moves the beat by a 32nd of a beat (about 16 ms at 120 BPM).
constexpr double kNudgeBeats = 1.0 / 32.0;

int64_t nowMillis() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

ControlBus::ControlBus(qelUnivCell& universe)
    : u_(universe),
      queue_(std::make_unique<OscCommandQueue>()),
      map_(std::make_unique<MidiMap>()),
      soundMap_(std::make_unique<SoundMap>()) {
    // The names are fixed once the stage is loaded, before any network
    // thread can read them.
    ControlCatalogue names;
    for (int i = 0; i < u_.moduleCount; ++i) names.modules.emplace_back(u_.moduleName(i));
    for (int i = 0; i < u_.imageSetCount; ++i) names.imageSets.emplace_back(u_.imageSetName(i));
    snapshot_.setCatalogue(std::move(names));
    publish();
}

ControlBus::~ControlBus() {
    // The threads go first: they use the queue and the snapshot.
    sender_.reset();
    server_.reset();
}

void ControlBus::loadMidiMap(const char* path) {
    mapPath_ = path;
    map_->readFile(path);
    map_->attach(*u_.controls);
    if (map_->count() > 0) std::fprintf(stderr, "%s: %d MIDI mappings\n", path, map_->count());
}

void ControlBus::loadSoundMap(const char* path) {
    soundMap_->readFile(path);
    if (soundMap_->count() > 0) std::fprintf(stderr, "%s: %d sound routes\n", path, soundMap_->count());
}

// The leaders outside the instrument, before the clock moves on: a running
// MIDI clock (STRATA_MIDI_CLOCK) and the Link session (STRATA_LINK) drive it
// unless the operator's tap or tempo leads. With Link, the operator's tempo
// is proposed to the session, which then leads again with it.
void ControlBus::followLeaders() {
    MusicalClock& clock = music_->clock();
    const bool operatorLeads = clock.source() == ClockSource::Tap || clock.source() == ClockSource::Fixed;
    if (link_) {
        if (operatorLeads) link_->proposeTempo(clock.bpm());
        const LinkSession::State session = link_->now();
        clock.follow(ClockSource::Link, operatorLeads ? clock.bpm() : session.bpm, session.phase);
        return;
    }
    if (operatorLeads || !u_.midi || !u_.midi->followsClock()) return;
    const double now = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    const MidiClock::Reading leader = u_.midi->clock.read(now);
    if (leader.running && leader.locked) clock.follow(ClockSource::MidiClock, leader.bpm, leader.beatPhase());
}

void ControlBus::musicStep() {
    if (!music_) return;
    followLeaders();
    music_->frameStep(screenInfo()->frameMillis);
    soundMap_->apply(music_->frame(), *u_.controls, u_.currentChannel, u_.observer);
}

void ControlBus::startFromEnvironment() {
    const Settings& s = settings();
    s.report(Setting::Osc);
    if (!s.osc.empty()) startOsc(s.osc);
    s.report(Setting::OscOut);
    if (!s.oscOut.empty()) startOutput(s.oscOut);
}

bool ControlBus::startOsc(const std::string& listen) {
    OscEndpoint endpoint;
    std::string error;
    if (!OscEndpoint::parse(listen, endpoint, error)) {
        std::fprintf(stderr, "OSC: STRATA_OSC %s; running without OSC\n", error.c_str());
        return false;
    }
    if (endpoint.off) return false;
    if (endpoint.host == "localhost") endpoint.host = "127.0.0.1";
    auto server = std::make_unique<OscServer>(*queue_);
    if (!server->start(endpoint.host, endpoint.port, error)) {
        std::fprintf(stderr, "OSC: %s; running without OSC\n", error.c_str());
        return false;
    }
    const int port = server->port();
    server_ = std::move(server);
    if (startWeb && !startWeb(endpoint.host, port, error))
        std::fprintf(stderr, "OSC: %s; OSC runs without OSCQuery\n", error.c_str());
    std::fprintf(stderr, "OSC: listening on %s:%d\n", endpoint.host.c_str(), port);
    return true;
}

bool ControlBus::startOutput(const std::string& sendTo) {
    OscEndpoint endpoint;
    std::string error;
    sockaddr_in address{};
    if (!OscEndpoint::parse(sendTo, endpoint, error) || endpoint.off || !endpoint.resolve(address, error)) {
        if (!endpoint.off) std::fprintf(stderr, "OSC: STRATA_OSC_OUT %s; no OSC output\n", error.c_str());
        return false;
    }
    auto sender = std::make_unique<OscSender>(snapshot_);
    if (!sender->start(address)) {
        std::fprintf(stderr, "OSC: no socket for the output; no OSC output\n");
        return false;
    }
    sender_ = std::move(sender);
    std::fprintf(stderr, "OSC: sending the state to %s:%d\n", endpoint.host.c_str(), endpoint.port);
    return true;
}

int ControlBus::oscPort() const { return server_ ? server_->port() : 0; }

void ControlBus::setControl(int channel, int entry, int byteValue, float value) {
    const int index = ControlTable::indexOf(channel, 0, entry);
    if (!ControlTable::validEntry(channel, 0, entry)) return;
    u_.controls->setByteAt(index, byteValue);
    u_.controls->floatValue[index] = value;
}

bool ControlBus::pressKey(const OscCommand& key) {
    if (key.special) {
        if (learnKey(key.index)) return false;
        u_.handleCode(key.index, key.x, key.y);
        return true;
    }
    if (key.index <= 0 || key.index >= kKeyMapSize || key.index == 27) return false;
    if (learnKey(keyMap()[key.index])) return false;
    pressCharacterKey(u_, static_cast<unsigned char>(key.index), key.x, key.y);
    return true;
}

void ControlBus::recall(int scene) {
    if (recallScene)
        recallScene(scene);
    else
        std::fprintf(stderr, "scenes not available\n");
}

void ControlBus::store(int scene) {
    if (storeScene)
        storeScene(scene);
    else
        std::fprintf(stderr, "scenes not available\n");
}

void ControlBus::setSceneFade(int millis) {
    sceneFadeMillis_ = millis > 0 ? millis : 0;
    if (sceneFadeChanged) sceneFadeChanged(sceneFadeMillis_);
}

void ControlBus::apply(const OscCommand& cmd) {
    using Kind = OscCommand::Kind;
    OscCommand applied = cmd;
    // Recorded by index: a replay needs no names.
    if (cmd.kind == Kind::ModuleName) {
        applied.kind = Kind::ModuleIndex;
        applied.index = u_.moduleIndex(cmd.name);
    } else if (cmd.kind == Kind::ImageSetName) {
        applied.kind = Kind::ImageSet;
        applied.index = u_.imageSetIndex(cmd.name);
    }
    const OscAddress* row = oscAddressOf(applied.kind);
    const OscAddress::Outcome outcome = row && row->apply ? row->apply(*this, applied) : OscAddress::Outcome::Bad;
    // A module or image set that does not exist is as bad as a wrong type.
    if (outcome == OscAddress::Outcome::Bad) queue_->countBad();
    if (outcome == OscAddress::Outcome::Changed) noteApplied(applied);
}

void ControlBus::noteApplied(const OscCommand& cmd) {
    if (!u_.observer) return;
    char words[160];
    if (formatOscCommand(cmd, words, sizeof words) > 0) u_.observer->commandApplied(words);
}

bool ControlBus::keyboard(unsigned char key, bool alt) {
    if (key == 27) return false;  // Esc always ends the process
    if (alt && (key == 'l' || key == 'L')) {
        armLearn();
        return true;
    }
    if (alt && music_) {
        MusicalClock& clock = music_->clock();
        switch (key) {
            case 't': case 'T': music_->tapNow(); return true;
            case 'g': case 'G':
                clock.handBack();
                std::fprintf(stderr, "tempo: the detected beat leads again\n");
                return true;
            case '[': clock.nudge(-kNudgeBeats); return true;
            case ']': clock.nudge(kNudgeBeats); return true;
            default: break;
        }
    }
    return key < kKeyMapSize && learnKey(keyMap()[key]);
}

bool ControlBus::special(int code) { return learnKey(code); }

void ControlBus::armLearn() {
    if (learn_ != LearnState::Off) {
        learn_ = LearnState::Off;
        std::fprintf(stderr, "MIDI learn: cancelled\n");
        return;
    }
    learn_ = LearnState::WaitControl;
    if (u_.midi && !u_.midi->connected()) {
        // Said as the MIDI line at start says it: nothing can come.
        char why[128];
        u_.midi->describe(why, sizeof why);
        std::fprintf(stderr, "MIDI learn: move a control on the MIDI box (but %s: no MIDI can arrive)\n", why);
        return;
    }
    std::fprintf(stderr, "MIDI learn: move a control on the MIDI box%s\n",
                 u_.midiOn ? "" : " (MIDI input is off: End turns it on)");
}

bool ControlBus::learnKey(int code) {
    if (learn_ != LearnState::WaitKey) return false;
    MidiMapping m = learnt_;
    if (code >= 1 && code <= 11) {
        m.channel = code - 1;  // F1..F11: that layer's opacity
        m.entry = 7;
    } else if (code >= 13 && code <= 99) {
        m.channel = MidiMapping::kSelected;  // a controller key writes the selected channel
        m.entry = code;
    } else {
        std::fprintf(stderr, "MIDI learn: that key writes no controller; press a controller key or F1..F11\n");
        return true;
    }
    learn_ = LearnState::Off;
    if (!map_->add(m, *u_.controls)) {
        std::fprintf(stderr, "MIDI learn: the map is full (%d mappings)\n", MidiMap::kMaxMappings);
        return true;
    }
    // The file is read and rewritten off the frame, in order with other writes.
    fileWriter().call([line = MidiMap::formatMapping(m), path = mapPath_, m] {
        if (MidiMap::saveMapping(path.c_str(), m))
            std::fprintf(stderr, "MIDI learn: %s (saved to %s)\n", line.c_str(), path.c_str());
    });
    return true;
}

bool ControlBus::takeMidi(qelUnivCell& /*universe*/, uint32_t message) {
    if (learn_ == LearnState::WaitControl) {
        const int status = static_cast<int>(message & 0xFFu);
        const int data1 = static_cast<int>((message >> 8) & 0x7Fu);
        const int data2 = static_cast<int>((message >> 16) & 0x7Fu);
        const int type = status >> 4;
        if (type == 0xB || (type == 0x9 && data2 > 0)) {
            learnt_ = MidiMapping{};
            learnt_.source = type == 0xB ? MidiMapping::Source::Cc : MidiMapping::Source::Note;
            learnt_.midiChannel = status & 15;
            learnt_.number = data1;
            learn_ = LearnState::WaitKey;
            std::fprintf(stderr, "MIDI learn: %s %d %d; now press a controller key or F1..F11\n",
                         type == 0xB ? "cc" : "note", learnt_.midiChannel + 1, learnt_.number);
            return true;
        }
    }
    if (!map_->apply(message, *u_.controls, u_.currentChannel)) return false;
    // Recorded as the write it made: a replay has no map (and learn may
    // change the map in the middle of the show).
    const int index = map_->lastWrite();
    if (index >= 0 && u_.observer)
        u_.observer->mappedWrite(index, u_.controls->byteValue[index], u_.controls->floatValue[index]);
    return true;
}

void ControlBus::controlStep(qelUnivCell& /*universe*/) {
    const int64_t now = nowMillis();
    Budget* budgets[] = {&scenes_, &modules_, &keys_, &learns_};
    for (Budget* b : budgets) {
        b->frame = 0;
        if (now - budgetSecond_ >= 1000) b->second = 0;
    }
    if (now - budgetSecond_ >= 1000) budgetSecond_ = now;
    const int count = queue_->fetch();
    // The last module command of the batch for each layer: the earlier ones
    // (and one still waiting) would be replaced at once.
    int lastModule[ControlSnapshot::kLayers];
    std::fill(std::begin(lastModule), std::end(lastModule), -1);
    for (int i = 0; i < count; ++i) {
        OscCommand& c = queue_->events[i];
        if (c.kind == OscCommand::Kind::ModuleName) {
            c.kind = OscCommand::Kind::ModuleIndex;  // by index from here on, as recorded
            c.index = u_.moduleIndex(c.name);
        }
        if (loadableModule(c)) lastModule[c.channel] = i;
    }
    for (int layer = 0; layer < ControlSnapshot::kLayers; ++layer)
        if (lastModule[layer] >= 0 && waitingModule_[layer].kind != OscCommand::Kind::None) {
            waitingModule_[layer].kind = OscCommand::Kind::None;
            queue_->countMerged();
        }
    applyWaiting();
    for (int i = 0; i < count; ++i) {
        const OscCommand& c = queue_->events[i];
        const bool layered = c.channel >= 0 && c.channel < ControlSnapshot::kLayers;
        applyBudgeted(c, layered && lastModule[c.channel] >= 0 && lastModule[c.channel] != i);
    }
    musicStep();
    reportCounts();
    publish();
}

void ControlBus::applyBudgeted(const OscCommand& cmd, bool superseded) {
    using Kind = OscCommand::Kind;
    switch (cmd.kind) {
        case Kind::ModuleIndex:
            if (!loadableModule(cmd)) {
                apply(cmd);  // counted as bad, at no cost
            } else if (superseded) {
                queue_->countMerged();
            } else if (waitingModule_[cmd.channel].kind == Kind::None && modules_.take()) {
                apply(cmd);
            } else {
                if (waitingModule_[cmd.channel].kind != Kind::None) queue_->countMerged();
                waitingModule_[cmd.channel] = cmd;
            }
            return;
        case Kind::SceneRecall:
        case Kind::SceneStore:
            // In order with the rest of the batch when nothing waits before it.
            if (waitingSceneCount_ == 0 && scenes_.take())
                apply(cmd);
            else
                waitScene(cmd);
            return;
        case Kind::Key:
            if (keys_.take())
                apply(cmd);
            else
                queue_->countOverBudget();
            return;
        case Kind::Learn:
            if (learns_.take())
                apply(cmd);
            else
                queue_->countOverBudget();
            return;
        default: apply(cmd); return;
    }
}

bool ControlBus::loadableModule(const OscCommand& cmd) const {
    return cmd.kind == OscCommand::Kind::ModuleIndex && cmd.channel >= 0 && cmd.channel < u_.cellCount &&
           cmd.channel < ControlSnapshot::kLayers && cmd.index >= 0 && cmd.index < u_.moduleCount;
}

void ControlBus::waitScene(const OscCommand& cmd) {
    using Kind = OscCommand::Kind;
    // A recall right after a waiting recall replaces it; a store of a scene
    // already waiting to be stored since the last recall writes once.
    for (int i = waitingSceneCount_ - 1; i >= 0; --i) {
        OscCommand& waiting = waitingScenes_[i];
        if (cmd.kind == Kind::SceneRecall) {
            if (waiting.kind != Kind::SceneRecall || i != waitingSceneCount_ - 1) break;
            waiting = cmd;
            queue_->countMerged();
            return;
        }
        if (waiting.kind == Kind::SceneRecall) break;
        if (waiting.index == cmd.index) {
            queue_->countMerged();
            return;
        }
    }
    if (waitingSceneCount_ == kWaitingScenes) {
        queue_->countOverBudget();
        return;
    }
    waitingScenes_[waitingSceneCount_++] = cmd;
}

// What waited since an earlier frame goes first, within this frame's budget.
void ControlBus::applyWaiting() {
    for (OscCommand& waiting : waitingModule_)
        if (waiting.kind != OscCommand::Kind::None && modules_.take()) {
            apply(waiting);
            waiting.kind = OscCommand::Kind::None;
        }
    int done = 0;
    while (done < waitingSceneCount_ && scenes_.take()) apply(waitingScenes_[done++]);
    std::copy(waitingScenes_ + done, waitingScenes_ + waitingSceneCount_, waitingScenes_);
    waitingSceneCount_ -= done;
}

void ControlBus::reportCounts() {
    const int64_t now = nowMillis();
    if (now - lastReport_ < 1000) return;
    uint64_t dropped = 0, bad = 0, overBudget = 0, merged = 0;
    queue_->takeCounts(dropped, bad);
    queue_->takeBudgetCounts(overBudget, merged);
    if (dropped == 0 && bad == 0 && overBudget == 0 && merged == 0) return;
    lastReport_ = now;
    char budget[96] = "";
    if (overBudget > 0 || merged > 0)
        std::snprintf(budget, sizeof budget, ", %llu costly ones over the frame budget, %llu merged",
                      static_cast<unsigned long long>(overBudget), static_cast<unsigned long long>(merged));
    std::fprintf(stderr, "OSC: %llu messages dropped (queue full), %llu bad messages ignored%s\n",
                 static_cast<unsigned long long>(dropped), static_cast<unsigned long long>(bad), budget);
}

void ControlBus::publish() {
    ControlSnapshot s;
    const ControlTable& table = *u_.controls;
    s.level = u_.soundLevel;
    s.selected = u_.currentChannel + 1;
    s.trail = oscAmountOf(table.getFloat(qelUnivCell::kTrailChannel, 0, qelUnivCell::kTrailEntry));
    s.midi = u_.midiOn;
    s.joystick = u_.joystickOn;
    s.help = u_.helpMode;
    s.learn = static_cast<int>(learn_);
    s.sceneFadeMillis = sceneFadeMillis_;
    s.live = live_;
    s.moduleCount = u_.moduleCount;
    s.imageSetCount = u_.imageSetCount;
    for (int i = 0; i < ControlSnapshot::kLayers && i < u_.cellCount; ++i) {
        ControlSnapshot::Layer& layer = s.layers[i];
        layer.opacity = oscAmountOf(table.getFloat(i, 0, 7));
        layer.shown = u_.shown(i);
        layer.module = u_.cells[i]->reactorIndex;
        layer.imageSet = u_.imageSetOf(i);
    }
    if (music_) {
        const MusicFrame& f = music_->frame();
        s.tempo = static_cast<float>(f.bpm);
        s.detectedTempo = f.sound.bpm;
        s.beatPhase = static_cast<float>(f.beatPhase);
        s.clockSource = static_cast<int>(f.source);
        s.linkPeers = link_ ? link_->now().peers : -1;
        s.low = f.sound.low;
        s.mid = f.sound.mid;
        s.high = f.sound.high;
    }
    if (pinEditor_)
        for (int i = 0; i < 4; ++i) {
            s.outputCorners[2 * i] = static_cast<float>(pinEditor_->pin().corners[i].x);
            s.outputCorners[2 * i + 1] = static_cast<float>(pinEditor_->pin().corners[i].y);
        }
    snapshot_.store(s);
}
