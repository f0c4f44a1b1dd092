#pragma once
#include <cstdint>
#include <memory>

#include "app/FrameInput.h"
#include "platform/Settings.h"

class ControlTable;
class MatrixModeKeeper;
class MidiInput;
class WaveInput;
class Joystick;
class ImageGene;
class ModelGene;
class qelCell;
class FrameObserver;
class ControlFade;

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
    // tests and tools that build several release them here: cells first (their
    // reactors point into the sets), then the sets and help pages while the GL
    // context still lives, then the devices in reverse order of creation.
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
    std::unique_ptr<qelCell> cells[kCellSlots];
    std::unique_ptr<ImageGene> imageSets[kMaxSets];
    std::unique_ptr<ModelGene> modelSets[kMaxSets];
    int modelSetCount = 0;
    int imageSetCount = 0;
    int moduleCount = 0;
    bool helpMode = false;
    std::unique_ptr<ImageGene> moduleHelps[kMaxModules];
    int helpPage = 0;
    std::unique_ptr<ControlTable> controls;
    std::unique_ptr<MatrixModeKeeper> matrixKeeper;
    float timeFactor = 0.0f;
    std::unique_ptr<MidiInput> midi;
    std::unique_ptr<WaveInput> wave;
    float soundLevel = 0.0f;
    std::unique_ptr<Joystick> joystick;
    bool joystickOn = false;
    bool midiOn = false;
    bool cursorFlag = false;
    // Every visible cell starts from the same OpenGL state (see
    // beginCleanLayer); off unless STRATA_CLEAN_LAYERS asks for it.
    bool cleanLayers = settings().cleanLayers;

    // A move of the whole table to a stored look (a scene recall), stepped
    // after the frame's input steps.
    std::unique_ptr<ControlFade> fade;
    // Where the frame's MIDI, control and joystick input comes from (not
    // owned): the devices unless a live control bus or a replay stands in.
    FrameInput* input = &devices;
    // Watches what the frame applies (a recorder); not owned, may be null.
    FrameObserver* observer = nullptr;
    DeviceInput devices;

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
