#pragma once
#include <memory>

class ControlTable;
class MatrixModeKeeper;
class WaveInput;
class ImageGene;
class ModelGene;
class Reactor;

// Holds one reactor, hands it the per-frame inputs and runs it.
class qelCell {
public:
    qelCell() = default;
    ~qelCell();
    qelCell(const qelCell&) = delete;
    qelCell& operator=(const qelCell&) = delete;

    void setIndex(int i) { index = i; }
    void setMatrixKeeper(MatrixModeKeeper* keeper) { matrixKeeper = keeper; }
    void setImageSet(ImageGene* set) { imageSet = set; }
    void setModelSet(ModelGene* set) { modelSet = set; }
    void setControls(ControlTable* table) { controls = table; }
    void setTimeFactor(float factor) { timeFactor = factor; }
    void setWave(WaveInput* input) { wave = input; }

    // Replaces the reactor by a new one built by the loader.
    void setReactor(int reactorIndex, ImageGene* help);
    void setHelp(bool on, int page) {
        helpOn = on;
        helpPage = page;
    }
    Reactor* reactor(int k = 0) const {
        (void)k;
        return reactor_.get();
    }
    // One frame: update, help page (in help mode), draw.
    void frame();

    ControlTable* controls = nullptr;
    int index = 0;
    float timeFactor = 1.0f;
    WaveInput* wave = nullptr;
    MatrixModeKeeper* matrixKeeper = nullptr;
    int reactorIndex = 0;
    ImageGene* imageSet = nullptr;
    ModelGene* modelSet = nullptr;
    bool helpOn = false;
    int helpPage = 0;

private:
    std::unique_ptr<Reactor> reactor_;
};
