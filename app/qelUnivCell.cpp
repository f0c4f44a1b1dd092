#include "app/qelUnivCell.h"

#include <GL/gl.h>
#include <algorithm>

#include <cstdio>
#include <cstring>

#include "app/ControlFade.h"
#include "app/ControlTable.h"
#include "app/FrameObserver.h"
#include "app/FrameSteps.h"
#include "app/ModuleDatabase.h"
#include "app/ScreenInfo.h"
#include "input/Joystick.h"
#include "input/MidiInput.h"
#include "input/WaveInput.h"
#include "reactor/GlSwitches.h"
#include "reactor/MatrixModeKeeper.h"
#include "reactor/Reactor.h"
#include "reactor/qelCell.h"
#include "resources/ImageGene.h"
#include "resources/ModelGene.h"

namespace {
qelUnivCell* gUniverse = nullptr;

// GLUT's cursor values used by the Home command.
constexpr int kCursorNone = 101;
constexpr int kCursorInherit = 100;
}  // namespace

void (*qelUnivCell::setCursor)(int cursor) = nullptr;

qelUnivCell* universe() { return gUniverse; }
void setUniverse(qelUnivCell* cell) { gUniverse = cell; }

qelUnivCell::qelUnivCell() {
    matrixKeeper = std::make_unique<MatrixModeKeeper>();
    controls = std::make_unique<ControlTable>();
    midi = std::make_unique<MidiInput>();
    midi->open();
    wave = std::make_unique<WaveInput>();
    wave->start();
    joystick = std::make_unique<Joystick>();
    joystick->setup();
    fade = std::make_unique<ControlFade>();
    init();
}

qelUnivCell::~qelUnivCell() {
    if (gUniverse == this) gUniverse = nullptr;
    // Released explicitly in this order; member order alone would free the
    // devices first and the cells last.
    for (std::unique_ptr<qelCell>& cell : cells) cell.reset();
    for (std::unique_ptr<ImageGene>& set : imageSets) set.reset();
    for (std::unique_ptr<ModelGene>& set : modelSets) set.reset();
    for (std::unique_ptr<ImageGene>& help : moduleHelps) help.reset();
    joystick.reset();
    wave.reset();
    midi.reset();
    controls.reset();
    matrixKeeper.reset();
}

void qelUnivCell::init() {
    helpMode = false;
    helpPage = 0;
    imageSetCount = 0;
    currentChannel = 0;
    cellCount = 0;
    for (int& level : cellLevel) level = 0;
    cursorFlag = false;
    joystickOn = false;
    midiOn = false;

    buildModuleDatabase();
    loadImages();
    printf("qelUnivCell::init -- loadImages()\n");
    loadModels();
    printf("qelUnivCell::init -- loadModels()\n");

    for (int i = 0; i < kCells; ++i) {
        cells[i] = std::make_unique<qelCell>();
        qelCell* cell = cells[i].get();
        cell->setIndex(i);
        cell->setMatrixKeeper(matrixKeeper.get());
        cell->setImageSet(imageSets[0].get());
        cell->setReactor(0, moduleHelps[0].get());
        cell->setModelSet(modelSets[0].get());
        ++cellCount;
    }
}

int qelUnivCell::joystickButton(uint32_t mask) {
    static const int kButtonOfMask[16] = {0, 1, 2, 9, 4, 14, 6, 7, 8, 9, 15, 12, 13, 11, 10, 15};
    return kButtonOfMask[mask & 15u];
}

void qelUnivCell::applyMidiEvent(uint32_t message) {
    const int status = static_cast<int>(message & 0xFFu);
    const int data1 = static_cast<int>((message >> 8) & 0xFFu);
    const int data2 = static_cast<int>((message >> 16) & 0xFFu);
    const int channel = status & 15;
    const int type = status >> 4;
    currentChannel = channel;
    // Note off/on and polyphonic pressure with small data1 address entries
    // below 0; on channel 0 they have no entry and are dropped (the table
    // itself refuses any index outside it).
    const int index = ControlTable::indexOf(channel, 0, (type - 11) + data1);
    if (!ControlTable::validIndex(index)) return;
    controls->setByteAt(index, data2);
    controls->setFloatAt(index, static_cast<float>(data2 / 127.0));
}

void qelUnivCell::applyJoystick(uint32_t x, uint32_t y, uint32_t buttonMask) {
    const int code = 16 + joystickButton(buttonMask);
    double fx = x / 65534.0;
    double fy = y / 65534.0;
    if (fx > 1.0) fx = 1.0;
    if (fy > 1.0) fy = 1.0;
    controls->setByte(currentChannel, 0, code, static_cast<int>(fx * 127));
    controls->setByte(currentChannel, 64, code, static_cast<int>(fy * 127));
    controls->setFloat(currentChannel, 0, code, static_cast<float>(fx));
    controls->setFloat(currentChannel, 64, code, static_cast<float>(fy));
}

void DeviceInput::midiStep(qelUnivCell& u) {
    const int count = u.midi->fetch();
    for (int i = 0; i < count; ++i) {
        const uint32_t event = u.midi->events[i];
        if (takeMidi(u, event)) continue;
        u.applyMidiEvent(event);
        if (u.observer) u.observer->midiApplied(event);
    }
}

void DeviceInput::joystickStep(qelUnivCell& u) {
    uint32_t x = 0, y = 0, buttons = 0;
    u.joystick->read(x, y, buttons);
    u.applyJoystick(x, y, buttons);
    if (u.observer) u.observer->joystickApplied(x, y, buttons);
}

void qelUnivCell::frame() {
    ScreenInfo& screen = *screenInfo();
    FrameClock::tick(screen);
    if (observer) observer->frameStarted(screen.frameMillis);
    controls->setByte(15, 0, 1, screen.frameMillis);
    controls->setFloat(15, 0, 1, screen.frameSeconds);
    setClipFrameClock(screen.frameMillis);
    timeFactor = static_cast<float>(screen.frameMillis / 33.33333);

    const int soundSlot = wave->historyIndex;
    soundLevel = wave->update();
    if (observer && wave->historyIndex != soundSlot) observer->soundTaken(wave->current->bytes, wave->blockPosition());
    controls->setByte(15, 0, 0, static_cast<int>(soundLevel * 128));
    controls->setFloat(15, 0, 0, soundLevel);

    if (midiOn) input->midiStep(*this);
    input->controlStep(*this);
    if (joystickOn) input->joystickStep(*this);
    fade->step(*controls, screen.frameMillis);

    pushFrameView(*matrixKeeper);
    clearOrFade(trail());
    setFrameLights();
    switchLighting(false);
    GLint frontFace = GL_CW;
    if (cleanLayers) glGetIntegerv(GL_FRONT_FACE, &frontFace);

    for (int i = 0; i < cellCount; ++i) {
        switchLighting(false);
        switchTexGen(false);
        cellLevel[i] = controls->getByte(i, 0, 7);
        const float alpha = controls->getFloat(i, 0, 7) * 0.5f + 0.5f;
        qelCell* cell = cells[i].get();
        cell->setHelp(helpMode, helpPage);
        if (cellLevel[i] > kShownAbove) {
            beginCellLayer(alpha);
            if (cleanLayers) {
                Reactor* reactor = cell->reactor(0);
                beginCleanLayer(frontFace, reactor ? reactor->imageSet(0) : nullptr);
            }
            cell->setControls(controls.get());
            cell->setTimeFactor(timeFactor);
            cell->setWave(wave.get());
            cell->frame();
        }
        switchTexGen(false);
    }

    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    popFrameView(*matrixKeeper);
    if (observer) observer->frameFinished();
}

void qelUnivCell::stepImageSet(int direction) {
    if (currentChannel < 0 || currentChannel >= cellCount || imageSetCount <= 0) return;
    if (!cells[currentChannel]->reactor(0)) return;
    const int position = imageSetOf(currentChannel);
    int next = position >= 0 ? position + direction : 0;
    if (next < 0) next = 0;
    if (next > imageSetCount - 1) next = imageSetCount - 1;
    setImageSet(currentChannel, next);
}

void qelUnivCell::stepReactor(int direction) {
    if (currentChannel < 0 || currentChannel >= cellCount || moduleCount <= 0) return;
    const int index = cells[currentChannel]->reactorIndex;
    int next = (index >= 0 && index < moduleCount) ? index + direction : 0;
    if (next < 0) next = 0;
    if (next > moduleCount - 1) next = moduleCount - 1;
    setModule(currentChannel, next);
}

bool qelUnivCell::setModule(int channel, int index) {
    if (channel < 0 || channel >= cellCount || index < 0 || index >= moduleCount) return false;
    cells[channel]->setReactor(index, moduleHelps[index].get());
    return true;
}

bool qelUnivCell::setImageSet(int channel, int index) {
    if (channel < 0 || channel >= cellCount || index < 0 || index >= imageSetCount || index >= kMaxSets) return false;
    Reactor* reactor = cells[channel]->reactor(0);
    if (!reactor) return false;
    reactor->setImageSet(0, imageSets[index].get());
    return true;
}

int qelUnivCell::imageSetOf(int channel) const {
    if (channel < 0 || channel >= cellCount || !cells[channel]) return -1;
    const Reactor* reactor = cells[channel]->reactor(0);
    if (!reactor) return -1;
    const ImageGene* set = reactor->imageSet(0);
    int position = -1;
    for (int i = 0; i < imageSetCount && i < kMaxSets; ++i)
        if (imageSets[i].get() == set) position = i;
    return position;
}

const char* qelUnivCell::imageSetName(int index) const {
    if (index < 0 || index >= imageSetCount || index >= kMaxSets || !imageSets[index]) return nullptr;
    return imageSets[index]->directory;
}

int qelUnivCell::imageSetIndex(const char* name) const {
    if (!name || !*name) return -1;
    for (int i = 0; i < imageSetCount && i < kMaxSets; ++i)
        if (imageSets[i] && std::strcmp(imageSets[i]->directory, name) == 0) return i;
    return -1;
}

void qelUnivCell::setOpacity(int channel, float value) {
    controls->setFloat(channel, 0, 7, value);
    controls->setByte(channel, 0, 7, static_cast<int>(value * 127));
}

void qelUnivCell::setShown(int channel, bool shown) {
    if (!ControlTable::validEntry(channel, 0, 7)) return;
    const int level = static_cast<int>((controls->getFloat(channel, 0, 7) + 1.0f) * 0.5f * 127);
    controls->setByte(channel, 0, 7, shown ? std::clamp(level, kShownAbove + 1, 127) : std::clamp(level, 0, kShownAbove));
}

bool qelUnivCell::shown(int channel) const { return controls->getByte(channel, 0, 7) > kShownAbove; }

void qelUnivCell::setTrail(float value) {
    controls->setFloat(kTrailChannel, 0, kTrailEntry, value);
    controls->setByte(kTrailChannel, 0, kTrailEntry, static_cast<int>(value * 127));
}

float qelUnivCell::trail() const { return (controls->getFloat(kTrailChannel, 0, kTrailEntry) + 1.0f) * 0.5f; }

void qelUnivCell::select(int channel) {
    if (channel >= 0 && channel < ControlTable::kChannels) currentChannel = channel;
}

const char* qelUnivCell::moduleName(int index) const {
    if (!moduleNames || index < 0 || index >= moduleCount) return nullptr;
    return moduleNames->names[index];
}

int qelUnivCell::moduleIndex(const char* name) const {
    if (!name || !*name) return -1;
    for (int i = 0; i < moduleCount; ++i)
        if (std::strcmp(moduleNames->names[i], name) == 0) return i;
    return -1;
}

void qelUnivCell::handleCode(int code, int x, int y) {
    switch (code) {
        case 107: midiOn = !midiOn; break;
        case 105: joystickOn = !joystickOn; break;
        case 106:
            if (setCursor) setCursor(cursorFlag ? kCursorNone : kCursorInherit);
            cursorFlag = !cursorFlag;
            break;
        case 100: stepImageSet(-1); break;
        case 102: stepImageSet(+1); break;
        case 101: stepReactor(-1); break;
        case 103: stepReactor(+1); break;
        default: break;
    }

    const ScreenInfo& screen = *screenInfo();
    const float nx = screen.normaliseX(x);
    const float ny = screen.normaliseY(y);
    if (code > 12) {
        const int channel = code <= 99 ? currentChannel : 12;
        controls->setFloat(channel, 0, code, nx);
        controls->setFloat(channel, 64, code, ny);
        controls->setByte(channel, 0, code, static_cast<int>(nx * 127));
        controls->setByte(channel, 64, code, static_cast<int>(ny * 127));
        if (helpMode) helpPage = code;
    } else if (code >= 1) {
        // F1..F12 select channel 0..11 and set its opacity from the mouse x.
        select(code - 1);
        setOpacity(currentChannel, nx);
    }
    // Codes 0 and below (only reachable through key.db) address no channel.
}
