#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/FrameInput.h"
#include "control/ControlSnapshot.h"
#include "control/MidiMap.h"
#include "control/OscCommand.h"

class qelUnivCell;
struct OscCommand;
class OscCommandQueue;
class OscServer;
class OscSender;
class LinkSession;
class MusicalTime;
class SoundMap;
class PinEditor;

// The control bus: OSC input (with its OSCQuery namespace), OSC output and
// the MIDI mapping with learn, joined to one universe. The network threads
// only queue commands and read the snapshot; every write to the universe
// happens on the frame thread, in the frame's input step right after MIDI,
// through the small set of actions below (which a recorder can follow).
class ControlBus : public DeviceInput {
public:
    enum class LearnState { Off, WaitControl, WaitKey };

    // The frame budget of costly commands (doc/osc-and-midi.md): a scene
    // store or recall, a module change, a key (it may rebuild an effect),
    // MIDI learn. Beyond it, module changes wait in one slot per layer (the
    // last asked for wins), scene commands in a short line (a store of a
    // scene already waiting and a recall right after a recall merge), and
    // keys and learn are dropped; both are counted in the once-a-second line.
    // Cheap commands apply as they come.
    static constexpr int kScenesPerFrame = 1, kScenesPerSecond = 10, kWaitingScenes = 8;
    static constexpr int kModulesPerFrame = 4, kModulesPerSecond = 120;
    static constexpr int kKeysPerFrame = 8, kKeysPerSecond = 240;
    static constexpr int kLearnsPerFrame = 1, kLearnsPerSecond = 2;

    explicit ControlBus(qelUnivCell& universe);
    ~ControlBus() override;
    ControlBus(const ControlBus&) = delete;
    ControlBus& operator=(const ControlBus&) = delete;

    // Reads the MIDI mapping (normally midi.map in the working directory);
    // learnt mappings are saved to the same file.
    void loadMidiMap(const char* path = MidiMap::kFileName);
    // Musical time (not owned; null: none) and the routes of sound.map
    // (normally in the working directory) that write from it.
    void setMusic(MusicalTime* music) { music_ = music; }
    // The network tempo session (STRATA_LINK; not owned; null: none).
    void setLink(LinkSession* link) { link_ = link; }
    MusicalTime* music() { return music_; }
    void loadSoundMap(const char* path);
    SoundMap& soundMap() { return *soundMap_; }
    // The last part of the control step: musical time moves on by the frame
    // time and the sound routes write. Nothing without musical time.
    void musicStep();
    // OSC input from STRATA_OSC ("host:port", "off"; unset: 127.0.0.1:9000)
    // and OSC output to STRATA_OSC_OUT (unset: none). Failures give one line
    // on standard error and the instrument runs on without that part.
    void startFromEnvironment();
    bool startOsc(const std::string& listen);
    bool startOutput(const std::string& sendTo);
    // The UDP (and TCP) port OSC listens on, or 0.
    int oscPort() const;

    qelUnivCell& universe() { return u_; }
    // What the addresses do beyond the universe's own actions. Writes one
    // entry exactly (byte and float as given).
    void setControl(int channel, int entry, int byteValue, float value);
    // A key command: true when the key reached the universe (not taken by
    // learn, not Esc).
    bool pressKey(const OscCommand& key);
    void recall(int scene);
    void store(int scene);
    // Applies one command through its address (control/OscAddresses.h); a
    // command that changed the instrument is shown to the frame's observer.
    void apply(const OscCommand& cmd);

    // GLUT keys: Alt+l arms learn (again: cancels it); while learn waits
    // for a key, the key is taken for the mapping. With musical time: Alt+t
    // taps the tempo, Alt+g hands the lead back to the detection, Alt+[ and
    // Alt+] nudge the beat back and forward. True when the key was
    // used here and must not reach the universe.
    bool keyboard(unsigned char key, bool alt);
    bool special(int code);
    void armLearn();
    LearnState learnState() const { return learn_; }

    // The scene bank's recall and store (the live program routes them
    // through its session, as the Ctrl+digit keys); unset, recall and store
    // say that scenes are not available.
    std::function<void(int)> recallScene;
    std::function<void(int)> storeScene;
    // Starts the web server (OSCQuery and the control surface, above this
    // folder) on OSC's host and port as soon as OSC listens; the live
    // program sets it and owns the server. False with error set when the
    // port cannot be bound: OSC runs on without it.
    std::function<bool(const std::string& host, int port, std::string& error)> startWeb;
    // The cross-fade time of scene recalls, as /strata/scene/fade reads it;
    // a change goes on to the scene bank through sceneFadeChanged (unset:
    // nowhere).
    void setSceneFade(int millis);
    int sceneFade() const { return sceneFadeMillis_; }
    std::function<void(int)> sceneFadeChanged;
    // The live program's frame figures and device lines, published with
    // the next snapshot (the frame thread, once a frame; no allocation).
    void setLiveFigures(const LiveFigures& figures) { live_ = figures; }
    // The output mapping the /strata/output addresses edit (not owned;
    // null: those addresses are refused as bad).
    void setPinEditor(PinEditor* editor) { pinEditor_ = editor; }
    PinEditor* pinEditor() { return pinEditor_; }

    // The frame's input: the MIDI step maps (or learns from) each message
    // before the fixed rule; the control step applies the queued commands.
    bool takeMidi(qelUnivCell& universe, uint32_t message) override;
    void controlStep(qelUnivCell& universe) override;

    // Copies what the network threads may see.
    void publish();

    OscCommandQueue& queue() { return *queue_; }
    MidiMap& midiMap() { return *map_; }
    const ControlSnapshotBox& snapshot() const { return snapshot_; }
    OscServer* oscServer() { return server_.get(); }

private:
    bool learnKey(int code);
    // Tells a recorder watching the frame about a command that changed the
    // instrument.
    void noteApplied(const OscCommand& cmd);
    void reportCounts();
    struct Budget {
        int perFrame, perSecond, frame = 0, second = 0;
        bool take() {
            if (frame >= perFrame || second >= perSecond) return false;
            return ++frame, ++second, true;
        }
    };
    // Applies a fetched command within the budget; `superseded`: a later
    // module command of the batch names the same layer.
    void applyBudgeted(const OscCommand& cmd, bool superseded);
    bool loadableModule(const OscCommand& cmd) const;
    void waitScene(const OscCommand& cmd);
    void applyWaiting();

    qelUnivCell& u_;
    std::unique_ptr<OscCommandQueue> queue_;
    std::unique_ptr<MidiMap> map_;
    std::unique_ptr<SoundMap> soundMap_;
    MusicalTime* music_ = nullptr;
    LinkSession* link_ = nullptr;
    void followLeaders();
    std::string mapPath_ = MidiMap::kFileName;
    ControlSnapshotBox snapshot_;
    std::unique_ptr<OscServer> server_;
    std::unique_ptr<OscSender> sender_;
    LearnState learn_ = LearnState::Off;
    int sceneFadeMillis_ = 0;
    LiveFigures live_;
    PinEditor* pinEditor_ = nullptr;
    MidiMapping learnt_;
    int64_t lastReport_ = 0;

    Budget scenes_{kScenesPerFrame, kScenesPerSecond};
    Budget modules_{kModulesPerFrame, kModulesPerSecond};
    Budget keys_{kKeysPerFrame, kKeysPerSecond};
    Budget learns_{kLearnsPerFrame, kLearnsPerSecond};
    int64_t budgetSecond_ = 0;
    OscCommand waitingModule_[ControlSnapshot::kLayers];  // kind None: nothing waits
    OscCommand waitingScenes_[kWaitingScenes];
    int waitingSceneCount_ = 0;
};
