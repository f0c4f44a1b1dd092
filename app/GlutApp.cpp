#include "app/GlutApp.h"

#include <GL/freeglut.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/FrameObserver.h"
#include "app/KeyBindings.h"
#include "app/ModuleWarmup.h"
#include "app/ScreenInfo.h"
#include "app/qelUnivCell.h"
#include "platform/FramePacer.h"
#include "platform/LatencyLog.h"
#include "platform/MemoryPolicy.h"
#include "platform/StageOutput.h"
#include "platform/Settings.h"
#include "platform/VirtualScreen.h"

namespace {
VirtualScreen* gScreen = nullptr;
ShellExtension* gExtension = nullptr;
FramePacer gPacer;
int gWindowWidth = 640;
int gWindowHeight = 480;

void toScreen(int& x, int& y) {
    int sx = x, sy = y;
    const ScreenInfo& screen = *screenInfo();
    VirtualScreen::windowToScreen(gWindowWidth, gWindowHeight, x, y, sx, sy, screen.drawWidth, screen.drawHeight);
    x = sx;
    y = sy;
}

void display() {
    if (gScreen) gScreen->bind();
    qelUnivCell* cell = universe();
    if (cell) {
        cell->frame();
        if (gExtension) gExtension->frameDrawn(gScreen);
    }
    if (gScreen && !(cell && gExtension && gExtension->present(gScreen, gWindowWidth, gWindowHeight)))
        gScreen->present(gWindowWidth, gWindowHeight);
    if (cell && gExtension) gExtension->presented(gWindowWidth, gWindowHeight);
    glFinish();
    glutSwapBuffers();
    latency::frameShown();
    gPacer.wait();
}

void idle() { display(); }

void reshape(int width, int height) {
    gWindowWidth = width > 0 ? width : 1;
    gWindowHeight = height > 0 ? height : 1;
}

void keyboard(unsigned char key, int x, int y) {
    latency::arrived(LatencyInput::Key);
    toScreen(x, y);
    if (gExtension && gExtension->keyboard(key, glutGetModifiers(), x, y)) return;
    if (qelUnivCell* cell = universe(); cell && cell->observer) cell->observer->keyPressed(key, x, y);
    keyboardKey(key, x, y);
}

void special(int key, int x, int y) {
    latency::arrived(LatencyInput::Key);
    toScreen(x, y);
    if (gExtension && gExtension->special(key, glutGetModifiers(), x, y)) return;
    if (qelUnivCell* cell = universe(); cell && cell->observer) cell->observer->specialPressed(key, x, y);
    specialKey(key, x, y);
}

void mouse(int button, int state, int x, int y) {
    if (gExtension) gExtension->mouse(button, state, x, y);
}

void motion(int x, int y) {
    if (gExtension) gExtension->drag(x, y);
    glutPostRedisplay();
}

void setGlutCursor(int cursor) { glutSetCursor(cursor); }

// Esc ends the process through exit: the extension finishes first.
void endSession() {
    if (gExtension) gExtension->ending();
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
    "Environment (read at start; empty is unset; a value that makes no sense is\n"
    "reported on standard error and ignored):\n";
}  // namespace

bool answerInformationRequest(int argc, char** argv, FILE* out) {
    if (argc != 2 || !argv || !argv[1]) return false;
    if (std::strcmp(argv[1], "--help") == 0) {
        fputs(kHelp, out);
        Settings::printHelp(out);
        return true;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        fprintf(out, "strata %s\n", STRATA_VERSION);
        return true;
    }
    return false;
}

namespace {

// The monitor STRATA_MONITOR names, with its line; false when none is chosen
// or it names none.
bool chosenMonitor(const Settings& stage, MonitorArea& monitor) {
    if (stage.monitor.empty()) return false;
    char list[512] = "";
    if (findMonitor(stage.monitor.c_str(), monitor, list, sizeof list)) {
        fprintf(stderr, "strata: monitor %s, %dx%d at %d,%d\n", monitor.name, monitor.width, monitor.height, monitor.x,
                monitor.y);
        return true;
    }
    fprintf(stderr, "strata: STRATA_MONITOR=%s names no monitor (there are: %s); starting as without it\n",
            stage.monitor.c_str(), list[0] ? list : "none");
    return false;
}

// The window: the 640x480 game mode, or where the mode cannot change (many
// desktops, Xvfb; desktop mode; a chosen monitor) an ordinary window made
// full screen. A chosen monitor gets a window of its own size at its origin;
// without a window manager freeglut's full screen would cover every monitor,
// so the window then only sits there. Returns whether full screen may be
// asked for.
bool openWindow(const Settings& stage) {
    MonitorArea monitor;
    const bool onMonitor = chosenMonitor(stage, monitor);
    const bool fullScreenAllowed = !onMonitor || windowManagerRuns();
    if (!stage.windowed && !stage.desktop && !onMonitor) {
        glutGameModeString("640x480:32@60");
        glutEnterGameMode();
    }
    if (glutGetWindow() == 0) {
        if (onMonitor) {
            glutInitWindowPosition(monitor.x, monitor.y);
            if (!stage.windowed) glutInitWindowSize(monitor.width, monitor.height);
        }
        glutCreateWindow("Strata");
        if (!stage.windowed && fullScreenAllowed) glutFullScreen();
    }
    if (stage.desktop && !stage.windowed)
        fprintf(stderr, "strata: desktop mode: a full-screen window at the desktop's %dx%d, no mode switch\n",
                glutGet(GLUT_SCREEN_WIDTH), glutGet(GLUT_SCREEN_HEIGHT));
    gWindowWidth = glutGet(GLUT_WINDOW_WIDTH);
    gWindowHeight = glutGet(GLUT_WINDOW_HEIGHT);
    return fullScreenAllowed;
}

// Swap interval, frame cap and clean layers, each with its line.
void setUpPacing(const Settings& stage) {
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
    if (stage.cleanLayers) fprintf(stderr, "strata: clean layers on (STRATA_CLEAN_LAYERS)\n");
}

void registerCallbacks() {
    glutDisplayFunc(display);
    glutIdleFunc(idle);
    glutKeyboardFunc(keyboard);
    glutSpecialFunc(special);
    glutMouseFunc(mouse);
    glutMotionFunc(motion);
    glutReshapeFunc(reshape);
    qelUnivCell::setCursor = setGlutCursor;
}

}  // namespace

int runInstrument(int argc, char** argv, ShellExtension* extension) {
    gExtension = extension;
    // Keep the console lines in order when standard output is a pipe.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (answerInformationRequest(argc, argv, stdout)) return 0;
    keepLargeBuffersOffTheHeap();

    const Settings& stage = settings();
    if (stage.display.empty()) {
        fprintf(stderr, "strata: no display to open (DISPLAY is not set): run it from a desktop session or under xvfb-run\n");
        return 1;
    }

    ScreenInfo* screen = screenInfo();
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGBA | GLUT_DEPTH);
    glutInitWindowSize(screen->width, screen->height);
    glutInitWindowPosition(0, 0);
    stage.report(Setting::Mode);
    stage.report(Setting::Fps);
    const bool fullScreenAllowed = openWindow(stage);
    setUpPacing(stage);

    // Lives until exit like the window: never released, since its GL objects
    // must not be freed after the context is gone.
    stage.report(Setting::Resolution);
    stage.report(Setting::Msaa);
    gScreen = new VirtualScreen(stage.screenWidth, stage.screenHeight, stage.msaaSamples);
    if (gScreen->create()) {
        screen->drawWidth = gScreen->width();
        screen->drawHeight = gScreen->height();
        if (screen->drawWidth != VirtualScreen::kWidth || screen->drawHeight != VirtualScreen::kHeight)
            fprintf(stderr, "strata: drawing at %dx%d (STRATA_RESOLUTION)\n", screen->drawWidth, screen->drawHeight);
        gScreen->reportSamples("strata");
    } else {
        printf("Drawing straight into the window: the driver has no framebuffer objects\n");
        if (stage.screenWidth != VirtualScreen::kWidth || stage.screenHeight != VirtualScreen::kHeight)
            fprintf(stderr, "strata: without framebuffer objects the picture stays 640x480\n");
    }
    setActiveVirtualScreen(gScreen);
    gScreen->bind();
    registerCallbacks();

    if (argc == 2) {
        if (fullScreenAllowed) glutFullScreen();
    } else if (argc == 3) {
        glutSetCursor(GLUT_CURSOR_NONE);
        if (fullScreenAllowed) glutFullScreen();
    }

    printf("Glut API Version %d\n", 3);
    loadKeyBindings("key.db");
    if (qelUnivCell* cell = universe(); cell && stage.warmup) warmUpUniverse(*cell);
    if (qelUnivCell* cell = universe(); cell && gExtension) gExtension->started(*cell);
    std::atexit(endSession);
    glutMainLoop();
    return 0;
}
