#include "app/GlutApp.h"

#include <GL/freeglut.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/DeviceReport.h"
#include "app/FramePacer.h"
#include "app/ControlBus.h"
#include "app/KeyBindings.h"
#include "app/OperatorOverlay.h"
#include "app/OverlayPainter.h"
#include "app/LiveSession.h"
#include "app/MemoryPolicy.h"
#include "app/MidiMap.h"
#include "app/ScreenInfo.h"
#include "app/StageOutput.h"
#include "app/StageSettings.h"
#include "app/UserFiles.h"
#include "app/VirtualScreen.h"
#include "app/qelUnivCell.h"
#include "input/MidiInput.h"

namespace {
VirtualScreen* gScreen = nullptr;
std::unique_ptr<LiveSession> gSession;
std::unique_ptr<ControlBus> gBus;
int gWindowWidth = 640;
int gWindowHeight = 480;

// The operator's side: device lines on standard error, the overlay drawn on
// the window after the picture, and the frame cap.
DeviceReport gReport(stderr);
OperatorOverlay gOverlay;
FramePacer gPacer;
char gMidiText[256] = "";
std::chrono::steady_clock::time_point gLastFrame{};

double millisSinceLastFrame() {
    const auto now = std::chrono::steady_clock::now();
    const double millis = gLastFrame.time_since_epoch().count() == 0
                              ? 0.0
                              : std::chrono::duration<double, std::milli>(now - gLastFrame).count();
    gLastFrame = now;
    return millis;
}

// After the picture is on the window: the report's change lines, then the
// overlay over the window (never into the virtual screen, which keeps the
// trails).
void operatorView(qelUnivCell& cell) {
    gReport.poll(cell);
    gOverlay.update(OperatorOverlay::sample(cell, gMidiText), millisSinceLastFrame());
    if (gOverlay.visible() && gScreen && gScreen->offscreen()) {
        paintOperatorOverlay(gOverlay, gWindowWidth, gWindowHeight);
        gScreen->bind();
    }
}

void toScreen(int& x, int& y) {
    int sx = x, sy = y;
    VirtualScreen::windowToScreen(gWindowWidth, gWindowHeight, x, y, sx, sy);
    x = sx;
    y = sy;
}

void display() {
    if (gScreen) gScreen->bind();
    qelUnivCell* cell = universe();
    if (cell) {
        cell->frame();
        if (gSession) gSession->frameDrawn(gScreen);
    }
    if (gScreen) gScreen->present(gWindowWidth, gWindowHeight);
    if (cell) operatorView(*cell);
    glFinish();
    glutSwapBuffers();
    gPacer.wait();
}

void idle() { display(); }

void reshape(int width, int height) {
    gWindowWidth = width > 0 ? width : 1;
    gWindowHeight = height > 0 ? height : 1;
}

void keyboard(unsigned char key, int x, int y) {
    toScreen(x, y);
    if (gSession && gSession->keyPressed(key, glutGetModifiers())) return;
    if (gBus && gBus->keyboard(key, (glutGetModifiers() & GLUT_ACTIVE_ALT) != 0)) return;
    if (gSession) gSession->keyReached(key, x, y);
    keyboardKey(key, x, y);
}

// Insert shows and hides the operator view; Shift+Insert switches clean
// layers. Both keep Insert's own code as well.
void operatorKey(int key) {
    if (key != GLUT_KEY_INSERT) return;
    qelUnivCell* cell = universe();
    if ((glutGetModifiers() & GLUT_ACTIVE_SHIFT) && cell) {
        cell->cleanLayers = !cell->cleanLayers;
        fprintf(stderr, "strata: clean layers %s (Shift+Insert)\n", cell->cleanLayers ? "on" : "off");
    } else {
        gOverlay.toggle();
    }
}

void special(int key, int x, int y) {
    operatorKey(key);
    toScreen(x, y);
    if (gBus && gBus->special(key)) return;
    if (gSession) gSession->specialReached(key, x, y);
    specialKey(key, x, y);
}

void mouse(int, int, int, int) {}

void motion(int, int) { glutPostRedisplay(); }

void setGlutCursor(int cursor) { glutSetCursor(cursor); }

// Esc ends the process through exit: a running recording is completed first.
void endSession() {
    if (gSession) gSession->stopRecording();
}

const char kHelp[] =
    "Usage: strata [ARGUMENT [ARGUMENT]]\n"
    "       strata --help | --version\n"
    "\n"
    "Live visuals instrument: up to eleven animated layers played with MIDI,\n"
    "the keyboard with the mouse, a joystick and the sound input.\n"
    "It reads key.db, modules.db, the imgs* and mdls* directories and Reactors/\n"
    "from the working directory: start it in a stage directory (the bundled\n"
    "one is stage/ of the source tree; ./run.sh starts it there).\n"
    "\n"
    "Only the number of arguments counts: none gives 640x480 game mode (or a\n"
    "full-screen window), one requests full screen, two also hide the cursor.\n"
    "Esc quits.\n"
    "\n"
    "Environment: STRATA_WINDOWED=1 (true, yes, on) for a plain 640x480 window;\n"
    "STRATA_AUDIO, STRATA_MIDI, STRATA_JOYSTICK choose the devices;\n"
    "STRATA_IMAGE_MEMORY_MB the image memory budget. README.md tells the rest.\n";
}  // namespace

bool windowedValue(const char* value) { return StageSettings::parseFlag(value); }

bool answerInformationRequest(int argc, char** argv, FILE* out) {
    if (argc != 2 || !argv || !argv[1]) return false;
    if (std::strcmp(argv[1], "--help") == 0) {
        fputs(kHelp, out);
        return true;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        fprintf(out, "strata %s\n", STRATA_VERSION);
        return true;
    }
    return false;
}

int runInstrument(int argc, char** argv) {
    // Keep the console lines in order when standard output is a pipe.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (answerInformationRequest(argc, argv, stdout)) return 0;
    keepLargeBuffersOffTheHeap();

    const char* displayName = std::getenv("DISPLAY");
    if (!displayName || !*displayName) {
        fprintf(stderr, "strata: no display to open (DISPLAY is not set): run it from a desktop session or under xvfb-run\n");
        return 1;
    }

    ScreenInfo* screen = screenInfo();
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGBA | GLUT_DEPTH);
    glutInitWindowSize(screen->width, screen->height);
    glutInitWindowPosition(0, 0);

    const bool windowed = windowedValue(std::getenv("STRATA_WINDOWED"));
    const StageSettings stage = StageSettings::fromEnvironment(stderr);
    // A chosen monitor gets a window of its own size at its origin; without
    // a window manager freeglut's full screen would cover every monitor, so
    // the window then only sits there.
    MonitorArea monitor;
    bool onMonitor = false;
    if (stage.monitor) {
        char list[512] = "";
        onMonitor = findMonitor(stage.monitor, monitor, list, sizeof list);
        if (onMonitor)
            fprintf(stderr, "strata: monitor %s, %dx%d at %d,%d\n", monitor.name, monitor.width, monitor.height,
                    monitor.x, monitor.y);
        else
            fprintf(stderr, "strata: STRATA_MONITOR=%s names no monitor (there are: %s); starting as without it\n",
                    stage.monitor, list[0] ? list : "none");
    }
    const bool fullScreenAllowed = !onMonitor || windowManagerRuns();

    if (!windowed && !stage.desktop && !onMonitor) {
        glutGameModeString("640x480:32@60");
        glutEnterGameMode();
    }
    // Where the screen mode cannot be changed (many desktops, Xvfb) game mode
    // gives no window: open an ordinary one and make it full screen instead.
    if (glutGetWindow() == 0) {
        if (onMonitor) {
            glutInitWindowPosition(monitor.x, monitor.y);
            if (!windowed) glutInitWindowSize(monitor.width, monitor.height);
        }
        glutCreateWindow("Strata");
        if (!windowed && fullScreenAllowed) glutFullScreen();
    }
    if (stage.desktop && !windowed)
        fprintf(stderr, "strata: desktop mode: a full-screen window at the desktop's %dx%d, no mode switch\n",
                glutGet(GLUT_SCREEN_WIDTH), glutGet(GLUT_SCREEN_HEIGHT));
    gWindowWidth = glutGet(GLUT_WINDOW_WIDTH);
    gWindowHeight = glutGet(GLUT_WINDOW_HEIGHT);

    if (stage.vsync) {
        if (requestSwapInterval(1))
            fprintf(stderr, "strata: swaps wait for the display's refresh (swap interval 1)\n");
        else
            fprintf(stderr, "strata: the driver offers no swap interval: frames follow each other at once\n");
    }
    if (stage.fps > 0) {
        gPacer = FramePacer(stage.fps);
        fprintf(stderr, "strata: at most %d frames per second (STRATA_FPS)\n", stage.fps);
    }
    if (!stage.overlayAtStart) gOverlay.hideAtStart();
    if (stage.cleanLayers) fprintf(stderr, "strata: clean layers on (STRATA_CLEAN_LAYERS)\n");

    // Lives until exit like the window: never released, since its GL objects
    // must not be freed after the context is gone.
    gScreen = new VirtualScreen();
    if (!gScreen->create()) {
        printf("Drawing straight into the window: the driver has no framebuffer objects\n");
    }
    setActiveVirtualScreen(gScreen);
    gScreen->bind();

    glutDisplayFunc(display);
    glutIdleFunc(idle);
    glutKeyboardFunc(keyboard);
    glutSpecialFunc(special);
    glutMouseFunc(mouse);
    glutMotionFunc(motion);
    glutReshapeFunc(reshape);
    qelUnivCell::setCursor = setGlutCursor;

    if (argc == 2) {
        if (fullScreenAllowed) glutFullScreen();
    } else if (argc == 3) {
        glutSetCursor(GLUT_CURSOR_NONE);
        if (fullScreenAllowed) glutFullScreen();
    }

    printf("Glut API Version %d\n", 3);
    loadKeyBindings("key.db");
    if (qelUnivCell* cell = universe()) {
        if (cell->midi) cell->midi->describe(gMidiText, sizeof gMidiText);
        gReport.start(*cell);
    }
    gSession = std::make_unique<LiveSession>();
    if (qelUnivCell* cell = universe()) gSession->begin(*cell);
    std::atexit(endSession);
    // OSC, OSCQuery and the MIDI mapping: applied in each frame right after MIDI.
    if (qelUnivCell* cell = universe()) {
        gBus = std::make_unique<ControlBus>(*cell);
        gBus->loadMidiMap(userFilePath(MidiMap::kFileName).c_str());
        gBus->startFromEnvironment();
        cell->inputHook = gBus.get();
        // OSC scene commands go the way of the Ctrl+digit keys.
        gBus->recallScene = [](int n) { gSession->recallScene(n); };
        gBus->storeScene = [](int n) { gSession->storeScene(n); };
    }
    glutMainLoop();
    return 0;
}
