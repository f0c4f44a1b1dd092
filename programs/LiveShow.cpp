#include "programs/LiveShow.h"

#include <GL/freeglut.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstring>

#include "app/qelUnivCell.h"
#include "control/ControlBus.h"
#include "control/MidiMap.h"
#include "control/OscEndpoint.h"
#include "control/OscServer.h"
#include "control/SoundMap.h"
#include "follow/FollowClient.h"
#include "follow/FollowLeader.h"
#include "input/MidiInput.h"
#include "input/WaveInput.h"
#include "music/LinkSession.h"
#include "music/MusicalTime.h"
#include "operator/OverlayPainter.h"
#include "platform/FileWriter.h"
#include "platform/PngWriter.h"
#include "platform/Settings.h"
#include "platform/StageOutput.h"
#include "platform/UserFiles.h"
#include "platform/VirtualScreen.h"
#include "programs/LatencyProbe.h"
#include "programs/LiveSession.h"
#include "projection/PinOverlay.h"
#include "show/SceneBank.h"
#include "surface/WebServer.h"

LiveShow::LiveShow(bool overlayAtStart) {
    if (!overlayAtStart) overlay_.hideAtStart();
}

LiveShow::~LiveShow() = default;

void LiveShow::started(qelUnivCell& universe) {
    universe_ = &universe;
    if (universe.midi) universe.midi->describe(midiText_, sizeof midiText_);
    report_.start(universe);
    session_ = std::make_unique<LiveSession>();
    session_->begin(universe);
    // OSC, OSCQuery and the MIDI mapping: the frame's input, applied in each
    // frame right after MIDI.
    bus_ = std::make_unique<ControlBus>(universe);
    bus_->loadMidiMap(userFilePath(MidiMap::kFileName).c_str());
    // Musical time follows the whole sound stream on a thread of its own;
    // the routes of sound.map (none without the file) write from it.
    music_ = std::make_unique<MusicalTime>(SoundAnalysis::Mode::Threaded);
    musicStart_ = std::chrono::steady_clock::now();
    if (universe.wave) universe.wave->setAnalysisSink(&music_->sink());
    bus_->setMusic(music_.get());
    // Link sends multicast on the local network: only when asked for.
    if (settings().link) {
        link_ = std::make_unique<LinkSession>(MusicalClock::kStartBpm);
        bus_->setLink(link_.get());
        std::fprintf(stderr, "strata: Link: joined the tempo session on the local network (STRATA_LINK)\n");
    }
    bus_->loadSoundMap(userFilePath(SoundMap::kFileName).c_str());
    // The web server on OSC's port: OSCQuery and the control surface; OSC
    // packets from the surface go through the same decoder and queue as UDP.
    bus_->startWeb = [this, &universe](const std::string& host, int port, std::string& error) {
        std::vector<std::string> names;
        for (int i = 0; i < universe.moduleCount; ++i) names.emplace_back(universe.moduleName(i));
        auto web = std::make_unique<WebServer>(bus_->snapshot(), std::move(names), port,
                                               [this](const void* data, size_t size) {
                                                   if (OscServer* osc = bus_->oscServer()) osc->handlePacket(data, size, nullptr);
                                               });
        settings().report(Setting::Token);
        if (!web->start(host, port, settings().token, error)) return false;
        web->printAccess(stderr);
        web_ = std::move(web);
        return true;
    };
    bus_->startFromEnvironment();
    universe.input = bus_.get();
    // OSC scene commands go the way of the Ctrl+digit keys.
    bus_->recallScene = [this](int n) { session_->recallScene(n); };
    bus_->storeScene = [this](int n) { session_->storeScene(n); };
    // /strata/scene/fade reads and sets the bank's fade (STRATA_SCENE_FADE at start).
    if (SceneBank* bank = session_->scenes()) {
        bus_->setSceneFade(bank->defaultFadeMillis());
        bus_->sceneFadeChanged = [bank](int millis) { bank->setDefaultFadeMillis(millis); };
    }
    startSeveralMachines(universe);
    loadOutputMap();
    bus_->setPinEditor(&pin_);
    startLatencyProbe(universe);
}

// The mapping of this output: the monitor STRATA_MONITOR chose, by its
// XRandR name, or "default" for the window as it opens without one.
void LiveShow::loadOutputMap() {
    MonitorArea monitor;
    char list[16];
    if (!settings().monitor.empty() && findMonitor(settings().monitor.c_str(), monitor, list, sizeof list) &&
        monitor.name[0] && std::strlen(monitor.name) < sizeof pinOutput_)
        std::snprintf(pinOutput_, sizeof pinOutput_, "%s", monitor.name);
    for (char* c = pinOutput_; *c; ++c)
        if (*c <= ' ' || *c == '#') *c = '_';
    loadPinTable(userFilePath(PinTable::kFileName).c_str(), pinTable_);
    if (const CornerPin* pin = pinTable_.find(pinOutput_)) {
        pin_.setPin(*pin);
        if (!pin->isIdentity())
            std::fprintf(stderr, "strata: output %s mapped by %s (Alt+M edits it)\n", pinOutput_, PinTable::kFileName);
    }
    pinChangesSeen_ = pinChangesSaved_ = pin_.changes();
}

void LiveShow::saveOutputMap() {
    pinChangesSaved_ = pin_.changes();
    if (!pinTable_.put(pinOutput_, pin_.pin())) {
        std::fprintf(stderr, "strata: %s holds too many outputs; the mapping is not saved\n", PinTable::kFileName);
        return;
    }
    const std::string path = userFilePath(PinTable::kFileName);
    fileWriter().write(path, pinTable_.format(), "", "strata: the output mapping is not saved: ");
}

// A second after the last nudge, drag or OSC change the file is written on
// the writer's thread: a drag writes once, not once a frame.
void LiveShow::saveOutputMapWhenSettled() {
    const auto now = std::chrono::steady_clock::now();
    if (pin_.changes() != pinChangesSeen_) {
        pinChangesSeen_ = pin_.changes();
        pinChanged_ = now;
    }
    if (pinChangesSeen_ != pinChangesSaved_ && now - pinChanged_ >= std::chrono::seconds(1)) saveOutputMap();
}

bool LiveShow::mappingKey(unsigned char key, int modifiers) {
    const bool alt = (modifiers & GLUT_ACTIVE_ALT) != 0;
    const bool toggle = alt && (key == 'm' || key == 'M');
    if (!toggle && !pin_.active()) return false;
    if (toggle || key == 27) {
        pin_.setActive(!pin_.active() && !(key == 27));
        std::fprintf(stderr, "strata: output mapping mode %s\n", pin_.active() ? "on" : "off");
        return true;
    }
    if (key == '\t') {
        pin_.selectNext();
    } else if (key >= '1' && key <= '4') {
        pin_.select(key - '1');
    } else if (key == 'r' || key == 'R' || key == 8) {
        pin_.reset();
    } else {
        return false;
    }
    return true;
}

namespace {
// Where the picture sits on the window, at the virtual screen's size.
VirtualScreen::Box pictureBox(int windowWidth, int windowHeight) {
    const VirtualScreen* screen = activeVirtualScreen();
    return screen ? VirtualScreen::letterbox(windowWidth, windowHeight, screen->width(), screen->height())
                  : VirtualScreen::letterbox(windowWidth, windowHeight);
}
}  // namespace

// Arrows nudge the selected corner by an output pixel, with Shift by ten.
bool LiveShow::mappingSpecial(int key, int modifiers) {
    if (!pin_.active()) return false;
    const int step = (modifiers & GLUT_ACTIVE_SHIFT) ? 10 : 1;
    const VirtualScreen::Box box = pictureBox(windowWidth_, windowHeight_);
    switch (key) {
        case GLUT_KEY_LEFT: pin_.nudge(-step, 0, box.width, box.height); return true;
        case GLUT_KEY_RIGHT: pin_.nudge(step, 0, box.width, box.height); return true;
        case GLUT_KEY_UP: pin_.nudge(0, -step, box.width, box.height); return true;
        case GLUT_KEY_DOWN: pin_.nudge(0, step, box.width, box.height); return true;
        default: return false;
    }
}

namespace {
PinBox pinBox(int windowWidth, int windowHeight) {
    const VirtualScreen::Box b = pictureBox(windowWidth, windowHeight);
    return {b.x, windowHeight - b.y - b.height, b.width, b.height};
}
}  // namespace

bool LiveShow::mouse(int button, int state, int x, int y) {
    if (!pin_.active() || button != GLUT_LEFT_BUTTON) return false;
    const PinBox box = pinBox(windowWidth_, windowHeight_);
    if (state == GLUT_DOWN)
        pin_.press(box.unitX(x), box.unitY(y));
    else
        pin_.release();
    return true;
}

bool LiveShow::drag(int x, int y) {
    if (!pin_.active()) return false;
    const PinBox box = pinBox(windowWidth_, windowHeight_);
    pin_.drag(box.unitX(x), box.unitY(y));
    return true;
}

// The identity mapping takes the plain present (the picture bit for bit as
// without a mapping); any other draws the picture through its homography.
bool LiveShow::present(VirtualScreen* screen, int windowWidth, int windowHeight) {
    windowWidth_ = windowWidth;
    windowHeight_ = windowHeight;
    if (pin_.pin().isIdentity() || !screen) return false;
    if (!screen->offscreen()) {
        if (!pinWarned_) std::fprintf(stderr, "strata: no framebuffer objects: the output mapping cannot be drawn\n");
        pinWarned_ = true;
        return false;
    }
    const VirtualScreen::Box box = pictureBox(windowWidth, windowHeight);
    Homography map;
    if (!pin_.pin().windowMap(box.x, box.y, box.width, box.height, windowWidth, windowHeight, map)) return false;
    double matrix[16];
    map.glMatrix(matrix);
    screen->presentWarped(windowWidth, windowHeight, matrix);
    return true;
}

void LiveShow::paintMapping(int windowWidth, int windowHeight) {
    const int n = pin_.selected();
    const PinPoint& c = pin_.pin().corners[n];
    static const char* const kNames[4] = {"top-left", "top-right", "bottom-right", "bottom-left"};
    std::snprintf(pinStatus_, sizeof pinStatus_,
                  "OUTPUT MAPPING (%s): corner %d %s at %.4f %.4f - drag, arrows, Tab/1-4, R resets, Alt+M leaves",
                  pinOutput_, n + 1, kNames[n], c.x, c.y);
    paintPinOverlay(pin_, pinBox(windowWidth, windowHeight), windowWidth, windowHeight, pinStatus_);
}

// STRATA_DUMP_WARPED: the frame just dumped as the window shows it, read
// from the back buffer before anything is drawn over it.
void LiveShow::dumpWindow(int windowWidth, int windowHeight) {
    const int frame = session_ ? session_->dumpedNow() : -1;
    if (frame < 0 || !settings().dumpWarped) return;
    const size_t bytes = static_cast<size_t>(windowWidth) * windowHeight * 4;
    if (bytes > windowDumpBytes_) {
        windowDump_ = std::make_unique<uint8_t[]>(bytes);
        windowDumpBytes_ = bytes;
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, windowWidth, windowHeight, GL_RGBA, GL_UNSIGNED_BYTE, windowDump_.get());
    for (size_t i = 3; i < bytes; i += 4) windowDump_[i] = 255;
    char path[4096];
    std::snprintf(path, sizeof path, "%s/frame-%06d-window.png", session_->dumpDirectory().c_str(), frame);
    if (writePng(path, windowDump_.get(), windowWidth, windowHeight))
        std::fprintf(stderr, "strata: frame %d as the window shows it dumped to %s\n", frame, path);
    if (VirtualScreen* screen = activeVirtualScreen()) screen->bind();
}

void LiveShow::startSeveralMachines(qelUnivCell& universe) {
    const Settings& s = settings();
    s.report(Setting::Follow);
    s.report(Setting::FollowKeep);
    OscServer* server = bus_->oscServer();
    std::string error;
    if (s.follow.empty()) {
        if (!server) return;
        leader_ = std::make_unique<FollowLeader>(universe);
        if (!leader_->start(error)) {
            std::fprintf(stderr, "follow: %s; no machine can follow this one\n", error.c_str());
            leader_.reset();
            return;
        }
        session_->setLeader(leader_.get());
        server->setTap(leader_.get());
        return;
    }
    OscEndpoint endpoint;
    sockaddr_in leader{};
    if (!OscEndpoint::parse(s.follow, endpoint, error) || !endpoint.resolve(leader, error)) {
        std::fprintf(stderr, "follow: STRATA_FOLLOW %s; not following\n", error.c_str());
        return;
    }
    if (!server) {
        std::fprintf(stderr, "follow: the leader sends to this instrument's OSC port, and OSC is off; not following\n");
        return;
    }
    follower_ = std::make_unique<FollowClient>(leader, bus_->oscPort(), s.followKeep);
    if (!follower_->start(error)) {
        std::fprintf(stderr, "follow: %s; not following\n", error.c_str());
        follower_.reset();
        return;
    }
    followInput_ = std::make_unique<FollowInput>(*bus_, *follower_, *session_->scenes());
    universe.input = followInput_.get();
    server->setTap(follower_.get());
    std::string kept;
    for (int layer = 1; layer <= 11; ++layer)
        if (s.followKeep >> (layer - 1) & 1u) kept += (kept.empty() ? "" : ", ") + std::to_string(layer);
    std::fprintf(stderr, "follow: following the instrument at %s:%d%s%s\n", endpoint.host.c_str(), endpoint.port,
                 kept.empty() ? "" : "; keeping layers ", kept.c_str());
}

bool LiveShow::keyboard(unsigned char key, int modifiers, int /*x*/, int /*y*/) {
    if (mappingKey(key, modifiers)) return true;
    if (session_ && session_->keyPressed(key, modifiers)) return true;
    return bus_ && bus_->keyboard(key, (modifiers & GLUT_ACTIVE_ALT) != 0);
}

// Insert shows and hides the operator view; Shift+Insert switches clean
// layers. Both keep Insert's own code as well.
bool LiveShow::special(int key, int modifiers, int /*x*/, int /*y*/) {
    if (mappingSpecial(key, modifiers)) return true;
    if (key == GLUT_KEY_INSERT) {
        if ((modifiers & GLUT_ACTIVE_SHIFT) && universe_) {
            universe_->cleanLayers = !universe_->cleanLayers;
            std::fprintf(stderr, "strata: clean layers %s (Shift+Insert)\n", universe_->cleanLayers ? "on" : "off");
        } else {
            overlay_.toggle();
        }
    }
    return bus_ && bus_->special(key);
}

void LiveShow::frameDrawn(VirtualScreen* screen) {
    if (session_) session_->frameDrawn(screen);
}

double LiveShow::millisSinceLastFrame() {
    const auto now = std::chrono::steady_clock::now();
    const double millis = lastFrame_.time_since_epoch().count() == 0
                              ? 0.0
                              : std::chrono::duration<double, std::milli>(now - lastFrame_).count();
    lastFrame_ = now;
    return millis;
}

// After the picture is on the window: the report's change lines, then the
// overlay over the window (never into the virtual screen, which keeps the
// trails).
void LiveShow::presented(int windowWidth, int windowHeight) {
    if (!universe_) return;
    dumpWindow(windowWidth, windowHeight);
    saveOutputMapWhenSettled();
    report_.poll(*universe_);
    OperatorOverlay::Snapshot snapshot = OperatorOverlay::sample(*universe_, midiText_);
    if (session_) snapshot.recording = session_->recordingStatus();
    if (music_) {
        const MusicFrame& f = music_->frame();
        snapshot.tempoShown = true;
        snapshot.bpm = f.bpm;
        snapshot.beatPhase = f.beatPhase;
        snapshot.barPhase = f.barPhase;
        snapshot.clockSource = clockSourceName(f.source);
        if (link_) snapshot.linkPeers = link_->now().peers;
        snapshot.detectedBpm = f.sound.bpm;
        snapshot.confident = f.sound.confident;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - musicStart_).count();
        if (seconds > 1.0) snapshot.analysisShare = static_cast<float>(music_->analysis().busySeconds() / seconds);
    }
    overlay_.update(snapshot, millisSinceLastFrame());
    if (bus_) bus_->setLiveFigures(liveFigures(snapshot));
    VirtualScreen* screen = activeVirtualScreen();
    if (overlay_.visible() && screen && screen->offscreen()) {
        paintOperatorOverlay(overlay_, windowWidth, windowHeight);
        screen->bind();
    }
    if (pin_.active() && screen && screen->offscreen()) {
        paintMapping(windowWidth, windowHeight);
        screen->bind();
    }
}

// The operator's figures and device lines for the control bus, in fixed
// arrays (no allocation in the frame).
LiveFigures LiveShow::liveFigures(const OperatorOverlay::Snapshot& snapshot) const {
    LiveFigures figures;
    const FrameStats& frames = overlay_.frames();
    figures.fps = static_cast<float>(frames.fps());
    figures.slowestMillis = static_cast<float>(frames.slowestMillis());
    std::snprintf(figures.midi, sizeof figures.midi, "%s", snapshot.midi ? snapshot.midi : "no MIDI input");
    std::snprintf(figures.sound, sizeof figures.sound, "%s", snapshot.sound ? snapshot.sound : "no sound input");
    if (snapshot.joystickConnected)
        std::snprintf(figures.joystick, sizeof figures.joystick, "%s", snapshot.joystick ? snapshot.joystick : "");
    else
        std::snprintf(figures.joystick, sizeof figures.joystick, "absent (%s)", snapshot.joystick ? snapshot.joystick : "");
    return figures;
}

void LiveShow::ending() {
    // Esc ends the process through exit: the web server's thread and
    // connections end here, before the bus it uses.
    if (web_) web_->stop();
    if (follower_) follower_->stop();
    if (leader_) leader_->stop();
    if (session_) session_->stopRecording();
    if (pin_.changes() != pinChangesSaved_) {
        saveOutputMap();
        fileWriter().drain();
    }
    if (universe_ && universe_->wave) universe_->wave->setAnalysisSink(nullptr);
}
