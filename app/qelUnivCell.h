#pragma once
#include <cstdint>
#include <memory>

#include "app/StageSettings.h"

class ControlTable;
class MatrixModeKeeper;
class MidiInput;
class WaveInput;
class Joystick;
class ImageGene;
class ModelGene;
class qelCell;
class FrameHooks;
class SceneBank;
class FrameInputHook;

// The one top-level object: owns the input devices, the controller table,
// the image and model sets, the module help pages and the eleven cells, and
// runs one frame of the instrument.
class qelUnivCell {
public:
    static constexpr int kCellSlots = 20;
    static constexpr int kCells = 11;
    static constexpr int kMaxSets = 128;
    static constexpr int kMaxModules = 128;

    qelUnivCell();  // creates the devices in order, then runs init
    // The instrument never destroys its universe (it ends through exit);
    // tests and tools that build several release them here.
    ~qelUnivCell();
    qelUnivCell(const qelUnivCell&) = delete;
    qelUnivCell& operator=(const qelUnivCell&) = delete;

    void init();
    void frame();
    void handleCode(int code, int x, int y);

    // Start-up loading: module database, image sets, model sets.
    void buildModuleDatabase();
    void loadImages();
    void loadModels();

    // The frame's input steps, also used by the offline renderer and tests.
    void applyMidiEvent(uint32_t message);
    void applyJoystick(uint32_t x, uint32_t y, uint32_t buttonMask);
    static int joystickButton(uint32_t mask);

    int cellCount = 0;
    int cellLevel[kCellSlots] = {};
    int currentChannel = 0;
    qelCell* cells[kCellSlots] = {};
    ImageGene* imageSets[kMaxSets] = {};
    ModelGene* modelSets[kMaxSets] = {};
    int modelSetCount = 0;
    int imageSetCount = 0;
    int moduleCount = 0;
    bool helpMode = false;
    ImageGene* moduleHelps[kMaxModules] = {};
    int helpPage = 0;
    ControlTable* controls = nullptr;
    MatrixModeKeeper* matrixKeeper = nullptr;
    float timeFactor = 0.0f;
    MidiInput* midi = nullptr;
    WaveInput* wave = nullptr;
    float soundLevel = 0.0f;
    Joystick* joystick = nullptr;
    bool joystickOn = false;
    bool midiOn = false;
    bool cursorFlag = false;
    // Every visible cell starts from the same OpenGL state (see
    // beginCleanLayer); off unless STRATA_CLEAN_LAYERS asks for it.
    bool cleanLayers = StageSettings::cleanLayersRequested();

    // Stored and recalled looks of the whole instrument; a recall's fade
    // moves on in the frame's input step.
    std::unique_ptr<SceneBank> scenes;
    // Watches or feeds the frame's input steps (recorder, replay); not owned.
    FrameHooks* hooks = nullptr;
    // Optional control source run in the frame's input step (not owned).
    FrameInputHook* inputHook = nullptr;

    // Called by handleCode's Home command with GLUT's cursor value (101 none,
    // 100 inherit). The windowed program points it at glutSetCursor; without
    // a window it stays unset.
    static void (*setCursor)(int cursor);

private:
    void stepImageSet(int direction);
    void stepReactor(int direction);
    void drawFade(float trail);
    void setLights();
};

// The process-wide universe (null until the key bindings are loaded).
qelUnivCell* universe();
void setUniverse(qelUnivCell* cell);
