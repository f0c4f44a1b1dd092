#pragma once

class ControlTable;
class MatrixModeKeeper;
class WaveInput;
class ImageGene;
class ModelGene;

// One visual effect. The cell hands it the controller table, the time factor
// and the sound source before every frame, then runs update, the help page
// (in help mode) and draw. Slot order: init, update, draw, reserved,
// selectImage.
class Reactor {
public:
    static constexpr int kImageSets = 10;

    Reactor() = default;
    virtual ~Reactor() = default;
    Reactor(const Reactor&) = delete;
    Reactor& operator=(const Reactor&) = delete;

    virtual void init() {}
    virtual void update() {}
    virtual void draw() {}
    virtual void reserved() {}
    virtual void selectImage(int set) { (void)set; }

    void setControls(ControlTable* table) { controls = table; }
    void setChannel(int c) { channel = c; }
    void setMatrixKeeper(MatrixModeKeeper* keeper) { matrixKeeper = keeper; }
    void setTimeFactor(float factor) { timeFactor = factor; }
    void setWave(WaveInput* input) { wave = input; }
    void setImageSet(int k, ImageGene* set);
    void setModelSet(ModelGene* set) { modelSet = set; }
    void setHelpImages(ImageGene* help) { helpImages = help; }
    ImageGene* imageSet(int k) const;

    // Draws help page `page` (limited to 0..15, wrapped by the number of help
    // images) as a textured quad behind the effect.
    void drawHelp(int page);

    // Readers of the reactor's own channel (0 when no table is set).
    float controlFloat(int n) const;  // float value of controller n
    int controlByte(int n) const;     // byte value of controller n
    int frameMillisByte() const;      // byte value of channel 15, entry 1
    // The shared matrix-mode keeper, or a private one while the reactor is
    // not installed in a cell.
    MatrixModeKeeper& keeper();

    ControlTable* controls = nullptr;
    int channel = 0;
    MatrixModeKeeper* matrixKeeper = nullptr;
    float timeFactor = 1.0f;
    WaveInput* wave = nullptr;
    ImageGene* imageSets[kImageSets] = {};
    ModelGene* modelSet = nullptr;
    ImageGene* helpImages = nullptr;
};
