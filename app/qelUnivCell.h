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
struct ModuleNames;

// The one top-level object: owns the input devices, the controller table,
// the image and model sets, the module help pages and the eleven cells, and
// runs one frame of the instrument.
class qelUnivCell {
public:
    static constexpr int kCellSlots = 20;
    static constexpr int kCells = 11;
    static constexpr int kMaxSets = 128;
    static constexpr int kMaxModules = 128;
    // Where the trail amount lives in the table.
    static constexpr int kTrailChannel = 11;
    static constexpr int kTrailEntry = 19;

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

    // What every writer beyond the frame (keys, remote control, scenes, the
    // operator's view) does to the universe goes through these few actions,
    // so that each rule lives in one place. Layers are channels 0..10.
    //
    // Builds module index on the layer's cell (always anew, as the arrow
    // keys do); false for a layer or module that does not exist.
    bool setModule(int channel, int index);
    // Gives the layer's effect image set index; false when there is no such
    // set or the effect takes none.
    bool setImageSet(int channel, int index);
    // The layer's opacity 0..1, written as an F-key writes it from the mouse
    // (controller 7), without selecting the layer.
    void setOpacity(int channel, float value);
    // Shows or hides the layer without changing its opacity: controller 7's
    // byte (the frame draws a layer whose byte is above kShownAbove) moves
    // to the shown or hidden side of the threshold, nearest to the opacity
    // the float holds; the float (the layer's alpha) stays.
    void setShown(int channel, bool shown);
    bool shown(int channel) const;
    static constexpr int kShownAbove = 10;
    // The trail (fade) amount 0..1 of the frame's clear (channel 11, entry 19).
    void setTrail(float value);
    float trail() const;
    // Makes channel 0..15 the one keys and the joystick address.
    void select(int channel);
    // The name modules.db gives module index ("" for a nameless line), or
    // null for an index outside the database.
    const char* moduleName(int index) const;
    // The index of a module by its name, or -1.
    int moduleIndex(const char* name) const;
    // The position of the layer's image set among the sets, or -1.
    int imageSetOf(int channel) const;
    // An image set's folder name, or null for an index outside the sets;
    // the index of a set by its folder name, or -1.
    const char* imageSetName(int index) const;
    int imageSetIndex(const char* name) const;

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
    std::unique_ptr<ModuleNames> moduleNames;  // as modules.db gives them
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
