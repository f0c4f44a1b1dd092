#include "operator/OperatorOverlay.h"

#include <cstdio>
#include <cstring>

#include "app/ControlTable.h"
#include "app/qelUnivCell.h"
#include "input/Joystick.h"
#include "input/WaveInput.h"
#include "reactor/Reactor.h"
#include "reactor/qelCell.h"
#include "resources/ImageGene.h"

namespace {
const char* orDash(const char* text) { return text && *text ? text : "-"; }
}  // namespace

OperatorOverlay::Snapshot OperatorOverlay::sample(const qelUnivCell& u, const char* midi) {
    Snapshot s;
    s.layerCount = u.cellCount < kLayers ? u.cellCount : kLayers;
    for (int i = 0; i < s.layerCount; ++i) {
        const qelCell* cell = u.cells[i].get();
        s.layers[i].module = cell ? u.moduleName(cell->reactorIndex) : nullptr;
        s.layers[i].level = u.controls->getByte(i, 0, 7);
    }
    s.selected = u.currentChannel;
    s.soundLevel = u.soundLevel;
    s.sound = u.wave ? u.wave->description() : nullptr;
    s.midiOn = u.midiOn;
    s.midi = midi;
    s.joystickOn = u.joystickOn;
    s.joystickConnected = u.joystick && u.joystick->connected();
    s.joystick = u.joystick ? u.joystick->path() : nullptr;
    s.trail = u.trail();
    s.help = u.helpMode;
    s.helpPage = u.helpPage;
    if (s.selected >= 0 && s.selected < u.cellCount && u.cells[s.selected]) {
        qelCell* cell = u.cells[s.selected].get();
        if (Reactor* reactor = cell->reactor(0))
            if (const ImageGene* set = reactor->imageSet(0)) s.images = set->directory;
    }
    s.cleanLayers = u.cleanLayers;
    return s;
}

void OperatorOverlay::toggle() { mode_ = mode_ == Mode::Hidden ? Mode::Shown : Mode::Hidden; }

OperatorOverlay::Row& OperatorOverlay::addRow() {
    Row& r = rows_[rowCount_ < kMaxRows ? rowCount_++ : kMaxRows - 1];
    r.text[0] = '\0';
    r.bar = r.peak = -1.0f;
    r.highlight = false;
    return r;
}

void OperatorOverlay::update(const Snapshot& s, double frameMillis) {
    if (!(frameMillis >= 0.0)) frameMillis = 0.0;
    seconds_ += frameMillis * 0.001;
    if (mode_ == Mode::Start && seconds_ >= kStartSeconds) mode_ = Mode::Hidden;
    meter_.update(s.soundLevel, frameMillis * 0.001);
    frames_.addFrame(frameMillis);

    rowCount_ = 0;
    const int n = kLineChars + 1;
    Row& title = addRow();
    if (frames_.ready())
        std::snprintf(title.text, n, "Strata   %5.1f fps   frame %5.1f ms   slowest %5.1f ms", frames_.fps(),
                      frames_.meanMillis(), frames_.slowestMillis());
    else
        std::snprintf(title.text, n, "Strata   measuring the frame rate ...");

    for (int i = 0; i < s.layerCount && i < kLayers; ++i) {
        Row& r = addRow();
        const int level = s.layers[i].level;
        // A layer is drawn when its controller 7 is above 10.
        std::snprintf(r.text, n, "%c%2d %-16.16s %-6s %3d", i == s.selected ? '>' : ' ', i + 1,
                      orDash(s.layers[i].module), level > 10 ? "shown" : "hidden", level);
        r.bar = level > 0 ? level / 127.0f : 0.0f;
        r.highlight = i == s.selected;
    }
    Row& sound = addRow();
    std::snprintf(sound.text, n, "Sound    %-.60s", orDash(s.sound));
    Row& meter = addRow();
    std::snprintf(meter.text, n, "Level    %4.2f  peak %4.2f", meter_.level(), meter_.peak());
    meter.bar = meter_.level();
    meter.peak = meter_.peak();
    Row& midi = addRow();
    std::snprintf(midi.text, n, "MIDI     %-3s %-.64s", s.midiOn ? "on" : "off", orDash(s.midi));
    Row& stick = addRow();
    std::snprintf(stick.text, n, "Joystick %-3s %s%s", s.joystickOn ? "on" : "off", orDash(s.joystick),
                  s.joystickConnected ? "" : " (absent)");
    Row& state = addRow();
    char help[16] = "off";
    if (s.help) std::snprintf(help, sizeof help, "page %d", s.helpPage);
    std::snprintf(state.text, n, "Trail    %4.2f   Help %-8s   Clean layers %s", s.trail, help,
                  s.cleanLayers ? "on" : "off");
    Row& images = addRow();
    std::snprintf(images.text, n, "Images   layer %d: %.50s", s.selected + 1, orDash(s.images));
    if (s.tempoShown) {
        // The bar shows the beat phase; the dots the beat of the bar.
        Row& tempo = addRow();
        const int beatOfBar = static_cast<int>(s.barPhase * 4.0) & 3;
        char dots[5] = "....";
        dots[beatOfBar] = '*';
        char heard[24] = "none";
        if (s.detectedBpm > 0.0f)
            std::snprintf(heard, sizeof heard, "%.1f%s", static_cast<double>(s.detectedBpm), s.confident ? "" : "?");
        char cost[24] = "";
        if (s.analysisShare >= 0.0f)
            std::snprintf(cost, sizeof cost, "  cpu %.1f%%", static_cast<double>(s.analysisShare) * 100.0);
        char link[24] = "";
        if (s.linkPeers >= 0) std::snprintf(link, sizeof link, "  link %d", s.linkPeers);
        std::snprintf(tempo.text, n, "Tempo    %5.1f BPM %s  %-10.10s heard %s%s%s", s.bpm, dots,
                      orDash(s.clockSource), heard, cost, link);
        tempo.bar = static_cast<float>(s.beatPhase);
    }
    if (s.recording) {
        Row& record = addRow();
        std::snprintf(record.text, n, "Record   %.70s", s.recording);
        record.highlight = std::strncmp(s.recording, "STOPPED", 7) == 0;
    }
    if (mode_ == Mode::Start) {
        std::snprintf(addRow().text, n, "Raise layer 1: F1 with the mouse at the right. Up/Down: module. h: help.");
        std::snprintf(addRow().text, n, "Insert: show or hide this view. Shift+Insert: clean layers.");
    }
}
