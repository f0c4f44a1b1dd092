#pragma once

#include "operator/FrameStats.h"
#include "operator/LevelMeter.h"

class qelUnivCell;

// The operator's view of the instrument: the eleven layers, the devices, the
// sound level, the frame figures, the trail, help mode and the image set of
// the selected layer, as lines of text with optional bars. It is drawn on the
// window over the presented picture (OverlayPainter), never into the picture
// itself. This class holds the state and the text and needs no OpenGL.
//
// Shown for the first seconds after start with a hint line unless hidden at
// start (the live program hides it unless STRATA_OVERLAY_HINT is on); Insert
// shows and hides it. Every per-frame step writes into fixed buffers only.
class OperatorOverlay {
public:
    static constexpr int kLayers = 11;
    static constexpr int kLineChars = 80;  // a 640-pixel window holds 80 glyphs of 8 pixels
    static constexpr int kMaxRows = 24;
    static constexpr double kStartSeconds = 10.0;

    // What one frame shows, taken from the universe (sample) or built by a
    // test. The texts are not copied until update; they may be null.
    struct Snapshot {
        struct Layer {
            const char* module = nullptr;
            int level = 0;  // byte value of controller 7: 0..127
        };
        Layer layers[kLayers];
        int layerCount = 0;
        int selected = 0;  // current channel, 0..15
        float soundLevel = 0.0f;
        const char* sound = nullptr;
        bool midiOn = false;
        const char* midi = nullptr;
        bool joystickOn = false;
        bool joystickConnected = false;
        const char* joystick = nullptr;
        float trail = 0.0f;
        bool help = false;
        int helpPage = 0;
        const char* images = nullptr;  // image set of the selected layer
        bool cleanLayers = false;
        const char* recording = nullptr;  // where the show is recorded, or why it stopped
        // Musical time, when it runs (the live program sets it).
        bool tempoShown = false;
        double bpm = 0.0;          // the clock's tempo
        double beatPhase = 0.0;    // 0..1
        double barPhase = 0.0;     // 0..1
        const char* clockSource = nullptr;  // who leads the clock
        int linkPeers = -1;                 // other machines in the Link session; -1: Link is off
        float detectedBpm = 0.0f;  // 0: none
        bool confident = false;    // the detection is steady enough to lead
        float analysisShare = -1.0f;  // the analysis thread's share of one core (-1: unknown)
    };

    // One line; bar and peak in 0..1 are drawn after the text, -1 for none.
    struct Row {
        char text[kLineChars + 1] = {};
        float bar = -1.0f;
        float peak = -1.0f;
        bool highlight = false;
    };

    // midi: the MIDI connections in words (they do not change while running).
    static Snapshot sample(const qelUnivCell& universe, const char* midi);

    // Advances the clock by frameMillis and rebuilds the rows.
    void update(const Snapshot& snapshot, double frameMillis);
    // Insert: shows the view when hidden, hides it when shown (also during
    // the first seconds).
    void toggle();
    // Hidden from the start instead of shown for the first seconds.
    void hideAtStart() {
        if (mode_ == Mode::Start) mode_ = Mode::Hidden;
    }

    bool visible() const { return mode_ != Mode::Hidden; }
    bool showingHint() const { return mode_ == Mode::Start; }
    int rowCount() const { return rowCount_; }
    const Row& row(int i) const { return rows_[i]; }
    const LevelMeter& meter() const { return meter_; }
    const FrameStats& frames() const { return frames_; }

private:
    enum class Mode { Start, Shown, Hidden };
    Row& addRow();

    Mode mode_ = Mode::Start;
    double seconds_ = 0.0;
    LevelMeter meter_;
    FrameStats frames_;
    Row rows_[kMaxRows];
    int rowCount_ = 0;
};
