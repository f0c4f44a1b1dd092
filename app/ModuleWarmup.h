#pragma once

class ControlTable;
class ModelGene;
class WaveInput;
class qelUnivCell;

// The first time a module is shown in a process the driver compiles the
// drawing state it uses (Mesa's shader variants for the fixed-function
// state, its vertex and set-up code), which can stall a live frame by tens of
// milliseconds. The warm-up pays that at start-up: it builds each module
// once, draws one frame of it into an off-screen target of the virtual
// screen's formats, and throws the reactor away.
//
// Nothing the audience sees changes: the virtual screen's content, the
// OpenGL state (attributes, client attributes, the three matrix stacks, the
// bound framebuffer), the process-wide random generator, the control table
// (the reactors read and write a copy), the model set's selection and the
// frame clock (never ticked). Standard output is quiet meanwhile, so the
// loader's lines are not printed twice.
struct WarmupSources {
    int modules = 0;                         // loader indexes 0 .. modules - 1
    const ControlTable* controls = nullptr;  // copied; null: an empty table
    WaveInput* wave = nullptr;               // read only
    ModelGene* models = nullptr;             // its selection is put back
    int channel = 0;                         // the channel the reactors read
    bool cleanLayers = false;                // each layer starts from the clean-layer state, as the frame does
    // The size of the grey image the reactors are given in place of an image
    // set (the image sets' own selections and clips stay untouched).
    int imageWidth = 256;
    int imageHeight = 256;
};

struct WarmupResult {
    int modules = 0;     // reactors built and drawn
    double millis = 0.0;
    bool drawn = false;  // false: no off-screen target could be made, nothing done
};

// Needs a current context. Each reactor's frame is the one a raised cell
// runs at full opacity after the frame's view, clear and lights.
WarmupResult warmUpModules(const WarmupSources& sources);

// The live program's start-up step: every module of the universe's
// modules.db, then one line on standard error with the count and the time.
void warmUpUniverse(qelUnivCell& universe);
